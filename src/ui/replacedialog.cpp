#include "ui/replacedialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include "props/catalogue.h"
#include "ui/batchconfirm.h"

namespace qv::ui {

ReplaceDialog::ReplaceDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("置換"));
    auto* layout = new QVBoxLayout(this);
    auto* rows = new QGroupBox(tr("置換する項目"), this);
    auto* grid = new QGridLayout(rows);
    for (const PropertyRow& r : kCatalogue) {
        auto* box = new QCheckBox(QString::fromUtf8(r.Label), rows);
        // Only the text rows: a date or a number is typed, not edited as text.
        box->setEnabled(r.Editor == EditorKind::Text);
        grid->addWidget(box, r.Index / 3, r.Index % 3);
        m_rows.push_back(box);
    }
    m_custom = new QCheckBox(tr("ユーザー設定（テキスト）"), rows);
    grid->addWidget(m_custom, kRowCount / 3 + 1, 0, 1, 3);
    layout->addWidget(rows);
    auto* form = new QFormLayout;
    m_find = new QLineEdit(this);
    m_with = new QLineEdit(this);
    form->addRow(tr("検索する文字列"), m_find);
    form->addRow(tr("置換後の文字列"), m_with);
    layout->addLayout(form);
    m_regex = new QCheckBox(tr("正規表現"), this);
    m_ignoreCase = new QCheckBox(tr("大文字と小文字を区別しない"), this);
    m_width = new QCheckBox(tr("全角と半角を区別しない"), this);
    for (QCheckBox* b : {m_regex, m_ignoreCase, m_width})
        layout->addWidget(b);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReplaceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::vector<engine::ReplaceRule> ReplaceDialog::rules() const {
    std::vector<engine::ReplaceRule> out;
    if (m_find->text().isEmpty())
        return out;
    engine::ReplaceRule base{{}, m_find->text().toStdString(), m_with->text().toStdString(), m_regex->isChecked(),
                             m_ignoreCase->isChecked(), m_width->isChecked()};
    for (const PropertyRow& r : kCatalogue)
        if (m_rows[static_cast<std::size_t>(r.Index)]->isChecked()) {
            base.target = r.Key;
            out.push_back(base);
        }
    if (m_custom->isChecked()) {
        base.target = "custom:*";
        out.push_back(base);
    }
    return out;
}

void ReplaceDialog::accept() {
    const std::vector<engine::ReplaceRule> r = rules();
    QString fault;
    if (m_find->text().isEmpty())
        fault = tr("検索する文字列を入力してください。");
    else if (r.empty())
        fault = tr("置換する項目を選択してください。");
    else if (auto made = engine::Replacer::make(r.front()); !made)
        fault = tr("検索する文字列に誤りがあります：%1").arg(PatternFaultText(made.error().message));
    if (!fault.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), fault);
        return;
    }
    QDialog::accept();
}

QString ReplaceRuleText(const engine::ReplaceRule& rule) {
    QString where = QString::fromStdString(rule.target);
    if (rule.target == "custom:*")
        where = QObject::tr("ユーザー設定");
    else if (int row = rowForKey(rule.target); row >= 0)
        where = QString::fromUtf8(kCatalogue[static_cast<std::size_t>(row)].Label);
    QStringList how;
    if (rule.regex)
        how.append(QObject::tr("正規表現"));
    if (rule.ignoreCase)
        how.append(QObject::tr("大文字小文字を区別しない"));
    if (rule.widthInsensitive)
        how.append(QObject::tr("全角半角を区別しない"));
    return QObject::tr("%1 「%2」→「%3」").arg(where, QString::fromStdString(rule.find), QString::fromStdString(rule.with)) +
           (how.isEmpty() ? QString() : QStringLiteral("（") + how.join(QStringLiteral("、")) + QStringLiteral("）"));
}

}  // namespace qv::ui
