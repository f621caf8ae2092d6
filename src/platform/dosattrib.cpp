#include "platform/dosattrib.h"

#include <cstdio>

#include "base/bytes.h"

namespace qv::platform::dosattrib {

namespace {
constexpr std::uint32_t kValidAttrib = 0x01;
constexpr std::uint32_t kValidCreateTime = 0x10;

std::optional<std::uint32_t> parseHex(std::string_view s) {
    if (s.size() < 3 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
        return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 2; i < s.size(); ++i) {
        char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * 16 + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

}  // namespace

namespace {

// Where the union's arm starts, for the two layouts in use: NDR's own
// alignment (version, level and arm each 4-byte aligned after the text) and
// the packed form some servers write (a 16-bit version, then a 32-bit level).
struct Layout {
    std::size_t versionAt, armAt;
    bool wideLevel;
};

std::optional<Layout> findLayout(std::string_view blob, std::size_t textEnd) {
    auto u16at = [&](std::size_t p) { return p + 2 <= blob.size() ? loadU16(blob.data() + p) : 0xFFFF; };
    std::size_t v = (textEnd + 1) & ~std::size_t{1};
    std::size_t level = (v + 2 + 3) & ~std::size_t{3};
    std::size_t arm = (level + 2 + 3) & ~std::size_t{3};
    std::uint16_t version = static_cast<std::uint16_t>(u16at(v));
    if (version >= 1 && version <= 5 && u16at(level) == version && arm <= blob.size())
        return Layout{v, arm, false};
    if (version >= 1 && version <= 5 && v + 6 <= blob.size() && loadU32(blob.data() + v + 2) == version)
        return Layout{v, v + 6, true};
    return std::nullopt;
}

}  // namespace

std::optional<Info> decode(std::string_view blob) {
    Info info;
    info.raw = std::string(blob);
    std::size_t nul = blob.find('\0');
    std::string_view hex = blob.substr(0, nul == std::string_view::npos ? blob.size() : nul);
    auto hexValue = parseHex(hex);
    bool haveAttrib = false;
    if (hexValue) {
        info.attributes = *hexValue;
        haveAttrib = true;
    }
    std::optional<Layout> layout;
    if (nul != std::string_view::npos)
        layout = findLayout(blob, nul + 1);
    if (layout) {
        ByteReader r(blob.data() + layout->armAt, blob.size() - layout->armAt);
        std::uint16_t version = loadU16(blob.data() + layout->versionAt);
        std::uint32_t flags = 0, attrib = 0;
        std::uint64_t create = 0;
        bool haveCreate = false;
        switch (version) {
        case 1:  // attrib, ea_size, size, alloc_size, create_time, change_time
            attrib = r.u32();
            r.skip(4 + 8 + 8);
            create = r.u64();
            flags = kValidAttrib | kValidCreateTime;
            haveCreate = true;
            break;
        case 2:  // flags, attrib, ea_size, size, alloc_size, create_time, ...
            r.skip(4);
            attrib = r.u32();
            r.skip(4 + 8 + 8);
            create = r.u64();
            flags = kValidAttrib | kValidCreateTime;
            haveCreate = true;
            break;
        case 3:  // valid_flags, attrib, ea_size, size, alloc_size, create_time, change_time
            flags = r.u32();
            attrib = r.u32();
            r.skip(4 + 8 + 8);
            create = r.u64();
            haveCreate = (flags & kValidCreateTime) != 0;
            break;
        case 4:  // valid_flags, attrib, itime, create_time
            flags = r.u32();
            attrib = r.u32();
            r.skip(8);
            create = r.u64();
            haveCreate = (flags & kValidCreateTime) != 0;
            break;
        default:  // 5: valid_flags, attrib, create_time
            flags = r.u32();
            attrib = r.u32();
            create = r.u64();
            haveCreate = (flags & kValidCreateTime) != 0;
            break;
        }
        if (r.ok()) {
            info.version = version;
            if (flags & kValidAttrib) {
                info.attributes = attrib;
                haveAttrib = true;
            }
            if (haveCreate)
                info.creation = create;
        }
    }
    if (!haveAttrib && !info.creation)
        return std::nullopt;
    return info;
}

std::string encode(const Info& info) {
    // The hex text is zero-padded to a length at which the NDR-aligned and
    // the packed layout put every field at the same offset, so that every
    // reader takes the record.
    char hex[24];
    int width = info.attributes < 0x100 ? 2 : info.attributes < 0x1000 ? 3 : info.attributes < 0x1000000 ? 6 : 7;
    std::snprintf(hex, sizeof hex, "0x%0*x", width, info.attributes);
    ByteWriter w;
    w.bytes(hex);
    w.u8(0);
    while (w.size() % 4 != 2)
        w.u8(0);
    std::uint16_t version = info.version >= 3 && info.version <= 5 ? info.version : 4;
    std::uint32_t flags = kValidAttrib | (info.creation ? kValidCreateTime : 0);
    // Keep the fields of an existing record that we don't set.
    std::string_view old;
    if (info.version == version) {
        std::size_t nul = info.raw.find('\0');
        auto layout = nul == std::string::npos ? std::nullopt : findLayout(info.raw, nul + 1);
        if (layout)
            old = std::string_view(info.raw).substr(layout->armAt);
    }
    ByteReader prev(old);
    std::uint32_t oldFlags = prev.u32();
    if (prev.ok())
        flags |= oldFlags & ~(kValidAttrib | kValidCreateTime);
    w.u16(version);
    w.u32(version);
    w.u32(flags);
    w.u32(info.attributes);
    auto keep = [&](std::size_t offsetInArm, std::size_t n) {
        if (offsetInArm + n <= old.size())
            w.bytes(old.substr(offsetInArm, n));
        else
            w.zeros(n);
    };
    switch (version) {
    case 3:
        keep(8, 4 + 8 + 8);  // ea_size, size, alloc_size
        w.u64(info.creation.value_or(0));
        keep(8 + 20 + 8, 8);  // change_time
        break;
    case 4:
        keep(8, 8);  // itime
        w.u64(info.creation.value_or(0));
        break;
    default:
        w.u64(info.creation.value_or(0));
        break;
    }
    return w.buffer();
}

}  // namespace qv::platform::dosattrib
