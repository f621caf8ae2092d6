#include "zip/records.h"

#include <algorithm>

namespace qv::zip {

bool LocalFileHeader::read(ByteReader& r) {
    std::uint32_t sig = r.u32();
    versionNeeded = r.u16();
    flags = r.u16();
    method = r.u16();
    dosDateTime = r.u32();
    crc32 = r.u32();
    compressedSize = r.u32();
    uncompressedSize = r.u32();
    nameLength = r.u16();
    extraLength = r.u16();
    return r.ok() && sig == kLocalFileHeaderSignature;
}

void LocalFileHeader::write(ByteWriter& w) const {
    w.u32(kLocalFileHeaderSignature);
    w.u16(versionNeeded);
    w.u16(flags);
    w.u16(method);
    w.u32(dosDateTime);
    w.u32(crc32);
    w.u32(compressedSize);
    w.u32(uncompressedSize);
    w.u16(nameLength);
    w.u16(extraLength);
}

bool CentralDirectoryHeader::read(ByteReader& r) {
    std::uint32_t sig = r.u32();
    versionMadeBy = r.u16();
    versionNeeded = r.u16();
    flags = r.u16();
    method = r.u16();
    dosDateTime = r.u32();
    crc32 = r.u32();
    compressedSize = r.u32();
    uncompressedSize = r.u32();
    nameLength = r.u16();
    extraLength = r.u16();
    commentLength = r.u16();
    diskNumberStart = r.u16();
    internalAttributes = r.u16();
    externalAttributes = r.u32();
    localHeaderOffset = r.u32();
    return r.ok() && sig == kCentralDirectoryHeaderSignature;
}

void CentralDirectoryHeader::write(ByteWriter& w) const {
    w.u32(kCentralDirectoryHeaderSignature);
    w.u16(versionMadeBy);
    w.u16(versionNeeded);
    w.u16(flags);
    w.u16(method);
    w.u32(dosDateTime);
    w.u32(crc32);
    w.u32(compressedSize);
    w.u32(uncompressedSize);
    w.u16(nameLength);
    w.u16(extraLength);
    w.u16(commentLength);
    w.u16(diskNumberStart);
    w.u16(internalAttributes);
    w.u32(externalAttributes);
    w.u32(localHeaderOffset);
}

bool EndOfCentralDirectory::read(ByteReader& r) {
    std::uint32_t sig = r.u32();
    diskNumber = r.u16();
    centralDirectoryDisk = r.u16();
    entriesOnDisk = r.u16();
    totalEntries = r.u16();
    centralDirectorySize = r.u32();
    centralDirectoryOffset = r.u32();
    commentLength = r.u16();
    return r.ok() && sig == kEndOfCentralDirectorySignature;
}

void EndOfCentralDirectory::write(ByteWriter& w) const {
    w.u32(kEndOfCentralDirectorySignature);
    w.u16(diskNumber);
    w.u16(centralDirectoryDisk);
    w.u16(entriesOnDisk);
    w.u16(totalEntries);
    w.u32(centralDirectorySize);
    w.u32(centralDirectoryOffset);
    w.u16(commentLength);
}

bool Zip64EndOfCentralDirectory::read(ByteReader& r) {
    std::uint32_t sig = r.u32();
    recordSize = r.u64();
    versionMadeBy = r.u16();
    versionNeeded = r.u16();
    diskNumber = r.u32();
    centralDirectoryDisk = r.u32();
    entriesOnDisk = r.u64();
    totalEntries = r.u64();
    centralDirectorySize = r.u64();
    centralDirectoryOffset = r.u64();
    return r.ok() && sig == kZip64EndOfCentralDirectorySignature;
}

void Zip64EndOfCentralDirectory::write(ByteWriter& w) const {
    w.u32(kZip64EndOfCentralDirectorySignature);
    w.u64(recordSize);
    w.u16(versionMadeBy);
    w.u16(versionNeeded);
    w.u32(diskNumber);
    w.u32(centralDirectoryDisk);
    w.u64(entriesOnDisk);
    w.u64(totalEntries);
    w.u64(centralDirectorySize);
    w.u64(centralDirectoryOffset);
}

bool Zip64EndOfCentralDirectoryLocator::read(ByteReader& r) {
    std::uint32_t sig = r.u32();
    zip64EndDisk = r.u32();
    zip64EndOffset = r.u64();
    totalDisks = r.u32();
    return r.ok() && sig == kZip64EndOfCentralDirectoryLocatorSignature;
}

void Zip64EndOfCentralDirectoryLocator::write(ByteWriter& w) const {
    w.u32(kZip64EndOfCentralDirectoryLocatorSignature);
    w.u32(zip64EndDisk);
    w.u64(zip64EndOffset);
    w.u32(totalDisks);
}

void DataDescriptor::write(ByteWriter& w, bool zip64) const {
    w.u32(kDataDescriptorSignature);
    w.u32(crc32);
    if (zip64) {
        w.u64(compressedSize);
        w.u64(uncompressedSize);
    } else {
        w.u32(static_cast<std::uint32_t>(compressedSize));
        w.u32(static_cast<std::uint32_t>(uncompressedSize));
    }
}

// ---------------------------------------------------------------------------

std::optional<std::string_view> findExtraBlock(std::string_view extra, std::uint16_t id) {
    ByteReader r(extra);
    while (r.remaining() >= 4) {
        std::uint16_t blockId = r.u16();
        std::uint16_t size = r.u16();
        std::string_view data = r.bytes(size);
        if (!r.ok())
            return std::nullopt;
        if (blockId == id)
            return data;
    }
    return std::nullopt;
}

std::string replaceExtraBlock(std::string_view extra, std::uint16_t id, std::optional<std::string_view> data) {
    ByteWriter w;
    ByteReader r(extra);
    while (r.remaining() >= 4) {
        std::size_t start = r.pos();
        std::uint16_t blockId = r.u16();
        std::uint16_t size = r.u16();
        r.bytes(size);
        if (!r.ok()) {
            // A damaged tail is kept as it was.
            w.bytes(extra.substr(start));
            break;
        }
        if (blockId != id)
            w.bytes(extra.substr(start, r.pos() - start));
    }
    if (r.ok() && r.remaining() > 0)
        w.bytes(extra.substr(r.pos()));
    if (data) {
        w.u16(id);
        w.u16(static_cast<std::uint16_t>(data->size()));
        w.bytes(*data);
    }
    return std::move(w.buffer());
}

std::optional<Zip64Values> readZip64Values(std::string_view block, bool needUncompressed, bool needCompressed,
                                           bool needOffset, bool needDisk) {
    ByteReader r(block);
    Zip64Values v;
    if (needUncompressed)
        v.uncompressedSize = r.u64();
    if (needCompressed)
        v.compressedSize = r.u64();
    if (needOffset)
        v.localHeaderOffset = r.u64();
    if (needDisk)
        v.diskNumberStart = r.u32();
    if (!r.ok())
        return std::nullopt;
    return v;
}

std::string writeZip64Values(const Zip64Values& v) {
    ByteWriter w;
    if (v.uncompressedSize)
        w.u64(*v.uncompressedSize);
    if (v.compressedSize)
        w.u64(*v.compressedSize);
    if (v.localHeaderOffset)
        w.u64(*v.localHeaderOffset);
    if (v.diskNumberStart)
        w.u32(*v.diskNumberStart);
    return std::move(w.buffer());
}

// ---------------------------------------------------------------------------

DosDateTime decodeDosDateTime(std::uint32_t packed) {
    std::uint16_t time = static_cast<std::uint16_t>(packed & 0xFFFF);
    std::uint16_t date = static_cast<std::uint16_t>(packed >> 16);
    DosDateTime t;
    t.second = std::min(2u * (time & 0x1Fu), 58u);
    t.minute = std::min((time >> 5) & 0x3Fu, 59u);
    t.hour = std::min((time >> 11) & 0x1Fu, 23u);
    t.day = std::max(date & 0x1Fu, 1u);
    t.month = std::clamp((date >> 5) & 0x0Fu, 1u, 12u);
    t.year = 1980 + ((date >> 9) & 0x7Fu);
    return t;
}

std::uint32_t encodeDosDateTime(const DosDateTime& t) {
    unsigned year = std::clamp(t.year, 1980u, 2107u);
    unsigned time = ((t.hour & 0x1F) << 11) | ((t.minute & 0x3F) << 5) | ((t.second / 2) & 0x1F);
    unsigned date = ((year - 1980) << 9) | ((t.month & 0x0F) << 5) | (t.day & 0x1F);
    return (static_cast<std::uint32_t>(date) << 16) | time;
}

}  // namespace qv::zip
