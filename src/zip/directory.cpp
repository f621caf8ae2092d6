#include "zip/directory.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "base/text.h"
#include "zip/codec.h"
#include "zip/limits.h"
#include "zip/messages.h"

namespace qv::zip {

namespace {

constexpr std::size_t kEndSearchSpan = 65535 + EndOfCentralDirectory::kSize;

Error notAZip(const std::string& detail) {
    return Error(ErrorCode::NotAZip, std::string(kMsgNotAZip) + " (" + detail + ")");
}

Error badZip(const std::string& detail) {
    return Error(ErrorCode::BadZip, std::string(kMsgNotAZip) + " (" + detail + ")");
}

struct EndInfo {
    EndOfCentralDirectory end;
    std::uint64_t endPosition = 0;
    bool zip64 = false;
    std::uint64_t entryCount = 0;
    std::uint64_t centralDirectoryOffset = 0;
    std::uint64_t centralDirectorySize = 0;
    std::uint64_t centralDirectoryLimit = 0;  // where the records after the central directory start
};

// Checks one end-record candidate; accepted only when its comment ends exactly
// at the end of the source and its central directory lies inside it.
std::optional<EndInfo> acceptEndCandidate(const ByteSource& source, std::string_view tail, std::size_t pos,
                                          std::uint64_t tailBase) {
    ByteReader r(tail.substr(pos));
    EndInfo info;
    if (!info.end.read(r))
        return std::nullopt;
    info.endPosition = tailBase + pos;
    if (info.endPosition + EndOfCentralDirectory::kSize + info.end.commentLength != source.size())
        return std::nullopt;

    std::uint64_t diskNumber = info.end.diskNumber;
    std::uint64_t centralDisk = info.end.centralDirectoryDisk;
    info.entryCount = info.end.totalEntries;
    info.centralDirectoryOffset = info.end.centralDirectoryOffset;
    info.centralDirectorySize = info.end.centralDirectorySize;
    info.centralDirectoryLimit = info.endPosition;

    if (info.endPosition >= Zip64EndOfCentralDirectoryLocator::kSize) {
        std::uint64_t locatorPos = info.endPosition - Zip64EndOfCentralDirectoryLocator::kSize;
        auto bytes = source.read(locatorPos, Zip64EndOfCentralDirectoryLocator::kSize);
        Zip64EndOfCentralDirectoryLocator locator;
        ByteReader lr(bytes ? std::string_view(*bytes) : std::string_view());
        if (bytes && locator.read(lr)) {
            Zip64EndOfCentralDirectory z;
            bool good = locator.zip64EndOffset <= locatorPos &&
                        locatorPos - locator.zip64EndOffset >= Zip64EndOfCentralDirectory::kSize;
            if (good) {
                auto zb = source.read(locator.zip64EndOffset, Zip64EndOfCentralDirectory::kSize);
                ByteReader zr(zb ? std::string_view(*zb) : std::string_view());
                good = zb && z.read(zr);
            }
            if (!good)
                return std::nullopt;
            info.zip64 = true;
            diskNumber = z.diskNumber;
            centralDisk = z.centralDirectoryDisk;
            info.entryCount = z.totalEntries;
            info.centralDirectoryOffset = z.centralDirectoryOffset;
            info.centralDirectorySize = z.centralDirectorySize;
            info.centralDirectoryLimit = locator.zip64EndOffset;
        }
    }
    if (!info.zip64 && (info.end.centralDirectorySize == kSaturated32 || info.end.centralDirectoryOffset == kSaturated32))
        return std::nullopt;  // a ZIP64 archive whose ZIP64 records are missing
    if (diskNumber > 999 || centralDisk > 999 || diskNumber < centralDisk)
        return std::nullopt;
    if (info.centralDirectoryOffset > info.centralDirectoryLimit ||
        info.centralDirectorySize > info.centralDirectoryLimit - info.centralDirectoryOffset)
        return std::nullopt;
    if (info.entryCount > info.centralDirectorySize / CentralDirectoryHeader::kSize)
        return std::nullopt;
    return info;
}

Result<EndInfo> findEnd(const ByteSource& source) {
    std::uint64_t size = source.size();
    if (size < EndOfCentralDirectory::kSize)
        return notAZip("the file is too short to hold an end record");
    std::size_t span = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSearchSpan));
    std::uint64_t base = size - span;
    auto tail = source.read(base, span);
    if (!tail)
        return tail.error();
    for (std::size_t pos = span - EndOfCentralDirectory::kSize + 1; pos-- > 0;) {
        if (loadU32(tail->data() + pos) != kEndOfCentralDirectorySignature)
            continue;
        if (auto info = acceptEndCandidate(source, *tail, pos, base))
            return *info;
    }
    return notAZip("no end of central directory record");
}

