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

// Offset of the NDR record: after the NUL-terminated text, padded to even.
std::size_t recordOffset(std::string_view blob) {
    std::size_t nul = blob.find('\0');
    if (nul == std::string_view::npos)
        return blob.size();
    std::size_t off = nul + 1;
    return (off + 1) & ~static_cast<std::size_t>(1);
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
    std::size_t off = recordOffset(blob);
    if (off + 6 <= blob.size()) {
        ByteReader r(blob.data() + off, blob.size() - off);
        std::uint16_t version = r.u16();
        std::uint32_t level = r.u32();
        if (r.ok() && version == level && version >= 1 && version <= 5) {
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
            case 5:  // valid_flags, attrib, create_time
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
    }
    if (!haveAttrib && !info.creation)
        return std::nullopt;
    return info;
}

std::string encode(const Info& info) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", info.attributes);
    ByteWriter w;
    w.bytes(hex);
    w.u8(0);
    if (w.size() % 2)
        w.u8(0);
    std::uint16_t version = info.version >= 3 && info.version <= 5 ? info.version : 4;
    std::uint32_t flags = kValidAttrib | (info.creation ? kValidCreateTime : 0);
    // Keep the fields of an existing record that we don't set.
    std::string_view old;
    if (info.version == version) {
        std::size_t off = recordOffset(info.raw);
        if (off < info.raw.size())
            old = std::string_view(info.raw).substr(off);
    }
    ByteReader prev(old);
    prev.skip(6);
    std::uint32_t oldFlags = prev.u32();
    if (prev.ok())
        flags |= oldFlags & ~(kValidAttrib | kValidCreateTime);
    w.u16(version);
    w.u32(version);
    w.u32(flags);
    w.u32(info.attributes);
    auto keep = [&](std::size_t offsetInRecord, std::size_t n) {
        if (offsetInRecord + n <= old.size())
            w.bytes(old.substr(offsetInRecord, n));
        else
            w.zeros(n);
    };
    switch (version) {
    case 3:
        keep(14, 4 + 8 + 8);  // ea_size, size, alloc_size
        w.u64(info.creation.value_or(0));
        keep(14 + 20 + 8, 8);  // change_time
        break;
    case 4:
        keep(14, 8);  // itime
        w.u64(info.creation.value_or(0));
        break;
    default:
        w.u64(info.creation.value_or(0));
        break;
    }
    return w.buffer();
}

}  // namespace qv::platform::dosattrib
