#include "zip/writer.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>

#include "base/text.h"
#include "platform/platform.h"
#include "zip/codec.h"
#include "zip/messages.h"

namespace qv::zip {

namespace {

constexpr std::size_t kOutputBufferSize = 1 << 20;
// Ranges at least this long are copied by the sink itself (in the system,
// for files) rather than through the buffer.
constexpr std::uint64_t kDirectCopySize = 256 * 1024;
constexpr int kPackLevel = 6;
constexpr std::uint32_t kArchiveAttribute = 0x20;

// Collects small records and copied ranges into large writes, so that a
// copy costs one read and one write per megabyte whatever the entry sizes.
class OutputBuffer {
public:
    explicit OutputBuffer(ByteSink& sink) : m_sink(sink), m_buf(std::make_unique_for_overwrite<char[]>(kOutputBufferSize)) {}

    std::uint64_t position() const { return m_flushed + m_used; }

    Status put(std::string_view bytes) {
        while (!bytes.empty()) {
            if (m_used == kOutputBufferSize)
                QV_TRY(flush());
            std::size_t n = std::min(bytes.size(), kOutputBufferSize - m_used);
            std::copy_n(bytes.data(), n, m_buf.get() + m_used);
            m_used += n;
            bytes.remove_prefix(n);
        }
        return {};
    }

    Status copyFrom(const ByteSource& source, std::uint64_t offset, std::uint64_t n) {
        if (n >= kDirectCopySize) {
            QV_TRY(flush());
            QV_TRY(mapError(m_sink.copyFrom(source, offset, n)));
            m_flushed += n;
            return {};
        }
        while (n > 0) {
            if (m_used == kOutputBufferSize)
                QV_TRY(flush());
            std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n, kOutputBufferSize - m_used));
            QV_TRY(source.readAt(offset, m_buf.get() + m_used, chunk));
            m_used += chunk;
            offset += chunk;
            n -= chunk;
        }
        return {};
    }

    Status flush() {
        if (m_used == 0)
            return {};
        QV_TRY(mapError(m_sink.write(m_buf.get(), m_used)));
        m_flushed += m_used;
        m_used = 0;
        return {};
    }

private:
    static Status mapError(Status st) {
        if (st.ok() || st.error().code != ErrorCode::DiskFull)
            return st;
        return Error(ErrorCode::DiskFull, std::string(kMsgNotEnoughRoom) + ": " + st.error().message);
    }

    ByteSink& m_sink;
    // Left uninitialised: only what was put is written, so a small archive
    // costs no megabyte of zeroes.
    std::unique_ptr<char[]> m_buf;
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
};

// One central header of the new archive.
struct CentralRecord {
    CentralDirectoryHeader header;
    std::string_view name;
    std::string extra;
    std::string_view comment;
};

struct PreparedStream {
    StoredName name;
    Deflated data;
    std::uint64_t size = 0;
    bool used = false;
};

Error badZip(const std::string& detail) {
    return Error(ErrorCode::BadZip, std::string(kMsgNotAZip) + " (" + detail + ")");
}

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// Puts the local header offset into the central header, moving it into the
// ZIP64 extra field when it doesn't fit or was there already.
Status setCentralOffset(CentralRecord& rec, const ZipEntry* old, std::uint64_t offset) {
    CentralDirectoryHeader& h = rec.header;
    if (offset < kSaturated32 && h.localHeaderOffset != kSaturated32) {
        h.localHeaderOffset = static_cast<std::uint32_t>(offset);
        return {};
    }
    Zip64Values v;
    if (h.uncompressedSize == kSaturated32)
        v.uncompressedSize = old ? old->uncompressedSize : 0;
    if (h.compressedSize == kSaturated32)
        v.compressedSize = old ? old->compressedSize : 0;
    v.localHeaderOffset = offset;
    if (h.diskNumberStart == kSaturated16)
        v.diskNumberStart = 0;
    h.localHeaderOffset = kSaturated32;
    std::string block = writeZip64Values(v);
    rec.extra = replaceExtraBlock(rec.extra, kZip64ExtraId, std::string_view(block));
    if (rec.extra.size() > 0xFFFF)
        return Error(ErrorCode::Unsupported, "the extra field of an entry would grow beyond 65535 bytes");
    h.extraLength = static_cast<std::uint16_t>(rec.extra.size());
    h.versionNeeded = std::max(h.versionNeeded, kVersionZip64);
    return {};
}

