// Flat OpenDocument files (.fods .fodt .fodp): one XML document,
// office:document, whose office:meta holds the properties. A change replaces
// the bytes of office:meta alone (and adds a namespace declaration to the
// root's start tag where it needs one); every other byte stays.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/platform.h"
#include "props/metadata.h"

namespace qv {

// Whether the first bytes of a file are a flat OpenDocument file: UTF-8 XML
// whose document element, office:document, names an OpenDocument media type
// in its office:mimetype.
bool IsFlatOpenDocument(std::string_view head);

Result<DocumentMetadata> ReadFlatMetadata(const std::string& path);
Result<DocumentMetadata> ReadFlatMetadata(const std::string& path, platform::File&& opened);

// As WriteOdfMetadata, for a flat file: one atomic replacement that takes the
// final times and attributes.
// to: a destination other than the file itself, which is then only read.
Status WriteFlatMetadata(const std::string& path, const MetadataEdits& edits,
                         const platform::FinalMetadata& final = {}, bool checkOnly = false,
                         const WriteDestination& to = {});

}  // namespace qv
