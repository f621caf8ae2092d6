#include "props/compound/cfb/cfb_format.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"

namespace qv::cfb {

Result<CfbHeader> CfbHeader::parse(const std::uint8_t* bytes, std::size_t size) {
    if (size < kSignature.size() || std::memcmp(bytes, kSignature.data(), kSignature.size()) != 0)
        return Error(ErrorCode::NotCompoundFile, "not a compound file (no compound-file signature)");
    if (size < kHeaderSize)
        return Error(ErrorCode::BadCompoundFile, "damaged compound file: it is shorter than its header");
    CfbHeader h;
    std::memcpy(h.raw.data(), bytes, kHeaderSize);
    ByteReader r(bytes, kHeaderSize);
    r.seek(24);
    h.minorVersion = r.u16();
    h.majorVersion = r.u16();
    std::uint16_t byteOrder = r.u16();
    h.sectorShift = r.u16();
    h.miniSectorShift = r.u16();
    r.skip(6);
    h.directorySectorCount = r.u32();
    h.fatSectorCount = r.u32();
    h.firstDirectorySector = r.u32();
    h.transactionSignature = r.u32();
    h.miniStreamCutoff = r.u32();
    h.firstMiniFatSector = r.u32();
    h.miniFatSectorCount = r.u32();
    h.firstDifatSector = r.u32();
    h.difatSectorCount = r.u32();
    for (auto& d : h.difat)
        d = r.u32();
    if (!r.ok())
        return Error(ErrorCode::BadCompoundFile, "damaged compound file: its header is cut short");
    if (byteOrder != 0xFFFE)
        return Error(ErrorCode::BadCompoundFile, "damaged compound file: its header has a wrong byte-order mark");
    if (!((h.majorVersion == 3 && h.sectorShift == 9) || (h.majorVersion == 4 && h.sectorShift == 12)))
        return Error(ErrorCode::BadCompoundFile, "damaged compound file: its header names version " +
                                                     std::to_string(h.majorVersion) + " with sector shift " +
                                                     std::to_string(h.sectorShift));
    if (h.miniSectorShift != 6)
        return Error(ErrorCode::BadCompoundFile, "damaged compound file: its mini sectors are not 64 bytes");
    if (h.miniStreamCutoff != kMiniStreamCutoff)
        return Error(ErrorCode::BadCompoundFile, "damaged compound file: its mini-stream cutoff is not 4096 bytes");
    return h;
}

std::array<std::uint8_t, kHeaderSize> CfbHeader::serialize() const {
    std::array<std::uint8_t, kHeaderSize> out = raw;
    if (std::memcmp(out.data(), kSignature.data(), kSignature.size()) != 0) {
        out.fill(0);
        std::memcpy(out.data(), kSignature.data(), kSignature.size());
    }
    std::uint8_t* p = out.data();
    storeU16(p + 24, minorVersion);
    storeU16(p + 26, majorVersion);
    storeU16(p + 28, 0xFFFE);
    storeU16(p + 30, sectorShift);
    storeU16(p + 32, miniSectorShift);
    storeU32(p + 40, directorySectorCount);
    storeU32(p + 44, fatSectorCount);
    storeU32(p + 48, firstDirectorySector);
    storeU32(p + 52, transactionSignature);
    storeU32(p + 56, miniStreamCutoff);
    storeU32(p + 60, firstMiniFatSector);
    storeU32(p + 64, miniFatSectorCount);
    storeU32(p + 68, firstDifatSector);
    storeU32(p + 72, difatSectorCount);
    for (std::size_t i = 0; i < kHeaderDifatCount; ++i)
        storeU32(p + 76 + 4 * i, difat[i]);
    return out;
}

DirectoryEntry DirectoryEntry::parse(const std::uint8_t* bytes, std::uint16_t majorVersion) {
    DirectoryEntry e;
    std::memcpy(e.raw.data(), bytes, kDirectoryEntrySize);
    std::uint16_t nameBytes = loadU16(bytes + 64);
    std::size_t units = nameBytes >= 2 ? std::min<std::size_t>(nameBytes / 2 - 1, kMaxNameLength) : 0;
    for (std::size_t i = 0; i < units; ++i)
        e.name.push_back(static_cast<char16_t>(loadU16(bytes + 2 * i)));
    e.type = static_cast<EntryType>(bytes[66]);
    e.color = bytes[67];
    e.left = loadU32(bytes + 68);
    e.right = loadU32(bytes + 72);
    e.child = loadU32(bytes + 76);
    e.startSector = loadU32(bytes + 116);
    std::uint64_t low = loadU32(bytes + 120);
    std::uint64_t high = loadU32(bytes + 124);
    e.size = majorVersion >= 4 ? (high << 32) | low : low;
    return e;
}

DirectoryEntry DirectoryEntry::newStream(std::u16string_view name) {
    DirectoryEntry e;
    e.name.assign(name.substr(0, kMaxNameLength));
    e.type = EntryType::Stream;
    e.raw.fill(0);
    for (std::size_t i = 0; i < e.name.size(); ++i)
        storeU16(e.raw.data() + 2 * i, e.name[i]);
    storeU16(e.raw.data() + 64, static_cast<std::uint16_t>((e.name.size() + 1) * 2));
    return e;
}

std::array<std::uint8_t, kDirectoryEntrySize> DirectoryEntry::serialize() const {
    std::array<std::uint8_t, kDirectoryEntrySize> out = raw;
    std::uint8_t* p = out.data();
    p[66] = static_cast<std::uint8_t>(type);
    p[67] = color;
    storeU32(p + 68, left);
    storeU32(p + 72, right);
    storeU32(p + 76, child);
    storeU32(p + 116, startSector);
    storeU32(p + 120, static_cast<std::uint32_t>(size));
    storeU32(p + 124, static_cast<std::uint32_t>(size >> 32));
    return out;
}

namespace {

// Simple upper-case mapping of the scripts that directory names use.
char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 0x20);
    if (c < 0x80)
        return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c == 0x3C2)
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
        return (c & 1) ? static_cast<char16_t>(c - 1) : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) ? c : static_cast<char16_t>(c - 1);
    return c;
}

}  // namespace

int compareNames(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = upper(a[i]), y = upper(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool namesEqual(std::u16string_view a, std::u16string_view b) { return compareNames(a, b) == 0; }

}  // namespace qv::cfb
