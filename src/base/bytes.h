// Bounds-checked little-endian reading and writing of on-disk records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Reads little-endian numbers from a byte span. Reading past the end yields 0
// and sets a sticky failure flag, so a whole record can be read and then
// checked once.
class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const void* data, std::size_t size)
        : m_data(static_cast<const std::uint8_t*>(data)), m_size(size) {}
    explicit ByteReader(std::string_view bytes) : ByteReader(bytes.data(), bytes.size()) {}
    explicit ByteReader(const std::vector<std::uint8_t>& bytes) : ByteReader(bytes.data(), bytes.size()) {}

    bool ok() const { return m_ok; }
    std::size_t pos() const { return m_pos; }
    std::size_t size() const { return m_size; }
    std::size_t remaining() const { return m_pos <= m_size ? m_size - m_pos : 0; }
    const std::uint8_t* data() const { return m_data; }

    void seek(std::size_t pos) {
        if (pos > m_size) {
            m_ok = false;
            m_pos = m_size;
        } else {
            m_pos = pos;
        }
    }
    void skip(std::size_t n) {
        if (n > remaining()) {
            m_ok = false;
            m_pos = m_size;
        } else {
            m_pos += n;
        }
    }

    std::uint8_t u8() { return static_cast<std::uint8_t>(get(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(get(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(get(4)); }
    std::uint64_t u64() { return get(8); }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }

    // A view of the next n bytes; empty and failed when fewer remain.
    std::string_view bytes(std::size_t n) {
        if (n > remaining()) {
            m_ok = false;
            m_pos = m_size;
            return {};
        }
        std::string_view v(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return v;
    }

private:
    std::uint64_t get(int n) {
        if (static_cast<std::size_t>(n) > remaining()) {
            m_ok = false;
            m_pos = m_size;
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | m_data[m_pos + static_cast<std::size_t>(i)];
        m_pos += static_cast<std::size_t>(n);
        return v;
    }

    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

// Appends little-endian numbers to a byte string.
class ByteWriter {
public:
    std::string& buffer() { return m_buf; }
    const std::string& buffer() const { return m_buf; }
    std::size_t size() const { return m_buf.size(); }

    void u8(std::uint8_t v) { m_buf.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void u64(std::uint64_t v) { put(v, 8); }
    void bytes(std::string_view b) { m_buf.append(b); }
    void zeros(std::size_t n) { m_buf.append(n, '\0'); }

    // Overwrites a number at an earlier position.
    void patch32(std::size_t pos, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_buf[pos + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void patch16(std::size_t pos, std::uint16_t v) {
        for (int i = 0; i < 2; ++i)
            m_buf[pos + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }

private:
    void put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            m_buf.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    std::string m_buf;
};

inline std::uint16_t loadU16(const void* p) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t loadU32(const void* p) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
inline void storeU16(void* p, std::uint16_t v) {
    auto* b = static_cast<std::uint8_t*>(p);
    b[0] = static_cast<std::uint8_t>(v);
    b[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeU32(void* p, std::uint32_t v) {
    auto* b = static_cast<std::uint8_t*>(p);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace qv