// The upper half of code page 437, the code page of names without the UTF-8
// flag; a fixed table, so names read the same on every platform.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string cp437ToUtf8(std::string_view raw) {
    std::u16string u;
    u.reserve(raw.size());
    for (char c : raw) {
        auto b = static_cast<unsigned char>(c);
        u.push_back(b < 0x80 ? static_cast<char16_t>(b) : kCp437High[b - 0x80]);
    }
    return text::utf16ToUtf8(u);
}

void splitName(ZipEntry& e) {
    std::size_t slash = e.name.rfind('\\');
    if (slash == std::string::npos) {
        e.directory.clear();
        e.fileName = e.name;
    } else {
        e.directory = e.name.substr(0, slash + 1);
        e.fileName = e.name.substr(slash + 1);
    }
}

// Reads the central headers; no value when one of them can't be read.
std::optional<std::vector<ZipEntry>> readCentralHeaders(const std::string& cd, const EndInfo& end) {
    std::vector<ZipEntry> entries;
    entries.reserve(static_cast<std::size_t>(end.entryCount));
    ByteReader r(cd);
    for (std::uint64_t i = 0; i < end.entryCount; ++i) {
        ZipEntry e;
        std::size_t start = r.pos();
        if (!e.header.read(r))
            return std::nullopt;
        e.rawName = r.bytes(e.header.nameLength);
        e.centralExtra = r.bytes(e.header.extraLength);
        e.comment = r.bytes(e.header.commentLength);
        if (!r.ok())
            return std::nullopt;
        e.centralHeaderPosition = end.centralDirectoryOffset + start;
        e.compressedSize = e.header.compressedSize;
        e.uncompressedSize = e.header.uncompressedSize;
        e.localHeaderOffset = e.header.localHeaderOffset;
        bool needU = e.header.uncompressedSize == kSaturated32;
        bool needC = e.header.compressedSize == kSaturated32;
        bool needO = e.header.localHeaderOffset == kSaturated32;
        bool needD = e.header.diskNumberStart == kSaturated16;
        if (needU || needC || needO || needD) {
            auto block = findExtraBlock(e.centralExtra, kZip64ExtraId);
            if (!block)
                return std::nullopt;
            auto v = readZip64Values(*block, needU, needC, needO, needD);
            if (!v)
                return std::nullopt;
            e.uncompressedSize = v->uncompressedSize.value_or(e.uncompressedSize);
            e.compressedSize = v->compressedSize.value_or(e.compressedSize);
            e.localHeaderOffset = v->localHeaderOffset.value_or(e.localHeaderOffset);
        }
        e.name = EntryNameText(e.rawName, e.header.flags, e.centralExtra);
        splitName(e);
        entries.push_back(std::move(e));
    }
    return entries;
}

