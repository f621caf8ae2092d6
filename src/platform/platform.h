// The platform layer: file times and attributes, file access with the
// sharing rules the tool relies on, atomic file replacement, code pages, the
// time zone and the user's locale formats. One interface; a POSIX and a Win32
// implementation are chosen at build time. Paths and texts are UTF-8.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/filetime.h"
#include "base/result.h"

namespace qv::platform {

// Attribute bits, the values of the Windows file attributes.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;

struct FileTimes {
    RawFileTime creation;
    RawFileTime lastAccess;
    RawFileTime lastWrite;

    friend bool operator==(const FileTimes&, const FileTimes&) = default;
};

// An open file's size and last-write time: what tells a reader that what it
// learnt of the content may be out of date.
struct FileVersion {
    std::uint64_t size = 0;
    RawFileTime lastWrite;

    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// What tells two names of one file apart from two files: the device and the
// inode on POSIX, the volume serial number and the file index on Windows.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;

    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// The times and attributes a file is to have when a change ends. A rewritten
// file takes them before it replaces the old one, so a crash at any moment
// leaves the old file or the new one with the right times.
struct FinalMetadata {
    std::optional<FileTimes> times;
    std::optional<std::uint32_t> attributes;
};

// What a directory search reports for a file.
struct DirectoryEntry {
    FileTimes times;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
};

// ---------------------------------------------------------------------------
// Times and attributes
//
// On POSIX, read-only is the absence of every write permission; hidden,
// system, archive and the other bits live in the extended attribute
// "user.DOSATTRIB" (the layout that SMB servers use, which also carries the
// creation time), and a name that starts with "." reads as hidden too. The
// creation time is the one stored there, else the file system's birth time,
// else the last-write time.

// The directory search for one path: any file, hidden and system ones
// included, but never a folder (a folder gives NotFound/IsDirectory).
Result<DirectoryEntry> findFile(const std::string& path);

// The attribute query.
Result<std::uint32_t> getFileAttributes(const std::string& path);

// The directory search and the attribute query of one path, as a file's
// stamp takes them. POSIX answers both from one status query.
struct FileQuery {
    DirectoryEntry entry;
    // The attribute query's answer; empty when it failed after the search.
    std::optional<std::uint32_t> attributes;
    Error attributesError;
};
Result<FileQuery> queryFile(const std::string& path);

// The last-access and last-write times alone, from one status query: what
// reading a file may have moved.
struct AccessAndWriteTimes {
    RawFileTime lastAccess;
    RawFileTime lastWrite;

    friend bool operator==(const AccessAndWriteTimes&, const AccessAndWriteTimes&) = default;
};
Result<AccessAndWriteTimes> queryAccessAndWriteTimes(const std::string& path);

// Sets the whole attribute value. Where the file system can't hold some of
// the bits, the others are applied and the result is ErrorCode::Unsupported,
// saying which were kept as they were.
Status setFileAttributes(const std::string& path, std::uint32_t attributes);

// Opens the existing file for writing without sharing (so a file that another
// program holds open is noticed: ErrorCode::InUse) and sets its three times
// (on POSIX, times it has already are not set again). A link is not followed.
Status setFileTimes(const std::string& path, const FileTimes& times);

// Sets what is given of the times and the attributes on the file itself,
// through one open without sharing; a link is not followed. The first step
// that fails decides the result: the file system's "can't hold this bit" too.
Status applyFileMetadata(const std::string& path, const FinalMetadata& wanted);

// Puts back the last-access and last-write times that reading moved, without
// opening the file for writing (so it works for a reader that may not write,
// and never waits for another reader). Times that did not move are left alone.
Status putBackReadTimes(const std::string& path, RawFileTime lastAccess, RawFileTime lastWrite);

// The identity of the file a path names (links followed).
Result<FileIdentity> fileIdentity(const std::string& path);

// What a path names after every symbolic link in it is followed: the file that
// a change must rewrite so that the link stays a link. A path that holds no
// link comes back as it is.
Result<std::string> resolveLinks(const std::string& path);

// Whether a path names a plain file with no other hard link, the path itself
// not being a link: the only kind of existing target that may be given a
// new file's owner and permissions. NotFound when nothing is there.
struct TargetKind {
    bool exists = false;
    bool plainFile = false;  // a regular file, not a link, not a folder or device
    bool link = false;       // a symbolic link (or, on Windows, a reparse point)
    bool singleLink = false;
    bool ownedByUs = false;
};
TargetKind inspectTarget(const std::string& path);

// ---------------------------------------------------------------------------
// Folders

bool isDirectory(const std::string& path);
// Names of the files (not folders) directly in a folder, hidden ones
// included, in the order the file system lists them. A symbolic link counts
// only when the file it leads to lies in the folder too: a planted link must
// not bring a file from elsewhere into a batch.
Result<std::vector<std::string>> listFiles(const std::string& folder);
// The files as listFiles gives them, and the names of the folders directly
// in the folder: real folders only, never a symbolic link or junction to
// one, so a walk down the tree always ends.
struct FolderListing {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};
Result<FolderListing> listFolder(const std::string& folder);
// Whether a path names its place from a root (a drive or a share on
// Windows), not from the current folder.
bool isAbsolutePath(const std::string& path);
// The folder and file name joined with the platform's separator.
std::string joinPath(const std::string& folder, const std::string& name);

// ---------------------------------------------------------------------------
// Files

enum class OpenMode {
    ReadDenyWrite,       // read; others may read but not write; on POSIX the
                         // last-access time stays as it was where allowed
    ReadWriteExclusive,  // read and write; no sharing at all
    ReadExclusive,       // read only, no sharing at all: a file about to be
                         // replaced, which need not be writable itself
};

// An open file. On POSIX the sharing rules are advisory locks (flock and an
// open-file-description lock) that this program always takes: they notice
// programs that lock their files, which covers office suites, but not a
// program that opens a file without any lock.
class File {
public:
    File();
    ~File();
    File(File&&) noexcept;
    File& operator=(File&&) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    static Result<File> open(const std::string& path, OpenMode mode);

