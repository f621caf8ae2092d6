#include "engine/restore.h"

#include <algorithm>
#include <limits>

#include "platform/platform.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    auto x = platform::fileIdentity(a), y = platform::fileIdentity(b);
    return x && y && *x == *y;
}

// The document still as the run left it, and its backup there to return to.
Status mayRestore(const JournalEntry& e) {
    auto real = platform::resolveLinks(e.path);
    if (!real)
        return real.error();
    auto now = FingerprintOf(*real);
    if (!now)
        return now.error();
    if (e.sha256.empty() || now->size != e.size || now->lastWrite != e.lastWrite || now->sha256 != e.sha256)
        return Error(ErrorCode::ChangedMeanwhile,
                     e.path + " was changed after the run (by another program or another run), so it is not put "
                              "back; its backup " + e.backup + " is kept");
    if (!platform::inspectTarget(e.backup).plainFile)
        return Error(ErrorCode::NotFound, "the backup " + e.backup + " is no longer there");
    return platform::checkMayReplace(*real);
}

// The backup copied over the document in one atomic step, with the times
// and attributes the document had before the run.
Status putBack(const JournalEntry& e) {
    auto real = platform::resolveLinks(e.path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(e.backup);
    if (!stamp)
        return stamp.error();
    return platform::copyFile(e.backup, *real, FinalAsFound(*stamp));
}

}  // namespace

Result<JournalEntry> LatestEntryFor(const std::string& path, const BackupPolicy& policy) {
    for (const std::string& journal : JournalsIn(JournalFolder(policy))) {
        auto entries = ReadJournal(journal);
        if (!entries)
            continue;
        for (auto e = entries->rbegin(); e != entries->rend(); ++e)
            if (sameFile(e->path, path))
                return *e;
    }
    return Error(ErrorCode::NotFound, path + ": no run with backups changed it (no journal names it)");
}

BatchReport RestoreEntries(const std::vector<JournalEntry>& entriesIn, bool dryRun, const BackupPolicy& policy,
                           const RunCallbacks& callbacks) {
    std::vector<JournalEntry> entries(entriesIn.rbegin(), entriesIn.rend());
    std::vector<std::string> paths;
    for (const JournalEntry& e : entries)
        paths.push_back(e.path);
    // The document as it is now is backed up first: the restore itself can
    // be undone.
    // No generation is given up during a restore: the one it puts back may
    // be the oldest after the first. The next run trims them again.
    BackupPolicy keepAll = policy;
    keepAll.generations = std::numeric_limits<int>::max();
    RunOptions options{!dryRun, keepAll, [&](std::size_t i) { return mayRestore(entries[i]); }, "restore"};
    return RunEachFile(
        paths, options, [&](std::size_t i) { return dryRun ? Status{} : putBack(entries[i]); }, callbacks);
}

}  // namespace qv::engine
