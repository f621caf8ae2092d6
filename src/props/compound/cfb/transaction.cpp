#include "props/compound/cfb/transaction.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "base/bytes.h"

namespace qv::cfb {

namespace {

Error bad(const std::string& what) {
    return Error(ErrorCode::BadCompoundFile, "damaged compound file, so it can't be changed safely: " + what);
}

constexpr std::size_t kCopyBlock = 1 << 20;

// The working state of one write: copies of the sector tables and the
// directory, the sectors whose bytes change, and the allocator over them.
class Builder {
public:
    explicit Builder(const CompoundFile& cf)
        : m_cf(cf),
          m_ss(cf.sectorSize()),
          m_perSector(cf.sectorSize() / 4),
          m_header(cf.header()),
          m_fat(cf.fat()),
          m_miniFat(cf.miniFat()),
          m_fatLocs(cf.fatSectors()),
          m_difatLocs(cf.difatSectors()),
          m_dirChain(cf.directoryChain()),
          m_miniFatChain(cf.miniFatChain()),
          m_miniChain(cf.miniStreamChain()),
          m_entries(cf.entries()),
          m_entryChanged(cf.entries().size(), false) {
        const DirectoryEntry& root = cf.root();
        m_miniSize = m_header.majorVersion >= 4 ? root.size : (root.size & 0xFFFFFFFFu);
    }

    Status markOwnership();
    Status setStream(std::u16string_view name, const std::string& bytes);
    Status finish();
    Status output(ByteSink& sink);

private:
    // Sectors
    std::string& edit(std::uint32_t sector);
    Result<std::uint32_t> allocRegular();
    Status growFat();
    void freeRegular(std::uint32_t s);
    Result<std::uint32_t> allocMini();
    void freeMini(std::uint32_t m);
    void writeMini(std::uint32_t m, std::string_view bytes);
    Status claim(std::vector<bool>& owned, std::uint32_t s, const char* what);

    Status resizeRegular(std::vector<std::uint32_t>& chain, std::size_t count, std::uint32_t& start);
    Status resizeMini(std::vector<std::uint32_t>& chain, std::size_t count, std::uint32_t& start);
    Result<std::uint32_t> newEntrySlot();
    void rebuildRootTree(std::vector<std::uint32_t> children);

