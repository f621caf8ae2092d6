#include "ui/filelistmodel.h"

#include <QFileInfo>
#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "base/text.h"
#include "engine/kinds.h"
#include "ui/icons.h"

namespace qv::ui {

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_files.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QDateTime FileListModel::modifiedOf(const std::string& path) const {
    auto it = m_modified.find(path);
    if (it == m_modified.end())
        it = m_modified.emplace(path, QFileInfo(QString::fromStdString(path)).lastModified()).first;
    return it->second;
}

QString FileListModel::stateText(engine::FileState state) {
    switch (state) {
    case engine::FileState::Changed:
        return tr("変更済み");
    case engine::FileState::ChangeFailed:
        return tr("失敗");
    case engine::FileState::Unreadable:
        return tr("読み込めません");
    case engine::FileState::Unchanged:
        break;
    }
    return {};
}

QString FileListModel::kindText(const std::string& path) {
    const QString ext = QString::fromStdString(text::toLowerAscii(text::extensionOf(path)));
    if (const auto application = engine::ApplicationFor(path)) {
        switch (*application) {
        case engine::OfficeApplication::Excel:
            return tr("Excel (%1)").arg(ext);
        case engine::OfficeApplication::Word:
            return tr("Word (%1)").arg(ext);
        case engine::OfficeApplication::PowerPoint:
            return tr("PowerPoint (%1)").arg(ext);
        case engine::OfficeApplication::OpenDocument:
            return tr("OpenDocument (%1)").arg(ext);
        }
    }
    return ext.isEmpty() ? tr("ファイル") : tr("%1 ファイル").arg(ext.mid(1).toUpper());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto& entry = m_files.at(static_cast<std::size_t>(index.row()));
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn:
            return QString::fromStdString(text::fileNamePart(entry.path));
        case FolderColumn:
            return QString::fromStdString(text::directoryPart(entry.path));
        case KindColumn:
            return kindText(entry.path);
        case ModifiedColumn: {
            const QDateTime t = modifiedOf(entry.path);
            return t.isValid() ? t.toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QString();
        }
        case StateColumn:
            return stateText(entry.state);
        }
        return {};
    case Qt::ToolTipRole: {
        auto reason = m_reasons.find(entry.path);
        if (reason == m_reasons.end())
            return QString::fromStdString(entry.path);
        return QString::fromStdString(entry.path) + QLatin1Char('\n') + reason->second;
    }
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(stateIcon(entry.state, entry.path)) : QVariant();
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case NameColumn:
            return tr("名前");
        case FolderColumn:
            return tr("フォルダー");
        case KindColumn:
            return tr("種類");
        case ModifiedColumn:
            return tr("更新日時");
        case StateColumn:
            return tr("状態");
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    if (m_files.size() < 2 || column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<QVariant> keys(m_files.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& path = m_files.at(i).path;
        if (column == ModifiedColumn)
            keys[i] = modifiedOf(path);
        else if (column == StateColumn)
            keys[i] = static_cast<int>(m_files.at(i).state);
        else
            keys[i] = data(index(static_cast<int>(i), column), Qt::DisplayRole);
    }
    std::vector<std::size_t> order_(m_files.size());
    std::iota(order_.begin(), order_.end(), std::size_t{0});
    // Stable, and by full path within equal keys, so a second sort keeps a
    // sensible order.
    std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) {
        const QPartialOrdering c = QVariant::compare(keys[a], keys[b]);
        if (c == QPartialOrdering::Equivalent || c == QPartialOrdering::Unordered)
            return order == Qt::AscendingOrder ? m_files.at(a).path < m_files.at(b).path
                                               : m_files.at(b).path < m_files.at(a).path;
        return order == Qt::AscendingOrder ? c == QPartialOrdering::Less : c == QPartialOrdering::Greater;
    });
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newRow(order_.size());
    for (std::size_t k = 0; k < order_.size(); ++k)
        newRow[order_[k]] = static_cast<int>(k);
    QModelIndexList after;
    for (const QModelIndex& i : before)
        after.append(index(newRow[static_cast<std::size_t>(i.row())], i.column()));
    m_files.reorder(order_);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::size_t FileListModel::countOf(engine::FileState state) const {
    return static_cast<std::size_t>(std::count_if(m_files.entries().begin(), m_files.entries().end(),
                                                  [state](const auto& e) { return e.state == state; }));
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
    m_modified.erase(pathAt(row));
    m_files.remove(static_cast<std::size_t>(row));
    endRemoveRows();
}

void FileListModel::removeAll() {
    beginResetModel();
    m_reasons.clear();
    m_modified.clear();
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
    // A run may have moved its last-write time.
    if (state == engine::FileState::Changed)
        m_modified.erase(path);
    if (stateAt(row) == state && !reasonChanged)
        return;
    m_files.setState(static_cast<std::size_t>(row), state);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1),
                     {Qt::DisplayRole, Qt::DecorationRole, Qt::ToolTipRole});
}

void FileListModel::setAllStates(engine::FileState state) {
    if (m_files.empty())
        return;
    m_files.setAllStates(state);
    m_reasons.clear();
    emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                     {Qt::DisplayRole, Qt::DecorationRole, Qt::ToolTipRole});
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
        head = tr("文書の構成（パッケージの中のファイルのつながり）が正しくないため、プロパティを読み書きできません。");
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
        head = tr("ファイルが見つかりません。移動または削除された可能性があります。");
        break;
    case ErrorCode::IsDirectory:
        head = tr("フォルダーです。ファイルではありません。");
        break;
    case ErrorCode::DiskFull:
        head = tr("ディスクの空き容量が足りません。");
        break;
    case ErrorCode::IoError:
        head = tr("ファイルの読み書き中にエラーが発生しました。");
        break;
    case ErrorCode::ConversionFailed:
        head = tr("値をこのファイルに書ける形に変換できません。");
        break;
    case ErrorCode::InvalidArgument:
        head = tr("値が正しくありません。");
        break;
    case ErrorCode::Cancelled:
        head = tr("中止しました。");
        break;
    case ErrorCode::AlreadyExists:
        head = tr("同じ名前のファイルが既にあるため、書き込みませんでした。");
        break;
    case ErrorCode::Internal:
        head = tr("内部エラーが発生しました。");
        break;
    }
    // The engine's details are English, for logs and the command line: the
    // window says what happened in Japanese only.
    return head;
}

QString FileListModel::reasonAt(int row) const {
    auto reason = m_reasons.find(pathAt(row));
    return reason == m_reasons.end() ? QString() : reason->second;
}

}  // namespace qv::ui
