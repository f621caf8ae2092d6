// Where archive bytes come from and go to: a file of the platform layer or a
// block of memory, so that the reader and the writer work the same on both
// (the fuzz target and many tests use memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/platform.h"

namespace qv::zip {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes at an offset, or fails (a range past the end included).
    virtual Status readAt(std::uint64_t offset, void* buffer, std::size_t n) const = 0;

    // Reads n bytes at an offset into a string.
    Result<std::string> read(std::uint64_t offset, std::size_t n) const;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}
    // The source only views the bytes: a temporary string would be gone
    // before the first read.
    explicit MemorySource(std::string&&) = delete;
    std::uint64_t size() const override { return m_bytes.size(); }
    Status readAt(std::uint64_t offset, void* buffer, std::size_t n) const override;

private:
    std::string_view m_bytes;
};

// Reads an open file; the file must stay open while the source is used.
class FileSource : public ByteSource {
public:
    FileSource(const platform::File& file, std::uint64_t size) : m_file(file), m_size(size) {}
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, void* buffer, std::size_t n) const override;
    const platform::File& file() const { return m_file; }

private:
    const platform::File& m_file;
    std::uint64_t m_size;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual Status write(const void* data, std::size_t n) = 0;
    // Appends n bytes of a source read at offset.
    virtual Status copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n);
};

class MemorySink : public ByteSink {
public:
    Status write(const void* data, std::size_t n) override {
        m_bytes.append(static_cast<const char*>(data), n);
        return {};
    }
    std::string& bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(platform::File& file) : m_file(file) {}
    Status write(const void* data, std::size_t n) override { return m_file.write(data, n); }
    // From a file, the copy stays in the system.
    Status copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) override;

private:
    platform::File& m_file;
};

}  // namespace qv::zip