    const CompoundFile& m_cf;
    const std::uint32_t m_ss;
    const std::uint32_t m_perSector;
    CfbHeader m_header;
    std::vector<std::uint32_t> m_fat, m_miniFat;
    std::vector<std::uint32_t> m_fatLocs, m_difatLocs, m_dirChain, m_miniFatChain, m_miniChain;
    std::vector<DirectoryEntry> m_entries;
    std::vector<bool> m_entryChanged;
    std::uint64_t m_miniSize = 0;
    std::vector<bool> m_owned, m_miniOwned;
    std::vector<std::uint32_t> m_rootChildren;
    // Every stream's whole chain, regular or mini, by entry.
    std::map<std::uint32_t, std::vector<std::uint32_t>> m_chains;
    std::map<std::uint32_t, std::string> m_dirty;
    std::uint32_t m_hint = 0, m_miniHint = 0;
};

Status Builder::claim(std::vector<bool>& owned, std::uint32_t s, const char* what) {
    if (s >= owned.size())
        return bad(std::string(what) + " lies outside the sector table");
    if (owned[s])
        return bad(std::string(what) + " shares a sector with another chain");
    owned[s] = true;
    return {};
}

Status Builder::markOwnership() {
    m_owned.assign(m_fat.size(), false);
    m_miniOwned.assign(m_miniFat.size(), false);
    for (std::uint32_t s : m_fatLocs)
        QV_TRY(claim(m_owned, s, "a FAT sector"));
    for (std::uint32_t s : m_difatLocs)
        QV_TRY(claim(m_owned, s, "a DIFAT sector"));
    for (std::uint32_t s : m_dirChain)
        QV_TRY(claim(m_owned, s, "a directory sector"));
    for (std::uint32_t s : m_miniFatChain)
        QV_TRY(claim(m_owned, s, "a mini FAT sector"));
    // The mini stream's chain may go on past the mini stream's size.
    auto miniAll = CompoundFile::chain(m_cf.root().startSector, m_fat, std::nullopt);
    if (m_miniSize > 0) {
        if (!miniAll)
            return miniAll.error();
        m_miniChain = *miniAll;
    }
    for (std::uint32_t s : m_miniChain)
        QV_TRY(claim(m_owned, s, "a mini-stream sector"));

    // Every stream reachable from the root, storages walked with an explicit
    // stack and a directory-wide guard against cycles.
    std::vector<bool> seen(m_entries.size(), false);
    seen[0] = true;
    std::vector<std::uint32_t> storages{0};
    while (!storages.empty()) {
        std::uint32_t storage = storages.back();
        storages.pop_back();
        auto kids = m_cf.children(storage);
        if (!kids)
            return kids.error();
        if (storage == 0)
            m_rootChildren = *kids;
        for (std::uint32_t k : *kids) {
            if (seen[k])
                return bad("a directory entry is reachable twice");
            seen[k] = true;
            const DirectoryEntry& e = m_entries[k];
            if (e.isStorage()) {
                storages.push_back(k);
                continue;
            }
            if (!e.isStream() || e.size == 0)
                continue;
            bool mini = m_cf.inMiniStream(e);
            auto c = CompoundFile::chain(e.startSector, mini ? m_miniFat : m_fat, std::nullopt);
            if (!c)
                return c.error();
            std::uint64_t unit = mini ? kMiniSectorSize : m_ss;
            if (static_cast<std::uint64_t>(c->size()) * unit < e.size)
                return bad("a stream's chain is shorter than the stream");
            for (std::uint32_t s : *c)
                QV_TRY(claim(mini ? m_miniOwned : m_owned, s, "a stream sector"));
            // Within the mini stream's stated size, as the reader sees it, not
            // just within its chain: a stream past it could not be read back.
            if (mini && static_cast<std::uint64_t>(c->empty() ? 0 : *std::max_element(c->begin(), c->end()) + 1) *
                                kMiniSectorSize >
                            std::min<std::uint64_t>(static_cast<std::uint64_t>(m_miniChain.size()) * m_ss, m_miniSize))
                return bad("a small stream lies outside the mini stream");
            m_chains[k] = std::move(*c);
        }
    }
    return {};
}

std::string& Builder::edit(std::uint32_t sector) {
    auto it = m_dirty.find(sector);
    if (it != m_dirty.end())
        return it->second;
    std::string bytes(m_ss, '\0');
    if (sector < m_cf.fileSectorCount()) {
        // The last sector of a file may be cut short: the rest reads as zeros.
        (void)m_cf.source().readAt(m_cf.sectorOffset(sector), bytes.data(), m_ss);
    }
    return m_dirty.emplace(sector, std::move(bytes)).first->second;
}

Status Builder::growFat() {
    std::uint32_t loc = static_cast<std::uint32_t>(m_fat.size());
    if (static_cast<std::uint64_t>(loc) + m_perSector >= kMaxRegularSector)
        return Error(ErrorCode::TooLarge, "the compound file would grow past its largest sector number");
    m_fat.resize(m_fat.size() + m_perSector, kFreeSector);
    m_owned.resize(m_fat.size(), false);
    m_fat[loc] = kFatSector;
    m_owned[loc] = true;
    m_dirty[loc] = std::string(m_ss, '\0');
    m_fatLocs.push_back(loc);
    if (m_fatLocs.size() > kHeaderDifatCount) {
        std::size_t needed = m_fatLocs.size() - kHeaderDifatCount;
        if (needed > m_difatLocs.size() * (m_perSector - 1)) {
            auto d = allocRegular();
            if (!d)
                return d.error();
            m_fat[*d] = kDifatSector;
            m_difatLocs.push_back(*d);
        }
    }
    return {};
}

Result<std::uint32_t> Builder::allocRegular() {
    while (true) {
        for (std::uint32_t i = m_hint; i < m_fat.size(); ++i) {
            if (m_fat[i] == kFreeSector && !m_owned[i]) {
                m_owned[i] = true;
                m_fat[i] = kEndOfChain;
                m_dirty[i] = std::string(m_ss, '\0');
                m_hint = i + 1;
                return i;
            }
        }
        m_hint = static_cast<std::uint32_t>(m_fat.size());
        QV_TRY(growFat());
    }
}

void Builder::freeRegular(std::uint32_t s) {
    m_fat[s] = kFreeSector;
    m_owned[s] = false;
    // Old property values don't linger in the freed space.
    m_dirty[s] = std::string(m_ss, '\0');
    m_hint = std::min(m_hint, s);
}

Result<std::uint32_t> Builder::allocMini() {
    std::uint32_t found = kFreeSector;
    while (found == kFreeSector) {
        for (std::uint32_t i = m_miniHint; i < m_miniFat.size(); ++i) {
            if (m_miniFat[i] == kFreeSector && !m_miniOwned[i]) {
                found = i;
                break;
            }
        }
        if (found != kFreeSector)
            break;
        m_miniHint = static_cast<std::uint32_t>(m_miniFat.size());
        auto s = allocRegular();
        if (!s)
            return s.error();
        if (m_miniFatChain.empty())
            m_header.firstMiniFatSector = *s;
        else
            m_fat[m_miniFatChain.back()] = *s;
        m_miniFatChain.push_back(*s);
        m_miniFat.resize(m_miniFat.size() + m_perSector, kFreeSector);
        m_miniOwned.resize(m_miniFat.size(), false);
    }
    m_miniOwned[found] = true;
    m_miniFat[found] = kEndOfChain;
    m_miniHint = found + 1;
    std::uint64_t end = (static_cast<std::uint64_t>(found) + 1) * kMiniSectorSize;
    while (static_cast<std::uint64_t>(m_miniChain.size()) * m_ss < end) {
        auto s = allocRegular();
        if (!s)
            return s.error();
        if (m_miniChain.empty()) {
            m_entries[0].startSector = *s;
            m_entryChanged[0] = true;
        } else {
            m_fat[m_miniChain.back()] = *s;
        }
        m_miniChain.push_back(*s);
    }
    m_miniSize = std::max(m_miniSize, end);
    writeMini(found, {});
    return found;
}

void Builder::freeMini(std::uint32_t m) {
    m_miniFat[m] = kFreeSector;
    m_miniOwned[m] = false;
    writeMini(m, {});
    m_miniHint = std::min(m_miniHint, m);
}

void Builder::writeMini(std::uint32_t m, std::string_view bytes) {
    std::uint64_t pos = static_cast<std::uint64_t>(m) * kMiniSectorSize;
    std::string& sector = edit(m_miniChain[static_cast<std::size_t>(pos / m_ss)]);
    char* p = sector.data() + pos % m_ss;
    std::memset(p, 0, kMiniSectorSize);
    if (!bytes.empty())
        std::memcpy(p, bytes.data(), std::min<std::size_t>(bytes.size(), kMiniSectorSize));
}

// Shortens or lengthens a chain to count sectors, keeping its first ones.
Status Builder::resizeRegular(std::vector<std::uint32_t>& chain, std::size_t count, std::uint32_t& start) {
    while (chain.size() > count) {
        freeRegular(chain.back());
        chain.pop_back();
    }
    while (chain.size() < count) {
        auto s = allocRegular();
        if (!s)
            return s.error();
        if (!chain.empty())
            m_fat[chain.back()] = *s;
        chain.push_back(*s);
    }
    if (!chain.empty())
        m_fat[chain.back()] = kEndOfChain;
    start = chain.empty() ? kEndOfChain : chain.front();
    return {};
}

Status Builder::resizeMini(std::vector<std::uint32_t>& chain, std::size_t count, std::uint32_t& start) {
    while (chain.size() > count) {
        freeMini(chain.back());
        chain.pop_back();
    }
    while (chain.size() < count) {
        auto m = allocMini();
        if (!m)
            return m.error();
        if (!chain.empty())
            m_miniFat[chain.back()] = *m;
        chain.push_back(*m);
    }
    if (!chain.empty())
        m_miniFat[chain.back()] = kEndOfChain;
    start = chain.empty() ? kEndOfChain : chain.front();
    return {};
}

Result<std::uint32_t> Builder::newEntrySlot() {
    for (std::uint32_t i = 1; i < m_entries.size(); ++i)
        if (m_entries[i].type == EntryType::Unused)
            return i;
    // A new directory sector at the end of the directory chain.
    auto s = allocRegular();
    if (!s)
        return s.error();
    m_fat[m_dirChain.back()] = *s;
    m_dirChain.push_back(*s);
    std::uint32_t first = static_cast<std::uint32_t>(m_entries.size());
    for (std::uint32_t i = 0; i < m_ss / kDirectoryEntrySize; ++i) {
        DirectoryEntry free;
        free.raw.fill(0);
        free.color = 0;
        free.startSector = 0;
        m_entries.push_back(free);
        m_entryChanged.push_back(true);
    }
    return first;
}

// Lays the root's children out as a balanced search tree in name order,
// coloured as a valid red-black tree: the nodes of an incomplete last level
// are red, all others black.
void Builder::rebuildRootTree(std::vector<std::uint32_t> children) {
    std::sort(children.begin(), children.end(), [&](std::uint32_t a, std::uint32_t b) {
        return compareNames(m_entries[a].name, m_entries[b].name) < 0;
    });
    std::size_t n = children.size();
    int deepest = 0;
    while ((std::size_t{2} << deepest) - 1 < n)
        ++deepest;
    bool lastLevelFull = n == (std::size_t{2} << deepest) - 1;
    auto build = [&](auto& self, std::size_t lo, std::size_t hi, int depth) -> std::uint32_t {
        if (lo >= hi)
            return kNoStream;
        std::size_t mid = lo + (hi - lo) / 2;
        std::uint32_t node = children[mid];
        DirectoryEntry& e = m_entries[node];
        e.left = self(self, lo, mid, depth + 1);
        e.right = self(self, mid + 1, hi, depth + 1);
        e.color = (depth == deepest && !lastLevelFull) ? kRed : kBlack;
        m_entryChanged[node] = true;
        return node;
    };
    m_entries[0].child = build(build, 0, n, 0);
    m_entryChanged[0] = true;
}

Status Builder::setStream(std::u16string_view name, const std::string& bytes) {
    if (name.empty() || name.size() > kMaxNameLength)
        return Error(ErrorCode::InvalidArgument, "a stream name must have 1 to 31 characters");
    std::uint32_t index = kNoStream;
    for (std::uint32_t k : m_rootChildren)
        if (namesEqual(m_entries[k].name, name))
            index = k;
    if (index != kNoStream && !m_entries[index].isStream())
        return bad("a storage has the stream's name");
    if (index == kNoStream) {
        auto slot = newEntrySlot();
        if (!slot)
            return slot.error();
        index = *slot;
        m_entries[index] = DirectoryEntry::newStream(name);
        m_entries[index].color = kBlack;
        m_entries[index].size = 0;
        m_entryChanged[index] = true;
        m_rootChildren.push_back(index);
        rebuildRootTree(m_rootChildren);
    }
    DirectoryEntry& e = m_entries[index];
    std::vector<std::uint32_t> chain;
    auto known = m_chains.find(index);
    if (known != m_chains.end())
        chain = known->second;
    bool wasMini = e.size > 0 && m_cf.inMiniStream(e);
    bool wasRegular = e.size > 0 && !wasMini;
    bool toMini = bytes.size() < kMiniStreamCutoff;
    std::uint32_t start = kEndOfChain;
    if (toMini) {
        std::vector<std::uint32_t> old = wasMini ? chain : std::vector<std::uint32_t>{};
        if (wasRegular)
            QV_TRY(resizeRegular(chain, 0, start));
        std::size_t count = (bytes.size() + kMiniSectorSize - 1) / kMiniSectorSize;
        QV_TRY(resizeMini(old, count, start));
        for (std::size_t i = 0; i < old.size(); ++i)
            writeMini(old[i], std::string_view(bytes).substr(i * kMiniSectorSize));
        m_chains[index] = old;
    } else {
        std::vector<std::uint32_t> old = wasRegular ? chain : std::vector<std::uint32_t>{};
        if (wasMini)
            QV_TRY(resizeMini(chain, 0, start));
        std::size_t count = (bytes.size() + m_ss - 1) / m_ss;
        QV_TRY(resizeRegular(old, count, start));
        for (std::size_t i = 0; i < old.size(); ++i) {
            std::string& sector = m_dirty[old[i]];
            sector.assign(m_ss, '\0');
            std::size_t n = std::min<std::size_t>(m_ss, bytes.size() - i * m_ss);
            std::memcpy(sector.data(), bytes.data() + i * m_ss, n);
        }
        m_chains[index] = old;
    }
    // Each stream's entry is looked up again: growing the directory may
    // have moved the vector.
    DirectoryEntry& entry = m_entries[index];
    (void)e;
    entry.startSector = bytes.empty() ? kEndOfChain : start;
    entry.size = bytes.size();
    m_entryChanged[index] = true;
    return {};
}

Status Builder::finish() {
    // The root: where the mini stream starts and how long it is.
    DirectoryEntry& root = m_entries[0];
    std::uint64_t oldMini = m_cf.header().majorVersion >= 4 ? m_cf.root().size : (m_cf.root().size & 0xFFFFFFFFu);
    if (m_miniSize != oldMini || root.startSector != m_cf.root().startSector) {
        root.size = m_miniSize;
        if (m_miniChain.empty())
            root.startSector = kEndOfChain;
        m_entryChanged[0] = true;
    }

    // Directory sectors with a changed entry.
    const std::uint32_t perDir = m_ss / kDirectoryEntrySize;
    for (std::size_t d = 0; d < m_dirChain.size(); ++d) {
        bool changed = false;
        for (std::uint32_t i = 0; i < perDir; ++i)
            changed = changed || m_entryChanged[d * perDir + i];
        if (!changed)
            continue;
        std::string& sector = edit(m_dirChain[d]);
        for (std::uint32_t i = 0; i < perDir; ++i) {
            const DirectoryEntry& e = m_entries[d * perDir + i];
            auto bytes = m_entryChanged[d * perDir + i] ? e.serialize() : e.raw;
            std::memcpy(sector.data() + i * kDirectoryEntrySize, bytes.data(), kDirectoryEntrySize);
        }
    }

    // Tables: a sector is written when any of its numbers changed.
    auto writeTable = [&](const std::vector<std::uint32_t>& locs, const std::vector<std::uint32_t>& table,
                          const std::vector<std::uint32_t>& original) {
        for (std::size_t k = 0; k < locs.size(); ++k) {
            std::size_t base = k * m_perSector;
            bool changed = base + m_perSector > original.size() ||
                           !std::equal(table.begin() + static_cast<std::ptrdiff_t>(base),
                                       table.begin() + static_cast<std::ptrdiff_t>(base + m_perSector),
                                       original.begin() + static_cast<std::ptrdiff_t>(base)) ||
                           m_dirty.count(locs[k]) != 0;
            if (!changed)
                continue;
            std::string& sector = edit(locs[k]);
            for (std::uint32_t i = 0; i < m_perSector; ++i)
                storeU32(sector.data() + 4 * i, table[base + i]);
        }
    };
    // The mini FAT sectors were taken from the FAT first, so both tables are final now.
    writeTable(m_miniFatChain, m_miniFat, m_cf.miniFat());
    writeTable(m_fatLocs, m_fat, m_cf.fat());

    // DIFAT: 109 places in the header, the rest in DIFAT sectors.
    for (std::size_t i = 0; i < kHeaderDifatCount && i < m_fatLocs.size(); ++i)
        m_header.difat[i] = m_fatLocs[i];
    const std::size_t originalDifat = m_cf.difatSectors().size();
    for (std::size_t d = 0; d < m_difatLocs.size(); ++d) {
        std::string& sector = edit(m_difatLocs[d]);
        for (std::uint32_t i = 0; i + 1 < m_perSector; ++i) {
            std::size_t k = kHeaderDifatCount + d * (m_perSector - 1) + i;
            if (k < m_fatLocs.size())
                storeU32(sector.data() + 4 * i, m_fatLocs[k]);
            else if (d >= originalDifat)
                storeU32(sector.data() + 4 * i, kFreeSector);
        }
        // The last sector's link keeps whatever end marker its writer chose.
        if (d + 1 < m_difatLocs.size())
            storeU32(sector.data() + 4 * (m_perSector - 1), m_difatLocs[d + 1]);
        else if (d >= originalDifat)
            storeU32(sector.data() + 4 * (m_perSector - 1), kEndOfChain);
    }

    m_header.fatSectorCount = static_cast<std::uint32_t>(m_fatLocs.size());
    m_header.difatSectorCount = static_cast<std::uint32_t>(m_difatLocs.size());
    if (!m_difatLocs.empty())
        m_header.firstDifatSector = m_difatLocs.front();
    m_header.miniFatSectorCount = static_cast<std::uint32_t>(m_miniFatChain.size());
    m_header.firstMiniFatSector = m_miniFatChain.empty() ? kEndOfChain : m_miniFatChain.front();
    if (m_header.majorVersion >= 4)
        m_header.directorySectorCount = static_cast<std::uint32_t>(m_dirChain.size());
    return {};
}

Status Builder::output(ByteSink& sink) {
    const std::uint64_t origLen = m_cf.source().size();
    std::uint64_t outLen = origLen;
    if (!m_dirty.empty())
        outLen = std::max<std::uint64_t>(outLen, m_cf.sectorOffset(m_dirty.rbegin()->first) + m_ss);
    const auto header = m_header.serialize();

    // No larger than the file: a small workbook needs no megabyte block.
    std::string buf(static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, outLen)), '\0');
    auto overlay = [&](std::uint64_t start, std::size_t n) {
        std::uint64_t end = start + n;
        if (start < kHeaderSize)
            std::memcpy(buf.data(), header.data() + start, static_cast<std::size_t>(std::min<std::uint64_t>(kHeaderSize, end) - start));
        std::uint32_t first = start < m_ss ? 0 : static_cast<std::uint32_t>(start / m_ss - 1);
        for (auto it = m_dirty.lower_bound(first); it != m_dirty.end(); ++it) {
            std::uint64_t s0 = m_cf.sectorOffset(it->first);
            if (s0 >= end)
                break;
            std::uint64_t from = std::max(s0, start), to = std::min(s0 + m_ss, end);
            if (from < to)
                std::memcpy(buf.data() + (from - start), it->second.data() + (from - s0), static_cast<std::size_t>(to - from));
        }
    };
    // Whether a block of the original is all unchanged: then it is copied as
    // it is, by the system where it can, and not through this process.
    auto unchanged = [&](std::uint64_t start, std::size_t n) {
        if (start < kHeaderSize || start + n > origLen)
            return false;
        auto it = m_dirty.lower_bound(static_cast<std::uint32_t>(start / m_ss - 1));
        return it == m_dirty.end() || m_cf.sectorOffset(it->first) >= start + n;
    };
    for (std::uint64_t off = 0; off < outLen; off += kCopyBlock) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, outLen - off));
        if (unchanged(off, n)) {
            QV_TRY(sink.copyFrom(m_cf.source(), off, n));
            continue;
        }
        std::size_t fromSource = off < origLen ? static_cast<std::size_t>(std::min<std::uint64_t>(n, origLen - off)) : 0;
        if (fromSource > 0)
            QV_TRY(m_cf.source().readExactAt(off, buf.data(), fromSource));
        std::memset(buf.data() + fromSource, 0, n - fromSource);
        overlay(off, n);
        QV_TRY(sink.write(buf.data(), n));
    }
    return {};
}

}  // namespace

void Transaction::setStream(std::u16string_view name, std::string bytes) {
    for (Change& c : m_changes) {
        if (namesEqual(c.name, name)) {
            c.bytes = std::move(bytes);
            return;
        }
    }
    m_changes.push_back(Change{std::u16string(name), std::move(bytes)});
}

Status Transaction::writeTo(ByteSink& sink) const {
    Builder b(*m_file);
    QV_TRY(b.markOwnership());
    for (const Change& c : m_changes)
        QV_TRY(b.setStream(c.name, c.bytes));
    QV_TRY(b.finish());
    return b.output(sink);
}

}  // namespace qv::cfb
