// Backups that keep the true original, and the journal of each run that
// says what was changed and where its backup is, so that a run can be
// undone.
//
// A document's first backup is NAME.bak and is never replaced; each later
// run adds NAME.2.bak, NAME.3.bak, ... and, past the generations the user
// keeps, removes the oldest of those (never NAME.bak). In a backup folder a
// document's backups lie under its whole path, so a tree backs up without
// two documents meeting.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "props/datetime.h"

namespace qv::engine {

inline constexpr int kDefaultBackupGenerations = 5;

struct BackupPolicy {
    std::string folder;  // empty: beside each document
    // How many backups a document keeps: the first and the newest at
    // least (fewer than 2 counts as 2).
    int generations = kDefaultBackupGenerations;
    friend bool operator==(const BackupPolicy&, const BackupPolicy&) = default;
};

// The first backup of a document: beside it, its full path with ".bak".
std::string BackupPathFor(const std::string& path);
std::string BackupPathFor(const std::string& path, const BackupPolicy& policy);

// Whether a path is one of our backups (DOC.bak or DOC.N.bak for a name DOC
// of a document kind): a run that makes backups leaves such inputs out.
bool IsBackupName(const std::string& path);

// The backups of one run, each folder's names read once.
class BackupRun {
public:
    explicit BackupRun(BackupPolicy policy = {});
    // Copies the document (the file a link leads to) to its next backup,
    // which takes the document's permissions, owner, ACL, times and
    // attributes; gives the backup's path.
    Result<std::string> backup(const std::string& path);

private:
    std::vector<int> generationsIn(const std::string& folder, const std::string& name);

    BackupPolicy m_policy;
    std::map<std::string, std::vector<std::string>> m_names;  // folder -> file names
};

// The classic call: a backup beside the document, as a run makes it.
Status backupoldfile(const std::string& path);

// What a run did to one file, as its journal line holds it.
struct JournalEntry {
    std::string path;    // as the run named it
    std::string backup;  // where the document as it was lies
    struct Item {
        std::string key, before, after;
    };
    std::vector<Item> changes;
    // The document as the run left it, for a restore to check.
    std::uint64_t size = 0;
    FileTime lastWrite = 0;
    std::string sha256;
};

// The journal of one run: JSON Lines, one line per changed file, written as
// the run goes, so a crash leaves a valid journal of what was done.
class Journal {
public:
    // A new journal in the folder (created when missing).
    static Result<Journal> create(const std::string& folder, const std::string& kind);
    Status add(const JournalEntry& entry);
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Where a run's journal goes: the backup folder, or the user's own data
// folder when backups lie beside the documents (never beside them: the
// journal holds the old values).
std::string JournalFolder(const BackupPolicy& policy);

// The entries of a journal, in the order they were written.
Result<std::vector<JournalEntry>> ReadJournal(const std::string& path);
// The journals in a folder, newest first.
std::vector<std::string> JournalsIn(const std::string& folder);

// A path from the root, as a journal keeps it: a restore may run from
// another folder.
std::string WholePath(const std::string& path);

// The size, last-write time and SHA-256 of a file as it is now.
struct FileFingerprint {
    std::uint64_t size = 0;
    FileTime lastWrite = 0;
    std::string sha256;
};
Result<FileFingerprint> FingerprintOf(const std::string& path);

}  // namespace qv::engine
