// Limits that keep a crafted archive from exhausting memory or time.
#pragma once

#include <cstdint>

namespace qv::zip {

// An entry extracted into memory may not be larger than this...
inline constexpr std::uint64_t kMaxExtractedSize = 256ull * 1024 * 1024;
// ...nor expand more than this many times its compressed size.
inline constexpr std::uint64_t kMaxCompressionRatio = 1000;
// The central directory is read whole; no archive this tool meets comes near.
inline constexpr std::uint64_t kMaxCentralDirectorySize = 256ull * 1024 * 1024;

}  // namespace qv::zip
