// Reading a CSV back: what the export writes, or a spreadsheet saved from
// it, as one typed row per file. The whole file is checked before anything
// is written; every error names its line, column and head.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/change.h"
#include "props/catalogue.h"
#include "props/datetime.h"
#include "props/metadata.h"

namespace qv::engine {

enum class CsvInputEncoding { Auto, ShiftJis, Utf8 };

// The text of a CSV file as UTF-8. Auto takes a byte-order mark, else bytes
// that are valid UTF-8, as UTF-8, and anything else as Shift-JIS.
Result<std::string> DecodeCsvText(std::string_view bytes, CsvInputEncoding encoding);

struct CsvRecord {
    std::size_t line = 0;  // where the record starts, from 1
    std::vector<std::string> fields;
};

// RFC 4180 records: fields quoted (a doubled quote inside) or not, CR LF or
// LF line ends, the last line with or without one. A quote left open, or
// text after a closing quote, fails with its line and column.
Result<std::vector<CsvRecord>> ParseCsvRecords(std::string_view text);

// The file columns beside the fourteen rows.
enum class FileColumn { CreationTime, LastWriteTime, LastAccessTime, ReadOnly, Archive, Hidden, System };
inline constexpr std::size_t kFileColumnCount = 7;

// One row of the CSV: the file it names and what its cells ask for. A
// column the CSV lacks leaves that item alone.
struct ImportRow {
    std::size_t line = 0;
    std::string path;
    // Each property column: an empty cell erases, any other sets.
    std::array<std::optional<PropertyEdit>, kRowCount> properties{};
    // Each time column with a value: the local date-time it names (an empty
    // cell leaves the time alone).
    std::array<std::optional<LocalDateTime>, 3> times{};
    // Each attribute column: "Y" sets the attribute, an empty cell clears it.
    std::array<std::optional<bool>, 4> attributes{};
    // Each "custom:NAME" column: the name and the cell as written. An
    // emptied cell removes the property.
    std::vector<std::pair<std::string, std::string>> custom;
};

struct ImportIssue {
    std::size_t line = 0;
    std::size_t column = 0;  // from 1; 0 for the whole line
    std::string head;
    std::string message;
};

struct ImportTable {
    std::vector<ImportRow> rows;
    std::vector<ImportIssue> issues;  // nothing may be written while any stands
};

// The columns are known by their heads, in any order and any subset: the
// export's heads or the command line's keys. A row names its file by
// "File full name", else by "File Name" relative to csvFolder.
ImportTable ReadImportTable(std::string_view text, const std::string& csvFolder);

// One item a line changes, as the preview shows it.
struct ItemChange {
    std::string item;  // the CSV head: the row's label or the file column's name
    std::string key;   // the command line's key
    std::string before, after;
};

// A file whose line changes something.
struct FileImport {
    std::size_t line = 0;
    std::string path;
    std::vector<ItemChange> changes;
    FileChange change;  // only what differs from the file as it is
    std::vector<ImportIssue> errors;
};

struct ImportPlan {
    std::vector<FileImport> files;
    std::size_t unchanged = 0;          // lines that ask for nothing new
    std::vector<ImportIssue> skipped;   // lines whose file is missing or unreadable, with why
    // Cells whose change can't be made (a revision that is no whole
    // number): nothing may be written while any stands.
    std::vector<ImportIssue> errors;
    std::size_t itemCount() const;
};

// Compares each line with its file as it is now (read like the single view,
// times and attributes put back): a cell equal to the current value
// (dates to the second) changes nothing. Lines whose file is missing, or
// can't be read, are skipped with the reason.
ImportPlan PlanImport(const ImportTable& table);

// Changes the planned files in order, with a backup of each first when
// asked, as the batch run does.
BatchReport RunImport(const ImportPlan& plan, bool backup, bool allowUnsigning, const RunCallbacks& callbacks = {});

// An issue as one line of text: "line 3, column 5 (作成日時): ...".
std::string DescribeIssue(const ImportIssue& issue);

}  // namespace qv::engine
