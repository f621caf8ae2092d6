// Reading a compound file: header, FAT (through the DIFAT), mini FAT, mini
// stream and directory, and streams by name. The container knows nothing of
// what the streams hold.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "props/compound/cfb/byte_io.h"
#include "props/compound/cfb/cfb_format.h"

namespace qv::cfb {

class CompoundFile {
public:
    // Reads the structures of a compound file. The source must outlive the
    // object. Every fault (truncation, chains that loop or leave the file,
    // links outside the directory, cycles, absurd counts) is an error, and
    // nothing is allocated beyond what the file's size allows.
    static Result<CompoundFile> open(const ByteSource& source);

    const ByteSource& source() const { return *m_source; }
    const CfbHeader& header() const { return m_header; }
    std::uint32_t sectorSize() const { return m_header.sectorSize(); }
    // Sectors after the header that the file holds, the last possibly cut short.
    std::uint32_t fileSectorCount() const { return m_fileSectors; }
    std::uint64_t sectorOffset(std::uint32_t sector) const {
        return (static_cast<std::uint64_t>(sector) + 1) * sectorSize();
    }

    const std::vector<std::uint32_t>& fat() const { return m_fat; }
    const std::vector<std::uint32_t>& miniFat() const { return m_miniFat; }
    const std::vector<std::uint32_t>& fatSectors() const { return m_fatSectors; }
    const std::vector<std::uint32_t>& difatSectors() const { return m_difatSectors; }
    const std::vector<std::uint32_t>& directoryChain() const { return m_directoryChain; }
    const std::vector<std::uint32_t>& miniFatChain() const { return m_miniFatChain; }
    const std::vector<std::uint32_t>& miniStreamChain() const { return m_miniStreamChain; }
    const std::vector<DirectoryEntry>& entries() const { return m_entries; }
    const DirectoryEntry& root() const { return m_entries[0]; }

    // The entries directly under a storage, in tree order; fails on links
    // outside the directory and on cycles.
    Result<std::vector<std::uint32_t>> children(std::uint32_t storage) const;
    // The stream or storage of that name directly under the root.
    std::optional<std::uint32_t> findInRoot(std::u16string_view name) const;
    bool inMiniStream(const DirectoryEntry& e) const { return e.isStream() && e.size < kMiniStreamCutoff; }

    // The bytes of a stream; streams larger than maxSize are refused.
    Result<std::string> readStream(std::uint32_t entry, std::uint64_t maxSize) const;

    // Follows a chain of a sector table from start: all of it up to the end
    // marker when count is empty, else exactly count sectors. Fails on
    // numbers outside the table and on loops.
    static Result<std::vector<std::uint32_t>> chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                                    std::optional<std::size_t> count);

private:
    CompoundFile() = default;
    Status readSectors(const std::vector<std::uint32_t>& sectors, std::uint64_t size, char* out) const;

    const ByteSource* m_source = nullptr;
    CfbHeader m_header;
    std::uint32_t m_fileSectors = 0;
    std::vector<std::uint32_t> m_fat, m_miniFat;
    std::vector<std::uint32_t> m_fatSectors, m_difatSectors;
    std::vector<std::uint32_t> m_directoryChain, m_miniFatChain, m_miniStreamChain;
    std::vector<DirectoryEntry> m_entries;
    std::vector<std::uint32_t> m_rootChildren;
};

}  // namespace qv::cfb
