// Changing documents: one file from the single page, every listed file from
// the batch page, with a backup before each change when asked.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/backup.h"
#include "engine/settings.h"

namespace qv::engine {

// The state icon of a listed file.
enum class FileState { Unchanged = 0, Changed = 1, ChangeFailed = 2, Unreadable = 3 };

// For each listed path, the index of the first path that names the same file
// (the same name twice, a link, another hard link); its own index when it is
// the first. Paths that name nothing count as files of their own.
std::vector<std::size_t> FirstOfEachFile(const std::vector<std::string>& paths);
// The paths less every later name of a file already listed.
std::vector<std::string> UniqueFiles(const std::vector<std::string>& paths);

// The per-file change of a batch run and of the single change. A failure
// leaves the file as it was, its attributes included. A link given as the
// file keeps being a link: the file it leads to is changed.
Status ApplyBatchToFile(const std::string& path, const BatchChange& change);
// The same from the page's texts; a text that doesn't parse fails the file.
Status ApplyBatchToFile(const std::string& path, const BatchSettings& settings);
Status ApplySingleToFile(const std::string& path, const SingleSettings& settings);

// One file's own change, as a CSV line asks for it: the edits, the times
// to set (the others stay as found) and the attribute choices.
struct FileChange {
    MetadataEdits edits;
    std::optional<LocalDateTime> creation, lastWrite, lastAccess;
    AttributeChoices attributes;
};
Status ApplyFileChange(const std::string& path, const FileChange& change);

// Every refusal a change of the file would meet, found before anything is
// written (and before its backup): no right to write the document itself
// (whatever the folder allows), no Office document (for a change of its
// properties, or of anything unless anyFile), a password, damage, a digital
// signature without consent, a value the file can't hold.
Status CheckChange(const std::string& path, const MetadataEdits& edits, bool anyFile = false);

// The percentage after the k-th of n files, halves to even.
int ProgressPercent(std::size_t k, std::size_t n);

struct FileResult {
    std::string path;
    FileState state = FileState::Unchanged;
    bool backupFailed = false;
    Error error;  // the reason, when the state is ChangeFailed
    std::string backup;  // the backup made of it
    std::string note;    // why a file was left out (one of our own backups)
};

// Progress and cancel, shared by the window and the command line. Every
// member may be empty.
struct RunCallbacks {
    // Before the file at index is processed.
    std::function<void(std::size_t index, const std::string& path)> fileStarted;
    // After it, with the percentage done.
    std::function<void(std::size_t index, const FileResult& result, int percent)> fileFinished;
    // Asked before each file; true stops the run there.
    std::function<bool()> cancelRequested;
};

struct BatchReport {
    std::vector<FileResult> files;  // one per listed file; unprocessed ones stay Unchanged
    bool cancelled = false;
    bool stoppedByBackupFailure = false;
    std::string journal;  // the run's journal, when it made backups

    bool allChanged() const;
};

// The batch run: in list order; a backup first when asked (a failed backup
// stops the run); each file Changed or ChangeFailed; cancel takes effect
// before the next file.
BatchReport RunBatch(const std::vector<std::string>& paths, const BatchChange& change,
                     const RunCallbacks& callbacks = {});
// The same from the page's texts. A text that doesn't parse fails every file
// with the reason before anything is touched (no backup is made).
BatchReport RunBatch(const std::vector<std::string>& paths, const BatchSettings& settings,
                     const RunCallbacks& callbacks = {});

// What a batch change with values made per file does to each of the first
// `limit` files: its values' old and new texts, or why it would fail. Only
// reads (the times reading moves are put back).
struct FilePreview {
    std::string path;
    std::vector<ValueChange> changes;
    std::optional<Error> error;
};
std::vector<FilePreview> PreviewBatch(const std::vector<std::string>& paths, const BatchChange& change,
                                      std::size_t limit);

// The note of a file left alone because none of its values would change.
inline constexpr const char* kNothingToChangeNote = "unchanged: no value would change";

// How a run backs its files up.
struct RunOptions {
    bool backup = false;
    BackupPolicy policy;
    // Asked of each file before its backup: a refusal fails the file with
    // no backup made.
    std::function<Status(std::size_t index)> check;
    std::string kind = "batch";  // the journal's name for the run
    // Asked after the check passed: a note says the file needs no change
    // (it stays Unchanged with that note, with no backup made and nothing
    // written).
    std::function<std::optional<std::string>(std::size_t index)> leaveAlone = {};
};

// The loop of every run that changes a list: RunBatch's, with the change of
// each file (by its index) given. With backups, inputs that are our own
// backups are left out with a note, and the run keeps a journal of what it
// changed (BatchReport::journal).
BatchReport RunEachFile(const std::vector<std::string>& paths, const RunOptions& options,
                        const std::function<Status(std::size_t index)>& change, const RunCallbacks& callbacks = {});
BatchReport RunEachFile(const std::vector<std::string>& paths, bool backup,
                        const std::function<Status(std::size_t index)>& change, const RunCallbacks& callbacks = {});

struct SingleOutcome {
    FileState state = FileState::Unchanged;  // Unchanged when the backup failed
    bool backupFailed = false;
    Error error;
    std::string journal;
};

// The single change of one file, with its backup when asked.
SingleOutcome RunSingleChange(const std::string& path, const SingleSettings& settings);

}  // namespace qv::engine
