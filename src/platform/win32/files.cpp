// Win32 implementation of the platform's file operations, wide-character
// APIs throughout.
#include <windows.h>

#include <string>

#include "base/chunked_copy.h"
#include "base/text.h"
#include "platform/faults.h"
#include "platform/platform.h"
#include "platform/temp_names.h"
#include "platform/win32/wide.h"

namespace qv::platform {

namespace {

constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

RawFileTime fromFiletime(const FILETIME& ft) {
    return RawFileTime{(static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, 0};
}

FILETIME toFiletime(const RawFileTime& t) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t.ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(t.ticks >> 32);
    return ft;
}

bool hasWildcards(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

FileVersion versionOf(const BY_HANDLE_FILE_INFORMATION& info) {
    FileVersion v;
    v.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    v.lastWrite = fromFiletime(info.ftLastWriteTime);
    return v;
}

// A handle that only asks about a file, sharing everything.
HANDLE openForQuery(const std::string& path, DWORD access = 0) {
    return CreateFileW(widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------

Result<DirectoryEntry> findFile(const std::string& path) {
    if (hasWildcards(path))
        return Error(ErrorCode::NotFound, "can't find " + path + ": the name holds wildcard characters");
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW(widen(path).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE)
        return win32Error(GetLastError(), "can't find", path);
    FindClose(h);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Error(ErrorCode::IsDirectory, path + " is a folder, not a file");
    DirectoryEntry e;
    e.times.creation = fromFiletime(data.ftCreationTime);
    e.times.lastAccess = fromFiletime(data.ftLastAccessTime);
    e.times.lastWrite = fromFiletime(data.ftLastWriteTime);
    e.attributes = data.dwFileAttributes;
    e.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return e;
}

Result<std::uint32_t> getFileAttributes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data))
        return win32Error(GetLastError(), "can't read the attributes of", path);
    return static_cast<std::uint32_t>(data.dwFileAttributes);
}

Result<FileQuery> queryFile(const std::string& path) {
    auto entry = findFile(path);
    if (!entry)
        return entry.error();
    FileQuery q;
    q.entry = *entry;
    auto attributes = getFileAttributes(path);
    if (attributes)
        q.attributes = *attributes;
    else
        q.attributesError = attributes.error();
    return q;
}

Result<AccessAndWriteTimes> queryAccessAndWriteTimes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data))
        return win32Error(GetLastError(), "can't find", path);
    return AccessAndWriteTimes{fromFiletime(data.ftLastAccessTime), fromFiletime(data.ftLastWriteTime)};
}

Status setFileAttributes(const std::string& path, std::uint32_t attributes) {
    QV_TRY(faults::check("setattr"));
    DWORD value = attributes & kSettableAttributes & ~FILE_ATTRIBUTE_NORMAL;
    if (value == 0)
        value = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesW(widen(path).c_str(), value))
        return win32Error(GetLastError(), "can't set the attributes of", path);
    return {};
}

Status setFileTimes(const std::string& path, const FileTimes& times) {
    // Read and write access without sharing: a workbook that another program
    // has open is noticed here.
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return win32Error(GetLastError(), "can't open", path);
    Status st = faults::check("settime");
    if (st) {
        FILETIME c = toFiletime(times.creation), a = toFiletime(times.lastAccess), w = toFiletime(times.lastWrite);
        if (!SetFileTime(h, &c, &a, &w))
            st = win32Error(GetLastError(), "can't set the times of", path);
    }
    CloseHandle(h);
    return st;
}

Status applyFileMetadata(const std::string& path, const FinalMetadata& wanted) {
    if (wanted.times) {
        // Without sharing, so a file that another program has open is noticed;
        // attribute access alone, so a read-only file can be given its times.
        HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return win32Error(GetLastError(), "can't open", path);
        Status st = faults::check("settime");
        if (st) {
            FILETIME c = toFiletime(wanted.times->creation), a = toFiletime(wanted.times->lastAccess),
                     w = toFiletime(wanted.times->lastWrite);
            if (!SetFileTime(h, &c, &a, &w))
                st = win32Error(GetLastError(), "can't set the times of", path);
        }
        CloseHandle(h);
        QV_TRY(st);
    }
    if (wanted.attributes)
        QV_TRY(setFileAttributes(path, *wanted.attributes));
    return {};
}

