#include "ui/filelistmodel.h"

#include <unordered_set>

#include "ui/icons.h"

namespace qv::ui {

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_files.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto& entry = m_files.at(static_cast<std::size_t>(index.row()));
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(entry.path);
    case Qt::ToolTipRole: {
        auto reason = m_reasons.find(entry.path);
        if (reason == m_reasons.end())
            return QString::fromStdString(entry.path);
        return QString::fromStdString(entry.path) + QLatin1Char('\n') + reason->second;
    }
    case Qt::DecorationRole:
        return stateIcon(entry.state, entry.path);
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return tr("ファイル名前");
    return QAbstractTableModel::headerData(section, orientation, role);
}

int FileListModel::append(const std::vector<std::string>& paths) {
    std::vector<const std::string*> fresh;
    std::unordered_set<std::string_view> seen;
    for (const std::string& p : paths)
        if (!m_files.IsListed(p) && seen.insert(p).second)
            fresh.push_back(&p);
    if (fresh.empty())
        return 0;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(fresh.size()) - 1);
    for (const std::string* p : fresh)
        m_files.add(*p);
    endInsertRows();
    return static_cast<int>(fresh.size());
}

void FileListModel::removeAt(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    m_reasons.erase(pathAt(row));
    m_files.remove(static_cast<std::size_t>(row));
    endRemoveRows();
}

void FileListModel::removeAll() {
    beginResetModel();
    m_reasons.clear();
    m_files.clear();
    endResetModel();
}

std::string FileListModel::pathAt(int row) const {
    return row >= 0 && row < rowCount() ? m_files.at(static_cast<std::size_t>(row)).path : std::string();
}

engine::FileState FileListModel::stateAt(int row) const {
    return row >= 0 && row < rowCount() ? m_files.at(static_cast<std::size_t>(row)).state
                                        : engine::FileState::Unchanged;
}

void FileListModel::setState(int row, engine::FileState state, const QString& reason) {
    if (row < 0 || row >= rowCount())
        return;
    const std::string& path = m_files.at(static_cast<std::size_t>(row)).path;
    bool reasonChanged = false;
    if (reason.isEmpty())
        reasonChanged = m_reasons.erase(path) > 0;
    else if (m_reasons[path] != reason)
        m_reasons[path] = reason, reasonChanged = true;
    if (stateAt(row) == state && !reasonChanged)
        return;
    m_files.setState(static_cast<std::size_t>(row), state);
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {Qt::DecorationRole, Qt::ToolTipRole});
}

void FileListModel::setAllStates(engine::FileState state) {
    if (m_files.empty())
        return;
    m_files.setAllStates(state);
    m_reasons.clear();
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole, Qt::ToolTipRole});
}

QString FileListModel::reasonFor(const Error& error) {
    QString head;
    switch (error.code) {
    case ErrorCode::ChangedMeanwhile:
        head = tr("変更中に他のプログラムがこのファイルを変更しました。そのプログラムの内容を残しました。");
        break;
    case ErrorCode::InUse:
        head = tr("このファイルは他のアプリケーションで使用中です。");
        break;
    case ErrorCode::AccessDenied:
        head = tr("このファイルを変更する権限がありません。");
        break;
    case ErrorCode::ReadOnly:
        head = tr("このファイルは読み取り専用の場所にあります。");
        break;
    case ErrorCode::NotAPlainFile:
        head = tr("通常のファイルではありません。");
        break;
    case ErrorCode::Unsupported:
        head = tr("このファイルシステムでは設定できません。");
        break;
    case ErrorCode::PasswordProtected:
        head = tr("パスワードで保護されています: プロパティは暗号化されています。");
        break;
    case ErrorCode::Signed:
        head = tr("デジタル署名が無効になるため変更しません");
        break;
    case ErrorCode::ChangedSincePreview:
        head = tr("プレビューの後に変更されたため変更しません");
        break;
    case ErrorCode::BadCompoundFile:
    case ErrorCode::BadPropertySet:
    case ErrorCode::BadZip:
    case ErrorCode::CrcMismatch:
    case ErrorCode::SizeMismatch:
    case ErrorCode::BadXml:
        head = tr("ファイルが壊れているため、プロパティを読み書きできません。");
        break;
    case ErrorCode::PackageLayout:
        head = tr("Office Open XML パッケージの構成が正しくないため、プロパティを読み書きできません。");
        break;
    case ErrorCode::NotAnOfficeDocument:
    case ErrorCode::NotAZip:
    case ErrorCode::NotCompoundFile:
        head = tr("Office 文書ではありません。");
        break;
    case ErrorCode::UnsupportedMethod:
        head = tr("このファイルの圧縮方式には対応していません。");
        break;
    case ErrorCode::TooLarge:
        head = tr("プロパティの部分が大きすぎるため、読み込めません。");
        break;
    case ErrorCode::NotFound:
        head = tr("ファイルが見つかりません。");
        break;
    default:
        head = tr("エラーが発生しました。");
        break;
    }
    return head + QLatin1Char('\n') + QString::fromStdString(error.message);
}

QString FileListModel::reasonAt(int row) const {
    auto reason = m_reasons.find(pathAt(row));
    return reason == m_reasons.end() ? QString() : reason->second;
}

}  // namespace qv::ui
