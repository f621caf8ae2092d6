// Whether a CSV cell asks for a change: the cell against the text the export
// writes for the file's value, allowing for what a spreadsheet does to a CSV
// it opens and saves unedited (numbers normalised, formulas evaluated, dates
// saved without their seconds, line ends made LF, characters the CSV's code
// page lacks written as "?").
#pragma once

#include <string>
#include <string_view>

namespace qv::engine {

// Why a difference may be a spreadsheet's doing rather than a person's edit.
enum class Doubt {
    None,
    FormulaResult,  // the file holds a formula's text; the cell may be its result
    RoundedNumber,  // the cell is the file's number rounded to fewer digits
    DateForm,       // the file's text reads as the same date, written another way
};

// The English reason shown for a doubt (the window has its own words).
const char* DoubtText(Doubt doubt);

enum class CellKind { Text, DateTime };

struct CellVerdict {
    bool changed = false;      // the cell asks for something else than the file holds
    Doubt doubt = Doubt::None;  // with changed: why it may be no edit at all
};

// The cell against the export's text of the value. shiftJis: the CSV is in
// Shift-JIS, so the export wrote the value's characters it lacks as "?".
CellVerdict CompareCell(std::string_view cell, const std::string& exported, CellKind kind, bool shiftJis);

// The export's text in Shift-JIS and back: what a Shift-JIS CSV holds for it.
std::string ShiftJisForm(const std::string& utf8);

}  // namespace qv::engine
