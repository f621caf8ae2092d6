// The user-defined properties of a package: docProps/custom.xml, one
// property element each, its value in a variant-type element.
#pragma once

#include <vector>

#include "base/result.h"
#include "props/metadata.h"
#include "props/package/xml_part.h"

namespace qv {

// The named properties in the part's order; a property with a link target
// is linked; a value of another type, or one that doesn't parse as its
// type, is listed with the element's name as its type and kept.
std::vector<CustomProperty> ReadCustomPart(const package::XmlPart& part);

// Applies the edits: a changed value replaces the variant element of its
// property (whose attributes stay; an 8-bit text stays one); a new one is
// appended with the next free pid; a removed one's element goes.
Status EditCustomPart(package::XmlPart& part, const std::vector<CustomEdit>& edits);

}  // namespace qv
