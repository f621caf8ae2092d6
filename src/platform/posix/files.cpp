// POSIX implementation of the platform's file operations.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "base/chunked_copy.h"
#include "base/text.h"
#include "platform/dosattrib.h"
#include "platform/faults.h"
#include "platform/platform.h"
#include "platform/temp_names.h"

namespace qv::platform {

namespace {

constexpr const char* kDosAttribName = "user.DOSATTRIB";
constexpr std::uint32_t kStoredBitsMask = ~(kAttrReadOnly | kAttrDirectory);

Error errnoError(int err, const std::string& what, const std::string& path) {
    ErrorCode code;
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        code = ErrorCode::NotFound;
        break;
    case EACCES:
    case EPERM:
        code = ErrorCode::AccessDenied;
        break;
    case EROFS:
        code = ErrorCode::ReadOnly;
        break;
    case ENOSPC:
    case EDQUOT:
        code = ErrorCode::DiskFull;
        break;
    case EISDIR:
        code = ErrorCode::IsDirectory;
        break;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
        code = ErrorCode::InUse;
        break;
    default:
        code = ErrorCode::IoError;
        break;
    }
    return Error(code, what + " " + path + ": " + std::strerror(err));
}

RawFileTime fromTimespec(const struct timespec& ts) {
    std::int64_t secs = static_cast<std::int64_t>(ts.tv_sec) + kSecondsFrom1601To1970;
    if (secs < 0)
        return {};
    RawFileTime t;
    t.ticks = static_cast<FileTime>(secs) * kTicksPerSecond + static_cast<FileTime>(ts.tv_nsec / 100);
    t.subTickNs = static_cast<std::uint32_t>(ts.tv_nsec % 100);
    return t;
}

RawFileTime fromStatxTimestamp(const struct statx_timestamp& ts) {
    struct timespec t;
    t.tv_sec = ts.tv_sec;
    t.tv_nsec = ts.tv_nsec;
    return fromTimespec(t);
}

struct timespec toTimespec(const RawFileTime& t) {
    std::int64_t secs = static_cast<std::int64_t>(t.ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(secs);
    ts.tv_nsec = static_cast<long>((t.ticks % kTicksPerSecond) * 100 + (t.subTickNs % 100));
    return ts;
}

bool nameLooksHidden(const std::string& path) {
    std::string name = text::fileNamePart(path);
    return !name.empty() && name[0] == '.';
}

// Reads the DOSATTRIB attribute of a path or an open file.
std::optional<dosattrib::Info> readDosAttrib(const std::string& path, int fd = -1) {
    char buf[256];
    ssize_t n = fd >= 0 ? fgetxattr(fd, kDosAttribName, buf, sizeof buf)
                        : getxattr(path.c_str(), kDosAttribName, buf, sizeof buf);
    if (n < 0 && errno == ERANGE) {
        std::string big(65536, '\0');
        n = fd >= 0 ? fgetxattr(fd, kDosAttribName, big.data(), big.size())
                    : getxattr(path.c_str(), kDosAttribName, big.data(), big.size());
        if (n < 0)
            return std::nullopt;
        return dosattrib::decode(std::string_view(big.data(), static_cast<std::size_t>(n)));
    }
    if (n < 0)
        return std::nullopt;
    return dosattrib::decode(std::string_view(buf, static_cast<std::size_t>(n)));
}

Status writeDosAttrib(const std::string& path, int fd, const dosattrib::Info& info) {
    QV_TRY(faults::check("setxattr"));
    std::string blob = dosattrib::encode(info);
    int rc = fd >= 0 ? fsetxattr(fd, kDosAttribName, blob.data(), blob.size(), 0)
                     : setxattr(path.c_str(), kDosAttribName, blob.data(), blob.size(), 0);
    if (rc != 0) {
        int err = errno;
        if (err == ENOTSUP || err == EPERM)
            return Error(ErrorCode::Unsupported,
                         "the file system of " + path +
                             " keeps no hidden, system or archive attribute and no creation time; "
                             "they were left as they were");
        return errnoError(err, "can't store the attributes of", path);
    }
    return {};
}

struct Inspected {
    struct statx sx;
    std::optional<dosattrib::Info> dos;
};

Result<Inspected> inspect(const std::string& path, int fd = -1) {
    Inspected in{};
    unsigned mask = STATX_TYPE | STATX_MODE | STATX_ATIME | STATX_MTIME | STATX_BTIME | STATX_SIZE;
    int rc = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, mask, &in.sx) : statx(AT_FDCWD, path.c_str(), 0, mask, &in.sx);
    if (rc != 0)
        return errnoError(errno, "can't find", path);
    in.dos = readDosAttrib(path, fd);
    return in;
}

std::uint32_t attributesOf(const std::string& path, const Inspected& in) {
    std::uint32_t a = in.dos ? (in.dos->attributes & kStoredBitsMask) : 0;
    if ((in.sx.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        a |= kAttrReadOnly;
    if (S_ISDIR(in.sx.stx_mode))
        a |= kAttrDirectory;
    if (nameLooksHidden(path))
        a |= kAttrHidden;
    return a;
}

RawFileTime creationOf(const Inspected& in) {
    if (in.dos && in.dos->creation)
        return RawFileTime{*in.dos->creation, 0};
    if (in.sx.stx_mask & STATX_BTIME)
        return fromStatxTimestamp(in.sx.stx_btime);
    return fromStatxTimestamp(in.sx.stx_mtime);
}

// Takes the advisory locks that stand for Windows' sharing modes.
Status takeLocks(int fd, bool exclusive, const std::string& path) {
    if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK)
            return Error(ErrorCode::InUse, "the file " + path + " is in use by another program");
        // A file system without flock still has the record lock below.
        if (err != ENOLCK && err != EINVAL && err != ENOTSUP)
            return errnoError(err, "can't lock", path);
    }
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
        int err = errno;
        if (err == EAGAIN || err == EACCES)
            return Error(ErrorCode::InUse, "the file " + path + " is in use by another program");
    }
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------

Result<DirectoryEntry> findFile(const std::string& path) {
    auto in = inspect(path);
    if (!in)
        return in.error();
    if (S_ISDIR(in->sx.stx_mode))
        return Error(ErrorCode::IsDirectory, path + " is a folder, not a file");
    if (!S_ISREG(in->sx.stx_mode))
        return Error(ErrorCode::Unsupported, path + " is not a regular file");
    DirectoryEntry e;
    e.times.creation = creationOf(*in);
    e.times.lastAccess = fromStatxTimestamp(in->sx.stx_atime);
    e.times.lastWrite = fromStatxTimestamp(in->sx.stx_mtime);
    e.attributes = attributesOf(path, *in);
    e.size = in->sx.stx_size;
    return e;
}

Result<std::uint32_t> getFileAttributes(const std::string& path) {
    auto in = inspect(path);
    if (!in)
        return in.error();
    return attributesOf(path, *in);
}

Result<FileQuery> queryFile(const std::string& path) {
    auto entry = findFile(path);
    if (!entry)
        return entry.error();
    FileQuery q;
    q.entry = *entry;
    q.attributes = entry->attributes;
    return q;
}

Result<AccessAndWriteTimes> queryAccessAndWriteTimes(const std::string& path) {
    struct statx sx;
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_ATIME | STATX_MTIME, &sx) != 0)
        return errnoError(errno, "can't find", path);
    return AccessAndWriteTimes{fromStatxTimestamp(sx.stx_atime), fromStatxTimestamp(sx.stx_mtime)};
}

