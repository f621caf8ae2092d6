#include "ui/prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/kinds.h"
#include "ui/appearance.h"
#include "ui/importpreview.h"

namespace qv::ui {

QString csvFilterShiftJis() { return QObject::tr("CSV ファイル (Shift-JIS) (*.csv *.CSV)"); }
QString csvFilterUtf8() { return QObject::tr("CSV ファイル (UTF-8) (*.csv *.CSV)"); }

QStringList documentFilters() {
    using engine::OfficeApplication;
    auto patterns = [](std::optional<OfficeApplication> only) {
        QStringList p;
        for (const engine::DocumentKind& k : engine::DocumentKinds())
            if (!only || k.application == *only)
                p.append(QLatin1Char('*') + QString::fromLatin1(k.extension).toLower());
        return p.join(QLatin1Char(' '));
    };
    return {
        QObject::tr("Office 文書") + QStringLiteral(" (%1)").arg(patterns(std::nullopt)),
        QObject::tr("Excel ブック") + QStringLiteral(" (%1)").arg(patterns(OfficeApplication::Excel)),
        QObject::tr("Word 文書") + QStringLiteral(" (%1)").arg(patterns(OfficeApplication::Word)),
        QObject::tr("PowerPoint プレゼンテーション") + QStringLiteral(" (%1)").arg(patterns(OfficeApplication::PowerPoint)),
        QObject::tr("OpenDocument 文書") + QStringLiteral(" (%1)").arg(patterns(OfficeApplication::OpenDocument)),
        QObject::tr("すべてのファイル") + QStringLiteral(" (*)"),
    };
}

QFileDialog* makeOpenDialog(QWidget* parent) {
    auto* dialog = new QFileDialog(parent);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters(documentFilters());
    // Hidden and system files are shown; without QDir::CaseSensitive the
    // name filter matches the extensions in any case.
    dialog->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

QFileDialog* makeSaveDialog(QWidget* parent, const QString& lastPath, bool withCustom) {
    auto* dialog = new QFileDialog(parent);
    // The platform's own dialog can't hold a check box of ours.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    auto* box = new QCheckBox(QObject::tr("ユーザー設定のプロパティも出力する"), dialog);
    box->setObjectName(QStringLiteral("withCustom"));
    box->setChecked(withCustom);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("CSV"));
    dialog->setNameFilters({csvFilterShiftJis(), csvFilterUtf8()});
    dialog->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
    dialog->setSizeGripEnabled(true);
    // Overwriting an existing file is asked about (the dialog's default).
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!lastPath.isEmpty())
        dialog->selectFile(lastPath);
    return dialog;
}

QFileDialog* makeFolderDialog(QWidget* parent, const QString& title, bool includeSubfolders) {
    auto* dialog = new QFileDialog(parent, title);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // The platform's own chooser can't hold a check box of ours.
    dialog->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog->setSizeGripEnabled(true);
    auto* box = new QCheckBox(QObject::tr("サブフォルダーも含める"), dialog);
    box->setObjectName(QStringLiteral("includeSubfolders"));
    box->setChecked(includeSubfolders);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
        grid->addWidget(box, grid->rowCount(), 0, 1, grid->columnCount());
    return dialog;
}

QStringList QtPrompts::chooseDocuments(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog(makeOpenDialog(parent));
    if (dialog->exec() != QDialog::Accepted)
        return {};
    QStringList files = dialog->selectedFiles();
    for (QString& f : files)
        f = QDir::toNativeSeparators(f);
    return files;
}

std::optional<FolderChoice> QtPrompts::chooseFolder(QWidget* parent, const QString& title, bool includeSubfolders) {
    std::unique_ptr<QFileDialog> dialog(makeFolderDialog(parent, title, includeSubfolders));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    FolderChoice choice;
    choice.path = QDir::toNativeSeparators(dialog->selectedFiles().first());
    choice.includeSubfolders = dialog->findChild<QCheckBox*>(QStringLiteral("includeSubfolders"))->isChecked();
    return choice;
}

std::optional<QString> QtPrompts::chooseBackupFolder(QWidget* parent, const QString& current) {
    QFileDialog dialog(parent, QObject::tr("バックアップ先のフォルダーを選択してください"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOptions(QFileDialog::ShowDirsOnly);
    dialog.setSizeGripEnabled(true);
    if (!current.isEmpty())
        dialog.setDirectory(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

std::optional<CsvTarget> QtPrompts::chooseCsvFile(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog(makeSaveDialog(parent, m_lastCsvPath, m_lastWithCustom));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    CsvTarget target;
    target.withCustom = dialog->findChild<QCheckBox*>(QStringLiteral("withCustom"))->isChecked();
    m_lastWithCustom = target.withCustom;
    target.path = QDir::toNativeSeparators(dialog->selectedFiles().first());
    target.encoding = dialog->selectedNameFilter() == csvFilterUtf8() ? engine::CsvEncoding::Utf8
                                                                      : engine::CsvEncoding::ShiftJis;
    m_lastCsvPath = target.path;
    return target;
}

std::optional<QString> QtPrompts::chooseImportCsv(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters({QObject::tr("CSV ファイル") + QStringLiteral(" (*.csv *.CSV)"),
                           QObject::tr("すべてのファイル") + QStringLiteral(" (*)")});
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

std::optional<std::vector<std::vector<bool>>> QtPrompts::previewImport(QWidget* parent,
                                                                      const engine::ImportPlan& plan) {
    ImportPreviewDialog dialog(plan, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.ticked();
}

void QtPrompts::message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, productTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void QtPrompts::showIssues(QWidget* parent, const QString& text, const QStringList& issues) {
    QDialog dialog(parent);
    dialog.setWindowTitle(productTitle());
    dialog.setSizeGripEnabled(true);
    dialog.resize(720, 400);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* list = new QListWidget(&dialog);
    list->addItems(issues);
    layout->addWidget(list, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

bool QtPrompts::confirm(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, productTitle(), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtPrompts::confirmRun(QWidget* parent, const QString& text) { return confirm(parent, text); }

SaveAnswer QtPrompts::askSave(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, productTitle(), text, QMessageBox::NoButton, parent);
    QPushButton* save = box.addButton(QObject::tr("保存"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QObject::tr("保存しない"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QObject::tr("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return SaveAnswer::Save;
    return box.clickedButton() == discard ? SaveAnswer::Discard : SaveAnswer::Cancel;
}

void QtPrompts::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

std::optional<ScrubChoice> QtPrompts::chooseScrub(QWidget* parent, bool delivery) {
    ScrubDialog dialog(delivery, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.choice();
}

void QtPrompts::showAudit(QWidget* parent, const std::vector<engine::FileAudit>& audits) {
    AuditDialog dialog(audits, parent);
    dialog.exec();
}

}  // namespace qv::ui
