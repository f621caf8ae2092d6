#include "engine/restore.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/platform.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {


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

std::vector<Result<JournalEntry>> LatestEntriesFor(const std::vector<std::string>& paths,
                                                   const BackupPolicy& policy) {
    std::vector<Result<JournalEntry>> out;
    std::vector<std::optional<platform::FileIdentity>> ids;
    std::size_t open = paths.size();
    for (const std::string& p : paths) {
        out.push_back(Error(ErrorCode::NotFound, p + ": no run with backups changed it (no journal names it)"));
        auto id = platform::fileIdentity(p);
        ids.push_back(id ? std::optional<platform::FileIdentity>(*id) : std::nullopt);
    }
    // Newest journal first, newest line first: the first match is the latest.
    for (const std::string& journal : JournalsIn(JournalFolder(policy))) {
        if (open == 0)
            break;
        auto entries = ReadJournal(journal);
        if (!entries)
            continue;
        for (auto e = entries->rbegin(); e != entries->rend(); ++e) {
            auto id = platform::fileIdentity(e->path);
            for (std::size_t i = 0; i < paths.size(); ++i) {
                if (out[i] || !(e->path == paths[i] || (id && ids[i] && *id == *ids[i])))
                    continue;
                out[i] = *e;
                --open;
            }
        }
    }
    return out;
}

Result<JournalEntry> LatestEntryFor(const std::string& path, const BackupPolicy& policy) {
    return std::move(LatestEntriesFor({path}, policy).front());
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
