#include "ui/prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/appearance.h"

namespace qv::ui {

QString csvFilterShiftJis() { return QStringLiteral("CSV File (*.CSV)"); }
QString csvFilterUtf8() { return QStringLiteral("CSV File (UTF-8) (*.CSV)"); }

QFileDialog* makeOpenDialog(QWidget* parent) {
    auto* dialog = new QFileDialog(parent);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(QStringLiteral("Microsoft Excel Files (*.XLS *.XLSX)"));
    // Hidden and system files are shown; without QDir::CaseSensitive the
    // name filter matches the extensions in any case.
    dialog->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    dialog->setSizeGripEnabled(true);
    return dialog;
}

QFileDialog* makeSaveDialog(QWidget* parent, const QString& lastPath) {
    auto* dialog = new QFileDialog(parent);
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

QStringList QtPrompts::chooseWorkbooks(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog(makeOpenDialog(parent));
    if (dialog->exec() != QDialog::Accepted)
        return {};
    QStringList files = dialog->selectedFiles();
    for (QString& f : files)
        f = QDir::toNativeSeparators(f);
    return files;
}

std::optional<QString> QtPrompts::chooseFolder(QWidget* parent, const QString& title) {
    QString folder = QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(folder);
}

std::optional<CsvTarget> QtPrompts::chooseCsvFile(QWidget* parent) {
    std::unique_ptr<QFileDialog> dialog(makeSaveDialog(parent, m_lastCsvPath));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    CsvTarget target;
    target.path = QDir::toNativeSeparators(dialog->selectedFiles().first());
    target.encoding = dialog->selectedNameFilter() == csvFilterUtf8() ? engine::CsvEncoding::Utf8
                                                                      : engine::CsvEncoding::ShiftJis;
    m_lastCsvPath = target.path;
    return target;
}

void QtPrompts::message(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, productTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void QtPrompts::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

}  // namespace qv::ui
