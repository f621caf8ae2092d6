// The backup folder of each page, and "元に戻す": the documents of the last
// run that made backups put back from its journals.
#include <QApplication>
#include <QLineEdit>
#include <algorithm>
#include <unordered_map>

#include "engine/backup.h"
#include "engine/restore.h"
#include "ui/backupchoice.h"
#include "ui/filelistmodel.h"
#include "ui/progressdialogs.h"
#include "ui/prompts.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace qv::ui {

void TForm1::chooseBackupFolder(BackupChoice* choice) {
    CommitOpenEditors();
    if (const std::optional<QString> folder = m_prompts->chooseBackupFolder(this, choice->folder()->text()))
        choice->setFolder(*folder);
}

bool TForm1::backupFolderGiven(const BackupChoice* choice, bool backup) {
    if (!backup || !choice->folderMissing())
        return true;
    message(tr("バックアップ先のフォルダーを指定してください。"));
    return false;
}

void TForm1::rememberRun(const std::vector<std::string>& journals, const engine::BackupPolicy& policy) {
    LastRun run{{}, policy};
    for (const std::string& j : journals)
        if (!j.empty())
            run.journals.push_back(j);
    // A run that backed nothing up leaves the last one that did to undo: a
    // file it changed since is refused by the restore anyway.
    if (run.journals.empty())
        return;
    m_lastRun = std::move(run);
    m_ui->Undo1->setEnabled(true);
    m_undoButton->setEnabled(true);
}

void TForm1::UndoLastRunClick() {
    if (!canUndo())
        return;
    std::vector<engine::JournalEntry> entries;
    for (const std::string& journal : m_lastRun.journals) {
        Result<std::vector<engine::JournalEntry>> read = engine::ReadJournal(journal);
        if (!read) {
            message(tr("前回の変更の記録を読み込めません。") + QLatin1Char('\n') + QString::fromStdString(journal) +
                    QLatin1Char('\n') + FileListModel::reasonFor(read.error()));
            return;
        }
        entries.insert(entries.end(), read->begin(), read->end());
    }
    if (entries.empty()) {
        message(tr("元に戻すファイルはありません。"));
        return;
    }
    if (!m_prompts->confirm(this, tr("%1 個のファイルを前回の変更の前に戻しますか？").arg(entries.size())))
        return;

    // The files are listed, so their icons tell how each went; the journal
    // names them by their whole path.
    std::unordered_map<std::string, int> rowOf;
    auto index = [&] {
        rowOf.clear();
        for (int r = 0; r < m_files->rowCount(); ++r)
            rowOf.emplace(engine::WholePath(m_files->pathAt(r)), r);
    };
    index();
    std::vector<std::string> missing;
    for (const engine::JournalEntry& e : entries)
        if (!rowOf.count(engine::WholePath(e.path)))
            missing.push_back(e.path);
    if (!missing.empty() && appendPaths(missing) > 0) {
        enableAfterAdding(true);
        index();
    }
    for (const engine::JournalEntry& e : entries)
        if (auto it = rowOf.find(engine::WholePath(e.path)); it != rowOf.end())
            m_files->setState(it->second, engine::FileState::Unchanged);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    auto show = [this, &rowOf](std::size_t, const engine::FileResult& result) {
        if (auto it = rowOf.find(engine::WholePath(result.path)); it != rowOf.end())
            m_files->setState(it->second, result.state,
                              result.state == engine::FileState::ChangeFailed ? FileListModel::reasonFor(result.error)
                                                                              : QString());
    };
    const engine::BackupPolicy policy = m_lastRun.policy;
    engine::BatchReport report;
    if (m_batchProgress) {
        report = m_batchProgress->runRestore(entries, policy, show);
    } else {
        report = engine::RestoreEntries(entries, false, policy);
        for (std::size_t i = 0; i < report.files.size(); ++i)
            show(i, report.files[i]);
    }
    // The restore backed each document up first: it can be undone in turn.
    rememberRun({report.journal}, policy);

    const int row = selectedRow();
    clearSelection();
    selectRow(row >= 0 ? row : 0);
    std::vector<int> rows;
    for (const engine::FileResult& f : report.files)
        if (auto it = rowOf.find(engine::WholePath(f.path)); it != rowOf.end())
            rows.push_back(it->second);
    showRunSummary(rows, 0, false);
    const auto putBack = static_cast<std::size_t>(std::count_if(
        report.files.begin(), report.files.end(),
        [](const engine::FileResult& f) { return f.state == engine::FileState::Changed; }));
    QString text = tr("%1 件を元に戻しました。").arg(putBack);
    // Files a cancel or a failed backup stopped before count as not put back.
    if (putBack < entries.size())
        text += tr("%1 件は戻せませんでした。").arg(entries.size() - putBack);
    message(text);
}

}  // namespace qv::ui
