#include "cfb_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "props/compound/propset/typed_value.h"

namespace qv::test {

namespace {

constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFat = 0xFFFFFFFD, kDif = 0xFFFFFFFC;
constexpr std::uint32_t kNone = 0xFFFFFFFF;

void put16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Entry {
    std::u16string name;
    int type;
    std::uint32_t left = kNone, right = kNone, child = kNone, start = kEnd;
    std::uint64_t size = 0;
};

int cmpNames(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'a' && a[i] <= u'z' ? a[i] - 32 : a[i];
        char16_t y = b[i] >= u'a' && b[i] <= u'z' ? b[i] - 32 : b[i];
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

// An all-black balanced search tree over entries [ids]; returns its root.
std::uint32_t makeTree(std::vector<Entry>& entries, std::vector<std::uint32_t> ids) {
    std::sort(ids.begin(), ids.end(),
              [&](std::uint32_t a, std::uint32_t b) { return cmpNames(entries[a].name, entries[b].name) < 0; });
    auto build = [&](auto& self, std::size_t lo, std::size_t hi) -> std::uint32_t {
        if (lo >= hi)
            return kNone;
        std::size_t mid = lo + (hi - lo) / 2;
        entries[ids[mid]].left = self(self, lo, mid);
        entries[ids[mid]].right = self(self, mid + 1, hi);
        return ids[mid];
    };
    return build(build, 0, ids.size());
}

}  // namespace

std::string buildCfb(const CfbLayout& layout) {
    const std::uint32_t ss = layout.version == 4 ? 4096 : 512;
    const std::uint32_t per = ss / 4;
    std::vector<Entry> entries;
    entries.push_back(Entry{u"Root Entry", 5});
    std::vector<const BuildStream*> streamOf(1, nullptr);
    std::vector<std::uint32_t> rootKids, subKids;
    for (const BuildStream& s : layout.streams) {
        rootKids.push_back(static_cast<std::uint32_t>(entries.size()));
        entries.push_back(Entry{s.name, 2});
        streamOf.push_back(&s);
    }
    if (!layout.storageStreams.empty()) {
        rootKids.push_back(static_cast<std::uint32_t>(entries.size()));
        entries.push_back(Entry{u"Sub", 1});
        streamOf.push_back(nullptr);
        std::uint32_t storage = rootKids.back();
        for (const BuildStream& s : layout.storageStreams) {
            subKids.push_back(static_cast<std::uint32_t>(entries.size()));
            entries.push_back(Entry{s.name, 2});
            streamOf.push_back(&s);
        }
        entries[storage].child = makeTree(entries, subKids);
    }
    entries[0].child = makeTree(entries, rootKids);

    // Mini stream and regular stream sizes.
    std::string mini;
    std::vector<std::uint32_t> miniFat;
    std::uint32_t regularSectors = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const BuildStream* s = streamOf[i];
        if (!s)
            continue;
        entries[i].size = s->bytes.size();
        if (s->bytes.empty())
            continue;
        if (s->bytes.size() < 4096) {
            std::uint32_t first = static_cast<std::uint32_t>(mini.size() / 64);
            std::uint32_t n = static_cast<std::uint32_t>((s->bytes.size() + 63) / 64);
            for (std::uint32_t k = 0; k < n; ++k)
                miniFat.push_back(k + 1 < n ? first + k + 1 : kEnd);
            entries[i].start = first;
            mini += s->bytes;
            mini.append((64 - mini.size() % 64) % 64, '\0');
        } else {
            regularSectors += static_cast<std::uint32_t>((s->bytes.size() + ss - 1) / ss);
        }
    }
    std::uint32_t perDir = ss / 128;
    std::uint32_t dirSectors = static_cast<std::uint32_t>((entries.size() + layout.spareDirectoryEntries + perDir - 1) / perDir);
    std::uint32_t miniFatSectors = static_cast<std::uint32_t>((miniFat.size() + per - 1) / per);
    std::uint32_t miniSectors = static_cast<std::uint32_t>((mini.size() + ss - 1) / ss);
    std::uint32_t data = dirSectors + miniFatSectors + miniSectors + regularSectors;
    std::uint32_t fatSectors = std::max<std::uint32_t>(1, layout.minFatSectors), difatSectors = 0;
    while (true) {
        difatSectors = fatSectors > 109 ? (fatSectors - 109 + per - 2) / (per - 1) : 0;
        if (static_cast<std::uint64_t>(fatSectors) * per >= data + fatSectors + difatSectors)
            break;
        ++fatSectors;
    }
    std::uint32_t total = fatSectors + difatSectors + data;
    std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatSectors) * per, kFree);
    std::string file(static_cast<std::size_t>(total + 1) * ss, '\0');
    auto sectorAt = [&](std::uint32_t s) { return static_cast<std::size_t>(s + 1) * ss; };
    std::uint32_t next = 0;
    auto chainOf = [&](std::uint32_t count) {
        std::uint32_t first = next;
        for (std::uint32_t k = 0; k < count; ++k)
            fat[next + k] = k + 1 < count ? next + k + 1 : kEnd;
        next += count;
        return count ? first : kEnd;
    };
    for (std::uint32_t k = 0; k < fatSectors; ++k)
        fat[next++] = kFat;
    std::uint32_t firstDifat = next;
    for (std::uint32_t k = 0; k < difatSectors; ++k)
        fat[next++] = kDif;
    std::uint32_t dirStart = chainOf(dirSectors);
    std::uint32_t miniFatStart = chainOf(miniFatSectors);
    std::uint32_t miniStart = chainOf(miniSectors);
    entries[0].start = miniStart;
    entries[0].size = mini.size();
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const BuildStream* s = streamOf[i];
        if (!s || s->bytes.size() < 4096)
            continue;
        std::uint32_t n = static_cast<std::uint32_t>((s->bytes.size() + ss - 1) / ss);
        entries[i].start = chainOf(n);
        std::memcpy(file.data() + sectorAt(entries[i].start), s->bytes.data(), s->bytes.size());
    }
    // Directory.
    for (std::uint32_t i = 0; i < dirSectors * perDir; ++i) {
        std::size_t at = sectorAt(dirStart + i / perDir) + (i % perDir) * 128;
        if (i >= entries.size()) {
            put32(file, at + 68, kNone);
            put32(file, at + 72, kNone);
            put32(file, at + 76, kNone);
            continue;
        }
        const Entry& e = entries[i];
        for (std::size_t c = 0; c < e.name.size(); ++c)
            put16(file, at + 2 * c, e.name[c]);
        put16(file, at + 64, static_cast<std::uint16_t>((e.name.size() + 1) * 2));
        file[at + 66] = static_cast<char>(e.type);
        file[at + 67] = 1;
        put32(file, at + 68, e.left);
        put32(file, at + 72, e.right);
        put32(file, at + 76, e.child);
        put32(file, at + 116, e.type == 1 ? 0 : e.start);
        put32(file, at + 120, static_cast<std::uint32_t>(e.size));
    }
    for (std::size_t k = 0; k < miniFatSectors * per; ++k)
        put32(file, sectorAt(miniFatStart) + 4 * k, k < miniFat.size() ? miniFat[k] : kFree);
    if (!mini.empty())
        std::memcpy(file.data() + sectorAt(miniStart), mini.data(), mini.size());
    for (std::uint32_t k = 0; k < fatSectors; ++k)
        for (std::uint32_t j = 0; j < per; ++j)
            put32(file, sectorAt(k) + 4 * j, fat[k * per + j]);
    for (std::uint32_t d = 0; d < difatSectors; ++d) {
        for (std::uint32_t j = 0; j + 1 < per; ++j) {
            std::uint32_t k = 109 + d * (per - 1) + j;
            put32(file, sectorAt(firstDifat + d) + 4 * j, k < fatSectors ? k : kFree);
        }
        put32(file, sectorAt(firstDifat + d) + 4 * (per - 1), d + 1 < difatSectors ? firstDifat + d + 1 : kEnd);
    }
    // Header.
    const unsigned char sig[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(file.data(), sig, 8);
    put16(file, 24, 0x3E);
    put16(file, 26, static_cast<std::uint16_t>(layout.version));
    put16(file, 28, 0xFFFE);
    put16(file, 30, layout.version == 4 ? 12 : 9);
    put16(file, 32, 6);
    put32(file, 40, layout.version == 4 ? dirSectors : 0);
    put32(file, 44, fatSectors);
    put32(file, 48, dirStart);
    put32(file, 56, 4096);
    put32(file, 60, miniFatStart);
    put32(file, 64, miniFatSectors);
    put32(file, 68, difatSectors ? firstDifat : kEnd);
    put32(file, 72, difatSectors);
    for (std::uint32_t k = 0; k < 109; ++k)
        put32(file, 76 + 4 * k, k < fatSectors ? k : kFree);
    return file;
}