// Every entry's local header and data must lie before the central directory,
// and no two entries may share bytes.
Status checkLayout(std::vector<ZipEntry>& entries, std::uint64_t dataLimit) {
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries[a].localHeaderOffset < entries[b].localHeaderOffset;
    });
    for (std::size_t k = 0; k < order.size(); ++k) {
        ZipEntry& e = entries[order[k]];
        std::uint64_t end = k + 1 < order.size() ? entries[order[k + 1]].localHeaderOffset : dataLimit;
        if (end > dataLimit)
            end = dataLimit;
        std::uint64_t start = e.localHeaderOffset;
        if (start > end || end - start < LocalFileHeader::kSize ||
            e.compressedSize > end - start - LocalFileHeader::kSize) {
            return badZip("entry " + std::to_string(order[k]) + " (" + text::sanitizeUtf8(e.name) +
                          ") lies outside the file or overlaps another entry");
        }
        e.regionEnd = end;
    }
    return {};
}

// Finds the end of a Deflate stream whose sizes are only in the data
// descriptor behind it.
std::optional<Inflated> measureDeflate(const ByteSource& source, std::uint64_t dataStart) {
    auto r = InflateRaw(source, dataStart, source.size() - dataStart, nullptr, kMaxExtractedSize);
    if (!r)
        return std::nullopt;
    return *r;
}

// Scans the local headers one after another from the first one in the file.
Result<std::vector<ZipEntry>> rebuildFromLocalHeaders(const ByteSource& source) {
    const std::uint64_t size = source.size();
    std::uint64_t pos = 0;
    bool found = false;
    {
        std::string buf;
        const std::size_t kScan = 64 * 1024;
        for (std::uint64_t at = 0; at + 4 <= size && !found;) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kScan, size - at));
            auto chunk = source.read(at, n);
            if (!chunk)
                return chunk.error();
            for (std::size_t i = 0; i + 4 <= n; ++i) {
                if (loadU32(chunk->data() + i) == kLocalFileHeaderSignature) {
                    pos = at + i;
                    found = true;
                    break;
                }
            }
            if (n < 4)
                break;
            at += n - 3;  // a signature may straddle two chunks
        }
    }
    std::vector<ZipEntry> entries;
    while (found && pos <= size && size - pos >= LocalFileHeader::kSize) {
        auto fixed = source.read(pos, LocalFileHeader::kSize);
        if (!fixed)
            break;
        ByteReader r(*fixed);
        LocalFileHeader h;
        if (!h.read(r))
            break;
        auto varPart = source.read(pos + LocalFileHeader::kSize, std::size_t{h.nameLength} + h.extraLength);
        if (!varPart)
            break;
        ZipEntry e;
        e.rawName = varPart->substr(0, h.nameLength);
        std::string localExtra = varPart->substr(h.nameLength);
        std::uint64_t dataStart = pos + LocalFileHeader::kSize + h.nameLength + h.extraLength;
        std::uint64_t compressed = h.compressedSize, uncompressed = h.uncompressedSize;
        std::uint32_t crc = h.crc32;
        auto zip64 = findExtraBlock(localExtra, kZip64ExtraId);
        if (zip64 && (h.compressedSize == kSaturated32 || h.uncompressedSize == kSaturated32)) {
            auto v = readZip64Values(*zip64, true, true, false, false);
            if (!v)
                break;
            uncompressed = *v->uncompressedSize;
            compressed = *v->compressedSize;
        }
        std::uint64_t dataEnd;
        if (h.flags & kFlagDataDescriptor) {
            if (h.method == kMethodDeflated) {
                auto m = measureDeflate(source, dataStart);
                if (!m)
                    break;
                compressed = m->consumed;
                uncompressed = m->produced;
                crc = m->crc32;
            } else if (compressed == 0) {
                break;  // stored data of unknown length: nothing says where it ends
            }
            std::uint64_t descPos = dataStart + compressed;
            std::size_t descLen = zip64 ? 20 : 12;
            auto sig = source.read(descPos, 4);
            if (sig && loadU32(sig->data()) == kDataDescriptorSignature)
                descLen += 4;
            if (descPos > size || size - descPos < descLen)
                break;
            dataEnd = descPos + descLen;
        } else {
            if (dataStart > size || compressed > size - dataStart)
                break;
            dataEnd = dataStart + compressed;
        }
        e.header.versionMadeBy = h.versionNeeded;
        e.header.versionNeeded = h.versionNeeded;
        e.header.flags = h.flags;
        e.header.method = h.method;
        e.header.dosDateTime = h.dosDateTime;
        e.header.crc32 = crc;
        e.header.compressedSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(compressed, kSaturated32));
        e.header.uncompressedSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(uncompressed, kSaturated32));
        e.header.nameLength = h.nameLength;
        e.header.localHeaderOffset = static_cast<std::uint32_t>(std::min<std::uint64_t>(pos, kSaturated32));
        e.compressedSize = compressed;
        e.uncompressedSize = uncompressed;
        e.localHeaderOffset = pos;
        e.regionEnd = dataEnd;
        e.name = EntryNameText(e.rawName, h.flags, localExtra);
        splitName(e);
        entries.push_back(std::move(e));
        pos = dataEnd;
    }
    if (entries.empty())
        return badZip("the central directory is damaged and no local header could be read");
    return entries;
}

}  // namespace