Status putBackReadTimes(const std::string& path, RawFileTime lastAccess, RawFileTime lastWrite) {
    auto now = queryAccessAndWriteTimes(path);
    if (!now)
        return now.error();
    if (now->lastAccess == lastAccess && now->lastWrite == lastWrite)
        return {};
    QV_TRY(faults::check("settime"));
    HANDLE h = openForQuery(path, FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE)
        return win32Error(GetLastError(), "can't put back the times that reading moved on", path);
    FILETIME a = toFiletime(lastAccess), w = toFiletime(lastWrite);
    Status st;
    if (!SetFileTime(h, nullptr, &a, &w))
        st = win32Error(GetLastError(), "can't put back the times that reading moved on", path);
    CloseHandle(h);
    return st;
}

Result<FileIdentity> fileIdentity(const std::string& path) {
    HANDLE h = openForQuery(path);
    if (h == INVALID_HANDLE_VALUE)
        return win32Error(GetLastError(), "can't find", path);
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = GetFileInformationByHandle(h, &info);
    DWORD err = GetLastError();
    CloseHandle(h);
    if (!ok)
        return win32Error(err, "can't query", path);
    return identityOf(info);
}

// Links on Windows need rights few users have; ReplaceFileW works on the
// name it is given.
Result<std::string> resolveLinks(const std::string& path) { return path; }

TargetKind inspectTarget(const std::string& path) {
    TargetKind k;
    DWORD a = GetFileAttributesW(widen(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return k;
    k.exists = true;
    k.plainFile = !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
    k.link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    k.ownedByUs = true;
    HANDLE h = openForQuery(path);
    if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        k.singleLink = GetFileInformationByHandle(h, &info) && info.nNumberOfLinks == 1;
        CloseHandle(h);
    }
    return k;
}

bool isDirectory(const std::string& path) {
    DWORD a = GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

Result<FolderListing> listFolder(const std::string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileExW(widen(joinPath(folder, "*")).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                nullptr, FIND_FIRST_EX_LARGE_FETCH);
    FolderListing out;
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND)
            return out;
        return win32Error(err, "can't list", folder);
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out.files.push_back(narrow(data.cFileName));
        } else if (name != L"." && name != L".." && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            // Junctions and links to folders are never followed.
            out.folders.push_back(narrow(data.cFileName));
        }
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return out;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    char last = folder.back();
    if (last == '\\' || last == '/' || last == ':')
        return folder + name;
    return folder + "\\" + name;
}

std::string executableFolder() {
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    std::string path = narrow(buf);
    std::size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string(".") : path.substr(0, sep);
}

Status deleteFile(const std::string& path) {
    QV_TRY(faults::check("delete"));
    if (!DeleteFileW(widen(path).c_str()))
        return win32Error(GetLastError(), "can't delete", path);
    return {};
}

// ---------------------------------------------------------------------------
// File

struct File::Impl {
    HANDLE h = INVALID_HANDLE_VALUE;
    std::string path;
    std::uint64_t writePos = 0;
    // What the file was when it was opened: what a replacement checks.
    FileIdentity identity;
    FileVersion opened;

    ~Impl() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

namespace {
thread_local std::uint64_t t_readOpensMovingAccessTime = 0;
}  // namespace

// Windows keeps no open that leaves the last-access time alone.
std::uint64_t readOpensMovingAccessTime() { return t_readOpensMovingAccessTime; }

File::File() = default;
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

Result<File> File::open(const std::string& path, OpenMode mode) {
    bool write = mode == OpenMode::ReadWriteExclusive;
    DWORD access = write ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
    DWORD share = mode == OpenMode::ReadDenyWrite ? FILE_SHARE_READ : 0;
    HANDLE h = CreateFileW(widen(path).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE && !write)
        ++t_readOpensMovingAccessTime;
    if (h == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        if (err == ERROR_ACCESS_DENIED && write) {
            DWORD a = GetFileAttributesW(widen(path).c_str());
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
                return Error(ErrorCode::IsDirectory, path + " is a folder, not a file");
            if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
                return Error(ErrorCode::ReadOnly, "the file " + path + " is read-only");
        }
        return win32Error(err, "can't open", path);
    }
    File f;
    f.m_impl = std::make_unique<Impl>();
    f.m_impl->h = h;
    f.m_impl->path = path;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
        f.m_impl->identity = identityOf(info);
        f.m_impl->opened = versionOf(info);
    }
    return f;
}

