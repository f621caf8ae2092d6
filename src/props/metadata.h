// A document's metadata as typed values, the form in which the back ends give
// and take it: no locale text here, that exists only where a person reads or
// types it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/filetime.h"
#include "base/text.h"
#include "props/catalogue.h"

namespace qv {

// A point in time, UTC.
struct Instant {
    FileTime utc = 0;
    friend bool operator==(const Instant&, const Instant&) = default;
};

// A length of time in 100-ns units: a compound file's unit, and exact for a
// package's whole minutes, so nothing is rounded away on the way through.
// Never negative, and as wide as a compound file's FILETIME.
struct Duration {
    std::uint64_t ticks = 0;
    friend bool operator==(const Duration&, const Duration&) = default;
};

constexpr std::uint64_t kTicksPerMinute = 600'000'000;

// A value as what it is. A row holds the kind the catalogue gives it (text;
// a whole number for the revision; an instant for the three dates; a duration
// for the editing time), or text when the file holds something that is not of
// that kind (a revision "1.2", a date stored as a string): what the file
// holds is shown as it is, never made up.
using PropertyValue = std::variant<std::string, std::int64_t, Instant, Duration>;

// A stored text that is exactly a whole number's decimal form ("3", "-12",
// not "03" or " 3"): only such a text becomes a number, so that the text
// shown again is the text the file holds.
inline std::optional<std::int64_t> ExactWholeNumber(std::string_view text) {
    auto n = text::parseInt64(text);
    if (!n || std::to_string(*n) != text)
        return std::nullopt;
    return n;
}

struct StoredProperty {
    bool present = false;   // the file holds the property
    PropertyValue value;    // meaningful when present

    friend bool operator==(const StoredProperty&, const StoredProperty&) = default;
};

// A user-defined property's value of a type this system doesn't change (a
// 64-bit or unsigned integer, a currency, a blob, a vector): shown with its
// type, kept byte for byte.
struct OtherValue {
    std::string type;  // the stored type's short name: "i8", "ui4", "blob", "vector"
    std::string text;  // a scalar's value as text; empty for what has none
    friend bool operator==(const OtherValue&, const OtherValue&) = default;
};

// What a user-defined property holds: a text, a whole number (stored as a
// 32-bit integer), a real number, yes or no, a point in time, or a value of
// another type.
using CustomValue = std::variant<std::string, std::int64_t, double, bool, Instant, OtherValue>;

// The four types a person chooses between; a number is stored as a whole
// number when it is one and fits, else as a real.
enum class CustomType { Text, Number, Date, Bool };

inline std::optional<CustomType> CustomTypeOf(const CustomValue& v) {
    switch (v.index()) {
    case 0: return CustomType::Text;
    case 1:
    case 2: return CustomType::Number;
    case 3: return CustomType::Bool;
    case 4: return CustomType::Date;
    default: return std::nullopt;
    }
}

// A property a user defined, by its name.
struct CustomProperty {
    std::string name;
    CustomValue value;
    // Linked to the document's content (a named cell, a bookmark): the
    // application refreshes it, so it is shown and kept, not changed.
    bool linked = false;

    bool editable() const { return !linked && CustomTypeOf(value).has_value(); }
    friend bool operator==(const CustomProperty&, const CustomProperty&) = default;
};

// The index of the property of that name: compared without regard to case,
// as the applications compare them, unless the file says its names are
// case-sensitive.
std::optional<std::size_t> FindCustom(const std::vector<CustomProperty>& list, std::string_view name,
                                      bool caseSensitive = false);

// The most characters (UTF-16 units) a user-defined property's name has.
constexpr std::size_t kMaxCustomNameLength = 255;

// The name under which a compound file keeps its hyperlink base among the
// user-defined properties (a blob of UTF-16 text).
inline constexpr std::string_view kLinkBaseName = "_PID_LINKBASE";

// What a document says of where and with what it was made, beyond the rows
// and the user-defined properties: read with them, shown by the audit.
struct DocumentExtras {
    std::optional<std::string> templateName;   // the template it was made from (often a server path)
    std::optional<std::string> hyperlinkBase;  // the base of its relative links
    std::optional<std::string> application;    // the program that saved it
    std::optional<std::string> appVersion;     // and its version
    // A picture of the first page: the part's name in a package, the
    // property in a compound file; its size in bytes.
    bool thumbnail = false;
    std::string thumbnailPart;
    std::uint64_t thumbnailSize = 0;
    friend bool operator==(const DocumentExtras&, const DocumentExtras&) = default;
};

struct DocumentMetadata {
    std::array<StoredProperty, kRowCount> rows{};
    std::vector<CustomProperty> custom;  // in the order the file holds them
    DocumentExtras extras;

