// Copying a stretch of bytes from one place to another through a bounded
// buffer, for the writers that can't hand the copy to the system.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/result.h"

namespace qv {

// Copies n bytes starting at offset: read(offset, buffer, count) must fill
// the buffer or fail, write(buffer, count) takes them. At most 1 MiB is held
// at a time.
template <class Read, class Write>
Status copyInChunks(std::uint64_t offset, std::uint64_t n, Read&& read, Write&& write) {
    std::string buf(static_cast<std::size_t>(std::min<std::uint64_t>(n, 1u << 20)), '\0');
    while (n > 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n, buf.size()));
        QV_TRY(read(offset, buf.data(), chunk));
        QV_TRY(write(static_cast<const char*>(buf.data()), chunk));
        offset += chunk;
        n -= chunk;
    }
    return {};
}

}  // namespace qv
