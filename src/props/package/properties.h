// The package layout the tool relies on (the relationships part, the two
// relationship types, the element lists of the two property parts) and the
// reading and writing of elements in a loaded part.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "props/catalogue.h"
#include "props/package/xml_part.h"
#include "zip/directory.h"

namespace qv::package {

// The relationships part: the entry whose stored path is exactly "_rels\"
// and whose file name is exactly ".rels".
inline constexpr std::string_view kRelationshipsPath = "_rels\\";
inline constexpr std::string_view kRelationshipsFileName = ".rels";

// The two transitional relationship types, compared as whole texts.
inline constexpr std::string_view kExtendedPropertiesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr std::string_view kCorePropertiesType =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";

inline constexpr std::string_view kNamespaceCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
inline constexpr std::string_view kNamespaceDublinCore = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view kNamespaceDublinCoreTerms = "http://purl.org/dc/terms/";
inline constexpr std::string_view kNamespaceXsi = "http://www.w3.org/2001/XMLSchema-instance";

// The rows of each part, in the order the elements are read and written;
// the element names are the catalogue's.
inline constexpr std::array<int, 3> kExtendedRows = {kRowManager, kRowCompany, kRowEditTime};
inline constexpr std::array<int, 11> kCoreRows = {kRowTitle,     kRowSubject,   kRowAuthor,    kRowKeywords,
                                                  kRowComments,  kRowLastSavedBy, kRowRevision, kRowCreated,
                                                  kRowLastSaved, kRowCategory,  kRowLastPrinted};

struct PropertyPartNames {
    // Entry names: the relationship targets with every "/" turned into "\".
    std::string extended;
    std::string core;
    bool complete() const { return !extended.empty() && !core.empty(); }
};

// Walks the relationships of a loaded relationships part.
PropertyPartNames FindPropertyParts(const XmlPart& relationships);

// For each name, the text of the first direct child of the document element
// with exactly that qualified name; none when there is no such element.
std::vector<std::optional<std::string>> ReadElementTexts(const XmlPart& part, const std::vector<std::string_view>& names);

// Sets, creates or removes one element: an empty cp:lastPrinted or TotalTime
// removes the first such element; an existing element gets the value as its
// only text (its attributes stay); a missing one is appended as the last
// child of the document element, in the namespace its prefix is bound to
// there (the part's usual namespace declared there when the prefix is not
// bound at all), an unprefixed one in the document element's namespace. A
// created dcterms:created or dcterms:modified gets xsi:type="dcterms:W3CDTF".
// Fails, changing nothing, when the element would be a second one of its
// kind (the part binds the namespace to another prefix).
Status ApplyElementValue(XmlPart& part, std::string_view name, std::string_view value);

// Applies the flagged values in list order.
Status ApplyElementList(XmlPart& part, const std::vector<std::string_view>& names,
                        const std::vector<std::string>& values, const std::vector<bool>& flags);

// The two property parts of a package, loaded.
struct PropertyParts {
    PropertyPartNames names;
    XmlPart extended;
    XmlPart core;
};

using EntryExtractor = std::function<Result<std::string>(const zip::ZipEntry&)>;

// Finds the relationships part and through it the extended- and the
// core-properties part, and loads all three. Fails with
// ErrorCode::PackageLayout when one of them or a relationship is missing or
// empty, and with the reason of the ZIP or XML layer otherwise.
Result<PropertyParts> LoadPropertyParts(const zip::ZipDirectory& directory, const EntryExtractor& extract);

}  // namespace qv::package
