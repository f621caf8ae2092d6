// Where container bytes come from and go to: a file or a memory buffer, so
// the same reader and writer serve the workbooks and the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace qv::platform {
class File;
}

namespace qv::cfb {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to n bytes at an offset; fewer only at the end.
    virtual Result<std::size_t> readAt(std::uint64_t offset, void* buffer, std::size_t n) const = 0;

    // Reads exactly n bytes, or fails with BadCompoundFile past the end.
    Status readExactAt(std::uint64_t offset, void* buffer, std::size_t n) const;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Appends bytes.
    virtual Status write(const void* data, std::size_t n) = 0;
    // Appends n bytes of a source read at offset (which must hold them).
    virtual Status copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n);
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    // Only a view: a temporary string would be gone before the first read.
    explicit MemorySource(std::string&&) = delete;
    std::uint64_t size() const override { return m_bytes.size(); }
    Result<std::size_t> readAt(std::uint64_t offset, void* buffer, std::size_t n) const override;

private:
    std::string_view m_bytes;
};

class StringSink final : public ByteSink {
public:
    Status write(const void* data, std::size_t n) override {
        m_bytes.append(static_cast<const char*>(data), n);
        return {};
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// An open platform file; the file's size is taken once, at construction. A
// small file is read whole then, in one read, instead of sector by sector:
// the file is open deny-write, so its bytes can't change meanwhile.
class FileSource final : public ByteSource {
public:
    static constexpr std::uint64_t kWholeFileLimit = 32 * 1024;

    static Result<FileSource> over(const platform::File& file);
    std::uint64_t size() const override { return m_size; }
    Result<std::size_t> readAt(std::uint64_t offset, void* buffer, std::size_t n) const override;
    const platform::File& file() const { return *m_file; }

private:
    FileSource(const platform::File& file, std::uint64_t size) : m_file(&file), m_size(size) {}
    const platform::File* m_file;
    std::uint64_t m_size;
    std::string m_whole;  // the whole file, when it is small
};

class FileSink final : public ByteSink {
public:
    explicit FileSink(platform::File& file) : m_file(&file) {}
    Status write(const void* data, std::size_t n) override;
    // From a file, the copy stays in the system.
    Status copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) override;

private:
    platform::File* m_file;
};

}  // namespace qv::cfb
