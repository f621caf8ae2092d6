// What a package says of where and with what it was made, beyond the
// property rows: the extended part's template, hyperlink base, program and
// version, and the thumbnail part the package relationships name.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "props/package/xml_part.h"

namespace qv::package {

// The thumbnail relationship: the package one, and the spelling some strict
// writers use.
inline constexpr std::array<std::string_view, 2> kThumbnailTypes = {
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail",
    "http://purl.oclc.org/ooxml/officeDocument/relationships/metadata/thumbnail"};

// The extended part's elements of the extras, by local name.
inline constexpr std::string_view kTemplateElement = "Template";
inline constexpr std::string_view kHyperlinkBaseElement = "HyperlinkBase";
inline constexpr std::string_view kApplicationElement = "Application";
inline constexpr std::string_view kAppVersionElement = "AppVersion";

// The entry name ("\" separators) of the first part a package relationship
// of a thumbnail type names; none when there is none.
std::optional<std::string> FindThumbnail(const XmlPart& relationships);

// Removes every relationship of the part to that entry; true when any was.
bool RemoveRelationshipsTo(XmlPart& relationships, std::string_view entryName);

// Removes the content types' Override for that entry (a Default by
// extension stays, other parts may use it); true when there was one.
bool RemoveOverride(XmlPart& contentTypes, std::string_view entryName);

// Removes every direct child of the document element of that namespace and
// local name; true when any was.
bool RemoveElements(XmlPart& part, std::string_view ns, std::string_view local);

}  // namespace qv::package
