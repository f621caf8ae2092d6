// The scrub run: a chosen set of what identifies people, organisations and
// places taken out of every listed document, in place (with backups and a
// journal, as a batch change) or into delivery copies in another folder,
// the originals left as they were.
#pragma once

#include <string>
#include <vector>

#include "engine/audit.h"
#include "engine/change.h"

namespace qv::engine {

struct ScrubSettings {
    ScrubSelection selection = ScrubSelection::Default();
    // Only say what would be removed: nothing is written.
    bool dryRun = false;
    bool allowUnsigning = false;
    // A file that is no Office document is left alone, not failed.
    bool anyFile = false;
    // In place only: a backup of each changed file first.
    bool backup = false;
    BackupPolicy backupPolicy;
    // Delivery copies into this folder (empty: in place); an existing file
    // there is replaced only with overwrite.
    std::string outFolder;
    bool overwrite = false;
};

// A document to scrub, and where its delivery copy goes below the out
// folder: its path relative to the folder given (its name alone for a file
// given).
struct ScrubInput {
    std::string path;
    std::string relative;
};

struct ScrubInputs {
    std::vector<ScrubInput> files;  // each file once
    std::vector<std::string> folders;       // the folders given
    std::vector<std::string> notDocuments;  // files in them that are no Office document by name
};

// The documents of the given files and folders, as the folder search finds
// them (with subfolders when recursive).
ScrubInputs CollectScrubInputs(const std::vector<std::string>& args, bool recursive);

// An out folder may not be one of the source folders, nor lie inside one:
// the copies would join the tree they are made from.
Status CheckDeliveryFolder(const std::string& outFolder, const std::vector<std::string>& sourceFolders);

struct ScrubFileResult {
    std::string destination;         // the delivery copy (made, or that would be made)
    std::vector<AuditItem> removed;  // what was (or would be) removed
    std::vector<AuditItem> keptReadOnly;
};

struct ScrubReport {
    BatchReport batch;                   // each file's state, reason and backup
    std::vector<ScrubFileResult> files;  // by the same index
    bool allDone() const { return batch.allChanged(); }
};

// Notes a file may end with, for the summary.
inline constexpr const char* kNoteNothingToRemove = "nothing to remove";
inline constexpr const char* kNoteNotADocument = "not an Office document, left as it is";
inline constexpr const char* kNoteDryRun = "dry run: nothing written";

// The run, through the batch loop: each file read and planned, checked as a
// change is (rights, password, damage, signature), then scrubbed, copied or
// left alone. A file holding nothing of the set is not rewritten (its
// delivery copy is still made). Progress and cancel as for a batch run.
// fileDone, after each file's fileFinished, has what the file's scrub found.
using ScrubFileDone = std::function<void(std::size_t index, const FileResult& result, const ScrubFileResult& scrub)>;
ScrubReport RunScrub(const std::vector<ScrubInput>& inputs, const ScrubSettings& settings,
                     const RunCallbacks& callbacks = {}, const ScrubFileDone& fileDone = {});

}  // namespace qv::engine
