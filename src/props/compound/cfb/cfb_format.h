// The on-disk records of a compound file (MS-CFB): the header and the
// 128-byte directory entries, with the sector markers and the name order of
// the directory tree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace qv::cfb {

// Sector numbers with a meaning of their own.
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
// "No entry" in the sibling and child links of the directory.
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderDifatCount = 109;
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

struct CfbHeader {
    std::uint16_t minorVersion = 0x003E;
    std::uint16_t majorVersion = 3;
    std::uint16_t sectorShift = 9;
    std::uint16_t miniSectorShift = 6;
    std::uint32_t directorySectorCount = 0;  // always 0 in version 3
    std::uint32_t fatSectorCount = 0;
    std::uint32_t firstDirectorySector = kEndOfChain;
    std::uint32_t transactionSignature = 0;
    std::uint32_t miniStreamCutoff = kMiniStreamCutoff;
    std::uint32_t firstMiniFatSector = kEndOfChain;
    std::uint32_t miniFatSectorCount = 0;
    std::uint32_t firstDifatSector = kEndOfChain;
    std::uint32_t difatSectorCount = 0;
    std::array<std::uint32_t, kHeaderDifatCount> difat{};
    // The 512 bytes as read, so that reserved fields are written back as they were.
    std::array<std::uint8_t, kHeaderSize> raw{};

    std::uint32_t sectorSize() const { return 1u << sectorShift; }

    // Checks the signature, byte order, versions and shifts. A missing
    // signature is NotCompoundFile, every other fault BadCompoundFile.
    static Result<CfbHeader> parse(const std::uint8_t* bytes, std::size_t size);
    std::array<std::uint8_t, kHeaderSize> serialize() const;
};

enum class EntryType : std::uint8_t {
    Unused = 0,
    Storage = 1,
    Stream = 2,
    Root = 5,
};

constexpr std::uint8_t kRed = 0;
constexpr std::uint8_t kBlack = 1;

struct DirectoryEntry {
    std::u16string name;  // without the terminating null
    EntryType type = EntryType::Unused;
    std::uint8_t color = kBlack;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::uint32_t startSector = kEndOfChain;
    std::uint64_t size = 0;
    // The 128 bytes as read: class id, state bits and times are kept as they
    // are, and an entry nobody changed is written back byte for byte.
    std::array<std::uint8_t, kDirectoryEntrySize> raw{};

    bool isStream() const { return type == EntryType::Stream; }
    bool isStorage() const { return type == EntryType::Storage || type == EntryType::Root; }

    // majorVersion decides whether the size's high half counts (version 4)
    // or is ignored (version 3, where old writers left garbage in it).
    static DirectoryEntry parse(const std::uint8_t* bytes, std::uint16_t majorVersion);
    // A new stream entry with the given name, times and class id all zero.
    static DirectoryEntry newStream(std::u16string_view name);
    std::array<std::uint8_t, kDirectoryEntrySize> serialize() const;
};

// The order of the directory tree: shorter names first, then the names
// compared character by character in upper case.
int compareNames(std::u16string_view a, std::u16string_view b);
bool namesEqual(std::u16string_view a, std::u16string_view b);
// Directory names hold at most 31 UTF-16 units.
constexpr std::size_t kMaxNameLength = 31;

}  // namespace qv::cfb
