// The parts a package's digital signatures cover. A signature lists each
// part it signs in a Reference of its manifest; changing one of them makes
// the signature invalid, which the tool must never do unasked.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "props/package/properties.h"

namespace qv::package {

inline constexpr std::string_view kSignatureOriginType =
    "http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/origin";
inline constexpr std::string_view kSignatureType =
    "http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/signature";
inline constexpr std::string_view kSignatureFolder = "_xmlsignatures\\";

struct SignedParts {
    bool signedPackage = false;  // at least one signature part is there
    // The entry names ("\" separators) the signatures reference; when a
    // signature part can't be read, every part counts as covered.
    std::vector<std::string> names;
    bool coversEverything = false;

    bool covers(std::string_view entryName) const;
};

// The signature parts are the ones the origin part's relationships name
// (the origin found through the package relationships) and every XML part
// in "_xmlsignatures\", where writers keep them.
SignedParts FindSignedParts(const zip::ZipDirectory& directory, const EntryExtractor& extract,
                            const std::optional<XmlPart>& packageRelationships);

}  // namespace qv::package
