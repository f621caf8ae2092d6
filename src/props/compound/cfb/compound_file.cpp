#include "props/compound/cfb/compound_file.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/text.h"

namespace qv::cfb {

namespace {

Error bad(const std::string& what) { return Error(ErrorCode::BadCompoundFile, "damaged compound file: " + what); }

}  // namespace

Result<std::vector<std::uint32_t>> CompoundFile::chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                                       std::optional<std::size_t> count) {
    std::vector<std::uint32_t> out;
    if (count && *count > table.size())
        return bad("a chain is longer than its sector table");
    std::vector<bool> seen(table.size(), false);
    std::uint32_t s = start;
    while (true) {
        if (count && out.size() == *count)
            return out;
        if (s == kEndOfChain) {
            if (count)
                return bad("a chain ends before its stream does");
            return out;
        }
        if (s >= table.size())
            return bad("a chain leaves its sector table at sector " + std::to_string(s));
        if (seen[s])
            return bad("a chain runs in a loop");
        seen[s] = true;
        out.push_back(s);
        s = table[s];
    }
}

Result<CompoundFile> CompoundFile::open(const ByteSource& source) {
    CompoundFile cf;
    cf.m_source = &source;
    std::uint8_t head[kHeaderSize] = {};
    auto got = source.readAt(0, head, sizeof head);
    if (!got)
        return got.error();
    auto header = CfbHeader::parse(head, *got);
    if (!header)
        return header.error();
    cf.m_header = *header;
    const std::uint32_t ss = cf.sectorSize();
    const std::uint64_t size = source.size();
    if (size <= ss)
        return bad("the file holds no sector after its header");
    std::uint64_t sectors = (size - ss + ss - 1) / ss;
    cf.m_fileSectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, kMaxRegularSector));
    const std::uint32_t perSector = ss / 4;
    std::string buf(ss, '\0');

    // FAT sector locations: 109 in the header, the rest in the DIFAT chain.
    const CfbHeader& h = cf.m_header;
    if (h.fatSectorCount == 0 || h.fatSectorCount > cf.m_fileSectors)
        return bad("impossible FAT sector count " + std::to_string(h.fatSectorCount));
    std::uint32_t inHeader = std::min<std::uint32_t>(h.fatSectorCount, kHeaderDifatCount);
    cf.m_fatSectors.assign(h.difat.begin(), h.difat.begin() + inHeader);
    std::uint32_t next = h.firstDifatSector;
    while (cf.m_fatSectors.size() < h.fatSectorCount) {
        if (next >= cf.m_fileSectors)
            return bad("the DIFAT chain ends before all FAT sectors are listed");
        if (std::find(cf.m_difatSectors.begin(), cf.m_difatSectors.end(), next) != cf.m_difatSectors.end() ||
            cf.m_difatSectors.size() >= cf.m_fileSectors)
            return bad("the DIFAT chain runs in a loop");
        cf.m_difatSectors.push_back(next);
        QV_TRY(source.readExactAt(cf.sectorOffset(next), buf.data(), ss));
        for (std::uint32_t i = 0; i + 1 < perSector && cf.m_fatSectors.size() < h.fatSectorCount; ++i)
            cf.m_fatSectors.push_back(loadU32(buf.data() + 4 * i));
        next = loadU32(buf.data() + 4 * (perSector - 1));
    }
    cf.m_fat.reserve(static_cast<std::size_t>(h.fatSectorCount) * perSector);
    for (std::uint32_t loc : cf.m_fatSectors) {
        if (loc >= cf.m_fileSectors)
            return bad("a FAT sector lies outside the file");
        QV_TRY(source.readExactAt(cf.sectorOffset(loc), buf.data(), ss));
        for (std::uint32_t i = 0; i < perSector; ++i)
            cf.m_fat.push_back(loadU32(buf.data() + 4 * i));
    }

    // Directory.
    auto dir = chain(h.firstDirectorySector, cf.m_fat, std::nullopt);
    if (!dir)
        return dir.error();
    cf.m_directoryChain = std::move(*dir);
    if (cf.m_directoryChain.empty())
        return bad("the directory is empty");
    cf.m_entries.reserve(cf.m_directoryChain.size() * (ss / kDirectoryEntrySize));
    for (std::uint32_t s : cf.m_directoryChain) {
        if (s >= cf.m_fileSectors)
            return bad("a directory sector lies outside the file");
        QV_TRY(source.readExactAt(cf.sectorOffset(s), buf.data(), ss));
        for (std::uint32_t off = 0; off < ss; off += kDirectoryEntrySize)
            cf.m_entries.push_back(
                DirectoryEntry::parse(reinterpret_cast<const std::uint8_t*>(buf.data()) + off, h.majorVersion));
    }
    if (cf.m_entries[0].type != EntryType::Root)
        return bad("the first directory entry is not the root");

    // Mini FAT and mini stream.
    auto miniFatChain = chain(h.firstMiniFatSector, cf.m_fat, std::nullopt);
    if (!miniFatChain)
        return miniFatChain.error();
    cf.m_miniFatChain = std::move(*miniFatChain);
    cf.m_miniFat.reserve(cf.m_miniFatChain.size() * perSector);
    for (std::uint32_t s : cf.m_miniFatChain) {
        if (s >= cf.m_fileSectors)
            return bad("a mini FAT sector lies outside the file");
        QV_TRY(source.readExactAt(cf.sectorOffset(s), buf.data(), ss));
        for (std::uint32_t i = 0; i < perSector; ++i)
            cf.m_miniFat.push_back(loadU32(buf.data() + 4 * i));
    }
    const DirectoryEntry& root = cf.m_entries[0];
    std::uint64_t miniSize = h.majorVersion >= 4 ? root.size : (root.size & 0xFFFFFFFFu);
    if (miniSize > size)
        return bad("the mini stream is larger than the file");
    auto miniChain = chain(root.startSector, cf.m_fat, static_cast<std::size_t>((miniSize + ss - 1) / ss));
    if (!miniChain)
        return miniChain.error();
    cf.m_miniStreamChain = std::move(*miniChain);

    auto kids = cf.children(0);
    if (!kids)
        return kids.error();
    cf.m_rootChildren = std::move(*kids);
    return cf;
}

