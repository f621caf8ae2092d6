// SHA-256 (FIPS 180-4): what tells a restore that a document is still the
// one a run wrote.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

class Sha256 {
public:
    Sha256();
    void add(std::string_view bytes);
    // The digest as 64 lower-case hex digits; the object is spent after it.
    std::string hex();

private:
    void block(const unsigned char* p);

    std::array<std::uint32_t, 8> m_h;
    unsigned char m_buffer[64];
    std::size_t m_used = 0;
    std::uint64_t m_length = 0;
};

}  // namespace qv
