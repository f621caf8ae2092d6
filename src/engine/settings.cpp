#include "engine/settings.h"

#include "base/text.h"
#include "props/catalogue.h"

namespace qv::engine {

namespace {

bool anyTimeOrAttribute(const auto& s) {
    for (const BatchTimeChoice* t : {&s.creation, &s.lastWrite, &s.lastAccess})
        if (t->replaceDate || t->replaceTime)
            return true;
    return s.attributes.anyChange();
}

}  // namespace

bool HasBatchWork(const BatchSettings& s) {
    return anyTimeOrAttribute(s) || s.ticked.any() || !s.custom.empty() || !s.replaces.empty();
}
bool HasBatchWork(const BatchChange& c) { return anyTimeOrAttribute(c) || c.edits.any() || c.perFile.any(); }

Result<BatchChange> ToBatchChange(const BatchSettings& s) {
    BatchChange c;
    RowMask fixedRows = s.ticked;
    for (int row = 0; row < kRowCount; ++row) {
        const std::string& text = s.values[static_cast<std::size_t>(row)];
        if (!s.ticked.test(static_cast<std::size_t>(row)) || !ValuePattern::looksLikePattern(text))
            continue;
        auto pattern = ValuePattern::parse(text);
        if (!pattern)
            return Error(pattern.error().code, std::string(kCatalogue[static_cast<std::size_t>(row)].Label) + ": " +
                                                   pattern.error().message);
        c.perFile.rows.emplace_back(row, std::move(*pattern));
        fixedRows.reset(static_cast<std::size_t>(row));
    }
    for (const ReplaceRule& rule : s.replaces) {
        auto r = Replacer::make(rule);
        if (!r)
            return Error(r.error().code, "replace in " + rule.target + ": " + r.error().message);
        c.perFile.replaces.push_back(std::move(*r));
    }
    auto edits = EditsFromTexts(s.values, fixedRows);
    if (!edits)
        return edits.error();
    c.edits = std::move(*edits);
    for (const CustomEditText& t : s.custom) {
        auto e = ToCustomEdit(t);
        if (!e)
            return e.error();
        c.edits.custom.push_back(std::move(*e));
    }
    c.creation = s.creation;
    c.lastWrite = s.lastWrite;
    c.lastAccess = s.lastAccess;
    c.attributes = s.attributes;
    c.backup = s.backup;
    c.backupPolicy = s.backupPolicy;
    c.edits.allowUnsigning = s.allowUnsigning;
    return c;
}

namespace {

Error aboutProperty(const std::string& name, Error e) {
    e.message = "the user-defined property \"" + text::sanitizeUtf8(name) + "\": " + e.message;
    return e;
}

}  // namespace

Result<CustomEdit> ToCustomEdit(const CustomEditText& t) {
    std::string name = text::trim(t.name);
    if (name.empty())
        return Error(ErrorCode::ConversionFailed, "a user-defined property needs a name");
    if (t.remove)
        return CustomEdit::remove(std::move(name));
    auto value = ParseCustomValue(t.type, t.value);
    if (!value)
        return aboutProperty(name, value.error());
    return CustomEdit::set(std::move(name), std::move(*value));
}

Result<std::vector<CustomEdit>> CustomEditsFromGrid(const std::vector<CustomProperty>& shown,
                                                    const std::vector<CustomRowText>& rows) {
    // The rows' names, each once.
    std::vector<CustomProperty> named;
    for (const CustomRowText& r : rows) {
        std::string name = text::trim(r.name);
        if (name.empty())
            return Error(ErrorCode::ConversionFailed, "a user-defined property needs a name");
        if (FindCustom(named, name))
            return Error(ErrorCode::ConversionFailed,
                         "two user-defined properties are named \"" + text::sanitizeUtf8(name) + "\"");
        named.push_back(CustomProperty{std::move(name), std::string(), false});
    }
    // Removals first, so a property renamed in another case is taken away
    // before its new spelling is added.
    std::vector<CustomEdit> edits;
    // A row the user took away goes, read-only or not: it was shown.
    for (const CustomProperty& p : shown)
        if (!FindCustom(named, p.name))
            edits.push_back(CustomEdit::remove(p.name, true));
    for (const CustomRowText& r : rows) {
        std::string name = text::trim(r.name);
        auto index = FindCustom(shown, name);
        const CustomProperty* had = index ? &shown[*index] : nullptr;
        if (!r.type) {
            if (!had)
                return Error(ErrorCode::ConversionFailed,
                             "the user-defined property \"" + text::sanitizeUtf8(name) + "\" has no type");
            continue;
        }
        auto value = ParseCustomValue(*r.type, r.value);
        if (!value)
            return aboutProperty(name, value.error());
        if (had && had->name != name) {
            // A new spelling of the same name replaces the property.
            edits.push_back(CustomEdit::remove(had->name));
            had = nullptr;
        }
        // A value shown and typed back unchanged (a date to the second, a
        // real to its digits) is no change.
        if (had && CustomTypeOf(had->value) == r.type &&
            (had->value == *value || CustomValueText(had->value) == CustomValueText(*value)))
            continue;
        edits.push_back(CustomEdit::set(std::move(name), std::move(*value)));
    }
    return edits;
}

}  // namespace qv::engine
