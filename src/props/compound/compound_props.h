// The fourteen properties of a compound-file document (.xls, .doc, .ppt and
// their kin): the bridge between the compound-file container and the
// property-set format.
#pragma once

#include <string>

#include "base/result.h"
#include "platform/platform.h"
#include "props/metadata.h"

namespace qv {

// Reads all fourteen rows in one deny-write open. A property that is missing
// is not present; one of a type that isn't shown is present with no text.
// Fails, with the reason, only when the file can't be opened or read as a
// compound file at all; the callers then show fourteen empty values.
Result<DocumentMetadata> ReadCompoundMetadata(const std::string& path);
// The same from the file already open for reading (deny-write).
Result<DocumentMetadata> ReadCompoundMetadata(const platform::File& opened);

// Writes the edited rows in one exclusive open and one all-or-nothing
// commit: texts as given (trimming is the caller's business), as VT_LPSTR (the section converted to code page 1200
// when its own code page can't hold a text), dates and the editing time as
// VT_FILETIME; an erased text becomes an empty string, an erased date or
// editing time VT_NULL; a missing set is created. A value of the wrong kind
// for its row fails with ErrorCode::ConversionFailed and nothing is written.
// On any failure the file is left byte-identical. The rewritten file takes
// the final times and attributes before it replaces the old one.
// checkOnly: every step short of the replacement, from a shared read;
// nothing is written or set.
// The edits' extras removals take the template, the program's name, the
// thumbnail, the version and the hyperlink base out of their sets.
// A destination other than in place gets the result (a copy of the file
// when nothing changes), and the source is opened for reading only.
Status WriteCompoundMetadata(const std::string& path, const MetadataEdits& edits,
                             const platform::FinalMetadata& final = {}, bool checkOnly = false,
                             const WriteDestination& destination = {});

}  // namespace qv
