// Fuzzes the property-set parser: what parses must serialize and parse back
// to the same sections, and a text set into the first section (Unicode or
// not) must read back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "props/compound/propset/property_set.h"

using namespace qv;
using namespace qv::propset;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto set = PropertySet::parse(bytes);
    if (!set)
        return 0;
    std::string once = set->serialize();
    auto back = PropertySet::parse(once);
    if (!back || back->sections.size() != set->sections.size() || back->clsid != set->clsid)
        std::abort();
    for (std::size_t i = 0; i < set->sections.size(); ++i)
        if (back->sections[i].fmtid != set->sections[i].fmtid)
            std::abort();
    if (back->serialize() != once)
        std::abort();

    auto section = Section::parse(set->sections[0].bytes);
    if (!section)
        return 0;
    auto reparsed = Section::parse(section->serialize());
    if (!reparsed || reparsed->serialize() != section->serialize())
        std::abort();
    const char* text = size % 2 ? "Crème 🎉 한국어" : "plain";
    Status st = section->setText(2, text);
    if (!st)
        return 0;  // a section that can't move to Unicode is refused, not mangled
    auto written = Section::parse(section->serialize());
    if (!written)
        std::abort();
    auto v = written->value(2);
    if (!v || FormatPropertyValue(*v) != text)
        std::abort();
    return 0;
}