std::string le16(std::uint16_t v) {
    std::string s(2, '\0');
    put16(s, 0, v);
    return s;
}
std::string le32(std::uint32_t v) {
    std::string s(4, '\0');
    put32(s, 0, v);
    return s;
}
std::string le64(std::uint64_t v) { return le32(static_cast<std::uint32_t>(v)) + le32(static_cast<std::uint32_t>(v >> 32)); }
std::string padded4(std::string s) {
    s.append((4 - s.size() % 4) % 4, '\0');
    return s;
}

std::string utf16le(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += le16(c);
    return out;
}

std::string vtLpstr(const std::string& encoded, bool wide) {
    std::string chars = encoded + (wide ? std::string(2, '\0') : std::string(1, '\0'));
    return padded4(le16(30) + le16(0) + le32(static_cast<std::uint32_t>(chars.size())) + chars);
}
std::string vtLpwstr(const std::u16string& text) {
    return padded4(le16(31) + le16(0) + le32(static_cast<std::uint32_t>(text.size() + 1)) + utf16le(text) + le16(0));
}
std::string vtI2(std::int16_t v) { return le16(2) + le16(0) + le16(static_cast<std::uint16_t>(v)) + le16(0); }
std::string vtI4(std::int32_t v) { return le16(3) + le16(0) + le32(static_cast<std::uint32_t>(v)); }
std::string vtBool(bool v) { return le16(11) + le16(0) + le16(v ? 0xFFFF : 0) + le16(0); }
std::string vtError(std::uint32_t v) { return le16(10) + le16(0) + le32(v); }
std::string vtFiletime(std::uint64_t v) { return le16(64) + le16(0) + le64(v); }

