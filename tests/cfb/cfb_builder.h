// Builds small compound files and property-set streams in code, so that each
// test shows what its input holds.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv::test {

struct BuildStream {
    std::u16string name;
    std::string bytes;
};

struct CfbLayout {
    int version = 3;
    std::vector<BuildStream> streams;         // directly under the root
    std::vector<BuildStream> storageStreams;  // inside a storage "Sub" (none: no storage)
    std::uint32_t minFatSectors = 1;          // more than 109 forces DIFAT sectors
    std::uint32_t spareDirectoryEntries = 0;  // unused entries beyond the used ones' sector
};

// A valid compound file: FAT, DIFAT, directory, mini FAT, mini stream, then
// the regular streams, each in consecutive sectors.
std::string buildCfb(const CfbLayout& layout);

// Little-endian pieces of property values.
std::string le16(std::uint16_t v);
std::string le32(std::uint32_t v);
std::string le64(std::uint64_t v);
std::string padded4(std::string s);

// TypedPropertyValues as a writer stores them.
std::string vtLpstr(const std::string& encoded, bool wide = false);  // wide: UTF-16 units
std::string vtLpwstr(const std::u16string& text);
std::string vtI2(std::int16_t v);
std::string vtI4(std::int32_t v);
std::string vtBool(bool v);
std::string vtError(std::uint32_t v);
std::string vtFiletime(std::uint64_t v);
std::string utf16le(const std::u16string& s);

// A section from (id, stored bytes) pairs, laid out in order.
std::string buildSection(const std::vector<std::pair<std::uint32_t, std::string>>& properties);
// A property-set stream; clsid and format ids in registry form.
std::string buildPropertySet(const std::vector<std::pair<std::string, std::string>>& fmtidAndSection,
                             const std::string& clsid = "{00000000-0000-0000-0000-000000000000}");

}  // namespace qv::test
