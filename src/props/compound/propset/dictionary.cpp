#include "props/compound/propset/dictionary.h"

#include "base/bytes.h"
#include "platform/platform.h"
#include "props/compound/propset/typed_value.h"

namespace qv::propset {

namespace {

Error bad(const std::string& what) { return Error(ErrorCode::BadPropertySet, "damaged property set: " + what); }

std::size_t pad4(std::size_t n) { return (4 - n % 4) % 4; }

std::string_view withoutTerminator(std::string_view chars, bool wide) {
    std::size_t unit = wide ? 2 : 1;
    while (chars.size() >= unit && chars.substr(chars.size() - unit).find_first_not_of('\0') == std::string_view::npos)
        chars.remove_suffix(unit);
    return chars;
}

}  // namespace

Result<std::vector<DictionaryEntry>> parseDictionary(std::string_view bytes, int codePage) {
    const bool wide = codePage == kCodePageUnicode;
    ByteReader r(bytes);
    std::uint32_t count = r.u32();
    if (!r.ok() || count > r.remaining() / 8)
        return bad("impossible dictionary size");
    std::vector<DictionaryEntry> entries;
    entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        DictionaryEntry e;
        e.id = r.u32();
        std::uint32_t length = r.u32();
        std::size_t n = wide ? std::size_t{length} * 2 : length;
        if (!r.ok() || n > r.remaining())
            return bad("a dictionary name runs past its property");
        std::string_view chars = r.bytes(n);
        // The padding is zeros; an identifier never starts with two of them
        // where a writer left it out, as identifiers are small numbers.
        if (wide && pad4(n) && r.remaining() >= pad4(n) &&
            std::string_view(reinterpret_cast<const char*>(r.data()) + r.pos(), pad4(n)).find_first_not_of('\0') ==
                std::string_view::npos)
            r.skip(pad4(n));
        auto name = platform::decodeCodePage(codePage, withoutTerminator(chars, wide));
        if (!name)
            return name.error();
        e.name = std::move(*name);
        entries.push_back(std::move(e));
    }
    return entries;
}

Result<std::string> encodeDictionary(const std::vector<DictionaryEntry>& entries, int codePage) {
    const bool wide = codePage == kCodePageUnicode;
    ByteWriter w;
    w.u32(static_cast<std::uint32_t>(entries.size()));
    for (const DictionaryEntry& e : entries) {
        auto encoded = platform::encodeCodePage(codePage, e.name, false);
        if (!encoded)
            return encoded.error();
        if (!wide) {
            auto back = platform::decodeCodePage(codePage, *encoded);
            if (!back || *back != e.name || encoded->find('\0') != std::string::npos)
                return Error(ErrorCode::ConversionFailed, "the code page can't hold the name \"" + e.name + "\"");
        }
        std::string chars = *encoded;
        chars.append(wide ? 2 : 1, '\0');
        w.u32(e.id);
        w.u32(static_cast<std::uint32_t>(wide ? chars.size() / 2 : chars.size()));
        w.bytes(chars);
        if (wide)
            w.zeros(pad4(chars.size()));
    }
    w.zeros(pad4(w.size()));
    return w.buffer();
}

}  // namespace qv::propset
