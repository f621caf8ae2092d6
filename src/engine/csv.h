// CSV export of the listed documents: a header and one line per document.
#pragma once

#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/change.h"

namespace qv::engine {

enum class CsvEncoding {
    ShiftJis,  // the tool's classic format; characters Shift-JIS lacks become "?"
    Utf8,      // UTF-8 with a byte-order mark
};

// The header line (UTF-8, no line end).
std::string BuildCsvHeader();

// One document's line (UTF-8, no line end), read like the single view and
// with the file's times and attributes put back. A missing file gives the
// short line; a package that can't be read gives no line at all.
std::optional<std::string> BuildCsvRow(const std::string& path);

// Joins lines with CR LF (after the last one too) and encodes them.
std::string EncodeCsv(const std::vector<std::string>& lines, CsvEncoding encoding);

// What a Shift-JIS export could not write as it is: the files with values
// or user-defined names that hold characters Shift-JIS lacks (written as
// "?"), with how many each has. UTF-8 holds them all.
struct ExportLoss {
    std::vector<std::pair<std::string, std::size_t>> files;
    std::size_t names = 0;  // user-defined names in the head line
    std::size_t values() const;
    bool any() const { return names > 0 || !files.empty(); }
};

struct ExportReport {
    bool cancelled = false;
    std::size_t rows = 0;  // document rows written (a value may hold line breaks)
    Status written;        // the CSV file could be written
    ExportLoss loss;
};

// The heads of the user-defined columns: "custom:" and the property's name.
inline constexpr std::string_view kCustomColumnPrefix = "custom:";

// Builds the header and every file's line in list order with progress and
// cancel, then writes the file in one go (atomically, beside the target).
// Nothing is written when cancelled. With withCustom, one more column per
// user-defined name that any listed file holds (names compared without
// regard to case), each file's value in its type's text.
ExportReport RunExport(const std::vector<std::string>& paths, const std::string& csvPath, CsvEncoding encoding,
                       const RunCallbacks& callbacks = {}, bool withCustom = false);

// The same bytes without writing them anywhere (for standard output).
std::string BuildCsv(const std::vector<std::string>& paths, CsvEncoding encoding, const RunCallbacks& callbacks = {},
                     bool* cancelled = nullptr, std::size_t* rowCount = nullptr, bool withCustom = false,
                     ExportLoss* loss = nullptr);

// Whether the CSV may be written at that path for those files: never over
// one of them (through any of its names), never into a folder or a device.
Status CheckExportTarget(const std::vector<std::string>& paths, const std::string& csvPath);

}  // namespace qv::engine
