// Shared pieces of the window tests: prompts that answer from the test, a
// main window with the program's other windows, settings in a temporary
// folder, and a fixed time zone and date format.
#pragma once

#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "support/testsupport.h"
#include "ui/prompts.h"

class QTemporaryDir;

namespace Ui {
class TForm1;
}

namespace qv::ui {
class TForm1;
class TForm4;
class TForm5;
class TForm7;
class TForm9;
}  // namespace qv::ui

namespace qv::test {

class FakePrompts : public ui::Prompts {
public:
    QStringList workbooks;          // answer of the open dialog
    std::optional<QString> folder;  // answer of the folder chooser
    // The chooser's check box: as the window offered it, and the answer
    // (none: left as offered).
    bool subfoldersOffered = false;
    std::optional<bool> includeSubfolders;
    bool confirmAnswer = false;  // answer of every question
    QStringList questions;
    std::optional<ui::CsvTarget> csv;
    QStringList messages;
    QString folderTitle;
    QList<QUrl> urls;
    int csvAsked = 0;

    QStringList chooseDocuments(QWidget*) override { return workbooks; }
    std::optional<ui::FolderChoice> chooseFolder(QWidget*, const QString& title, bool offered) override {
        folderTitle = title;
        subfoldersOffered = offered;
        if (!folder)
            return std::nullopt;
        return ui::FolderChoice{*folder, includeSubfolders.value_or(offered)};
    }
    std::optional<QString> backupFolder;  // answer of the backup folder chooser
    std::optional<QString> chooseBackupFolder(QWidget*, const QString&) override { return backupFolder; }
    std::optional<QString> importCsv;                    // answer of the CSV chooser
    // None: cancel; an empty list: the preview's own ticks; else one tick
    // per item of each file.
    std::optional<std::vector<std::vector<bool>>> previewAnswer;
    int previewed = 0;
    std::optional<QString> chooseImportCsv(QWidget*) override { return importCsv; }
    std::optional<std::vector<std::vector<bool>>> previewImport(QWidget*, const engine::ImportPlan& plan) override {
        ++previewed;
        lastPlan = plan;
        if (previewAnswer && previewAnswer->empty()) {
            std::vector<std::vector<bool>> ticks;
            for (const engine::FileImport& f : plan.files) {
                ticks.emplace_back();
                for (const engine::ItemChange& c : f.changes)
                    ticks.back().push_back(c.applied);
            }
            return ticks;
        }
        return previewAnswer;
    }
    QStringList issues;  // every issue shown, the message first
    void showIssues(QWidget*, const QString& text, const QStringList& list) override {
        messages.append(text);
        issues = list;
    }
    engine::ImportPlan lastPlan;
    bool confirm(QWidget*, const QString& text) override {
        questions.append(text);
        return confirmAnswer;
    }
    std::optional<ui::CsvTarget> chooseCsvFile(QWidget*) override {
        ++csvAsked;
        return csv;
    }
    // The batch run's question, answered apart from the others.
    bool confirmBatch = true;
    QStringList batchQuestions;
    bool confirmRun(QWidget*, const QString& text) override {
        batchQuestions.append(text);
        return confirmBatch;
    }
    // "変更を保存しますか？": the answer, and how often and what was asked.
    ui::SaveAnswer saveAnswer = ui::SaveAnswer::Discard;
    int saveAsked = 0;
    QString saveQuestion;
    ui::SaveAnswer askSave(QWidget*, const QString& text) override {
        ++saveAsked;
        saveQuestion = text;
        return saveAnswer;
    }
    void message(QWidget*, const QString& text) override { messages.append(text); }
    void openUrl(const QUrl& url) override { urls.append(url); }
    // The scrub's choice (none: cancelled), and the audits shown.
    std::optional<ui::ScrubChoice> scrubAnswer;
    std::optional<ui::ScrubChoice> chooseScrub(QWidget*, bool) override { return scrubAnswer; }
    std::vector<engine::FileAudit> audits;
    void showAudit(QWidget*, const std::vector<engine::FileAudit>& shown) override { audits = shown; }
};

// Tokyo time and the "yyyy/MM/dd" "H:mm:ss" formats for the whole run, and
// the saved defaults in a folder of their own.
class GuiEnvironment {
public:
    GuiEnvironment();
    ~GuiEnvironment();
    // Removes every saved default.
    void clearSettings();

private:
    ScopedTimeZone m_tz;
    std::unique_ptr<QTemporaryDir> m_settings;
};

// The main window as the program builds it, shown and active.
struct Window {
    // With realPrompts the window shows real dialogs and message boxes
    // (and prompts is null).
    explicit Window(bool show = true, bool realPrompts = false);
    ~Window();

    FakePrompts* prompts;  // owned by the window
    std::unique_ptr<ui::TForm1> form;
    ui::TForm4* hints;
    ui::TForm5* about;
    ui::TForm7* batchProgress;
    ui::TForm9* csvProgress;

    Ui::TForm1& ui() const;
    // Lists paths through the drop handler.
    void list(const std::vector<std::string>& paths) const;
    QString value(bool batch, int row) const;
};

std::string q2s(const QString& s);
QString s2q(const std::string& s);

// Gives a file known times and attributes, and reads them back exactly.
struct Stamp {
    StatTimes times;
    std::uint32_t attributes = 0;
    bool operator==(const Stamp&) const = default;
};
Stamp stampOf(const std::string& path);

// Runs fn after the next modal window has opened, with that window.
void whenModalOpens(std::function<void(QWidget*)> fn);

}  // namespace qv::test
