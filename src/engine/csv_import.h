// Reading a CSV back: what the export writes, or a spreadsheet saved from
// it, as one typed row per file. The whole file is checked before anything
// is written; every error names its line, column and head.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "engine/change.h"
#include "engine/csv_cells.h"
#include "props/catalogue.h"
#include "props/datetime.h"
#include "props/metadata.h"

namespace qv::engine {

enum class CsvInputEncoding { Auto, ShiftJis, Utf8 };

// A CSV's text as UTF-8, and the encoding it was in: a Shift-JIS CSV holds
// "?" where a value has a character Shift-JIS lacks.
struct CsvText {
    std::string text;
    bool shiftJis = false;
};

// Auto takes a byte-order mark as UTF-8; else bytes that are valid UTF-8 as
// UTF-8, unless they read as Shift-JIS half-width katakana rather than as
// Latin letters with accents; anything else as Shift-JIS. Bytes that are no
// text of the encoding fail, naming the line.
Result<CsvText> DecodeCsv(std::string_view bytes, CsvInputEncoding encoding);
Result<std::string> DecodeCsvText(std::string_view bytes, CsvInputEncoding encoding);

// The largest CSV an import reads: a million files' lines fit well within.
inline constexpr std::uint64_t kMaxImportCsvBytes = std::uint64_t{256} << 20;
// Reads and decodes a CSV file; a larger one is refused with its size.
Result<CsvText> ReadCsvFile(const std::string& path, CsvInputEncoding encoding);

struct CsvRecord {
    std::size_t line = 0;  // where the record starts, from 1
    std::vector<std::string> fields;
};

// RFC 4180 records one at a time: fields quoted (a doubled quote inside) or
// not, CR LF or LF line ends, the last line with or without one. A quote
// left open, or text after a closing quote, fails with its line and column.
class CsvRecordReader {
public:
    explicit CsvRecordReader(std::string_view text) : m_s(text) {}
    // The next record; none at the end.
    Result<std::optional<CsvRecord>> next();
    // Where the last failure was, and what: "unclosed", "after quote" or
    // "quote inside".
    std::size_t failedLine() const { return m_failLine; }
    std::size_t failedColumn() const { return m_failColumn; }
    const char* failure() const { return m_failure; }

private:
    Error fail(std::size_t line, std::size_t column, const char* what, const std::string& text);

