// The main window: the file list on the left, the pages "単一変更" and
// "一括変更" on the right, the menu and the status bar. Each user action is
// one handler named after its control; the work itself is the engine's.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/settings.h"
#include "ui/prompts.h"

class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QTextBrowser;
class QSettings;

namespace Ui {
class TForm1;
}

namespace qv::ui {

class BackupChoice;
class CustomGrid;
class FileListModel;
class PropertyGrids;
class TForm4;
class TForm5;
class TForm7;
class TForm9;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence (FormCreate). Without prompts the real
    // dialogs and message boxes are used.
    explicit TForm1(std::unique_ptr<Prompts> prompts = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The windows that the program creates after this one.
    void setWindows(TForm4* hints, TForm5* about, TForm7* batchProgress, TForm9* csvProgress);

    Ui::TForm1* form() const { return m_ui.get(); }
    PropertyGrids* grids() const { return m_grids; }
    // The user-defined properties of the single page and the batch page's edits of them.
    CustomGrid* singleCustom() const { return m_customSingle; }
    CustomGrid* batchCustom() const { return m_customBatch; }
    FileListModel* fileList() const { return m_files; }
    // The batch page's 置換: its button, the line that tells the
    // replacements joined to the batch settings, and the button that clears them.
    QPushButton* replaceButton() const { return m_replaceButton; }
    QLabel* replaceLine() const { return m_replaceLine; }
    QPushButton* replaceClearButton() const { return m_replaceClear; }
    // Each page's backup folder and generations, under its backup box.
    BackupChoice* batchBackup() const { return m_backupBatch; }
    BackupChoice* singleBackup() const { return m_backupSingle; }
    QMenu* PopupMenu1() const { return m_popup; }
    Prompts& prompts() const { return *m_prompts; }

    // The index of the selected file, or -1.
    int selectedRow() const;
    void selectRow(int row);
    void clearSelection();

    // What the pages hold, as the engine takes it.
    engine::BatchSettings batchSettings() const;
    void setBatchSettings(const engine::BatchSettings& settings);
    engine::SingleSettings singleSettings() const;

    // Commits a value still open in an in-place editor.
    void CommitOpenEditors();
    // Whether the single page holds edits made since its file was shown.
    bool singlePageModified() const;

    // File list commands.
    void ToolButton1Click();  // ファイル追加
    void ToolButton5Click();  // フォルダからファイル追加
    void ToolButton2Click();  // 削除
    void ToolButton3Click();  // 全て削除
    // Files dropped on the list: a folder brings its documents as the folder
    // command finds them (its subfolders' too when the chooser's box is
    // ticked); other types and listed paths are skipped. Gives the number
    // added.
    int HandleDroppedFiles(const QStringList& paths);

    // Saved defaults.
    void ToolButton9Click();   // 既定保存
    void ToolButton10Click();  // 既定のインポート
    void ToolButton12Click();  // 選択したファイルからインポート

    // Changes and export.
    void BitBtn6Click();  // 変更 (single)
    void BitBtn2Click();  // 変更 (batch)
    void BitBtn9Click();  // CSV出力 (single)
    void BitBtn8Click();  // CSV出力 (batch)
    void ImportCsvClick();  // CSVから変更 (batch)
    // 元に戻す: the documents of the last run that made backups put back.
    void UndoLastRunClick();
    // 個人情報の確認, 個人情報を削除 and 納品用コピーを作成 over the listed files.
    void AuditClick();
    void ScrubClick(bool delivery);
    bool canUndo() const { return !m_lastRun.journals.empty(); }

    // Help menu, hints and About.
    void help2Click();
    void Helponline1Click();
    void Homepage1Click();
    void Emailsupport1Click();
    void BitBtn3Click();  // ヒント (both pages and the menu)
    void about1Click();

    // The folder chooser's "サブフォルダーも含める", as last chosen.
    bool includeSubfolders() const { return m_includeSubfolders; }

    // The settings store of the saved defaults.
    static std::unique_ptr<QSettings> openDefaultsStore();
    // The help page beside the program.
    static QString helpFilePath();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpToolbars();
    void setUpSplitter();
    // The window's first size: what its pages and a five-column list want,
    // within the screen.
    void fitToScreen();
    void setUpFileList();
    // "N 個のファイル" in the status bar, with the selection's size.
    void updateFileCount();
    // "失敗のみ表示": hides the rows of files that neither failed nor could
    // not be read.
    // The rows first to last (all when last is -1); nothing to do while the
    // filter is off and no row is hidden, as during most runs' updates.
    void applyFailedOnly(int first = 0, int last = -1);
    // The rows selected in the list, in list order.
    std::vector<int> selectedRows() const;
    // The summary of a run over the given rows, in the status bar, and in a
    // message as well after a long run.
    void showRunSummary(const std::vector<int>& rows, qint64 elapsedMs, bool offerMessage = true);
    // The single page names its file, and a file it can't show greys it out
    // with the reason.
    void showSingleFile(const std::string& path, bool readable);
    void setUpPages();
    void connectCommands();
    // Tab and Shift+Tab follow the window as it reads: the list, the page's
    // tabs, then each page top to bottom, its buttons last.
    void setUpTabOrder();

    // The selection of the file list changed.
    void ListView1Change();
    // Reads a file into the single page; false when it could not be read
    // and put back as it was.
    bool LoadSingleFileView(const std::string& path);
    void showSelectedReason();
    // The single change of one row; true when the file was written.
    bool runSingleChange(int row);
    // Pending single-page edits: asks whether to save them; false when the
    // user cancelled (or the save failed) and the page must stay.
    bool resolvePendingEdits();
    // What the single page showed when its file was loaded or saved.
    void rememberSingleShown(const std::string& path);
    void watchSingleEdits();
    void scheduleModifiedMark();
    void updateModifiedMark();
    void enableAfterAdding(bool includeRemoveAllItem);
    int appendPaths(const std::vector<std::string>& paths);
    std::vector<std::string> documentsIn(const std::string& folder);

    void SaveDefaults();
    void LoadDefaults();
    void SaveIncludeSubfolders();
    // Clears the selection and selects the first file again, so the single
    // page reads it anew.
    void reselectFirst();
    // The import of one chosen CSV, from reading it to the run.
    void importCsv(const QString& csv);
    // Asks whether to export again in UTF-8 when Shift-JIS lost characters.
    bool offerUtf8(const engine::ExportLoss& loss);
    void message(const QString& text);
    // "参照..." of a page's backup folder.
    void chooseBackupFolder(BackupChoice* choice);
    // False, with a word to the user, when backups are asked for in a folder
    // not given yet.
    bool backupFolderGiven(const BackupChoice* choice, bool backup);
    // A finished run's journals (empty names are runs without backups) and
    // its backup policy: the run 元に戻す puts back.
    void rememberRun(const std::vector<std::string>& journals, const engine::BackupPolicy& policy);

    std::unique_ptr<Ui::TForm1> m_ui;
    std::unique_ptr<Prompts> m_prompts;
    FileListModel* m_files = nullptr;
    PropertyGrids* m_grids = nullptr;
    CustomGrid* m_customSingle = nullptr;
    CustomGrid* m_customBatch = nullptr;
    QMenu* m_popup = nullptr;
    TForm4* m_hints = nullptr;
    TForm5* m_about = nullptr;
    TForm7* m_batchProgress = nullptr;
    TForm9* m_csvProgress = nullptr;
    BackupChoice* m_backupBatch = nullptr;
    BackupChoice* m_backupSingle = nullptr;
    QPushButton* m_undoButton = nullptr;
    QCheckBox* m_failedOnly = nullptr;
    bool m_rowsHidden = false;
    QLabel* m_fileCount = nullptr;
    QLabel* m_runSummary = nullptr;
    QLabel* m_shownFile = nullptr;
    QPushButton* m_replaceButton = nullptr;
    QPushButton* m_replaceClear = nullptr;
    QLabel* m_replaceLine = nullptr;
    std::vector<engine::ReplaceRule> m_replaces;
    void setUpReplaces();
    void showReplaces();
    QWidget* m_helpWindow = nullptr;
    struct LastRun {
        std::vector<std::string> journals;
        engine::BackupPolicy policy;
    };
    LastRun m_lastRun;
    bool m_busy = false;
    bool m_includeSubfolders = false;
    // Why the last view failed, for the file list's tooltip.
    QString m_viewReason;
    std::string m_shownPath;
    std::optional<engine::SingleSettings> m_shownSettings;
    bool m_markPending = false;
};

}  // namespace qv::ui