    bool isOpen() const;
    Result<std::uint64_t> size() const;
    // The size and last-write time in one query of the open file.
    Result<FileVersion> version() const;
    // The identity and the version the file had when it was opened.
    FileIdentity identity() const;
    FileVersion openedVersion() const;
    // Reads up to n bytes at an offset; fewer only at the end of the file.
    Result<std::size_t> readAt(std::uint64_t offset, void* buffer, std::size_t n) const;
    // Reads exactly n bytes at an offset, or fails.
    Status readExactAt(std::uint64_t offset, void* buffer, std::size_t n) const;
    // Writes at the current end of what was written so far (sequential).
    Status write(const void* data, std::size_t n);
    Status write(std::string_view bytes) { return write(bytes.data(), bytes.size()); }
    Status writeAt(std::uint64_t offset, const void* data, std::size_t n);
    // Appends n bytes of another file, read at offset, at the write position;
    // where the system can, without passing them through this process.
    Status copyFrom(const File& source, std::uint64_t offset, std::uint64_t n);
    std::uint64_t writePosition() const;
    Status truncate(std::uint64_t size);
    // Flushes the file's data to the disk.
    Status sync();
    Status close();

    struct Impl;
    Impl* impl() const { return m_impl.get(); }
    // For the implementations, which alone can make an Impl.
    explicit File(std::unique_ptr<Impl> impl);

private:
    friend class ReplacementFile;
    std::unique_ptr<Impl> m_impl;
};

// How many opens for reading on this thread so far could not keep the file's
// last-access time (the file is not ours, or the system has no such open): a
// reader that finds the count unchanged knows that its reads moved no time.
std::uint64_t readOpensMovingAccessTime();

// Reads a whole file (deny-write open); files larger than maxSize are refused.
Result<std::string> readWholeFile(const std::string& path, std::uint64_t maxSize);

// A new version of a file, written beside it under a temporary name and put in
// its place in one step: a failure or a crash at any moment leaves either the
// old file intact or the new one complete. The temporary file is removed when
// the replacement is dropped without commit.
class ReplacementFile {
public:
    ReplacementFile();
    ~ReplacementFile();
    ReplacementFile(ReplacementFile&&) noexcept;
    ReplacementFile& operator=(ReplacementFile&&) noexcept;

    // Starts a replacement of target (which may not exist yet). Leftover
    // temporary files of an earlier, interrupted run are removed first.
    static Result<ReplacementFile> create(const std::string& target);

    File& file();
    const std::string& tempPath() const;
    const std::string& target() const;

    struct CommitOptions {
        // The file being replaced, opened (and locked) before it was first
        // read. The target must still be that file, with the size and
        // last-write time it had then, or the commit is refused with
        // ErrorCode::ChangedMeanwhile; it is held until the new file is in
        // its place and closed by the commit.
        File* original = nullptr;
        // The file whose permissions, owner, ACL and extended attributes the
        // new one takes (the original when not given). Without either, an
        // existing target passes on only its permissions, and only when it is
        // a plain file of ours with a single link.
        const File* looksLike = nullptr;
        FinalMetadata final;
        // A file that is at the target by the time of the rename stays, and
        // the commit fails with ErrorCode::AlreadyExists: a new file beside
        // others (a delivery copy) never takes the place of one.
        bool keepExisting = false;
    };

