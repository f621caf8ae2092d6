// Reading an archive's directory: the end record, the central headers (with
// their ZIP64 forms) and, when a central header is damaged, a directory rebuilt
// from the local headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "zip/records.h"
#include "zip/source.h"

namespace qv::zip {

// One archive member, as its central header describes it.
struct ZipEntry {
    CentralDirectoryHeader header;  // the fixed fields as stored (maybe saturated)
    // The values themselves, from the ZIP64 extra field where the header is saturated.
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localHeaderOffset = 0;

    std::string rawName;       // the name bytes as stored, copied unchanged
    std::string centralExtra;  // the central extra field as stored
    std::string comment;
    std::uint64_t centralHeaderPosition = 0;

    // The name as text (UTF-8), with every "/" turned into "\", and its two
    // pieces: the directory ending in "\" (empty at the root) and the file name.
    std::string name;
    std::string directory;
    std::string fileName;

    // Where the next entry (or the central directory) starts: the entry's
    // header, data and descriptor must end there.
    std::uint64_t regionEnd = 0;

    bool hasDataDescriptor() const { return (header.flags & kFlagDataDescriptor) != 0; }
    bool isEncrypted() const { return (header.flags & kFlagEncrypted) != 0; }
    std::uint8_t hostSystem() const { return static_cast<std::uint8_t>(header.versionMadeBy >> 8); }
    DosDateTime modified() const { return decodeDosDateTime(header.dosDateTime); }
};

struct ZipDirectory {
    std::vector<ZipEntry> entries;  // in archive order
    EndOfCentralDirectory end;      // as found
    std::uint64_t endPosition = 0;
    std::string comment;            // the archive comment
    bool zip64 = false;             // the end record led to a ZIP64 end record
    std::uint64_t centralDirectoryOffset = 0;
    std::uint64_t centralDirectorySize = 0;
    // The central directory could not be read and the entries were found by
    // scanning the local headers.
    bool rebuilt = false;
};

// Reads the directory. A 0-byte source is an empty archive; a source without
// a valid end record fails with ErrorCode::NotAZip, a damaged one that can't be
// rebuilt with ErrorCode::BadZip, both with "Not a valid zip file!".
Result<ZipDirectory> ReadDirectory(const ByteSource& source);

// The text form of a stored name: UTF-8 names (flag bit 11, or a matching
// Unicode path extra field) as they are, others as code page 437; "/" turned
// into "\".
std::string EntryNameText(std::string_view rawName, std::uint16_t flags, std::string_view extra);

// The first entry with a file name whose name equals the given one without
// regard to ASCII case ("/" and "\" count the same); nullptr when none does.
const ZipEntry* FindEntry(const ZipDirectory& directory, std::string_view name);

}  // namespace qv::zip
