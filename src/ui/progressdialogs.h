// The two modal progress windows: TForm7 for the batch change and TForm9 for
// the CSV export. The run itself happens on a worker thread, so the window
// keeps repainting and "キャンセル" is heard at once, even while one large
// document is being rewritten; the cancel takes effect before the next file.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/change.h"
#include "engine/csv.h"
#include "engine/csv_import.h"
#include "engine/restore.h"
#include "engine/scrub.h"
#include "engine/settings.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace Ui {
class TForm7;
class TForm9;
}  // namespace Ui

namespace qv::ui {

class RunProgressDialog : public QDialog {
    Q_OBJECT
public:
    // Called on the window's thread after each file, before the next one
    // starts: the file's index and its outcome.
    using FileDone = std::function<void(std::size_t index, const engine::FileResult& result)>;

    bool StopRequested() const { return m_stop.load(); }
    bool isRunning() const { return m_running; }

    // "キャンセル": the run stops before the next file.
    void Button1Click();
    // Escape and the window frame's close button count as "キャンセル".
    void reject() override;

signals:
    void fileDone(int index);

protected:
    explicit RunProgressDialog(QWidget* parent);
    void bind(QLabel* label1, QLabel* label2, QProgressBar* bar, QPushButton* cancel);
    // Shows the window modally and runs work on a worker thread once its
    // timer has fired; returns when the run has ended and the window closed.
    void runModal(std::function<void(const engine::RunCallbacks&)> work, FileDone onFileDone);

    void closeEvent(QCloseEvent* event) override;

private:
    void Timer1Timer();
    void showPath(const QString& path);
    void showPercent(int percent);

    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QProgressBar* m_bar = nullptr;
    QTimer* m_timer = nullptr;
    std::function<void(const engine::RunCallbacks&)> m_work;
    FileDone m_onFileDone;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
};

// "変更中...": the batch change.
class TForm7 : public RunProgressDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);
    ~TForm7() override;
    Ui::TForm7* form() const { return m_ui.get(); }

    engine::BatchReport run(const std::vector<std::string>& paths, const engine::BatchSettings& settings,
                            FileDone onFileDone);
    // The same for the files of an import.
    engine::BatchReport runImport(const engine::ImportPlan& plan, bool backup, bool allowUnsigning,
                                  const engine::BackupPolicy& policy, FileDone onFileDone);
    // The same for putting the documents of a journal back.
    engine::BatchReport runRestore(const std::vector<engine::JournalEntry>& entries,
                                   const engine::BackupPolicy& policy, FileDone onFileDone);
    // The same for a scrub, in place or into delivery copies.
    engine::ScrubReport runScrub(const std::vector<engine::ScrubInput>& inputs, const engine::ScrubSettings& settings,
                                 FileDone onFileDone);

private:
    std::unique_ptr<Ui::TForm7> m_ui;
};

// "CSVを出力中...": the export of the whole list.
class TForm9 : public RunProgressDialog {
    Q_OBJECT
public:
    explicit TForm9(QWidget* parent = nullptr);
    ~TForm9() override;
    Ui::TForm9* form() const { return m_ui.get(); }

    // ExportFileName is the chosen path; it is kept between runs.
    QString ExportFileName() const { return m_exportFileName; }
    engine::ExportReport run(const std::vector<std::string>& paths, const QString& csvPath,
                             engine::CsvEncoding encoding, bool withCustom = false);

private:
    std::unique_ptr<Ui::TForm9> m_ui;
    QString m_exportFileName;
};

}  // namespace qv::ui