    std::string_view m_s;
    std::size_t m_i = 0, m_line = 1;
    std::size_t m_failLine = 0, m_failColumn = 0;
    const char* m_failure = "";
};
Result<std::vector<CsvRecord>> ParseCsvRecords(std::string_view text);

// The file columns beside the fourteen rows.
enum class FileColumn { CreationTime, LastWriteTime, LastAccessTime, ReadOnly, Archive, Hidden, System };
inline constexpr std::size_t kFileColumnCount = 7;
// Their keys, as the command line names them.
inline constexpr const char* kFileColumnKeys[kFileColumnCount] = {
    "creationTime", "lastWriteTime", "lastAccessTime", "readOnly", "archive", "hidden", "system"};

// What an issue is about, for the window's own words; message holds the
// English text the command line prints.
enum class IssueKind {
    Other,
    Syntax,             // a quote left open, text after a closing quote
    NoHeadLine,
    UnknownHead,
    SecondColumn,       // a head, or a user-defined name, twice
    NoFileColumn,
    TooManyFields,
    NoFile,             // the line names no file
    SecondLine,         // a second line for one file
    SameFile,           // two names of one file
    ControlCharacter,   // in a file's name
    OutsideFolder,      // "File Name" leads out of the CSV's folder
    AmbiguousName,      // a name and its escaped form name two files
    NotADate,
    NotYesOrEmpty,
    NotAValue,          // a cell that is no value of its row's or property's type
    ReadOnlyProperty,   // a linked user-defined property, or one of another type
    CannotStore,        // the file can't hold the value
    Missing,            // the file is not there
    Unreadable,         // the file can't be read, or can't be changed at all
};

struct ImportIssue {
    std::size_t line = 0;
    std::size_t column = 0;  // from 1; 0 for the whole line
    std::string head;
    std::string message;
    IssueKind kind = IssueKind::Other;
    std::string value;  // the cell or the name it is about
    ErrorCode code = ErrorCode::InvalidArgument;  // the file's, for CannotStore and Unreadable
};

// One row of the CSV: the file it names and what its cells hold. A column
// the CSV lacks, or a cell a short line lacks, leaves that item alone.
struct ImportRow {
    std::size_t line = 0;
    std::string path;
    // Each property column's cell as written: an empty cell erases, another
    // sets, where it differs from the file's value.
    std::array<std::optional<std::string>, kRowCount> properties{};
    // Each time column's cell; an empty cell leaves the time alone.
    std::array<std::optional<std::string>, 3> times{};
    // Each attribute column: "Y" sets the attribute, an empty cell clears it.
    std::array<std::optional<bool>, 4> attributes{};
    // Each "custom:NAME" column: the name and the cell as written. An
    // emptied cell removes the property.
    std::vector<std::pair<std::string, std::string>> custom;
    // The columns of the cells, for the issues (line, column, head).
    std::array<std::size_t, kRowCount> propertyColumns{};
    std::array<std::size_t, 3> timeColumns{};
};

struct ImportTable {
    std::vector<ImportRow> rows;
    std::vector<ImportIssue> issues;   // nothing may be written while any stands
    std::vector<ImportIssue> skipped;  // lines refused on their own (a name that leads out)
    bool shiftJis = false;
};

// The columns are known by their heads, in any order and any subset: the
// export's heads or the command line's keys. A row names its file by
// "File full name" (a relative one from the CSV's folder), else by
// "File Name" in csvFolder, which it may not leave.
ImportTable ReadImportTable(const CsvText& csv, const std::string& csvFolder);
ImportTable ReadImportTable(std::string_view text, const std::string& csvFolder);

// A name as the export writes it: a name that is no valid UTF-8 (some
// POSIX file systems allow that) has each such byte, and each "%", as %XX,
// so that the import finds the file again.
std::string CsvNameText(const std::string& name);

// One item a line changes, as the preview shows it.
struct ItemChange {
    std::string item;  // the CSV head: the row's label or the file column's name
    std::string key;   // the command line's key
    std::string before, after;
    // Why this difference may be a spreadsheet's doing, not an edit: such an
    // item is shown but not applied unless chosen.
    Doubt doubt = Doubt::None;
    bool applied = true;  // without a doubt, or as chosen
    FileChange part;      // this item alone
};

// What the preview read of a file: the run changes the file only while it
// is still so.
struct SeenFile {
    std::uint64_t size = 0;
    FileTime lastWrite = 0;
    DocumentMetadata metadata;
};

// A file whose line changes something.
struct FileImport {
    std::size_t line = 0;
    std::string path;
    std::vector<ItemChange> changes;
    FileChange change;  // the items applied: those without a doubt, or as chosen
    std::vector<ImportIssue> errors;
    SeenFile seen;
};

struct ImportPlan {
    std::vector<FileImport> files;
    std::size_t unchanged = 0;          // lines that ask for nothing new
    std::vector<ImportIssue> skipped;   // lines whose file is missing or unreadable, with why
    // Cells whose change can't be made (a revision that is no whole number,
    // a value the file can't hold): nothing may be written while any stands.
    std::vector<ImportIssue> errors;
    std::size_t itemCount() const;      // the items applied
    std::size_t doubtCount() const;     // the items shown but not applied
};

// Compares each line with its file as it is now (read like the single view,
// times and attributes put back): a cell equal to what the export writes
// for the current value, or what a spreadsheet makes of that, changes
// nothing. Each change is then tried on its file short of writing, so that
// every value the file can't hold is found here. Lines whose file is
// missing, or can't be read or changed at all, are skipped with the reason.
ImportPlan PlanImport(const ImportTable& table);

// The plan with each file's items chosen (one flag per item, in order;
// missing flags keep the default); files left with nothing are dropped.
ImportPlan ChooseItems(const ImportPlan& plan, const std::vector<std::vector<bool>>& chosen);

// Changes the planned files in order, with a backup of each first when
// asked, as the batch run does. A file that is no longer what the preview
// read fails with ErrorCode::ChangedSincePreview and is left alone.
BatchReport RunImport(const ImportPlan& plan, bool backup, bool allowUnsigning, const RunCallbacks& callbacks = {},
                      const BackupPolicy& policy = {});

// An issue as one line of text: "line 3, column 5 (作成日時): ...".
std::string DescribeIssue(const ImportIssue& issue);

}  // namespace qv::engine