File::File(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
FileIdentity File::identity() const { return m_impl->identity; }
FileVersion File::openedVersion() const { return m_impl->opened; }

bool File::isOpen() const { return m_impl && m_impl->h != INVALID_HANDLE_VALUE; }

Result<std::uint64_t> File::size() const {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(m_impl->h, &s))
        return win32Error(GetLastError(), "can't read the size of", m_impl->path);
    return static_cast<std::uint64_t>(s.QuadPart);
}

Result<FileVersion> File::version() const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(m_impl->h, &info))
        return win32Error(GetLastError(), "can't query", m_impl->path);
    return versionOf(info);
}

Result<std::size_t> File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < n) {
        OVERLAPPED ov{};
        std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(m_impl->h, out + done, chunk, &got, &ov)) {
            DWORD err = GetLastError();
            if (err == ERROR_HANDLE_EOF)
                break;
            return win32Error(err, "can't read", m_impl->path);
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

Status File::readExactAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    auto r = readAt(offset, buffer, n);
    if (!r)
        return r.error();
    if (*r != n)
        return Error(ErrorCode::IoError, "unexpected end of " + m_impl->path);
    return {};
}

Status File::writeAt(std::uint64_t offset, const void* data, std::size_t n) {
    QV_TRY(faults::check("write"));
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(data);
    while (done < n) {
        OVERLAPPED ov{};
        std::uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 30));
        DWORD put = 0;
        if (!WriteFile(m_impl->h, in + done, chunk, &put, &ov))
            return win32Error(GetLastError(), "can't write", m_impl->path);
        if (put == 0)
            return Error(ErrorCode::DiskFull, "can't write " + m_impl->path + ": no room left");
        done += put;
    }
    return {};
}

Status File::write(const void* data, std::size_t n) {
    QV_TRY(writeAt(m_impl->writePos, data, n));
    m_impl->writePos += n;
    return {};
}

Status File::copyFrom(const File& source, std::uint64_t offset, std::uint64_t n) {
    return copyInChunks(
        offset, n, [&](std::uint64_t at, char* buf, std::size_t count) { return source.readExactAt(at, buf, count); },
        [this](const char* buf, std::size_t count) { return write(buf, count); });
}

std::uint64_t File::writePosition() const { return m_impl->writePos; }

Status File::truncate(std::uint64_t size) {
    QV_TRY(faults::check("truncate"));
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(m_impl->h, pos, nullptr, FILE_BEGIN) || !SetEndOfFile(m_impl->h))
        return win32Error(GetLastError(), "can't truncate", m_impl->path);
    return {};
}

Status File::sync() {
    QV_TRY(faults::check("sync"));
    if (!FlushFileBuffers(m_impl->h))
        return win32Error(GetLastError(), "can't flush", m_impl->path);
    return {};
}

Status File::close() {
    if (!isOpen())
        return {};
    HANDLE h = m_impl->h;
    m_impl->h = INVALID_HANDLE_VALUE;
    if (!CloseHandle(h))
        return win32Error(GetLastError(), "can't close", m_impl->path);
    return {};
}

// ---------------------------------------------------------------------------
// Replacement

struct ReplacementFile::Impl {
    std::string target;
    std::string tempPath;
    File file;
    bool done = false;

    void discard() {
        if (done)
            return;
        done = true;
        (void)file.close();
        DeleteFileW(widen(tempPath).c_str());
    }
    ~Impl() { discard(); }
};

ReplacementFile::ReplacementFile() = default;
ReplacementFile::~ReplacementFile() = default;
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;
ReplacementFile& ReplacementFile::operator=(ReplacementFile&&) noexcept = default;

// The system replaces and flushes each file in one call; a batch changes
// nothing here.
struct ReplacementBatch::Impl {};
ReplacementBatch::ReplacementBatch() = default;
ReplacementBatch::~ReplacementBatch() = default;

void removeStaleTemporaries(const std::string& target) {
    std::string folder = detail::folderOf(target);
    auto names = listFiles(folder);
    if (!names)
        return;
    for (const std::string& name : *names) {
        // A writer keeps its temporary file open without sharing, so only a
        // leftover can be deleted.
        if (isTemporaryNameFor(target, name))
            DeleteFileW(widen(joinPath(folder, name)).c_str());
    }
}

