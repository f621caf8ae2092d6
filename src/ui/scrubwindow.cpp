#include "ui/scrubwindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/text.h"
#include "engine/csv.h"
#include "platform/platform.h"
#include "props/catalogue.h"
#include "ui/appearance.h"

namespace qv::ui {

QString AuditItemLabel(const engine::AuditItem& item) {
    if (const int row = rowForKey(item.key); row >= 0)
        return QString::fromUtf8(kCatalogue[static_cast<std::size_t>(row)].Label);
    if (item.key == "template")
        return QObject::tr("テンプレート");
    if (item.key == "hyperlinkbase")
        return QObject::tr("ハイパーリンクの基点");
    if (item.key == "thumbnail")
        return QObject::tr("縮小版（最初のページの画像）");
    if (item.key == "application")
        return QObject::tr("アプリケーション");
    if (item.key == "appVersion")
        return QObject::tr("アプリケーションのバージョン");
    if (item.key == "custom")
        return QObject::tr("ユーザー設定のプロパティ：%1").arg(QString::fromStdString(item.name));
    return QString::fromStdString(item.key);
}

namespace {

// The rows a scrub may remove, with whether the default set does.
constexpr std::pair<int, bool> kScrubRows[] = {
    {kRowAuthor, true},   {kRowLastSavedBy, true}, {kRowManager, true}, {kRowCompany, true},
    {kRowComments, true}, {kRowTitle, false},      {kRowSubject, false}, {kRowKeywords, false},
    {kRowCategory, false},
};

std::vector<std::string> splitNames(const QString& text) {
    std::vector<std::string> out;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (const QString name = part.trimmed(); !name.isEmpty())
            out.push_back(name.toStdString());
    return out;
}

}  // namespace

ScrubDialog::ScrubDialog(bool delivery, QWidget* parent) : QDialog(parent), m_delivery(delivery) {
    setObjectName(QStringLiteral("ScrubDialog"));
    setWindowTitle(delivery ? tr("納品用コピーを作成") : tr("個人情報を削除"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(delivery ? tr("一覧のファイルから次の情報を削除したコピーを、指定したフォルダーに作成します。"
                                           "元のファイルは変更しません。")
                                      : tr("一覧のファイルから次の情報を削除します。"),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* what = new QGroupBox(tr("削除する情報"), this);
    auto* grid = new QGridLayout(what);
    int at = 0;
    auto place = [&](QCheckBox* box) {
        grid->addWidget(box, at / 2, at % 2);
        ++at;
    };
    const engine::ScrubSelection defaults = engine::ScrubSelection::Default();
    for (const auto& [row, _] : kScrubRows) {
        auto* box = new QCheckBox(QString::fromUtf8(kCatalogue[static_cast<std::size_t>(row)].Label), what);
        box->setObjectName(QString::fromLatin1(kCatalogue[static_cast<std::size_t>(row)].Key));
        box->setChecked(defaults.rows[row]);
        place(box);
        m_rows.emplace_back(box, row);
    }
    auto extra = [&](QCheckBox*& box, const QString& label, const char* name, bool on) {
        box = new QCheckBox(label, what);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(on);
        place(box);
    };
    extra(m_template, tr("テンプレート"), "template", defaults.templateName);
    extra(m_linkBase, tr("ハイパーリンクの基点"), "hyperlinkbase", defaults.hyperlinkBase);
    extra(m_thumbnail, tr("縮小版（最初のページの画像）"), "thumbnail", defaults.thumbnail);
    extra(m_custom, tr("ユーザー設定のプロパティ"), "custom", defaults.custom);
    extra(m_application, tr("アプリケーションとバージョン"), "application", defaults.application);
    extra(m_resetRevision, tr("改訂番号と編集時間を戻す"), "resetRevision", false);
    layout->addWidget(what);

    auto* form = new QFormLayout;
    m_keep = new QLineEdit(this);
    m_keep->setObjectName(QStringLiteral("keepCustom"));
    m_keep->setPlaceholderText(tr("例: MSIP_Label_*, 文書番号"));
    m_keep->setToolTip(tr("残すユーザー設定のプロパティの名前をカンマで区切って入力します。末尾の * は前方一致です。"));
    form->addRow(tr("残すプロパティ(&K):"), m_keep);
    m_author = new QLineEdit(this);
    m_author->setObjectName(QStringLiteral("authorText"));
    m_author->setPlaceholderText(tr("空欄のときは削除"));
    form->addRow(tr("作成者の代わりに(&A):"), m_author);
    m_company = new QLineEdit(this);
    m_company->setObjectName(QStringLiteral("companyText"));
    m_company->setPlaceholderText(tr("空欄のときは削除"));
    form->addRow(tr("会社名の代わりに(&C):"), m_company);
    if (delivery) {
        auto* row = new QHBoxLayout;
        m_out = new QLineEdit(this);
        m_out->setObjectName(QStringLiteral("outFolder"));
        auto* browse = new QToolButton(this);
        browse->setText(tr("参照..."));
        connect(browse, &QToolButton::clicked, this, [this] {
            const QString folder = QFileDialog::getExistingDirectory(this, tr("コピーの作成先のフォルダー"), m_out->text());
            if (!folder.isEmpty())
                m_out->setText(QDir::toNativeSeparators(folder));
        });
        row->addWidget(m_out);
        row->addWidget(browse);
        auto* label = new QLabel(tr("作成先(&O):"), this);
        label->setBuddy(m_out);
        form->addRow(label, row);
        m_overwrite = new QCheckBox(tr("作成先にある同じ名前のファイルを置き換える"), this);
        m_overwrite->setObjectName(QStringLiteral("overwrite"));
        form->addRow(QString(), m_overwrite);
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("確認へ進む"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ScrubChoice ScrubDialog::choice() const {
    ScrubChoice c;
    engine::ScrubSelection& s = c.selection;
    s = engine::ScrubSelection{};
    for (const auto& [box, row] : m_rows)
        s.rows[row] = box->isChecked();
    s.templateName = m_template->isChecked();
    s.hyperlinkBase = m_linkBase->isChecked();
    s.thumbnail = m_thumbnail->isChecked();
    s.custom = m_custom->isChecked();
    s.application = m_application->isChecked();
    s.resetRevision = m_resetRevision->isChecked();
    s.keepCustom = splitNames(m_keep->text());
    // A text in place of a value sets it, whether or not its box removes it.
    if (!m_author->text().trimmed().isEmpty())
        s.author = m_author->text().trimmed().toStdString();
    if (!m_company->text().trimmed().isEmpty())
        s.company = m_company->text().trimmed().toStdString();
    if (m_out)
        c.outFolder = m_out->text().trimmed();
    c.overwrite = m_overwrite && m_overwrite->isChecked();
    return c;
}

void ScrubDialog::accept() {
    if (m_delivery && m_out->text().trimmed().isEmpty()) {
        QMessageBox::information(this, productTitle(), tr("コピーの作成先のフォルダーを指定してください。"));
        return;
    }
    QDialog::accept();
}

AuditDialog::AuditDialog(const std::vector<engine::FileAudit>& audits, QWidget* parent)
    : QDialog(parent), m_audits(audits) {
    setObjectName(QStringLiteral("AuditDialog"));
    setWindowTitle(tr("個人情報の確認"));
    auto* layout = new QVBoxLayout(this);
    std::size_t withFindings = 0, unreadable = 0, findings = 0;
    for (const engine::FileAudit& a : audits) {
        unreadable += !a.ok;
        withFindings += a.ok && !a.items.empty();
        findings += a.items.size();
    }
    layout->addWidget(new QLabel(tr("%1 個のファイルのうち %2 個に %3 件の情報があります。読み込めないファイル: %4 個")
                                     .arg(audits.size())
                                     .arg(withFindings)
                                     .arg(findings)
                                     .arg(unreadable),
                                 this));
    auto* table = new QTableWidget(this);
    table->setObjectName(QStringLiteral("AuditTable"));
    table->setColumnCount(3);
    table->setHorizontalHeaderLabels({tr("ファイル"), tr("項目"), tr("値")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    int row = 0;
    auto add = [&](const engine::FileAudit& a, const QString& what, const QString& value) {
        table->insertRow(row);
        auto* file = new QTableWidgetItem(QString::fromStdString(text::fileNamePart(a.path)));
        file->setToolTip(QString::fromStdString(a.path));
        table->setItem(row, 0, file);
        table->setItem(row, 1, new QTableWidgetItem(what));
        table->setItem(row, 2, new QTableWidgetItem(value));
        ++row;
    };
    for (const engine::FileAudit& a : audits) {
        if (!a.ok)
            add(a, tr("読み込めません"), QString());
        for (const engine::AuditItem& item : a.items)
            add(a, AuditItemLabel(item), QString::fromStdString(item.value));
    }
    table->resizeColumnsToContents();
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(tr("CSVに保存(&S)..."), QDialogButtonBox::ActionRole);
    buttons->addButton(tr("閉じる"), QDialogButtonBox::RejectRole);
    connect(save, &QPushButton::clicked, this, &AuditDialog::saveCsv);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 480);
}

void AuditDialog::saveCsv() {
    const QString path = QFileDialog::getSaveFileName(this, tr("個人情報の確認をCSVに保存"), QString(),
                                                      tr("CSV ファイル (UTF-8) (*.csv *.CSV)"));
    if (path.isEmpty())
        return;
    // UTF-8: names and values of any script survive.
    const Status st = platform::writeFileAtomically(
        path.toStdString(), engine::EncodeCsv(engine::AuditCsvLines(m_audits), engine::CsvEncoding::Utf8));
    if (!st)
        QMessageBox::warning(this, productTitle(), tr("CSVファイルを保存できません。") + QLatin1Char('\n') + path);
}

}  // namespace qv::ui
