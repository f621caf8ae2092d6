// The fourteen properties and the user-defined ones of an OpenDocument file
// (.ods .odt .odp and their templates, whatever the file is named): a ZIP
// archive whose first entry, "mimetype", names an OpenDocument media type,
// with the properties in meta.xml.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/platform.h"
#include "props/metadata.h"

namespace qv {

inline constexpr std::string_view kOpenDocumentMediaTypePrefix = "application/vnd.oasis.opendocument.";

// The media type in the first bytes of a file, when they are a ZIP local
// header of a stored entry named "mimetype" whose text follows in them and
// is an OpenDocument media type.
std::optional<std::string> OpenDocumentMediaType(std::string_view head);

// The same told from the archive's directory, for writers that compress
// "mimetype" or put it elsewhere: an archive without [Content_Types].xml
// whose "mimetype" entry names an OpenDocument media type.
bool IsOpenDocumentArchive(const platform::File& file, std::uint64_t size);

// Reads meta.xml. A file without one has no properties (every row absent);
// an encrypted file fails with PasswordProtected, a meta.xml that is not
// well-formed with BadXml.
Result<DocumentMetadata> ReadOdfMetadata(const std::string& path);
Result<DocumentMetadata> ReadOdfMetadata(const std::string& path, platform::File&& opened);

// Writes the edits into meta.xml (created, with its manifest entry, when the
// file has none) in one rewrite of the archive that keeps every other entry's
// bytes and "mimetype" first; the new file takes the final times and
// attributes before it replaces the old one. Refused before anything is
// written: a value of the wrong kind (ConversionFailed), an encrypted file
// (PasswordProtected), a signature that covers what the change rewrites
// unless edits.allowUnsigning (Signed). checkOnly: every step short of the
// store, from a shared read.
// to: a destination other than the file itself, which is then only read.
Status WriteOdfMetadata(const std::string& path, const MetadataEdits& edits,
                        const platform::FinalMetadata& final = {}, bool checkOnly = false,
                        const WriteDestination& to = {});

}  // namespace qv