std::string buildSection(const std::vector<std::pair<std::uint32_t, std::string>>& properties) {
    std::string head = le32(static_cast<std::uint32_t>(properties.size()));
    std::string body;
    std::size_t offset = 8 + 8 * properties.size();
    for (const auto& [id, bytes] : properties) {
        head += le32(id) + le32(static_cast<std::uint32_t>(offset + body.size()));
        body += padded4(bytes);
    }
    std::string section = head + body;
    return le32(static_cast<std::uint32_t>(section.size() + 4)) + section;
}

std::string buildPropertySet(const std::vector<std::pair<std::string, std::string>>& sections, const std::string& clsid) {
    auto guid = [](const std::string& text) {
        auto id = propset::parseGuid(text);
        if (!id)
            throw std::invalid_argument("bad guid " + text);
        return std::string(reinterpret_cast<const char*>(id->data()), 16);
    };
    std::string out = le16(0xFFFE) + le16(0) + le32(0x00020006) + guid(clsid) +
                      le32(static_cast<std::uint32_t>(sections.size()));
    std::size_t offset = 28 + 20 * sections.size();
    std::string body;
    for (const auto& [fmtid, bytes] : sections) {
        out += guid(fmtid) + le32(static_cast<std::uint32_t>(offset + body.size()));
        body += padded4(bytes);
    }
    return out + body;
}

}  // namespace qv::test
