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

// A property a user defined, by its name.
struct CustomProperty {
    std::string name;
    PropertyValue value;

    friend bool operator==(const CustomProperty&, const CustomProperty&) = default;
};

struct DocumentMetadata {
    std::array<StoredProperty, kRowCount> rows{};
    std::vector<CustomProperty> custom;  // not read yet: always empty

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

struct MetadataEdits {
    std::array<PropertyEdit, kRowCount> rows{};
    // A package whose digital signature covers a part the edits rewrite is
    // refused (ErrorCode::Signed) unless the user accepted that the
    // signature becomes invalid.
    bool allowUnsigning = false;

    const PropertyEdit& operator[](int row) const { return rows[static_cast<std::size_t>(row)]; }
    PropertyEdit& operator[](int row) { return rows[static_cast<std::size_t>(row)]; }
    bool any() const {
        for (const PropertyEdit& e : rows)
            if (e.changes())
                return true;
        return false;
    }
    friend bool operator==(const MetadataEdits&, const MetadataEdits&) = default;
};

}  // namespace qv