Status copyEntry(const ByteSource& old, const ZipEntry& e, OutputBuffer& out, std::vector<CentralRecord>& central) {
    const std::string shown = text::sanitizeUtf8(e.name);
    auto fixed = old.read(e.localHeaderOffset, LocalFileHeader::kSize);
    LocalFileHeader local;
    ByteReader r(fixed ? std::string_view(*fixed) : std::string_view());
    if (!fixed || !local.read(r))
        return badZip("no local header for " + shown);
    std::uint64_t headerLength = LocalFileHeader::kSize + local.nameLength + local.extraLength;
    std::uint64_t dataStart = e.localHeaderOffset + headerLength;
    if (dataStart > e.regionEnd || e.compressedSize > e.regionEnd - dataStart)
        return badZip("the data of " + shown + " runs into the next entry");

    std::uint64_t offset = out.position();
    QV_TRY(out.copyFrom(old, e.localHeaderOffset, headerLength + e.compressedSize));
    if (e.hasDataDescriptor()) {
        // The descriptor is written afresh from the central values, with its
        // signature: whatever form the old one had (or lacked), the entry is
        // then conformant, and its header, flags and data stay as they were.
        auto extra = old.read(e.localHeaderOffset + LocalFileHeader::kSize + local.nameLength, local.extraLength);
        if (!extra)
            return extra.error();
        bool zip64 = findExtraBlock(*extra, kZip64ExtraId).has_value();
        if (!zip64 && (e.compressedSize >= kSaturated32 || e.uncompressedSize >= kSaturated32))
            return badZip(shown + " is larger than 4 GiB but has no ZIP64 local header");
        ByteWriter w;
        DataDescriptor{e.header.crc32, e.compressedSize, e.uncompressedSize}.write(w, zip64);
        QV_TRY(out.put(w.buffer()));
    }

    CentralRecord rec{e.header, e.rawName, e.centralExtra, e.comment};
    QV_TRY(setCentralOffset(rec, &e, offset));
    central.push_back(std::move(rec));
    return {};
}

Status writeNewEntry(const PreparedStream& s, std::uint32_t dosDateTime, OutputBuffer& out,
                     std::vector<CentralRecord>& central) {
    std::uint16_t flags = isAscii(s.name.stored) ? 0 : kFlagUtf8Name;
    LocalFileHeader local;
    local.versionNeeded = kVersionDefault;
    local.flags = flags;
    local.method = kMethodDeflated;
    local.dosDateTime = dosDateTime;
    local.crc32 = s.data.crc32;
    local.compressedSize = static_cast<std::uint32_t>(s.data.bytes.size());
    local.uncompressedSize = static_cast<std::uint32_t>(s.size);
    local.nameLength = static_cast<std::uint16_t>(s.name.stored.size());
    local.extraLength = 0;

    std::uint64_t offset = out.position();
    ByteWriter w;
    local.write(w);
    w.bytes(s.name.stored);
    QV_TRY(out.put(w.buffer()));
    QV_TRY(out.put(s.data.bytes));

    CentralRecord rec;
    CentralDirectoryHeader& h = rec.header;
    h.versionMadeBy = kVersionDefault;
    h.versionNeeded = kVersionDefault;
    h.flags = flags;
    h.method = kMethodDeflated;
    h.dosDateTime = dosDateTime;
    h.crc32 = local.crc32;
    h.compressedSize = local.compressedSize;
    h.uncompressedSize = local.uncompressedSize;
    h.nameLength = local.nameLength;
    h.internalAttributes = s.data.looksLikeText ? 1 : 0;
    h.externalAttributes = kArchiveAttribute;
    rec.name = s.name.stored;
    QV_TRY(setCentralOffset(rec, nullptr, offset));
    central.push_back(std::move(rec));
    return {};
}

}  // namespace

Result<StoredName> MakeStoredName(std::string_view name) {
    std::string key(name);
    text::replaceAll(key, "/", "\\");
    if (key.size() >= 2 && key[1] == ':' && std::isalpha(static_cast<unsigned char>(key[0])))
        key.erase(0, 2);
    std::size_t lead = key.find_first_not_of('\\');
    key.erase(0, lead == std::string::npos ? key.size() : lead);
    if (text::trim(key).empty() || key.back() == '\\')
        return Error(ErrorCode::InvalidArgument, "the entry name \"" + std::string(name) + "\" names no file");
    if (key.size() > 0xFFFF)
        return Error(ErrorCode::InvalidArgument, "an entry name is longer than 65535 bytes");
    StoredName n;
    n.key = key;
    n.stored = key;
    text::replaceAll(n.stored, "\\", "/");
    return n;
}

std::uint32_t DosDateTimeNow() {
    std::int64_t utc = static_cast<std::int64_t>(platform::currentFileTime() / kTicksPerSecond) - kSecondsFrom1601To1970;
    std::int64_t local = utc + platform::utcOffsetSecondsAt(utc);
    std::int64_t day = floorDiv(local, 86400), sod = floorMod(local, 86400);
    CivilDate c = civilFromDays(day);
    DosDateTime t;
    t.year = static_cast<unsigned>(std::clamp<std::int64_t>(c.year, 1980, 2107));
    t.month = c.month;
    t.day = c.day;
    t.hour = static_cast<unsigned>(sod / 3600);
    t.minute = static_cast<unsigned>(sod / 60 % 60);
    t.second = static_cast<unsigned>(sod % 60);
    return encodeDosDateTime(t);
}

