#include "props/compound/cfb/byte_io.h"

#include <algorithm>
#include <cstring>

#include "base/chunked_copy.h"
#include "platform/platform.h"

namespace qv::cfb {

Status ByteSource::readExactAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    auto got = readAt(offset, buffer, n);
    if (!got)
        return got.error();
    if (*got != n)
        return Error(ErrorCode::BadCompoundFile,
                     "the compound file ends at " + std::to_string(size()) + " bytes, before offset " +
                         std::to_string(offset + n));
    return {};
}

Result<std::size_t> MemorySource::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (offset >= m_bytes.size())
        return std::size_t{0};
    std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_bytes.size() - offset));
    std::memcpy(buffer, m_bytes.data() + offset, count);
    return count;
}

Result<FileSource> FileSource::over(const platform::File& file) {
    auto size = file.size();
    if (!size)
        return size.error();
    FileSource source(file, *size);
    if (*size <= kWholeFileLimit) {
        source.m_whole.resize(static_cast<std::size_t>(*size));
        auto got = file.readAt(0, source.m_whole.data(), source.m_whole.size());
        if (!got)
            return got.error();
        // A file that shrank since its size was taken reads short, as before.
        source.m_whole.resize(*got);
    }
    return source;
}

Result<std::size_t> FileSource::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (offset >= m_size)
        return std::size_t{0};
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
    if (m_size <= kWholeFileLimit)
        return MemorySource(m_whole).readAt(offset, buffer, n);
    return m_file->readAt(offset, buffer, n);
}

Status FileSink::write(const void* data, std::size_t n) { return m_file->write(data, n); }

Status ByteSink::copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) {
    return copyInChunks(
        offset, n, [&](std::uint64_t at, char* buf, std::size_t count) { return source.readExactAt(at, buf, count); },
        [this](const char* buf, std::size_t count) { return write(buf, count); });
}

Status FileSink::copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) {
    const auto* file = dynamic_cast<const FileSource*>(&source);
    if (!file || offset > file->size() || n > file->size() - offset)
        return ByteSink::copyFrom(source, offset, n);
    return m_file->copyFrom(file->file(), offset, n);
}

}  // namespace qv::cfb
