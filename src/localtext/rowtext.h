// The fourteen rows as a person reads and types them: the grids' texts (dates
// in the locale's date-time text, the editing time in whole minutes), made
// from typed values and read back into edits.
#pragma once

#include <array>
#include <bitset>
#include <string>
#include <string_view>

#include "base/result.h"
#include "props/catalogue.h"
#include "props/metadata.h"

namespace qv {

// One text per row, in the grid's form.
using RowTexts = std::array<std::string, kRowCount>;
// Which rows a change writes.
using RowMask = std::bitset<kRowCount>;

inline RowMask allRows() { return RowMask().set(); }

// The text a row's value shows: nothing for a property the file doesn't
// hold, an instant in the locale's date-time text, a duration in whole
// minutes (halves to even).
std::string DisplayText(const StoredProperty& property);
RowTexts DisplayTexts(const DocumentMetadata& metadata);

// What a typed text does to its row: nothing typed (blanks only, for a row
// that isn't free text) erases; a date row takes the locale's date-time text
// or ISO-8601, kept to the 100 ns with its offset; the editing time takes
// whole minutes; the revision a whole number (other text is kept as typed).
// A date or an editing time that doesn't parse fails with
// ErrorCode::ConversionFailed, naming the row.
Result<PropertyEdit> EditFromText(int row, std::string_view text);
// The ticked rows' texts as edits; the others are kept.
Result<MetadataEdits> EditsFromTexts(const RowTexts& texts, const RowMask& rows);

}  // namespace qv
