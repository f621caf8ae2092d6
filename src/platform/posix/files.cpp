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
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "platform/faults.h"
#include "platform/posix/posix_files.h"

namespace qv::platform {

namespace posix {

namespace {
constexpr const char* kDosAttribName = "user.DOSATTRIB";
}  // namespace

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
    case ELOOP:
        code = ErrorCode::NotAPlainFile;
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

namespace {

// Reads the DOSATTRIB attribute of a path or an open file.
std::optional<dosattrib::Info> readDosAttrib(const std::string& path, int fd) {
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
    auto set = [&] { return fsetxattr(fd, kDosAttribName, blob.data(), blob.size(), 0); };
    int rc = set();
    if (rc != 0 && errno == EACCES) {
        // A read-only file of ours: user attributes need write permission,
        // so it is lent for this one write.
        struct stat st;
        if (fstat(fd, &st) == 0 && (st.st_mode & S_IWUSR) == 0 && st.st_uid == geteuid() &&
            fchmod(fd, (st.st_mode & 07777) | S_IWUSR) == 0) {
            rc = set();
            int err = errno;
            fchmod(fd, st.st_mode & 07777);
            errno = err;
        } else {
            errno = EACCES;
        }
    }
    if (rc != 0) {
        int err = errno;
        if (err == ENOTSUP)
            return Error(ErrorCode::Unsupported,
                         "the file system of " + path +
                             " keeps no hidden, system or archive attribute and no creation time");
        return errnoError(err, "can't store the attributes of", path);
    }
    return {};
}

}  // namespace

Result<Inspected> inspect(const std::string& path, int fd) {
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

Status applyMetadataToFd(int fd, const std::string& path, const FinalMetadata& wanted) {
    auto in = inspect(path, fd);
    if (!in)
        return in.error();
    if (wanted.times) {
        const FileTimes& times = *wanted.times;
        // Times that are as wanted already are not set again (that would
        // only move the change time): putting back a file leaves no trace.
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
    }

    mode_t mode = in->sx.stx_mode & 07777;
    bool readOnlyNow = (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    std::optional<mode_t> newMode;
    if (wanted.attributes) {
        bool readOnlyWanted = (*wanted.attributes & kAttrReadOnly) != 0;
        if (readOnlyNow != readOnlyWanted)
            newMode = readOnlyWanted ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    }
    auto applyMode = [&]() -> Status {
        QV_TRY(faults::check("chmod"));
        if (fchmod(fd, *newMode) != 0)
            return errnoError(errno, "can't change the read-only attribute of", path);
        newMode.reset();
        return {};
    };
    // Write permission goes first and comes off last, so the record between
    // can be written by an owner who is not the superuser.
    if (newMode && (*newMode & S_IWUSR))
        QV_TRY(applyMode());

    // The other bits and the creation time share one extended attribute;
    // it is written only when they change.
    dosattrib::Info info = in->dos.value_or(dosattrib::Info{});
    if (!in->dos)
        info.attributes = attributesOf(path, *in) & ~(kAttrDirectory | kAttrHidden);
    bool needWrite = false;
    const std::uint32_t dotHidden = nameLooksHidden(path) ? kAttrHidden : 0;
    if (wanted.attributes) {
        std::uint32_t bits = *wanted.attributes & kStoredBitsMask;
        std::uint32_t stored = in->dos ? (in->dos->attributes & kStoredBitsMask) : 0;
        if (in->dos ? stored != bits : (bits | dotHidden) != dotHidden) {
            info.attributes = bits | (*wanted.attributes & kAttrReadOnly);
            needWrite = true;
        }
    }
    if (wanted.times) {
        // The creation time is stored only when it differs from what the
        // file already reports. One equal to the file system's own birth
        // time is not stored at all: that keeps its nanoseconds.
        const RawFileTime& creation = wanted.times->creation;
        bool hasBirth = (in->sx.stx_mask & STATX_BTIME) != 0;
        if (hasBirth && fromStatxTimestamp(in->sx.stx_btime) == creation) {
            if (info.creation) {
                info.creation.reset();
                needWrite = true;
            }
        } else if (creationOf(*in) != creation) {
            info.creation = creation.ticks;
            needWrite = true;
        }
    }
    if (needWrite)
        QV_TRY(writeDosAttrib(path, fd, info));
    if (newMode)
        QV_TRY(applyMode());
    if (wanted.attributes && dotHidden && !(*wanted.attributes & kAttrHidden))
        return Error(ErrorCode::Unsupported, path + " stays hidden: its name starts with a dot");
    return {};
}

namespace {

// Takes the advisory locks that stand for Windows' sharing modes.
Status takeLocks(int fd, bool exclusive, bool writable, const std::string& path) {
    if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK)
            return Error(ErrorCode::InUse, "the file " + path + " is in use by another program");
        // A file system without flock still has the record lock below.
        if (err != ENOLCK && err != EINVAL && err != ENOTSUP)
            return errnoError(err, "can't lock", path);
    }
    // A record write lock needs a file open for writing; an exclusive reader
    // takes a read lock, which still keeps record-locking writers out.
    struct flock fl {};
    fl.l_type = exclusive && writable ? F_WRLCK : F_RDLCK;
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

thread_local std::uint64_t t_readOpensMovingAccessTime = 0;

}  // namespace

Result<File> openFile(const std::string& path, OpenMode mode, bool noFollow) {
    bool write = mode == OpenMode::ReadWriteExclusive;
    bool exclusive = mode != OpenMode::ReadDenyWrite;
    int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (noFollow ? O_NOFOLLOW : 0);
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
        if (err == ELOOP && noFollow)
            return Error(ErrorCode::NotAPlainFile, path + " is a symbolic link; it is not followed");
        return errnoError(err, "can't open", path);
    }
    auto impl = std::make_unique<File::Impl>();
    impl->fd = fd;
    impl->path = path;
    File::Impl& im = *impl;
    File f(std::move(impl));
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
    QV_TRY(takeLocks(fd, exclusive, write, path));
    // Taken after the lock: from here on no writer of ours can change it.
    if (fstat(fd, &st) != 0)
        return errnoError(errno, "can't open", path);
    im.identity = FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    im.opened = FileVersion{static_cast<std::uint64_t>(st.st_size), fromTimespec(st.st_mtim)};
    return f;
}

}  // namespace posix

using namespace posix;

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
    // Not locked: attributes are the file system's, not the content's. But
    // never through a link, so a planted link can't lend its target a mode.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ELOOP)
            return Error(ErrorCode::NotAPlainFile, path + " is a symbolic link; it is not followed");
        return errnoError(errno, "can't open", path);
    }
    FinalMetadata wanted;
    wanted.attributes = attributes;
    Status st = applyMetadataToFd(fd, path, wanted);
    ::close(fd);
    return st;
}