std::string EntryNameText(std::string_view rawName, std::uint16_t flags, std::string_view extra) {
    std::string name;
    bool ascii = std::all_of(rawName.begin(), rawName.end(), [](char c) { return (c & 0x80) == 0; });
    if ((flags & kFlagUtf8Name) || ascii) {
        name = text::sanitizeUtf8(rawName);
    } else if (auto up = findExtraBlock(extra, kUnicodePathExtraId);
               up && up->size() >= 5 && (*up)[0] == 1 && loadU32(up->data() + 1) == Crc32(rawName)) {
        name = text::sanitizeUtf8(up->substr(5));
    } else {
        name = cp437ToUtf8(rawName);
    }
    text::replaceAll(name, "/", "\\");
    return name;
}

Result<ZipDirectory> ReadDirectory(const ByteSource& source) {
    ZipDirectory dir;
    if (source.size() == 0)
        return dir;
    auto end = findEnd(source);
    if (!end)
        return end.error();
    dir.end = end->end;
    dir.endPosition = end->endPosition;
    dir.zip64 = end->zip64;
    dir.centralDirectoryOffset = end->centralDirectoryOffset;
    dir.centralDirectorySize = end->centralDirectorySize;
    auto comment = source.read(end->endPosition + EndOfCentralDirectory::kSize, end->end.commentLength);
    if (!comment)
        return comment.error();
    dir.comment = std::move(*comment);

    if (end->centralDirectorySize > kMaxCentralDirectorySize)
        return Error(ErrorCode::TooLarge, "the central directory of " + std::to_string(end->centralDirectorySize) +
                                              " bytes is larger than this tool reads");
    auto cd = source.read(end->centralDirectoryOffset, static_cast<std::size_t>(end->centralDirectorySize));
    if (!cd)
        return cd.error();
    auto entries = readCentralHeaders(*cd, *end);
    if (entries) {
        dir.entries = std::move(*entries);
        QV_TRY(checkLayout(dir.entries, end->centralDirectoryOffset));
        return dir;
    }
    auto rebuilt = rebuildFromLocalHeaders(source);
    if (!rebuilt)
        return rebuilt.error();
    dir.entries = std::move(*rebuilt);
    dir.rebuilt = true;
    return dir;
}

const ZipEntry* FindEntry(const ZipDirectory& directory, std::string_view name) {
    std::string wanted(name);
    text::replaceAll(wanted, "/", "\\");
    for (const ZipEntry& e : directory.entries) {
        if (!e.fileName.empty() && text::equalsIgnoreAsciiCase(e.name, wanted))
            return &e;
    }
    return nullptr;
}

}  // namespace qv::zip
