// POSIX replacement of files: a new version written under a temporary name
// beside the old one, given the old one's metadata and the change's final
// times and attributes, checked against what the old one was when it was
// first read, and put in its place in one rename.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>

#include "platform/faults.h"
#include "platform/posix/posix_files.h"
#include "platform/temp_names.h"

namespace qv::platform {

using namespace posix;

void posix::syncFolder(const std::string& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
}

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
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        // A writer holds its temporary file locked until it is done; only an
        // unlocked one is a leftover.
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
}

Result<ReplacementFile> ReplacementFile::create(const std::string& target) {
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return Error(ErrorCode::IsDirectory, target + " is a folder, not a file");
    removeStaleTemporaries(target);
    std::string folder = detail::folderOf(target);
    QV_TRY(faults::check("create"));
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = joinPath(folder, detail::newTemporaryName(target));
        // Closed to everyone but us until it is given the look it must have.
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
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

// Gives the new file what another file has beside its bytes: owner first
// (while the new file is still closed to everyone else), then the extended
// attributes (the ACL, the DOS attributes and the creation time among
// them), then the permissions. All through open files, never a path that a
// link could redirect.
// Gives false when the new file can't have the other's group: its
// permissions would then open it to the folder's group instead.
bool copyLook(int fd, int from) {
    struct stat st;
    if (fstat(from, &st) != 0)
        return true;
    if (fchown(fd, st.st_uid, st.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
        // Not allowed to give the file away: it becomes ours, as any
        // rewrite by another user makes it; but the group must stay.
        struct stat now;
        if (fstat(fd, &now) == 0 && now.st_gid != st.st_gid)
            return false;
    }
    ssize_t len = flistxattr(from, nullptr, 0);
    if (len > 0) {
        std::string names(static_cast<std::size_t>(len), '\0');
        len = flistxattr(from, names.data(), names.size());
        names.resize(len > 0 ? static_cast<std::size_t>(len) : 0);
        std::string value;
        for (std::size_t pos = 0; pos < names.size();) {
            std::string name = names.c_str() + pos;
            pos += name.size() + 1;
            ssize_t vlen = fgetxattr(from, name.c_str(), nullptr, 0);
            if (vlen < 0)
                continue;
            value.assign(static_cast<std::size_t>(vlen), '\0');
            vlen = fgetxattr(from, name.c_str(), value.data(), value.size());
            if (vlen >= 0)
                fsetxattr(fd, name.c_str(), value.data(), static_cast<std::size_t>(vlen), 0);
        }
    }
    fchmod(fd, st.st_mode & 07777);
    return true;
}

// A new file with no model: an existing plain target of ours with a single
// link passes on its permissions and extended attributes; anything else is
// replaced by a file with the permissions a new file gets.
void defaultLook(int fd, const std::string& target) {
    int old = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (old >= 0) {
        struct stat st;
        bool ours = fstat(old, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == geteuid();
        if (ours)
            copyLook(fd, old);
        ::close(old);
        if (ours)
            return;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
}

// The target must still be the file that was read, as it was read.
Status checkUnchanged(const File& original, const std::string& target) {
    auto now = original.version();
    if (!now)
        return now.error();
    if (*now != original.openedVersion())
        return detail::changedMeanwhile(target, "written to");
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return detail::changedMeanwhile(target, "moved away or deleted");
        return errnoError(errno, "can't find", target);
    }
    FileIdentity at{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    if (at != original.identity())
        return detail::changedMeanwhile(target, "replaced by another file");
    return {};
}

bool isIdentity(const std::string& path, const FileIdentity& id) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 &&
           FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)} == id;
}

}  // namespace

Status ReplacementFile::commit(const CommitOptions& o) {
    Impl& im = *m_impl;
    if (im.done)
        return Error(ErrorCode::Internal, "replacement of " + im.target + " already finished");
    int fd = im.file.impl()->fd;
    const File* look = o.looksLike ? o.looksLike : o.original;
    if (look) {
        if (!copyLook(fd, look->impl()->fd))
            return Error(ErrorCode::AccessDenied,
                         "can't write " + im.target + ": the new file can't keep the document's group, and its "
                                                      "permissions would open it to another group");
    } else
        defaultLook(fd, im.target);
    if (o.final.times || o.final.attributes) {
        // A file system that keeps no DOS attributes or creation time loses
        // them in any rewrite: that stops the change only where a hidden or
        // system attribute would be dropped, never reported as kept.
        Status st = applyMetadataToFd(fd, im.target, o.final);
        const bool dropsAttributes =
            o.final.attributes && (*o.final.attributes & (kAttrHidden | kAttrSystem)) != 0;
        if (!st && (st.error().code != ErrorCode::Unsupported || dropsAttributes))
            return st;
    }
    // Data and metadata both: the times are part of what must survive.
    QV_TRY(faults::check("sync"));
    if (fsync(fd) != 0)
        return errnoError(errno, "can't flush", im.tempPath);

    QV_TRY(faults::check("rename"));
    if (o.original)
        QV_TRY(checkUnchanged(*o.original, im.target));
    bool exchanged = false, placed = false;
    if (o.original) {
        // Swapping the two names, then looking at what came out, closes the
        // last gap: a version that another program renamed into place after
        // the check is swapped back and kept.
        if (::renameat2(AT_FDCWD, im.tempPath.c_str(), AT_FDCWD, im.target.c_str(), RENAME_EXCHANGE) == 0) {
            exchanged = true;
            if (!isIdentity(im.tempPath, o.original->identity())) {
                ::renameat2(AT_FDCWD, im.tempPath.c_str(), AT_FDCWD, im.target.c_str(), RENAME_EXCHANGE);
                return detail::changedMeanwhile(im.target, "replaced by another file");
            }
        } else if (errno == ENOENT) {
            return detail::changedMeanwhile(im.target, "moved away or deleted");
        } else if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP) {
            return errnoError(errno, "can't replace", im.target);
        }
    }
    if (o.keepExisting && !o.original) {
        if (::renameat2(AT_FDCWD, im.tempPath.c_str(), AT_FDCWD, im.target.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST)
                return Error(ErrorCode::AlreadyExists, im.target + " exists already");
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP)
                return errnoError(errno, "can't make", im.target);
            // No such rename here: a hard link is made only where no name is.
            if (::link(im.tempPath.c_str(), im.target.c_str()) != 0) {
                if (errno == EEXIST)
                    return Error(ErrorCode::AlreadyExists, im.target + " exists already");
                return errnoError(errno, "can't make", im.target);
            }
            ::unlink(im.tempPath.c_str());
        }
        placed = true;
    }
    if (!exchanged && !placed && ::rename(im.tempPath.c_str(), im.target.c_str()) != 0)
        return errnoError(errno, "can't replace", im.target);
    im.done = true;
    if (exchanged)
        ::unlink(im.tempPath.c_str());  // the old version, which now has the temporary name
    faults::pausePoint("renamed");
    // Make the rename itself durable, now or at the end of the batch.
    if (t_batch)
        t_batch->unsynced.insert(detail::folderOf(im.target));
    else
        syncFolder(detail::folderOf(im.target));
    (void)im.file.close();
    // Held to the end, so no writer of ours could start on the old version.
    if (o.original)
        (void)o.original->close();
    return {};
}

Status deleteFile(const std::string& path) {
    QV_TRY(faults::check("delete"));
    if (::unlink(path.c_str()) != 0)
        return errnoError(errno, "can't delete", path);
    return {};
}

}  // namespace qv::platform
