// Builds ZIP archives record by record for the tests, so that every odd case
// (descriptors, ZIP64, bad sizes, strange names) is spelled out readably.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "zip/codec.h"
#include "zip/records.h"

namespace qv::test {

struct BuildEntry {
    std::string name;  // the stored name bytes
    std::string data;  // uncompressed
    std::uint16_t method = zip::kMethodDeflated;
    std::uint16_t flags = 0;
    std::uint16_t versionMadeBy = 20;
    std::uint32_t dosDateTime = 0x3C812A00;  // 2010-04-01 05:16:00
    bool descriptor = false;                 // flag bit 3, zeros in the local header
    bool descriptorSignature = true;
    bool zip64 = false;  // sizes and offset in ZIP64 extra fields
    std::string localExtra, centralExtra, comment;
    std::optional<std::string> compressed;  // replaces the real compressed bytes
    std::optional<std::uint32_t> crc;       // replaces the real CRC-32
    std::optional<std::uint64_t> statedSize;  // replaces the real uncompressed size
};

class ZipBuilder {
public:
    ZipBuilder& add(BuildEntry e) {
        m_entries.push_back(std::move(e));
        return *this;
    }
    ZipBuilder& add(std::string name, std::string data, std::uint16_t method = zip::kMethodDeflated) {
        BuildEntry e;
        e.name = std::move(name);
        e.data = std::move(data);
        e.method = method;
        return add(std::move(e));
    }
    ZipBuilder& comment(std::string c) {
        m_comment = std::move(c);
        return *this;
    }
    // Writes ZIP64 end records (and saturates the end record's fields).
    ZipBuilder& zip64End(bool on = true) {
        m_zip64End = on;
        return *this;
    }

    // Offsets of each entry's local header in the last build.
    const std::vector<std::uint64_t>& offsets() const { return m_offsets; }

    std::string build() {
        ByteWriter out;
        ByteWriter cd;
        m_offsets.clear();
        for (const BuildEntry& e : m_entries) {
            std::string packed = e.method == zip::kMethodDeflated ? zip::DeflateRaw(e.data, 6)->bytes : e.data;
            if (e.compressed)
                packed = *e.compressed;
            std::uint32_t crc = e.crc.value_or(zip::Crc32(e.data));
            std::uint64_t size = e.statedSize.value_or(e.data.size());
            std::uint64_t offset = out.size();
            m_offsets.push_back(offset);
            std::uint16_t flags = e.flags | (e.descriptor ? zip::kFlagDataDescriptor : 0);

            std::string localExtra = e.localExtra, centralExtra = e.centralExtra;
            if (e.zip64) {
                ByteWriter z;
                z.u16(zip::kZip64ExtraId);
                z.u16(16);
                z.u64(e.descriptor ? 0 : size);
                z.u64(e.descriptor ? 0 : packed.size());
                localExtra = z.buffer() + localExtra;
                ByteWriter c;
                c.u16(zip::kZip64ExtraId);
                c.u16(24);
                c.u64(size);
                c.u64(packed.size());
                c.u64(offset);
                centralExtra = c.buffer() + centralExtra;
            }
            auto narrow = [&](std::uint64_t v) {
                return e.zip64 ? zip::kSaturated32 : static_cast<std::uint32_t>(v);
            };

            zip::LocalFileHeader lh;
            lh.versionNeeded = e.zip64 ? zip::kVersionZip64 : zip::kVersionDefault;
            lh.flags = flags;
            lh.method = e.method;
            lh.dosDateTime = e.dosDateTime;
            lh.crc32 = e.descriptor ? 0 : crc;
            lh.compressedSize = e.descriptor ? 0 : narrow(packed.size());
            lh.uncompressedSize = e.descriptor ? 0 : narrow(size);
            lh.nameLength = static_cast<std::uint16_t>(e.name.size());
            lh.extraLength = static_cast<std::uint16_t>(localExtra.size());
            lh.write(out);
            out.bytes(e.name);
            out.bytes(localExtra);
            out.bytes(packed);
            if (e.descriptor) {
                if (e.descriptorSignature)
                    out.u32(zip::kDataDescriptorSignature);
                out.u32(crc);
                if (e.zip64) {
                    out.u64(packed.size());
                    out.u64(size);
                } else {
                    out.u32(static_cast<std::uint32_t>(packed.size()));
                    out.u32(static_cast<std::uint32_t>(size));
                }
            }

            zip::CentralDirectoryHeader ch;
            ch.versionMadeBy = e.versionMadeBy;
            ch.versionNeeded = lh.versionNeeded;
            ch.flags = flags;
            ch.method = e.method;
            ch.dosDateTime = e.dosDateTime;
            ch.crc32 = crc;
            ch.compressedSize = narrow(packed.size());
            ch.uncompressedSize = narrow(size);
            ch.nameLength = lh.nameLength;
            ch.extraLength = static_cast<std::uint16_t>(centralExtra.size());
            ch.commentLength = static_cast<std::uint16_t>(e.comment.size());
            ch.externalAttributes = 0x20;
            ch.localHeaderOffset = narrow(offset);
            ch.write(cd);
            cd.bytes(e.name);
            cd.bytes(centralExtra);
            cd.bytes(e.comment);
        }
        std::uint64_t cdOffset = out.size();
        out.bytes(cd.buffer());
        if (m_zip64End) {
            std::uint64_t z64 = out.size();
            zip::Zip64EndOfCentralDirectory z;
            z.entriesOnDisk = z.totalEntries = m_entries.size();
            z.centralDirectorySize = cd.size();
            z.centralDirectoryOffset = cdOffset;
            z.write(out);
            zip::Zip64EndOfCentralDirectoryLocator loc;
            loc.zip64EndOffset = z64;
            loc.write(out);
        }
        zip::EndOfCentralDirectory end;
        end.entriesOnDisk = end.totalEntries =
            m_zip64End ? zip::kSaturated16 : static_cast<std::uint16_t>(m_entries.size());
        end.centralDirectorySize = m_zip64End ? zip::kSaturated32 : static_cast<std::uint32_t>(cd.size());
        end.centralDirectoryOffset = m_zip64End ? zip::kSaturated32 : static_cast<std::uint32_t>(cdOffset);
        end.commentLength = static_cast<std::uint16_t>(m_comment.size());
        end.write(out);
        out.bytes(m_comment);
        return out.buffer();
    }

private:
    std::vector<BuildEntry> m_entries;
    std::string m_comment;
    bool m_zip64End = false;
    std::vector<std::uint64_t> m_offsets;
};

}  // namespace qv::test