Result<std::vector<std::uint32_t>> CompoundFile::children(std::uint32_t storage) const {
    if (storage >= m_entries.size() || !m_entries[storage].isStorage())
        return bad("not a storage");
    std::vector<std::uint32_t> out;
    std::vector<bool> seen(m_entries.size(), false);
    seen[storage] = true;
    // In-order walk with an explicit stack: a deep, degenerate tree can't
    // exhaust the call stack.
    std::vector<std::uint32_t> stack;
    std::uint32_t node = m_entries[storage].child;
    while (node != kNoStream || !stack.empty()) {
        while (node != kNoStream) {
            if (node >= m_entries.size())
                return bad("a directory link points outside the directory");
            if (seen[node])
                return bad("the directory tree has a cycle");
            if (m_entries[node].type == EntryType::Unused || m_entries[node].type == EntryType::Root)
                return bad("the directory tree links to an unused entry");
            seen[node] = true;
            stack.push_back(node);
            node = m_entries[node].left;
        }
        node = stack.back();
        stack.pop_back();
        out.push_back(node);
        node = m_entries[node].right;
    }
    return out;
}

std::optional<std::uint32_t> CompoundFile::findInRoot(std::u16string_view name) const {
    for (std::uint32_t i : m_rootChildren)
        if (namesEqual(m_entries[i].name, name))
            return i;
    return std::nullopt;
}

Status CompoundFile::readSectors(const std::vector<std::uint32_t>& sectors, std::uint64_t size, char* out) const {
    const std::uint32_t ss = sectorSize();
    std::uint64_t done = 0;
    // Runs of consecutive sectors are read at once.
    for (std::size_t i = 0; i < sectors.size() && done < size;) {
        std::size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1)
            ++j;
        std::uint64_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(j - i) * ss, size - done);
        if (sectors[i] >= m_fileSectors)
            return bad("a stream sector lies outside the file");
        QV_TRY(m_source->readExactAt(sectorOffset(sectors[i]), out + done, static_cast<std::size_t>(n)));
        done += n;
        i = j;
    }
    return {};
}

Result<std::string> CompoundFile::readStream(std::uint32_t index, std::uint64_t maxSize) const {
    if (index >= m_entries.size() || !m_entries[index].isStream())
        return bad("not a stream");
    const DirectoryEntry& e = m_entries[index];
    if (e.size > m_source->size())
        return bad("a stream is larger than the file");
    if (e.size > maxSize)
        return Error(ErrorCode::TooLarge, "the stream is larger than " + std::to_string(maxSize) + " bytes");
    const std::uint32_t ss = sectorSize();
    if (!inMiniStream(e)) {
        auto sectors = chain(e.startSector, m_fat, static_cast<std::size_t>((e.size + ss - 1) / ss));
        if (!sectors)
            return sectors.error();
        std::string out(static_cast<std::size_t>(e.size), '\0');
        QV_TRY(readSectors(*sectors, e.size, out.data()));
        return out;
    }
    std::uint64_t miniSize = static_cast<std::uint64_t>(m_miniStreamChain.size()) * ss;
    std::uint64_t rootSize = m_header.majorVersion >= 4 ? root().size : (root().size & 0xFFFFFFFFu);
    miniSize = std::min(miniSize, rootSize);
    if (e.size > miniSize)
        return bad("a small stream is larger than the mini stream");
    auto minis = chain(e.startSector, m_miniFat, static_cast<std::size_t>((e.size + kMiniSectorSize - 1) / kMiniSectorSize));
    if (!minis)
        return minis.error();
    std::string out(static_cast<std::size_t>(e.size), '\0');
    std::uint64_t done = 0;
    for (std::uint32_t m : *minis) {
        std::uint64_t pos = static_cast<std::uint64_t>(m) * kMiniSectorSize;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kMiniSectorSize, e.size - done));
        if (pos + n > miniSize)
            return bad("a mini sector lies outside the mini stream");
        std::uint32_t sector = m_miniStreamChain[static_cast<std::size_t>(pos / ss)];
        if (sector >= m_fileSectors)
            return bad("a mini-stream sector lies outside the file");
        QV_TRY(m_source->readExactAt(sectorOffset(sector) + pos % ss, out.data() + done, n));
        done += n;
    }
    return out;
}

}  // namespace qv::cfb
