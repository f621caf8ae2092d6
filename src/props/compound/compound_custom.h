// The user-defined properties of a compound file: the second section of the
// document summary set, its properties named by its dictionary.
#pragma once

#include <vector>

#include "base/result.h"
#include "props/metadata.h"
#include "props/compound/propset/property_set.h"

namespace qv {

inline constexpr const char* kFmtidUserDefinedProperties = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

// The named properties in the section's order. A property whose identifier
// has the link bit holds where another one is linked to: it marks that one
// as linked and is not listed itself. A value this system doesn't change,
// or can't decode, is listed with its type and kept.
Result<std::vector<CustomProperty>> ReadUserDefinedSection(const propset::Section& section);

// Applies the edits: a changed value keeps its identifier (and a VT_LPWSTR
// text its type); a new one takes the next free identifier and its name
// joins the dictionary; a removed one leaves with its link and its name.
// A text or name the section's code page can't hold converts the section
// to code page 1200 first. Only what changes is rewritten.
Status EditUserDefinedSection(propset::Section& section, const std::vector<CustomEdit>& edits);

// The hyperlink base the section keeps as the property kLinkBaseName: a
// blob of UTF-16 text (or, from some writers, a plain text); none when the
// section has no such property.
std::optional<std::string> ReadLinkBase(const propset::Section& section);

}  // namespace qv
