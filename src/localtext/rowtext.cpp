#include "localtext/rowtext.h"

#include <cstdint>

#include "base/text.h"
#include "localtext/datetext.h"
#include "props/datetime.h"

namespace qv {

namespace {

struct Shown {
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(std::int64_t n) const { return std::to_string(n); }
    std::string operator()(Instant t) const { return FormatDateTimeText(FileTimeToLocal(t.utc)); }
    std::string operator()(Duration d) const { return MinutesFromDuration(d.ticks); }
};

Error notA(int row, const char* what, std::string_view text) {
    return Error(ErrorCode::ConversionFailed, std::string("the value of ") +
                                                  kCatalogue[static_cast<std::size_t>(row)].Key + " is not " +
                                                  what + ": " + std::string(text));
}

}  // namespace

std::string DisplayText(const StoredProperty& property) {
    if (!property.present)
        return {};
    return std::visit(Shown{}, property.value);
}

RowTexts DisplayTexts(const DocumentMetadata& metadata) {
    RowTexts texts;
    for (int row = 0; row < kRowCount; ++row)
        texts[static_cast<std::size_t>(row)] = DisplayText(metadata[row]);
    return texts;
}

Result<PropertyEdit> EditFromText(int row, std::string_view text) {
    EditorKind editor = kCatalogue[static_cast<std::size_t>(row)].Editor;
    if (editor == EditorKind::Text)
        return text.empty() ? PropertyEdit::erase() : PropertyEdit::set(std::string(text));
    std::string t = text::trim(text);
    if (t.empty())
        return PropertyEdit::erase();
    switch (editor) {
    case EditorKind::Number:
        if (auto n = ExactWholeNumber(t))
            return PropertyEdit::set(*n);
        return PropertyEdit::set(std::string(text));
    case EditorKind::Minutes:
        // A length of time is never negative, and no longer than 100-ns
        // units hold: what a compound file's editing time can be.
        if (auto m = text::parseInt64(t);
            m && *m >= 0 && static_cast<std::uint64_t>(*m) <= UINT64_MAX / kTicksPerMinute)
            return PropertyEdit::set(Duration{static_cast<std::uint64_t>(*m) * kTicksPerMinute});
        return notA(row, "a whole number of minutes", text);
    case EditorKind::DateTime:
    case EditorKind::DateTimeClearable:
        if (auto local = ParseDateTimeText(t))
            return PropertyEdit::set(Instant{LocalToFileTime(*local)});
        if (auto utc = ParseIso8601(t))
            return PropertyEdit::set(Instant{*utc});
        return notA(row, "a date", text);
    case EditorKind::Text:
        break;
    }
    return PropertyEdit::set(std::string(text));
}

Result<MetadataEdits> EditsFromTexts(const RowTexts& texts, const RowMask& rows) {
    MetadataEdits edits;
    for (int row = 0; row < kRowCount; ++row) {
        if (!rows.test(static_cast<std::size_t>(row)))
            continue;
        auto e = EditFromText(row, texts[static_cast<std::size_t>(row)]);
        if (!e)
            return e.error();
        edits[row] = std::move(*e);
    }
    return edits;
}

}  // namespace qv
