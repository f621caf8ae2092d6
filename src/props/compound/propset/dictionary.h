// The dictionary of a property-set section (property 0): the names of the
// properties a user defined, by identifier.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace qv::propset {

struct DictionaryEntry {
    std::uint32_t id = 0;
    std::string name;  // UTF-8

    friend bool operator==(const DictionaryEntry&, const DictionaryEntry&) = default;
};

// Reads a dictionary stored in a section of that code page: 8-bit names
// counted in bytes, or with 1200 UTF-16 names counted in characters and
// padded to 4 bytes (a writer that leaves the padding out is read too).
Result<std::vector<DictionaryEntry>> parseDictionary(std::string_view bytes, int codePage);

// The stored form, each name with its terminating null. Fails when the code
// page can't hold a name exactly.
Result<std::string> encodeDictionary(const std::vector<DictionaryEntry>& entries, int codePage);

}  // namespace qv::propset
