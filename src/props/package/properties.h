// The package layout the tool relies on (the package relationships, the
// relationship types of both conformance classes, how a target names a
// part, the elements of the two property parts) and the reading and writing
// of elements in a loaded part.
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

// The package relationships part, found without regard to case.
inline constexpr std::string_view kRelationshipsEntry = "_rels\\.rels";
inline constexpr std::string_view kContentTypesEntry = "[Content_Types].xml";

// The relationship types: the transitional ones first, then the strict one
// of ISO/IEC 29500 and an older spelling of the core type some writers use. Real strict
// packages mix a transitional core relationship with a strict extended one.
inline constexpr std::array<std::string_view, 2> kExtendedPropertiesTypes = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties"};
inline constexpr std::array<std::string_view, 2> kCorePropertiesTypes = {
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
    "http://schemas.openxmlformats.org/officedocument/2006/relationships/metadata/core-properties"};
inline constexpr std::array<std::string_view, 2> kCustomPropertiesTypes = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/customProperties"};
inline constexpr std::string_view kStrictTypePrefix = "http://purl.oclc.org/ooxml/";

inline constexpr std::string_view kNamespaceRelationships = "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kNamespaceContentTypes = "http://schemas.openxmlformats.org/package/2006/content-types";
inline constexpr std::string_view kNamespaceCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/metadata/core-properties";
inline constexpr std::string_view kNamespaceDublinCore = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view kNamespaceDublinCoreTerms = "http://purl.org/dc/terms/";
inline constexpr std::string_view kNamespaceXsi = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr std::string_view kNamespaceExtended =
    "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties";
inline constexpr std::string_view kNamespaceExtendedStrict = "http://purl.oclc.org/ooxml/officeDocument/extendedProperties";
inline constexpr std::string_view kNamespaceCustom =
    "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
inline constexpr std::string_view kNamespaceCustomStrict = "http://purl.oclc.org/ooxml/officeDocument/customProperties";
inline constexpr std::string_view kNamespaceVariantTypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
inline constexpr std::string_view kNamespaceVariantTypesStrict =
    "http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes";

// The rows of each part, in the order the elements are read and written;
// the element names are the catalogue's.
inline constexpr std::array<int, 3> kExtendedRows = {kRowManager, kRowCompany, kRowEditTime};
inline constexpr std::array<int, 11> kCoreRows = {kRowTitle,     kRowSubject,   kRowAuthor,    kRowKeywords,
                                                  kRowComments,  kRowLastSavedBy, kRowRevision, kRowCreated,
                                                  kRowLastSaved, kRowCategory,  kRowLastPrinted};

// An element as readers match it: by namespace and local name. The prefix
// is the one a writer uses when the part binds none to the namespace.
struct ElementName {
    std::string_view ns;
    std::string_view local;
    std::string_view standardPrefix;
};

// A row's element; extendedNs is the namespace of the extended part at hand.
ElementName ElementOf(int row, std::string_view extendedNs = kNamespaceExtended);

// The part a relationship target names, as an archive entry name ("\"
// separators, no leading one): resolved against the source part's folder
// (sourceFolder "" for the package), absolute names from the package root,
// percent-encoding decoded, "\" taken as "/". No value for a target that
// names no part (a URI with a scheme, a path that climbs out of the package).
std::optional<std::string> ResolveTarget(std::string_view sourceFolder, std::string_view target);

struct PropertyPartNames {
    // Entry names of the parts the relationships name; empty when none does.
    std::string extended;
    std::string core;
    std::string custom;
    // The package's main relationship, or its extended one, is of the strict
    // class: a part created for it takes the strict namespace.
    bool strict = false;
};

// Walks the relationships of a loaded relationships part; relationships to
// external resources are ignored.
PropertyPartNames FindPropertyParts(const XmlPart& relationships);

// For each element, the text of the first direct child of the document
// element with that namespace and local name; none when there is no such
// element.
std::vector<std::optional<std::string>> ReadElementTexts(const XmlPart& part, const std::vector<ElementName>& names);

// Sets, creates or removes one element: an empty value with removeWhenEmpty
// removes the first such element; an existing element gets the value as its
// only text (its attributes stay, a second one of that name is left as it
// is); a missing one is appended as the last child of the document element,
// with the prefix the document element binds to its namespace, else with
// the standard prefix declared there (the default namespace declared on the
// element itself for an unprefixed one). A created dcterms:created or
// dcterms:modified gets xsi:type W3CDTF.
void ApplyElementValue(XmlPart& part, const ElementName& name, std::string_view value, bool removeWhenEmpty = false);

// One of the two property parts: where it is, or where it is created.
struct PropertyPart {
    std::string entryName;        // "\" separators
    std::optional<XmlPart> xml;   // none when the package lacks the part
    bool related = false;         // a package relationship names it
    // The namespace the extended properties are in: the part's own.
    std::string extendedNs = std::string(kNamespaceExtended);
};

struct PropertyParts {
    PropertyPart extended;
    PropertyPart core;
    PropertyPart custom;  // the user-defined properties
    bool strict = false;
    // The package relationships, when the package has them.
    std::string relationshipsEntry = std::string(kRelationshipsEntry);
    std::optional<XmlPart> relationships;
};

using EntryExtractor = std::function<Result<std::string>(const zip::ZipEntry&)>;

// Finds the package relationships and through them the extended-, core- and
// custom-properties part, and loads what is there. A missing relationship or
// part (or an empty one) leaves that part out; damaged data, XML that is not
// well-formed or a part too large fail with the reason.
Result<PropertyParts> LoadPropertyParts(const zip::ZipDirectory& directory, const EntryExtractor& extract);

// A new, empty property part of the standard form.
XmlPart NewCorePart();
XmlPart NewExtendedPart(bool strict);
XmlPart NewCustomPart(bool strict);

// The prefix the document element binds to a namespace; where none is, a
// free one (the standard prefix when it is free) declared there.
std::string BindPrefix(XmlPart& part, std::string_view ns, std::string_view standardPrefix);
// A new last child of the document element in its namespace, with its prefix.
pugi::xml_node AppendToDocumentElement(XmlPart& part, std::string_view local);

// Adds what a created part needs to the package's bookkeeping: an Override
// for it in the content types and, when no relationship names it yet, a
// relationship with a fresh Id (the relationships part created when there
// is none, with its Default in the content types).
Status AddOverride(XmlPart& contentTypes, std::string_view entryName, std::string_view contentType);
Status AddRelationshipsDefault(XmlPart& contentTypes);
void AddRelationship(XmlPart& relationships, std::string_view type, std::string_view entryName);
XmlPart NewRelationshipsPart();

inline constexpr std::string_view kCoreContentType = "application/vnd.openxmlformats-package.core-properties+xml";
inline constexpr std::string_view kExtendedContentType =
    "application/vnd.openxmlformats-officedocument.extended-properties+xml";
inline constexpr std::string_view kCustomContentType =
    "application/vnd.openxmlformats-officedocument.custom-properties+xml";

}  // namespace qv::package