    // Flushes the new file, gives it the metadata the options say, and puts
    // it in the target's place; a link at the target is replaced, never
    // written through (Windows: ReplaceFileW keeps creation time, attributes
    // and security).
    Status commit(const CommitOptions& options);
    Status commit() { return commit(CommitOptions{}); }
    // Removes the temporary file (also done by the destructor).
    void discard();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// The temporary names that ReplacementFile uses beside target, so that tests
// and the crash checks can look for leftovers.
bool isTemporaryNameFor(const std::string& target, const std::string& candidateName);

// Removes temporary files of our own naming left beside target by an
// interrupted run, and only those no running writer still holds.
void removeStaleTemporaries(const std::string& target);

// Groups the replacements that a thread commits while it exists (a batch
// run): each folder is searched for leftover temporary files once, not once
// per file, and the renames are made durable together when it ends, with one
// flush of each folder, instead of one folder flush per file. Every new
// file's data is still flushed before it takes the old one's place, so a
// crash at any moment leaves each file whole, old or new; only how recent
// the survivors are depends on whether the batch had ended. A batch opened
// while another is open on the thread adds to that one.
class ReplacementBatch {
public:
    ReplacementBatch();
    ~ReplacementBatch();
    ReplacementBatch(const ReplacementBatch&) = delete;
    ReplacementBatch& operator=(const ReplacementBatch&) = delete;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// Copies a file to a new path, replacing what is there, through a
// ReplacementFile, so a failed copy never leaves a half file. The copy takes
// the source's permissions, owner (where allowed), ACL and extended
// attributes from the start, and the given final times and attributes.
Status copyFile(const std::string& source, const std::string& target, const FinalMetadata& final = {});
// The same, never over a file already at target (ErrorCode::AlreadyExists).
Status copyFileNew(const std::string& source, const std::string& target, const FinalMetadata& final = {});

// Writes bytes to a file through a ReplacementFile.
Status writeFileAtomically(const std::string& path, std::string_view bytes);

Status deleteFile(const std::string& path);

// ---------------------------------------------------------------------------
// Code pages (Windows code page numbers; 1200 is UTF-16LE, 65001 UTF-8)

// The tool's ANSI code page: GetACP() on Windows, 932 elsewhere.
int ansiCodePage();
bool isSupportedCodePage(int codePage);
// Decodes bytes of a code page into UTF-8; invalid bytes become U+FFFD.
Result<std::string> decodeCodePage(int codePage, std::string_view bytes);
// Encodes UTF-8 into a code page. With substitute, characters the code page
// lacks become "?"; without, such a character fails the conversion.
Result<std::string> encodeCodePage(int codePage, std::string_view utf8, bool substitute);
bool canEncode(int codePage, std::string_view utf8);

// Whether two UTF-8 texts are the same under Unicode's case folding, as the
// names of user-defined properties are compared ("Client" is "CLIENT").
bool sameIgnoringCase(std::string_view a, std::string_view b);

// ---------------------------------------------------------------------------
// Time zone and clock (seconds since 1970-01-01 00:00)

// Local time minus UTC in seconds, under the rules in effect at that instant.
std::int64_t utcOffsetSecondsAt(std::int64_t utcSeconds);
// The UTC instant of a local wall-clock time, by the rules in effect then.
// A time repeated when the clocks go back is taken in its first occurrence; a
// time skipped when they go forward is taken with the offset before the change.
std::int64_t localToUtcSeconds(std::int64_t localSeconds);
FileTime currentFileTime();

// ---------------------------------------------------------------------------
// The user's locale formats, in Windows pattern letters (yyyy, MM, dd, H, hh,
// mm, ss, tt, quoted literals)

struct LocaleFormats {
    std::string shortDate = "yyyy/MM/dd";
    std::string longTime = "H:mm:ss";
    std::string am = "AM";
    std::string pm = "PM";
    std::array<std::string, 12> monthAbbrev{};
    std::array<std::string, 12> monthFull{};
    std::array<std::string, 7> dayAbbrev{};  // Sunday first
    std::array<std::string, 7> dayFull{};
};

// Reads the formats of the user's locale (LC_TIME on POSIX; the C/POSIX
// locale gives "yyyy/MM/dd" and "H:mm:ss").
LocaleFormats readUserLocaleFormats();

// ---------------------------------------------------------------------------
// Program start

// The program's arguments as UTF-8 (Windows passes them in UTF-16, whatever
// the ANSI code page), without the program name.
std::vector<std::string> programArguments(int argc, char** argv);
// Makes standard output carry the command line's bytes unchanged (no line-end
// translation, so a CSV written to it keeps its CR LF) and a console show
// the UTF-8 it writes.
void prepareStandardStreams();

// ---------------------------------------------------------------------------
// Program location

// Whether the user may replace the document itself, not only write in its
// folder: its owner (who may clear its read-only bit) or one it grants
// writing to. AccessDenied or ReadOnly (read-only media) otherwise.
Status checkMayReplace(const std::string& path);

// The user's own folder for a program's data: $XDG_DATA_HOME (or
// ~/.local/share) on POSIX, %LOCALAPPDATA% on Windows.
std::string userDataFolder();

// The folder of the running executable, without a trailing separator.
std::string executableFolder();

}  // namespace qv::platform
