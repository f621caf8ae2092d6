// The fourteen properties of a compound-file workbook (".XLS" and every
// extension other than ".XLSX"): the bridge between the compound-file
// container and the property-set format.
#pragma once

#include <string>

#include "base/result.h"
#include "platform/platform.h"
#include "props/rows.h"

namespace qv {

// Reads all fourteen rows in one deny-write open. A property that is missing
// or of a type that isn't shown gives an empty text. Fails, with the reason,
// only when the file can't be opened or read as a compound file at all; the
// callers then show fourteen empty values.
Result<RowValues> ReadCompoundRows(const std::string& path);
// The same from the file already open for reading (deny-write).
Result<RowValues> ReadCompoundRows(const platform::File& opened);

// Writes the selected rows in one exclusive open and one all-or-nothing
// commit: texts as VT_LPSTR (the section converted to code page 1200 when its
// own code page can't hold a text), dates and the editing time as
// VT_FILETIME, an empty date or editing time as VT_NULL, a missing set
// created. Texts are written as given (trimming is the caller's business).
// A date text that doesn't parse fails with ErrorCode::ConversionFailed and
// nothing is written. On any failure the file is left byte-identical.
// The rewritten file takes the final times and attributes before it
// replaces the old one.
Status WriteCompoundRows(const std::string& path, const RowTexts& values, const RowMask& selected,
                         const platform::FinalMetadata& final = {});

}  // namespace qv