    const StoredProperty& operator[](int row) const { return rows[static_cast<std::size_t>(row)]; }
    StoredProperty& operator[](int row) { return rows[static_cast<std::size_t>(row)]; }
    friend bool operator==(const DocumentMetadata&, const DocumentMetadata&) = default;
};

// What a change does to one row. Erase leaves the file holding no value for
// it, in the form its kind has for that (an empty string, a null value, no
// element).
struct PropertyEdit {
    enum class Action { Keep, Erase, Set };
    Action action = Action::Keep;
    PropertyValue value;  // for Set

    static PropertyEdit keep() { return {}; }
    static PropertyEdit erase() { return {Action::Erase, {}}; }
    static PropertyEdit set(PropertyValue v) { return {Action::Set, std::move(v)}; }
    bool changes() const { return action != Action::Keep; }
    friend bool operator==(const PropertyEdit&, const PropertyEdit&) = default;
};

// A change of one user-defined property, found by its name without regard
// to case. Set replaces the value of the property of that name (its stored
// spelling stays) or adds the property; Remove takes it away, and is no
// error when the file holds no such property.
struct CustomEdit {
    enum class Action { Set, Remove };
    Action action = Action::Set;
    std::string name;
    CustomValue value;  // for Set; never an OtherValue
    // For Remove: also a property shown read-only (linked, or of another
    // type), which is otherwise refused, as setting it is.
    bool force = false;

    static CustomEdit set(std::string name, CustomValue value) {
        return {Action::Set, std::move(name), std::move(value), false};
    }
    static CustomEdit remove(std::string name, bool force = false) {
        return {Action::Remove, std::move(name), {}, force};
    }
    friend bool operator==(const CustomEdit&, const CustomEdit&) = default;
};

// The extras a change takes away: each property (or element) removed, and
// a thumbnail with its part, relationship and content-type override.
struct ExtrasRemoval {
    bool templateName = false;
    bool hyperlinkBase = false;
    bool application = false;  // the program and its version
    bool thumbnail = false;
    bool any() const { return templateName || hyperlinkBase || application || thumbnail; }
    friend bool operator==(const ExtrasRemoval&, const ExtrasRemoval&) = default;
};

struct MetadataEdits {
    std::array<PropertyEdit, kRowCount> rows{};
    ExtrasRemoval remove;
    // Applied in order, after the rows, in the same commit.
    std::vector<CustomEdit> custom;
    // A package whose digital signature covers a part the edits rewrite is
    // refused (ErrorCode::Signed) unless the user accepted that the
    // signature becomes invalid.
    bool allowUnsigning = false;

    const PropertyEdit& operator[](int row) const { return rows[static_cast<std::size_t>(row)]; }
    PropertyEdit& operator[](int row) { return rows[static_cast<std::size_t>(row)]; }
    bool any() const { return anyRow() || !custom.empty() || remove.any(); }
    bool anyRow() const {
        for (const PropertyEdit& e : rows)
            if (e.changes())
                return true;
        return false;
    }
    friend bool operator==(const MetadataEdits&, const MetadataEdits&) = default;
};

// Where a change puts the edited document: in place (no path), or a new
// file at path, made in one step from the source, which is only read. A
// file already there is replaced only with overwrite; otherwise the write
// fails with ErrorCode::AlreadyExists and leaves it.
struct WriteDestination {
    std::string path;
    bool overwrite = false;
    bool inPlace() const { return path.empty(); }
};

}  // namespace qv
