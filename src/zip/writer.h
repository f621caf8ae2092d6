// Writing a new archive from an old one: named in-memory streams replace the
// entries of their names (in place) or are appended; every other entry is
// copied byte for byte in bounded buffers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "zip/directory.h"
#include "zip/source.h"

namespace qv::zip {

struct StreamToStore {
    std::string name;       // "\" or "/" separators; a drive and leading separators are dropped
    std::string_view data;  // must outlive the store
};

// The name as the archive stores it ("/" separators) and the form entries are
// matched by ("\" separators); InvalidArgument when it names no file.
struct StoredName {
    std::string stored;
    std::string key;
};
Result<StoredName> MakeStoredName(std::string_view name);

// The current local time in MS-DOS form.
std::uint32_t DosDateTimeNow();

// Writes the new archive to sink and gives the number of entries written.
// A directory that had to be rebuilt from local headers is not rewritten.
// New entries get the header values of a fresh Deflate entry (version 20,
// method 8, the given time, internal attributes from zlib's text guess,
// external attributes 32); the UTF-8 flag is set for names outside ASCII.
Result<std::size_t> RewriteArchive(const ByteSource& old, const ZipDirectory& directory,
                                   const std::vector<StreamToStore>& streams, std::uint32_t dosDateTime,
                                   ByteSink& sink);
// The same, leaving out the entries of the dropped names ("\" or "/", ASCII
// case ignored), which must not also be stored.
Result<std::size_t> RewriteArchive(const ByteSource& old, const ZipDirectory& directory,
                                   const std::vector<StreamToStore>& streams,
                                   const std::vector<std::string>& dropped, std::uint32_t dosDateTime,
                                   ByteSink& sink);

}  // namespace qv::zip
