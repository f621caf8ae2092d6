// The on-disk records of a ZIP archive (PKWARE APPNOTE), each with a reader
// of its fixed part over a bounds-checked ByteReader and a writer. Variable
// parts (names, extra fields, comments) are read by the callers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace qv::zip {

constexpr std::uint32_t kLocalFileHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralDirectoryHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndOfCentralDirectorySignature = 0x06054B50;
constexpr std::uint32_t kZip64EndOfCentralDirectorySignature = 0x06064B50;
constexpr std::uint32_t kZip64EndOfCentralDirectoryLocatorSignature = 0x07064B50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;

// General purpose flags.
constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kFlagUtf8Name = 0x0800;

constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;

// Extra field blocks this layer understands.
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUnicodePathExtraId = 0x7075;

// The values that say "the real value is in the ZIP64 record or extra field".
constexpr std::uint16_t kSaturated16 = 0xFFFF;
constexpr std::uint32_t kSaturated32 = 0xFFFFFFFF;

constexpr std::uint16_t kVersionDefault = 20;  // Deflate, folders
constexpr std::uint16_t kVersionZip64 = 45;

struct LocalFileHeader {
    static constexpr std::size_t kSize = 30;

    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t dosDateTime = 0;  // MS-DOS time in the low half, date in the high half
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;

    // Reads the fixed part; false when the bytes run out or the signature differs.
    bool read(ByteReader& r);
    void write(ByteWriter& w) const;
};

struct CentralDirectoryHeader {
    static constexpr std::size_t kSize = 46;

    std::uint16_t versionMadeBy = 0;  // low byte the APPNOTE version, high byte the host system
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t dosDateTime = 0;
    std::uint32_t crc32 = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t uncompressedSize = 0;
    std::uint16_t nameLength = 0;
    std::uint16_t extraLength = 0;
    std::uint16_t commentLength = 0;
    std::uint16_t diskNumberStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    std::uint32_t localHeaderOffset = 0;

    bool read(ByteReader& r);
    void write(ByteWriter& w) const;
};

struct EndOfCentralDirectory {
    static constexpr std::size_t kSize = 22;

    std::uint16_t diskNumber = 0;
    std::uint16_t centralDirectoryDisk = 0;
    std::uint16_t entriesOnDisk = 0;
    std::uint16_t totalEntries = 0;
    std::uint32_t centralDirectorySize = 0;
    std::uint32_t centralDirectoryOffset = 0;
    std::uint16_t commentLength = 0;

    bool read(ByteReader& r);
    void write(ByteWriter& w) const;
};

struct Zip64EndOfCentralDirectory {
    static constexpr std::size_t kSize = 56;

    std::uint64_t recordSize = kSize - 12;  // the bytes after this field
    std::uint16_t versionMadeBy = kVersionZip64;
    std::uint16_t versionNeeded = kVersionZip64;
    std::uint32_t diskNumber = 0;
    std::uint32_t centralDirectoryDisk = 0;
    std::uint64_t entriesOnDisk = 0;
    std::uint64_t totalEntries = 0;
    std::uint64_t centralDirectorySize = 0;
    std::uint64_t centralDirectoryOffset = 0;

    bool read(ByteReader& r);
    void write(ByteWriter& w) const;
};

struct Zip64EndOfCentralDirectoryLocator {
    static constexpr std::size_t kSize = 20;

    std::uint32_t zip64EndDisk = 0;
    std::uint64_t zip64EndOffset = 0;
    std::uint32_t totalDisks = 1;

    bool read(ByteReader& r);
    void write(ByteWriter& w) const;
};

// The data descriptor that follows an entry's data when flag bit 3 is set:
// always written with its signature; 64-bit sizes for ZIP64 entries.
struct DataDescriptor {
    std::uint32_t crc32 = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;

    void write(ByteWriter& w, bool zip64) const;
};

// ---------------------------------------------------------------------------
// Extra fields: a sequence of blocks, each a 16-bit id, a 16-bit size and data.

// The data of the first block with this id, if the field holds one.
std::optional<std::string_view> findExtraBlock(std::string_view extra, std::uint16_t id);
// The field with every block of this id removed and, when data is given, one
// block of that id with that data appended.
std::string replaceExtraBlock(std::string_view extra, std::uint16_t id, std::optional<std::string_view> data);

// The values of a ZIP64 extended information block. A value is present only
// when the header field it stands for is saturated, in this order.
struct Zip64Values {
    std::optional<std::uint64_t> uncompressedSize;
    std::optional<std::uint64_t> compressedSize;
    std::optional<std::uint64_t> localHeaderOffset;
    std::optional<std::uint32_t> diskNumberStart;
};

// Reads the block for the saturated fields; no value when a needed one is missing.
std::optional<Zip64Values> readZip64Values(std::string_view block, bool needUncompressed, bool needCompressed,
                                           bool needOffset, bool needDisk);
std::string writeZip64Values(const Zip64Values& v);

// ---------------------------------------------------------------------------
// MS-DOS date and time

struct DosDateTime {
    unsigned year = 1980;
    unsigned month = 1, day = 1;
    unsigned hour = 0, minute = 0, second = 0;
};

// Decodes the packed value, clamping fields out of range: hour at most 23,
// minute at most 59, second at most 58, day and month at least 1, month at
// most 12.
DosDateTime decodeDosDateTime(std::uint32_t packed);
// Packs a date-time; years outside 1980..2107 are clamped, seconds rounded down
// to the 2-second step.
std::uint32_t encodeDosDateTime(const DosDateTime& t);

}  // namespace qv::zip