Status applyFileMetadata(const std::string& path, const FinalMetadata& wanted) {
    auto file = openFile(path, OpenMode::ReadExclusive, true);
    if (!file)
        return file.error();
    QV_TRY(applyMetadataToFd(file->impl()->fd, path, wanted));
    return file->close();
}

Status setFileTimes(const std::string& path, const FileTimes& times) {
    FinalMetadata wanted;
    wanted.times = times;
    return applyFileMetadata(path, wanted);
}

Status putBackReadTimes(const std::string& path, RawFileTime lastAccess, RawFileTime lastWrite) {
    auto now = queryAccessAndWriteTimes(path);
    if (!now)
        return now.error();
    if (now->lastAccess == lastAccess && now->lastWrite == lastWrite)
        return {};
    QV_TRY(faults::check("utimens"));
    struct timespec ts[2] = {toTimespec(lastAccess), toTimespec(lastWrite)};
    if (now->lastAccess == lastAccess)
        ts[0].tv_nsec = UTIME_OMIT;
    if (now->lastWrite == lastWrite)
        ts[1].tv_nsec = UTIME_OMIT;
    if (utimensat(AT_FDCWD, path.c_str(), ts, 0) != 0)
        return errnoError(errno, "can't put back the times that reading moved on", path);
    return {};
}

Result<FileIdentity> fileIdentity(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errnoError(errno, "can't find", path);
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

Result<std::string> resolveLinks(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errnoError(errno, "can't find", path);
    // Only the last part matters: a folder reached through a link is still
    // the folder where a rename replaces the file.
    if (!S_ISLNK(st.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return errnoError(errno, "can't follow the link", path);
    std::string out = real;
    std::free(real);
    return out;
}

TargetKind inspectTarget(const std::string& path) {
    TargetKind k;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return k;
    k.exists = true;
    k.plainFile = S_ISREG(st.st_mode);
    k.link = S_ISLNK(st.st_mode);
    k.singleLink = st.st_nlink == 1;
    k.ownedByUs = st.st_uid == geteuid();
    return k;
}

// ---------------------------------------------------------------------------
// File

File::Impl::~Impl() {
    if (fd >= 0)
        ::close(fd);
}

std::uint64_t readOpensMovingAccessTime() { return t_readOpensMovingAccessTime; }

File::File() = default;
File::File(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

Result<File> File::open(const std::string& path, OpenMode mode) { return openFile(path, mode, false); }

bool File::isOpen() const { return m_impl && m_impl->fd >= 0; }

FileIdentity File::identity() const { return m_impl->identity; }
FileVersion File::openedVersion() const { return m_impl->opened; }

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

// ---------------------------------------------------------------------------
// Folders

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Result<FolderListing> listFolder(const std::string& folder) {
    DIR* d = opendir(folder.c_str());
    if (!d)
        return errnoError(errno, "can't list", folder);
    FolderListing out;
    std::string realFolder;
    while (struct dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        bool isFile = e->d_type == DT_REG;
        bool isFolder = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            std::string full = joinPath(folder, name);
            struct stat st;
            if (::lstat(full.c_str(), &st) != 0)
                continue;
            if (S_ISLNK(st.st_mode)) {
                // A link to a folder is never followed.
                isFile = false;
                if (realFolder.empty()) {
                    char* r = ::realpath(folder.c_str(), nullptr);
                    if (!r)
                        continue;
                    realFolder = r;
                    std::free(r);
                    if (realFolder.back() != '/')
                        realFolder += '/';
                }
                char* r = ::realpath(full.c_str(), nullptr);
                if (r) {
                    std::string target = r;
                    std::free(r);
                    isFile = target.compare(0, realFolder.size(), realFolder) == 0 &&
                             ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
                }
            } else {
                isFile = S_ISREG(st.st_mode);
                isFolder = S_ISDIR(st.st_mode);
            }
        }
        if (isFile)
            out.files.push_back(std::move(name));
        else if (isFolder)
            out.folders.push_back(std::move(name));
    }
    closedir(d);
    return out;
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

}  // namespace qv::platform