Result<std::size_t> RewriteArchive(const ByteSource& old, const ZipDirectory& directory,
                                   const std::vector<StreamToStore>& streams, std::uint32_t dosDateTime,
                                   ByteSink& sink) {
    return RewriteArchive(old, directory, streams, {}, dosDateTime, sink);
}

Result<std::size_t> RewriteArchive(const ByteSource& old, const ZipDirectory& directory,
                                   const std::vector<StreamToStore>& streams,
                                   const std::vector<std::string>& dropped, std::uint32_t dosDateTime,
                                   ByteSink& sink) {
    if (directory.rebuilt)
        return badZip("its central directory is damaged, so it is not rewritten");

    // Everything that can fail on the new data fails before a byte is written.
    std::vector<PreparedStream> prepared;
    prepared.reserve(streams.size());
    for (const StreamToStore& s : streams) {
        auto name = MakeStoredName(s.name);
        if (!name)
            return name.error();
        for (const PreparedStream& p : prepared) {
            if (text::equalsIgnoreAsciiCase(p.name.key, name->key))
                return Error(ErrorCode::InvalidArgument, "the entry " + name->stored + " is given twice");
        }
        if (s.data.size() >= kSaturated32)
            return Error(ErrorCode::TooLarge, "the data for " + name->stored + " is larger than 4 GiB");
        auto deflated = DeflateRaw(s.data, kPackLevel);
        if (!deflated)
            return deflated.error();
        if (deflated->bytes.size() >= kSaturated32)
            return Error(ErrorCode::TooLarge, "the data for " + name->stored + " is larger than 4 GiB");
        prepared.push_back(PreparedStream{std::move(*name), std::move(*deflated), s.data.size(), false});
    }
    std::vector<std::string> droppedKeys;
    for (const std::string& d : dropped) {
        auto name = MakeStoredName(d);
        if (!name)
            return name.error();
        for (const PreparedStream& p : prepared)
            if (text::equalsIgnoreAsciiCase(p.name.key, name->key))
                return Error(ErrorCode::InvalidArgument, "the entry " + name->stored + " is both stored and dropped");
        droppedKeys.push_back(std::move(name->key));
    }

    OutputBuffer out(sink);
    std::vector<CentralRecord> central;
    central.reserve(directory.entries.size() + prepared.size());
    for (const ZipEntry& e : directory.entries) {
        if (!e.fileName.empty() && std::any_of(droppedKeys.begin(), droppedKeys.end(), [&](const std::string& k) {
                return text::equalsIgnoreAsciiCase(k, e.name);
            }))
            continue;
        PreparedStream* match = nullptr;
        if (!e.fileName.empty()) {
            for (PreparedStream& p : prepared) {
                if (!p.used && text::equalsIgnoreAsciiCase(p.name.key, e.name)) {
                    match = &p;
                    break;
                }
            }
        }
        if (match) {
            match->used = true;
            QV_TRY(writeNewEntry(*match, dosDateTime, out, central));
        } else {
            QV_TRY(copyEntry(old, e, out, central));
        }
    }
    for (const PreparedStream& p : prepared) {
        if (!p.used)
            QV_TRY(writeNewEntry(p, dosDateTime, out, central));
    }

    const std::uint64_t cdOffset = out.position();
    for (const CentralRecord& rec : central) {
        ByteWriter w;
        rec.header.write(w);
        w.bytes(rec.name);
        w.bytes(rec.extra);
        w.bytes(rec.comment);
        QV_TRY(out.put(w.buffer()));
    }
    const std::uint64_t cdSize = out.position() - cdOffset;
    const std::uint64_t count = central.size();

    ByteWriter w;
    // ZIP64 end records only where a count, size or offset needs them: some
    // readers call a small archive that has them damaged.
    if (count >= kSaturated16 || cdOffset >= kSaturated32 || cdSize >= kSaturated32) {
        std::uint64_t zip64EndOffset = out.position();
        Zip64EndOfCentralDirectory z;
        z.entriesOnDisk = count;
        z.totalEntries = count;
        z.centralDirectorySize = cdSize;
        z.centralDirectoryOffset = cdOffset;
        z.write(w);
        Zip64EndOfCentralDirectoryLocator loc;
        loc.zip64EndOffset = zip64EndOffset;
        loc.write(w);
    }
    EndOfCentralDirectory end;
    end.entriesOnDisk = static_cast<std::uint16_t>(std::min<std::uint64_t>(count, kSaturated16));
    end.totalEntries = end.entriesOnDisk;
    end.centralDirectorySize = static_cast<std::uint32_t>(std::min<std::uint64_t>(cdSize, kSaturated32));
    end.centralDirectoryOffset = static_cast<std::uint32_t>(std::min<std::uint64_t>(cdOffset, kSaturated32));
    end.commentLength = static_cast<std::uint16_t>(directory.comment.size());
    end.write(w);
    w.bytes(directory.comment);
    QV_TRY(out.put(w.buffer()));
    QV_TRY(out.flush());
    return static_cast<std::size_t>(count);
}

}  // namespace qv::zip