Status setFileAttributes(const std::string& path, std::uint32_t attributes) {
    auto in = inspect(path);
    if (!in)
        return in.error();
    mode_t mode = in->sx.stx_mode & 07777;
    bool readOnlyNow = (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    bool readOnlyWanted = (attributes & kAttrReadOnly) != 0;
    if (readOnlyNow != readOnlyWanted) {
        QV_TRY(faults::check("chmod"));
        mode_t newMode = readOnlyWanted ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
        if (chmod(path.c_str(), newMode) != 0)
            return errnoError(errno, "can't change the read-only attribute of", path);
    }

    // The other bits live in the extended attribute; write it only when they
    // change, so that putting a file back leaves no trace on it.
    std::uint32_t wanted = attributes & kStoredBitsMask;
    std::uint32_t dotHidden = nameLooksHidden(path) ? kAttrHidden : 0;
    std::uint32_t stored = in->dos ? (in->dos->attributes & kStoredBitsMask) : 0;
    bool needWrite = in->dos ? stored != wanted : (wanted | dotHidden) != dotHidden;
    if (needWrite) {
        dosattrib::Info info = in->dos.value_or(dosattrib::Info{});
        info.attributes = wanted | (attributes & kAttrReadOnly);
        QV_TRY(writeDosAttrib(path, -1, info));
    }
    if (dotHidden && !(attributes & kAttrHidden))
        return Error(ErrorCode::Unsupported, path + " stays hidden: its name starts with a dot");
    return {};
}

// ---------------------------------------------------------------------------
// File

struct File::Impl {
    int fd = -1;
    std::string path;
    std::uint64_t writePos = 0;

    ~Impl() {
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {
thread_local std::uint64_t t_readOpensMovingAccessTime = 0;
}  // namespace

std::uint64_t readOpensMovingAccessTime() { return t_readOpensMovingAccessTime; }

File::File() = default;
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

Result<File> File::open(const std::string& path, OpenMode mode) {
    bool write = mode == OpenMode::ReadWriteExclusive;
    int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    // Reading leaves the last-access time alone where the system lets us
    // (our own files): a read then has no time to put back.
    int used = write ? flags : flags | O_NOATIME;
    int fd = ::open(path.c_str(), used);
    if (fd < 0 && !write && errno == EPERM)
        fd = ::open(path.c_str(), used = flags);
    if (fd >= 0 && !write && used == flags)
        ++t_readOpensMovingAccessTime;
    if (fd < 0) {
        int err = errno;
        if (err == EACCES && write && access(path.c_str(), F_OK) == 0) {
            struct stat st;
            if (stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
                return Error(ErrorCode::ReadOnly, "the file " + path + " is read-only");
        }
        return errnoError(err, "can't open", path);
    }
    File f;
    f.m_impl = std::make_unique<Impl>();
    f.m_impl->fd = fd;
    f.m_impl->path = path;
    // O_NONBLOCK only kept a FIFO from hanging the open. The status flags
    // are the ones just given, so they need no asking.
    fcntl(fd, F_SETFL, used & ~O_NONBLOCK);
    struct stat st;
    if (fstat(fd, &st) != 0)
        return errnoError(errno, "can't open", path);
    if (S_ISDIR(st.st_mode))
        return Error(ErrorCode::IsDirectory, path + " is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return Error(ErrorCode::Unsupported, path + " is not a regular file");
    QV_TRY(takeLocks(fd, write, path));
    return f;
}

bool File::isOpen() const { return m_impl && m_impl->fd >= 0; }

Result<std::uint64_t> File::size() const {
    struct stat st;
    if (fstat(m_impl->fd, &st) != 0)
        return errnoError(errno, "can't read the size of", m_impl->path);
    return static_cast<std::uint64_t>(st.st_size);
}

Result<FileVersion> File::version() const {
    struct stat st;
    if (fstat(m_impl->fd, &st) != 0)
        return errnoError(errno, "can't query", m_impl->path);
    FileVersion v;
    v.size = static_cast<std::uint64_t>(st.st_size);
    v.lastWrite = fromTimespec(st.st_mtim);
    return v;
}

Result<std::size_t> File::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < n) {
        ssize_t r = ::pread(m_impl->fd, out + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return errnoError(errno, "can't read", m_impl->path);
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
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
        ssize_t w = ::pwrite(m_impl->fd, in + done, n - done, static_cast<off_t>(offset + done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errnoError(errno, "can't write", m_impl->path);
        }
        done += static_cast<std::size_t>(w);
    }
    return {};
}

Status File::write(const void* data, std::size_t n) {
    QV_TRY(writeAt(m_impl->writePos, data, n));
    m_impl->writePos += n;
    return {};
}

Status File::copyFrom(const File& source, std::uint64_t offset, std::uint64_t n) {
    QV_TRY(faults::check("write"));
    off_t in = static_cast<off_t>(offset);
    off_t out = static_cast<off_t>(m_impl->writePos);
    std::uint64_t left = n;
    while (left > 0) {
        ssize_t r = ::copy_file_range(source.m_impl->fd, &in, m_impl->fd, &out,
                                      static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30)), 0);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
                break;  // not between these files: copied through memory below
            return errnoError(errno, "can't write", m_impl->path);
        }
        if (r == 0)
            return Error(ErrorCode::IoError, "unexpected end of " + source.m_impl->path);
        left -= static_cast<std::uint64_t>(r);
    }
    if (left > 0) {
        QV_TRY(copyInChunks(
            static_cast<std::uint64_t>(in), left,
            [&](std::uint64_t at, char* buf, std::size_t count) { return source.readExactAt(at, buf, count); },
            [&](const char* buf, std::size_t count) -> Status {
                for (std::size_t done = 0; done < count;) {
                    ssize_t w = ::pwrite(m_impl->fd, buf + done, count - done, out + static_cast<off_t>(done));
                    if (w < 0) {
                        if (errno == EINTR)
                            continue;
                        return errnoError(errno, "can't write", m_impl->path);
                    }
                    done += static_cast<std::size_t>(w);
                }
                out += static_cast<off_t>(count);
                return {};
            }));
    }
    m_impl->writePos = static_cast<std::uint64_t>(out);
    return {};
}

std::uint64_t File::writePosition() const { return m_impl->writePos; }

Status File::truncate(std::uint64_t size) {
    QV_TRY(faults::check("truncate"));
    if (ftruncate(m_impl->fd, static_cast<off_t>(size)) != 0)
        return errnoError(errno, "can't truncate", m_impl->path);
    return {};
}

Status File::sync() {
    QV_TRY(faults::check("sync"));
    if (fdatasync(m_impl->fd) != 0)
        return errnoError(errno, "can't flush", m_impl->path);
    return {};
}

Status File::close() {
    if (!isOpen())
        return {};
    int fd = m_impl->fd;
    m_impl->fd = -1;
    if (::close(fd) != 0)
        return errnoError(errno, "can't close", m_impl->path);
    return {};
}

// ---------------------------------------------------------------------------
// Times

Status setFileTimes(const std::string& path, const FileTimes& times) {
    auto file = File::open(path, OpenMode::ReadWriteExclusive);
    if (!file)
        return file.error();
    int fd = file->impl()->fd;
    auto in = inspect(path, fd);
    if (!in)
        return in.error();
    // Times that are as wanted already are not set again (that would only
    // move the change time): putting back a file that reading left alone
    // writes nothing.
    if (fromStatxTimestamp(in->sx.stx_atime) != times.lastAccess ||
        fromStatxTimestamp(in->sx.stx_mtime) != times.lastWrite) {
        QV_TRY(faults::check("utimens"));
        struct timespec ts[2] = {toTimespec(times.lastAccess), toTimespec(times.lastWrite)};
        if (futimens(fd, ts) != 0)
            return errnoError(errno, "can't set the times of", path);
        // Without a stored or a birth time, the creation time follows the
        // last-write time just set.
        in = inspect(path, fd);
        if (!in)
            return in.error();
    }
    // The creation time is stored only when it differs from what the file
    // already reports, so putting a file back leaves no trace. One equal to the
    // file system's own birth time is not stored at all: that keeps its
    // nanoseconds, which the stored form can't hold.
    bool hasBirth = (in->sx.stx_mask & STATX_BTIME) != 0;
    bool isBirth = hasBirth && fromStatxTimestamp(in->sx.stx_btime) == times.creation;
    if (isBirth) {
        if (in->dos && in->dos->creation) {
            dosattrib::Info info = *in->dos;
            info.creation.reset();
            QV_TRY(writeDosAttrib(path, fd, info));
        }
    } else if (creationOf(*in) != times.creation) {
        dosattrib::Info info;
        if (in->dos) {
            info = *in->dos;
        } else {
            info.attributes = attributesOf(path, *in) & ~(kAttrDirectory | kAttrHidden);
        }
        info.creation = times.creation.ticks;
        QV_TRY(writeDosAttrib(path, fd, info));
    }
    return file->close();
}

// ---------------------------------------------------------------------------
// Folders

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Result<std::vector<std::string>> listFiles(const std::string& folder) {
    DIR* d = opendir(folder.c_str());
    if (!d)
        return errnoError(errno, "can't list", folder);
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        bool isFile = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            isFile = stat(joinPath(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (isFile)
            names.push_back(std::move(name));
    }
    closedir(d);
    return names;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::string executableFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
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
        ::unlink(tempPath.c_str());
    }
    ~Impl() { discard(); }
};

ReplacementFile::ReplacementFile() = default;
ReplacementFile::~ReplacementFile() = default;
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;
ReplacementFile& ReplacementFile::operator=(ReplacementFile&&) noexcept = default;

// ---------------------------------------------------------------------------
// Batches

struct ReplacementBatch::Impl {
    // Per folder, the names in it that look like temporary files, taken at
    // the batch's first replacement there.
    std::map<std::string, std::vector<std::string>> candidates;
    // Folders whose renames are not flushed yet.
    std::set<std::string> unsynced;
};

namespace {

thread_local ReplacementBatch::Impl* t_batch = nullptr;

void syncFolder(const std::string& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace

ReplacementBatch::ReplacementBatch() {
    if (!t_batch) {
        m_impl = std::make_unique<Impl>();
        t_batch = m_impl.get();
    }
}

ReplacementBatch::~ReplacementBatch() {
    if (!m_impl)
        return;
    t_batch = nullptr;
    for (const std::string& folder : m_impl->unsynced)
        syncFolder(folder);
}

void removeStaleTemporaries(const std::string& target) {
    std::string folder = detail::folderOf(target);
    std::vector<std::string> listed;
    std::vector<std::string>* names = &listed;
    if (t_batch) {
        auto known = t_batch->candidates.find(folder);
        if (known == t_batch->candidates.end()) {
            auto all = listFiles(folder);
            std::vector<std::string> keep;
            if (all)
                for (std::string& n : *all)
                    if (detail::mayBeTemporaryName(n))
                        keep.push_back(std::move(n));
            known = t_batch->candidates.emplace(folder, std::move(keep)).first;
        }
        names = &known->second;
    } else {
        auto all = listFiles(folder);
        if (!all)
            return;
        listed = std::move(*all);
    }
    for (const std::string& name : *names) {
        if (!isTemporaryNameFor(target, name))
            continue;
        std::string path = joinPath(folder, name);
        int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A writer holds its temporary file locked until it is done; only an
        // unlocked one is a leftover.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
}

Result<ReplacementFile> ReplacementFile::create(const std::string& target) {
    if (isDirectory(target))
        return Error(ErrorCode::IsDirectory, target + " is a folder, not a file");
    removeStaleTemporaries(target);
    std::string folder = detail::folderOf(target);
    QV_TRY(faults::check("create"));
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = joinPath(folder, detail::newTemporaryName(target));
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errnoError(errno, "can't create a temporary file beside", target);
        }
        flock(fd, LOCK_EX | LOCK_NB);
        ReplacementFile r;
        r.m_impl = std::make_unique<Impl>();
        r.m_impl->target = target;
        r.m_impl->tempPath = path;
        r.m_impl->file.m_impl = std::make_unique<File::Impl>();
        r.m_impl->file.m_impl->fd = fd;
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

namespace {
// Gives the new file what the old one had beside its bytes: permissions,
// owner and extended attributes (the DOS attributes and creation time among
// them).
void carryMetadata(int fd, const std::string& from) {
    struct stat st;
    if (stat(from.c_str(), &st) != 0) {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
        return;
    }
    fchmod(fd, st.st_mode & 07777);
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Not the owner: the file becomes ours, as any rewrite makes it.
    }
    ssize_t len = listxattr(from.c_str(), nullptr, 0);
    if (len <= 0)
        return;
    std::string names(static_cast<std::size_t>(len), '\0');
    len = listxattr(from.c_str(), names.data(), names.size());
    if (len <= 0)
        return;
    names.resize(static_cast<std::size_t>(len));
    std::string value;
    for (std::size_t pos = 0; pos < names.size();) {
        std::string name = names.c_str() + pos;
        pos += name.size() + 1;
        ssize_t vlen = getxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (vlen < 0)
            continue;
        value.assign(static_cast<std::size_t>(vlen), '\0');
        vlen = getxattr(from.c_str(), name.c_str(), value.data(), value.size());
        if (vlen < 0)
            continue;
        fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(vlen), 0);
    }
}
}  // namespace

Status ReplacementFile::commit() {
    Impl& im = *m_impl;
    if (im.done)
        return Error(ErrorCode::Internal, "replacement of " + im.target + " already finished");
    int fd = im.file.impl()->fd;
    QV_TRY(im.file.sync());
    carryMetadata(fd, im.target);
    QV_TRY(faults::check("rename"));
    if (::rename(im.tempPath.c_str(), im.target.c_str()) != 0)
        return errnoError(errno, "can't replace", im.target);
    im.done = true;
    // Make the rename itself durable, now or at the end of the batch.
    if (t_batch)
        t_batch->unsynced.insert(detail::folderOf(im.target));
    else
        syncFolder(detail::folderOf(im.target));
    (void)im.file.close();
    return {};
}

Status deleteFile(const std::string& path) {
    QV_TRY(faults::check("delete"));
    if (::unlink(path.c_str()) != 0)
        return errnoError(errno, "can't delete", path);
    return {};
}

}  // namespace qv::platform