namespace {
// The full path of a file: ReplaceFileW wants full paths, and a relative or
// slash-separated one may name the folder wrongly.
std::string fullPath(const std::string& path) {
    std::wstring w = widen(path);
    DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return narrow(full);
}
}  // namespace

Result<ReplacementFile> ReplacementFile::create(const std::string& targetIn) {
    const std::string target = fullPath(targetIn);
    if (isDirectory(target))
        return Error(ErrorCode::IsDirectory, target + " is a folder, not a file");
    removeStaleTemporaries(target);
    std::string folder = detail::folderOf(target);
    QV_TRY(faults::check("create"));
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = joinPath(folder, detail::newTemporaryName(target));
        // A new, normal file: CREATE_ALWAYS over a hidden file would fail.
        HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD err = GetLastError();
            if (err == ERROR_FILE_EXISTS)
                continue;
            return win32Error(err, "can't create a temporary file beside", target);
        }
        ReplacementFile r;
        r.m_impl = std::make_unique<Impl>();
        r.m_impl->target = target;
        r.m_impl->tempPath = path;
        r.m_impl->file.m_impl = std::make_unique<File::Impl>();
        r.m_impl->file.m_impl->h = h;
        r.m_impl->file.m_impl->path = path;
        return r;
    }
    return Error(ErrorCode::IoError, "can't find a free temporary name beside " + target);
}

File& ReplacementFile::file() { return m_impl->file; }
const std::string& ReplacementFile::tempPath() const { return m_impl->tempPath; }
const std::string& ReplacementFile::target() const { return m_impl->target; }
void ReplacementFile::discard() {
    if (m_impl)
        m_impl->discard();
}

Status ReplacementFile::commit(const CommitOptions& o) {
    Impl& im = *m_impl;
    if (im.done)
        return Error(ErrorCode::Internal, "replacement of " + im.target + " already finished");
    if (o.final.times) {
        FILETIME c = toFiletime(o.final.times->creation), a = toFiletime(o.final.times->lastAccess),
                 w = toFiletime(o.final.times->lastWrite);
        if (!SetFileTime(im.file.impl()->h, &c, &a, &w))
            return win32Error(GetLastError(), "can't set the times of", im.tempPath);
    }
    QV_TRY(im.file.sync());
    QV_TRY(im.file.close());
    QV_TRY(faults::check("rename"));
    std::wstring target = widen(im.target), temp = widen(im.tempPath);
    if (o.original) {
        auto now = o.original->version();
        if (!now)
            return now.error();
        if (*now != o.original->openedVersion())
            return detail::changedMeanwhile(im.target, "written to");
        auto id = fileIdentity(im.target);
        if (!id)
            return detail::changedMeanwhile(im.target, "moved away or deleted");
        if (*id != o.original->identity())
            return detail::changedMeanwhile(im.target, "replaced by another file");
        // Windows can't replace a file that is still open without sharing.
        (void)o.original->close();
    }
    DWORD attrs = GetFileAttributesW(target.c_str());
    BOOL ok;
    if (o.keepExisting && !o.original) {
        // Without MOVEFILE_REPLACE_EXISTING the move fails where a file is.
        ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        if (!ok && (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS))
            return Error(ErrorCode::AlreadyExists, im.target + " exists already");
        attrs = INVALID_FILE_ATTRIBUTES;
    } else if (attrs == INVALID_FILE_ATTRIBUTES) {
        ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    } else {
        // A read-only file can't be replaced; it is one only until then.
        if (attrs & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(target.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
        // Keeps the replaced file's creation time, attributes and security.
        ok = ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        if (!ok && (attrs & FILE_ATTRIBUTE_READONLY)) {
            DWORD err = GetLastError();
            SetFileAttributesW(target.c_str(), attrs);
            SetLastError(err);
        }
    }
    if (!ok)
        return win32Error(GetLastError(), "can't replace", im.target);
    im.done = true;
    faults::pausePoint("renamed");
    // The replaced file's creation time and attributes came along; the
    // change's own are set now.
    FinalMetadata after;
    if (o.final.attributes)
        after.attributes = *o.final.attributes;
    else if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
        after.attributes = attrs;
    if (o.final.times)
        after.times = o.final.times;
    if (after.times || after.attributes)
        (void)applyFileMetadata(im.target, after);
    return {};
}

}  // namespace qv::platform
