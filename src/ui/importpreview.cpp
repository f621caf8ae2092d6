#include "ui/importpreview.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/filelistmodel.h"

namespace qv::ui {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// The file columns under the names the single page gives them; the
// fourteen rows' heads are already the window's labels.
QString itemLabel(const engine::ItemChange& c) {
    static const char* const kKeys[] = {"creationTime", "lastWriteTime", "lastAccessTime", "readOnly",
                                        "archive",      "hidden",        "system"};
    static const char* const kLabels[] = {"ファイルの作成日時", "ファイルの更新日時", "ファイルのアクセス日時",
                                          "読み取り専用",       "アーカイブ",         "隠し",
                                          "システム"};
    for (std::size_t i = 0; i < std::size(kKeys); ++i)
        if (c.key == kKeys[i])
            return QObject::tr(kLabels[i]);
    return q(c.item);
}

QString whatIsWrong(const engine::ImportIssue& issue) {
    using K = engine::IssueKind;
    const QString value = q(issue.value);
    switch (issue.kind) {
    case K::Syntax:
        if (issue.value == "unclosed")
            return QObject::tr("引用符で始まる欄が閉じられていません");
        if (issue.value == "after quote")
            return QObject::tr("閉じる引用符の後に文字があります");
        return QObject::tr("引用符で囲まれていない欄に引用符があります");
    case K::NoHeadLine:
        return QObject::tr("見出しの行がありません");
    case K::UnknownHead:
        return QObject::tr("「%1」は使える見出しではありません").arg(value);
    case K::SecondColumn:
        return QObject::tr("同じ見出しの列が二つあります");
    case K::NoFileColumn:
        return QObject::tr("ファイルを示す「File full name」か「File Name」の列がありません");
    case K::TooManyFields:
        return QObject::tr("見出しの数より多くの欄があります");
    case K::NoFile:
        return QObject::tr("ファイル名がありません");
    case K::SecondLine:
        return QObject::tr("同じファイルの行が二つあります: %1").arg(value);
    case K::SameFile:
        return QObject::tr("別の行と同じファイルです（別名またはリンク）: %1").arg(value);
    case K::ControlCharacter:
        return QObject::tr("ファイル名に制御文字があります");
    case K::OutsideFolder:
        return QObject::tr("CSVのフォルダーの外にあるため変更しません: %1").arg(value);
    case K::AmbiguousName:
        return QObject::tr("この名前は二つのファイルを指すため変更しません: %1").arg(value);
    case K::NotADate:
        return QObject::tr("「%1」は日付と時刻として読めません").arg(value);
    case K::NotYesOrEmpty:
        return QObject::tr("「%1」は「Y」でも空でもありません").arg(value);
    case K::NotAValue:
        return QObject::tr("「%1」はこの項目の値として使えません").arg(value);
    case K::ReadOnlyProperty:
        return QObject::tr("リンクされたプロパティ、またはこのツールが変更しない種類のプロパティです");
    case K::CannotStore:
        return QObject::tr("この値はファイルに保存できません: %1").arg(value) + QLatin1Char('\n') +
               FileListModel::reasonFor(Error(issue.code, issue.message));
    case K::Missing:
        return QObject::tr("ファイルがありません: %1").arg(value);
    case K::Unreadable:
        return value + QStringLiteral(": ") + FileListModel::reasonFor(Error(issue.code, issue.message));
    case K::Other:
        break;
    }
    return FileListModel::reasonFor(Error(issue.code, issue.message));
}

}  // namespace

QString IssueText(const engine::ImportIssue& issue) {
    QString where;
    if (issue.line > 0)
        where = QObject::tr("%1 行目").arg(issue.line);
    if (issue.column > 0)
        where += QObject::tr("、%1 列目").arg(issue.column);
    if (!issue.head.empty())
        where += QStringLiteral("（%1）").arg(q(issue.head));
    return where.isEmpty() ? whatIsWrong(issue) : where + QStringLiteral(": ") + whatIsWrong(issue);
}

