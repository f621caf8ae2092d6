// The fourteen properties of a package document (.xlsx, .docx, .pptx and
// their kin).
#pragma once

#include <string>

#include "base/result.h"
#include "platform/platform.h"
#include "props/metadata.h"

namespace qv {

// Reads the fourteen rows through the package relationships, the
// extended-properties part and the core-properties part. Either every row is
// read or the call fails with the reason (not a ZIP file, a relationship or a
// part missing, damaged data, XML that is not well-formed).
Result<DocumentMetadata> ReadPackageMetadata(const std::string& path);
// The same from the file already open for reading (deny-write).
Result<DocumentMetadata> ReadPackageMetadata(const std::string& path, platform::File&& opened);

// Writes the edited rows into both property parts, checked first and
// replaced together in one rewrite of the archive. On any failure the file is
// left byte-identical.
// The rewritten file takes the final times and attributes before it
// replaces the old one.
// A value of the wrong kind for its row, or a text XML can't hold, fails with
// ErrorCode::ConversionFailed before anything is written.
// checkOnly: every step short of the store, from a shared read; nothing is
// written or set.
// The edits' extras removals take the template, hyperlink base, program and
// version elements out of the extended part, and the thumbnail part out of
// the archive with its relationship and its content-type override.
// A destination other than in place gets the result (a copy of the file
// when nothing changes), and the source is opened for reading only.
Status WritePackageMetadata(const std::string& path, const MetadataEdits& edits,
                            const platform::FinalMetadata& final = {}, bool checkOnly = false,
                            const WriteDestination& destination = {});

}  // namespace qv
