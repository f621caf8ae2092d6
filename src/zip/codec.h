// CRC-32 and raw Deflate (RFC 1951) through zlib.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"
#include "zip/source.h"

namespace qv::zip {

std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

struct Deflated {
    std::string bytes;
    std::uint32_t crc32 = 0;
    bool looksLikeText = false;  // zlib's guess, for the internal attributes
};

Result<Deflated> DeflateRaw(std::string_view data, int level);

struct Inflated {
    std::uint64_t consumed = 0;  // compressed bytes up to the end of the Deflate stream
    std::uint64_t produced = 0;
    std::uint32_t crc32 = 0;
};

// Inflates the Deflate stream that starts at offset, reading at most maxInput
// bytes. The output is appended to out (or only counted when out is null);
// more than maxOutput bytes fail with ErrorCode::SizeMismatch. A stream that
// is damaged or doesn't end within maxInput fails with ErrorCode::BadZip.
Result<Inflated> InflateRaw(const ByteSource& source, std::uint64_t offset, std::uint64_t maxInput, std::string* out,
                            std::uint64_t maxOutput);

}  // namespace qv::zip