QString DoubtLabel(engine::Doubt doubt) {
    switch (doubt) {
    case engine::Doubt::None:
        return {};
    case engine::Doubt::FormulaResult:
        return QObject::tr("ファイルには数式の文字列があり、セルは表計算ソフトが計算した結果かもしれません");
    case engine::Doubt::RoundedNumber:
        return QObject::tr("セルはファイルの数値を表計算ソフトが丸めたものかもしれません");
    case engine::Doubt::DateForm:
        return QObject::tr("セルはファイルの日付を表計算ソフトが別の形で書いたものかもしれません");
    }
    return {};
}

ImportPreviewDialog::ImportPreviewDialog(const engine::ImportPlan& plan, QWidget* parent)
    : QDialog(parent), m_plan(plan) {
    setWindowTitle(tr("CSVから変更"));
    setSizeGripEnabled(true);
    resize(860, 480);
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    m_changes = new QTreeWidget(this);
    m_changes->setColumnCount(4);
    m_changes->setHeaderLabels({tr("ファイル / 項目"), tr("現在の値"), tr("新しい値"), tr("注意")});
    m_changes->setUniformRowHeights(true);
    // Ticking a file ticks its items; its tick shows whether all, some or
    // none of them are ticked.
    for (const engine::FileImport& f : plan.files) {
        auto* file = new QTreeWidgetItem(m_changes, {q(f.path)});
        file->setFlags(file->flags() | Qt::ItemIsUserCheckable | Qt::ItemIsAutoTristate);
        for (const engine::ItemChange& c : f.changes) {
            auto* item = new QTreeWidgetItem(file, {itemLabel(c), q(c.before), q(c.after), DoubtLabel(c.doubt)});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, c.applied ? Qt::Checked : Qt::Unchecked);
            if (c.doubt != engine::Doubt::None)
                for (int col = 0; col < 4; ++col)
                    item->setToolTip(col, DoubtLabel(c.doubt));
        }
    }
    m_changes->expandAll();
    m_changes->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_changes->setColumnWidth(0, 320);
    m_changes->setColumnWidth(1, 170);
    m_changes->setColumnWidth(2, 170);
    layout->addWidget(m_changes, 1);
    connect(m_changes, &QTreeWidget::itemChanged, this, [this] { updateSummary(); });

    if (!plan.skipped.empty()) {
        layout->addWidget(new QLabel(tr("変更しない行:"), this));
        auto* skipped = new QListWidget(this);
        for (const engine::ImportIssue& s : plan.skipped)
            skipped->addItem(IssueText(s));
        skipped->setMaximumHeight(110);
        layout->addWidget(skipped);
    }

    auto* buttons = new QDialogButtonBox(this);
    m_change = buttons->addButton(tr("変更"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    updateSummary();
}

std::vector<std::vector<bool>> ImportPreviewDialog::ticked() const {
    std::vector<std::vector<bool>> out;
    for (int i = 0; i < m_changes->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* file = m_changes->topLevelItem(i);
        std::vector<bool> items;
        for (int k = 0; k < file->childCount(); ++k)
            items.push_back(file->child(k)->checkState(0) == Qt::Checked);
        out.push_back(std::move(items));
    }
    return out;
}

void ImportPreviewDialog::setTicked(std::size_t file, bool on) {
    m_changes->topLevelItem(static_cast<int>(file))->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

void ImportPreviewDialog::setItemTicked(std::size_t file, std::size_t item, bool on) {
    m_changes->topLevelItem(static_cast<int>(file))
        ->child(static_cast<int>(item))
        ->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
}

QString ImportPreviewDialog::summary() const { return m_summary->text(); }

void ImportPreviewDialog::updateSummary() {
    std::size_t files = 0, items = 0, doubts = 0;
    for (const std::vector<bool>& file : ticked()) {
        const auto n = static_cast<std::size_t>(std::count(file.begin(), file.end(), true));
        items += n;
        files += n > 0;
    }
    for (const engine::FileImport& f : m_plan.files)
        for (const engine::ItemChange& c : f.changes)
            doubts += c.doubt != engine::Doubt::None;
    QString text = tr("%1 個のファイルで %2 項目を変更します").arg(files).arg(items);
    if (doubts > 0)
        text += QLatin1Char('\n') +
                tr("表計算ソフトが保存したときに変わったかもしれない %1 項目は、チェックを付けたものだけ変更します。")
                    .arg(doubts);
    m_summary->setText(text);
    m_change->setEnabled(items > 0);
}

}  // namespace qv::ui
