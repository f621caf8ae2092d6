// Fuzz target: an OpenDocument meta.xml read, changed in every row and
// user-defined type, and read again; and its durations and dates on their
// own. Nothing may crash, hang or grow without bound, and a changed part
// must load again with the written values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "props/odf/meta.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (auto d = odf::ParseDuration(bytes); d && odf::ParseDuration(odf::FormatDuration(*d)) != d)
        std::abort();
    (void)odf::FormatDate(0x01D0000000000000ull, odf::DateFormOf(bytes));
    auto part = package::XmlPart::Load(bytes);
    if (!part || !odf::ReadMeta(*part))
        return 0;
    MetadataEdits edits;
    for (int row = 0; row < kRowCount; ++row) {
        PropertyValue v = std::string("v, w & <x>");
        if (isDateRow(row))
            v = Instant{0x01D0000000000000ull};
        else if (row == kRowEditTime)
            v = Duration{size * kTicksPerMinute};
        else if (row == kRowRevision)
            v = std::int64_t{3};
        edits[row] = size % 5 == 0 ? PropertyEdit::erase() : PropertyEdit::set(v);
    }
    edits.custom = {CustomEdit::set("n", std::int64_t{2}), CustomEdit::set("r", 2.5), CustomEdit::set("b", true),
                    CustomEdit::set("d", Instant{0x01D0000000000000ull}), CustomEdit::remove("Info 1")};
    if (!odf::EditMeta(*part, edits))
        return 0;
    auto again = package::XmlPart::Load(part->Save());
    if (!again)
        std::abort();
    auto read = odf::ReadMeta(*again);
    if (!read || (size % 5 != 0 && (*read)[kRowRevision].value != PropertyValue(std::int64_t{3})))
        std::abort();
    return 0;
}
