// Everything the main window asks of the user or hands to the desktop: the
// file, folder and save dialogs, message boxes and opening addresses. The
// window talks to this interface only, so tests can answer in its place.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <vector>

#include "engine/csv.h"
#include "engine/csv_import.h"
#include "ui/scrubwindow.h"

class QFileDialog;
class QWidget;

namespace qv::ui {

// What the folder chooser gives: the folder and its check box
// "サブフォルダーも含める".
struct FolderChoice {
    QString path;
    bool includeSubfolders = false;
};

struct CsvTarget {
    QString path;
    engine::CsvEncoding encoding = engine::CsvEncoding::ShiftJis;
    // The check box "ユーザー設定のプロパティも出力する": a custom:NAME column
    // for each user-defined property of the listed files.
    bool withCustom = false;
};

// The answers to "変更を保存しますか？".
enum class SaveAnswer { Save, Discard, Cancel };

class Prompts {
public:
    virtual ~Prompts() = default;

    // OpenDialog1: several documents; empty when cancelled.
    virtual QStringList chooseDocuments(QWidget* parent) = 0;
    // The folder chooser, its check box as given; no value when cancelled.
    virtual std::optional<FolderChoice> chooseFolder(QWidget* parent, const QString& title,
                                                     bool includeSubfolders) = 0;
    // The folder the backups go to, starting at current; no value when
    // cancelled.
    virtual std::optional<QString> chooseBackupFolder(QWidget* parent, const QString& current) = 0;
    // SaveDialog1; no value when cancelled. It keeps the last chosen name.
    virtual std::optional<CsvTarget> chooseCsvFile(QWidget* parent) = 0;
    // The CSV to change files from; no value when cancelled.
    virtual std::optional<QString> chooseImportCsv(QWidget* parent) = 0;
    // The preview of an import: one tick per item of each planned file, or
    // no value when the user cancelled.
    virtual std::optional<std::vector<std::vector<bool>>> previewImport(QWidget* parent,
                                                                       const engine::ImportPlan& plan) = 0;
    // A message box with the application title and an OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // A message with a list of every issue under it, and an OK button.
    virtual void showIssues(QWidget* parent, const QString& text, const QStringList& issues) = 0;
    // A question with Yes and No buttons, No the default; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // The question before a batch change writes anything; true for Yes.
    virtual bool confirmRun(QWidget* parent, const QString& text) = 0;
    // Pending edits: 保存, 保存しない or キャンセル (the default).
    virtual SaveAnswer askSave(QWidget* parent, const QString& text) = 0;
    // Hands an address to the desktop; failures are ignored.
    virtual void openUrl(const QUrl& url) = 0;
    // What a scrub removes (and for delivery copies, where they go); no
    // value when cancelled.
    virtual std::optional<ScrubChoice> chooseScrub(QWidget* parent, bool delivery) = 0;
    // The findings of "個人情報の確認".
    virtual void showAudit(QWidget* parent, const std::vector<engine::FileAudit>& audits) = 0;
};

// The real dialogs and message boxes.
class QtPrompts : public Prompts {
public:
    QStringList chooseDocuments(QWidget* parent) override;
    std::optional<FolderChoice> chooseFolder(QWidget* parent, const QString& title, bool includeSubfolders) override;
    std::optional<QString> chooseBackupFolder(QWidget* parent, const QString& current) override;
    std::optional<CsvTarget> chooseCsvFile(QWidget* parent) override;
    std::optional<QString> chooseImportCsv(QWidget* parent) override;
    std::optional<std::vector<std::vector<bool>>> previewImport(QWidget* parent,
                                                               const engine::ImportPlan& plan) override;
    void message(QWidget* parent, const QString& text) override;
    void showIssues(QWidget* parent, const QString& text, const QStringList& issues) override;
    bool confirm(QWidget* parent, const QString& text) override;
    bool confirmRun(QWidget* parent, const QString& text) override;
    SaveAnswer askSave(QWidget* parent, const QString& text) override;
    void openUrl(const QUrl& url) override;
    std::optional<ScrubChoice> chooseScrub(QWidget* parent, bool delivery) override;
    void showAudit(QWidget* parent, const std::vector<engine::FileAudit>& audits) override;

private:
    QString m_lastCsvPath;
    bool m_lastWithCustom = false;
};

// The dialogs as configured, for the real prompts and for tests that check
// their filters and options.
QFileDialog* makeOpenDialog(QWidget* parent);
// The folder chooser and its check box (found by its object name
// "includeSubfolders").
QFileDialog* makeFolderDialog(QWidget* parent, const QString& title, bool includeSubfolders);
// The open dialog's filters: every Office kind, then Excel, Word and
// PowerPoint, then every file.
QStringList documentFilters();
// The save dialog, with the check box "ユーザー設定のプロパティも出力する"
// (object name "withCustom").
QFileDialog* makeSaveDialog(QWidget* parent, const QString& lastPath, bool withCustom = false);
// The filters of the save dialog, in order: Shift-JIS, then UTF-8.
QString csvFilterShiftJis();
QString csvFilterUtf8();

}  // namespace qv::ui
