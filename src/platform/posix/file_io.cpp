// POSIX reading and writing of an open file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/chunked_copy.h"
#include "platform/faults.h"
#include "platform/posix/posix_files.h"

namespace qv::platform {

using posix::errnoError;

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

}  // namespace qv::platform
