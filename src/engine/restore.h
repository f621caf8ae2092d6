// Undoing a run: each document put back from the backup its journal names,
// but only while it is still what the run wrote. A restore is itself a run
// with backups and a journal, so it can be undone in turn.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "engine/backup.h"
#include "engine/change.h"

namespace qv::engine {

// The newest journal entry for a document, from the journals in the folder
// that a run with this policy writes to. NotFound when no run with backups
// changed it.
Result<JournalEntry> LatestEntryFor(const std::string& path, const BackupPolicy& policy);
// The same for many documents, each journal read once.
std::vector<Result<JournalEntry>> LatestEntriesFor(const std::vector<std::string>& paths, const BackupPolicy& policy);

// Puts each entry's document back from its backup, newest entry first. A
// document whose size, last-write time or content differ from what the run
// left fails with ErrorCode::ChangedMeanwhile and stays as it is; so does
// one whose backup is gone. With dryRun, only the checks.
BatchReport RestoreEntries(const std::vector<JournalEntry>& entries, bool dryRun, const BackupPolicy& policy,
                           const RunCallbacks& callbacks = {});

}  // namespace qv::engine
