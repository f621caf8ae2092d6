#include "zip/source.h"

#include <algorithm>
#include <cstring>

#include "base/chunked_copy.h"

namespace qv::zip {

namespace {
Error pastEnd(std::uint64_t offset, std::size_t n) {
    return Error(ErrorCode::BadZip, "Not a valid zip file! (" + std::to_string(n) + " bytes at offset " +
                                        std::to_string(offset) + " lie beyond the end of the file)");
}
}  // namespace

Result<std::string> ByteSource::read(std::uint64_t offset, std::size_t n) const {
    if (offset > size() || n > size() - offset)
        return pastEnd(offset, n);
    std::string s(n, '\0');
    QV_TRY(readAt(offset, s.data(), n));
    return s;
}

Status MemorySource::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (offset > m_bytes.size() || n > m_bytes.size() - offset)
        return pastEnd(offset, n);
    if (n > 0)
        std::memcpy(buffer, m_bytes.data() + offset, n);
    return {};
}

Status ByteSink::copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) {
    return copyInChunks(
        offset, n, [&](std::uint64_t at, char* buf, std::size_t count) { return source.readAt(at, buf, count); },
        [this](const char* buf, std::size_t count) { return write(buf, count); });
}

Status FileSink::copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) {
    const auto* file = dynamic_cast<const FileSource*>(&source);
    if (!file)
        return ByteSink::copyFrom(source, offset, n);
    if (offset > file->size() || n > file->size() - offset)
        return pastEnd(offset, static_cast<std::size_t>(n));
    return m_file.copyFrom(file->file(), offset, n);
}

Status FileSource::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (offset > m_size || n > m_size - offset)
        return pastEnd(offset, n);
    return m_file.readExactAt(offset, buffer, n);
}

}  // namespace qv::zip
