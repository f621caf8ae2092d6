#include "engine/csv_import.h"
#include "engine/csv_names.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "base/text.h"
#include "engine/csv.h"
#include "engine/parallel.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "platform/platform.h"
#include "props/backend.h"
#include "props/datetime.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr int kShiftJis = 932;

std::size_t lineAt(std::string_view text, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Code points of valid UTF-8, for telling it from Shift-JIS.
std::vector<char32_t> codePoints(std::string_view s) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t v = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k)
            v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(v);
        i += n;
    }
    return out;
}

bool asciiLetter(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Bytes that are valid UTF-8 and also Shift-JIS made only of half-width
// katakana (every byte above 0x7F in A1..DF): the two readings are told by
// where the letters stand. Accented Latin letters sit beside ASCII letters
// ("Référence"); katakana stand among themselves.
bool readsAsKatakana(std::string_view bytes) {
    bool any = false;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            continue;
        if (c < 0xA1 || c > 0xDF)
            return false;
        any = true;
    }
    if (!any)
        return false;
    const std::vector<char32_t> cps = codePoints(bytes);
    std::size_t high = 0, besideLatin = 0;
    for (std::size_t i = 0; i < cps.size(); ++i) {
        if (cps[i] < 0x80)
            continue;
        ++high;
        if ((i > 0 && asciiLetter(cps[i - 1])) || (i + 1 < cps.size() && asciiLetter(cps[i + 1])))
            ++besideLatin;
    }
    return besideLatin * 2 < high;
}

}  // namespace

Result<CsvText> DecodeCsv(std::string_view bytes, CsvInputEncoding encoding) {
    const bool bom = bytes.starts_with(kBom);
    const bool utf8 = encoding == CsvInputEncoding::Utf8 ||
                      (encoding == CsvInputEncoding::Auto &&
                       (bom || (text::isValidUtf8(bytes) && !readsAsKatakana(bytes))));
    if (utf8) {
        if (bom)
            bytes.remove_prefix(kBom.size());
        if (!text::isValidUtf8(bytes)) {
            const std::string clean = text::sanitizeUtf8(bytes);
            return Error(ErrorCode::ConversionFailed, "line " + std::to_string(lineAt(clean, clean.find(kReplacement))) +
                                                          ": bytes that are no UTF-8 text");
        }
        return CsvText{std::string(bytes), false};
    }
    auto decoded = platform::decodeCodePage(kShiftJis, bytes);
    if (!decoded)
        return decoded.error();
    // Shift-JIS has no U+FFFD: where the decoder put one, the bytes were no
    // Shift-JIS text, and a guess would change the files' values.
    if (std::size_t bad = decoded->find(kReplacement); bad != std::string::npos)
        return Error(ErrorCode::ConversionFailed,
                     "line " + std::to_string(lineAt(*decoded, bad)) + ": bytes that are no Shift-JIS text");
    return CsvText{std::move(*decoded), true};
}

Result<std::string> DecodeCsvText(std::string_view bytes, CsvInputEncoding encoding) {
    auto csv = DecodeCsv(bytes, encoding);
    if (!csv)
        return csv.error();
    return std::move(csv->text);
}

Result<CsvText> ReadCsvFile(const std::string& path, CsvInputEncoding encoding) {
    auto bytes = platform::readWholeFile(path, kMaxImportCsvBytes);
    if (!bytes) {
        if (bytes.error().code == ErrorCode::TooLarge)
            return Error(ErrorCode::TooLarge, path + ": the CSV is larger than " +
                                                  std::to_string(kMaxImportCsvBytes >> 20) +
                                                  " MiB, more than an import reads; split it into several");
        return bytes.error();
    }
    auto csv = DecodeCsv(*bytes, encoding);
    if (!csv)
        return Error(csv.error().code, path + ": " + csv.error().message);
    return csv;
}

Error CsvRecordReader::fail(std::size_t line, std::size_t column, const char* what, const std::string& text) {
    m_failLine = line;
    m_failColumn = column;
    m_failure = what;
    return Error(ErrorCode::InvalidArgument,
                 "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + text);
}

Result<std::optional<CsvRecord>> CsvRecordReader::next() {
    const std::string_view s = m_s;
    std::size_t& i = m_i;
    std::size_t& line = m_line;
    if (i >= s.size())
        return std::optional<CsvRecord>();
    CsvRecord record;
    record.line = line;
    std::size_t lineStart = i;
    for (;;) {
        std::string field;
        if (i < s.size() && s[i] == '"') {
            const std::size_t openLine = line, openColumn = i - lineStart + 1;
            ++i;
            for (;;) {
                if (i >= s.size())
                    return fail(openLine, openColumn, "unclosed", "a quoted field is never closed");
                if (s[i] == '"') {
                    if (i + 1 < s.size() && s[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                // A run without quotes or line ends at once.
                std::size_t end = s.find_first_of("\"\n", i);
                if (end == std::string_view::npos)
                    end = s.size();
                if (end > i) {
                    field.append(s.substr(i, end - i));
                    i = end;
                    continue;
                }
                ++line;
                lineStart = i + 1;
                field += s[i++];
            }
            if (i < s.size() && s[i] != ',' && s[i] != '\r' && s[i] != '\n')
                return fail(line, i - lineStart + 1, "after quote", "text after a closing quote");
        } else {
            std::size_t end = s.find_first_of(",\r\n\"", i);
            if (end == std::string_view::npos)
                end = s.size();
            if (end < s.size() && s[end] == '"')
                return fail(line, end - lineStart + 1, "quote inside", "a quote inside an unquoted field");
            field.assign(s.substr(i, end - i));
            i = end;
        }
        record.fields.push_back(std::move(field));
        if (i < s.size() && s[i] == ',') {
            ++i;
            continue;
        }
        break;
    }
    // The line end: CR LF, LF, or a lone CR.
    if (i < s.size() && s[i] == '\r')
        ++i;
    if (i < s.size() && s[i] == '\n')
        ++i;
    ++line;
    return std::optional<CsvRecord>(std::move(record));
}

Result<std::vector<CsvRecord>> ParseCsvRecords(std::string_view text) {
    std::vector<CsvRecord> records;
    CsvRecordReader reader(text);
    for (;;) {
        auto r = reader.next();
        if (!r)
            return r.error();
        if (!*r)
            return records;
        records.push_back(std::move(**r));
    }
}

namespace {

// What a head names: a file column, one of the fourteen rows, a time or an
// attribute.
struct Column {
    enum class Kind { FullName, FileName, Property, File, Custom };
    Kind kind;
    int index = 0;     // the row, or the FileColumn
    std::string name;  // a user-defined property's
};

// A head as the export wrote it: a spreadsheet that kept the export's
// byte-order mark as text puts it, and the quotes after it, into the first
// head ("\uFEFF\"File full name\"").
std::string headText(std::string_view raw) {
    std::string head = text::trim(raw);
    if (head.starts_with(kBom))
        head = text::trim(head.substr(kBom.size()));
    if (head.size() >= 2 && head.front() == '"' && head.back() == '"') {
        head = head.substr(1, head.size() - 2);
        text::replaceAll(head, "\"\"", "\"");
    }
    return head;
}

std::optional<Column> columnFor(const std::string& head) {
    if (head == "File full name")
        return Column{Column::Kind::FullName, 0, {}};
    if (head == "File Name")
        return Column{Column::Kind::FileName, 0, {}};
    for (const PropertyRow& r : kCatalogue)
        if (head == r.Label || head == r.Key)
            return Column{Column::Kind::Property, r.Index, {}};
    for (std::size_t i = 0; i < kFileColumnCount; ++i)
        if (head == kFileInfoNames[i] || head == kFileColumnKeys[i])
            return Column{Column::Kind::File, static_cast<int>(i), {}};
    if (head.starts_with(kCustomColumnPrefix) && !text::trim(head.substr(kCustomColumnPrefix.size())).empty())
        return Column{Column::Kind::Custom, 0, text::trim(head.substr(kCustomColumnPrefix.size()))};
    return std::nullopt;
}

bool blankRecord(const CsvRecord& r) { return r.fields.size() == 1 && text::trim(r.fields[0]).empty(); }

bool hasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

bool hexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
int hexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// The name an escaped cell stands for, when it is CsvNameText's escape of a
// name that is no valid UTF-8.
std::optional<std::string> unescapedName(std::string_view cell) {
    if (cell.find('%') == std::string_view::npos)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '%' && i + 2 < cell.size() && hexDigit(cell[i + 1]) && hexDigit(cell[i + 2])) {
            out += static_cast<char>(hexValue(cell[i + 1]) * 16 + hexValue(cell[i + 2]));
            i += 2;
        } else {
            out += cell[i];
        }
    }
    if (text::isValidUtf8(out))
        return std::nullopt;
    return out;
}

}  // namespace

std::string CsvNameText(const std::string& name) {
    if (text::isValidUtf8(name))
        return name;
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        // The longest valid UTF-8 sequence here, else one byte escaped.
        std::size_t n = 0;
        for (std::size_t k = 4; k >= 1 && n == 0; --k)
            if (i + k <= name.size() && text::isValidUtf8(std::string_view(name).substr(i, k)))
                n = k;
        if (n == 0 || name[i] == '%') {
            const auto b = static_cast<unsigned char>(name[i]);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
            ++i;
        } else {
            out.append(name, i, n);
            i += n;
        }
    }
    return out;
}

namespace {

// Where a line's file is: the cell as written, or the name it escapes. Both
// naming files is an error, never a guess.
Result<std::string> resolveName(const std::string& path, const std::string& cell) {
    auto unescaped = unescapedName(path);
    if (!unescaped)
        return path;
    const bool literal = platform::inspectTarget(path).exists;
    const bool escaped = platform::inspectTarget(*unescaped).exists;
    if (literal && escaped)
        return Error(ErrorCode::InvalidArgument, "'" + cell + "' names two files: one with that name and one whose "
                                                 "name it writes with %XX escapes");
    return escaped ? *unescaped : path;
}

// "File Name" stays in the CSV's folder, as a folder listing does: no
// folder part, and no link that leads out.
std::optional<std::string> leavesFolder(const std::string& name, const std::string& folder, const std::string& path) {
    if (name == "." || name == ".." || name.find('/') != std::string::npos
#ifdef _WIN32
        || name.find('\\') != std::string::npos || name.find(':') != std::string::npos
#endif
    )
        return "\"File Name\" '" + name + "' is not a name in the CSV's folder";
    if (!platform::inspectTarget(path).link)
        return std::nullopt;
    auto real = platform::resolveLinks(path);
    if (!real)
        return std::nullopt;  // a link that leads nowhere: the file is missing
    auto there = platform::fileIdentity(text::directoryPart(*real).empty() ? "." : text::directoryPart(*real));
    auto here = platform::fileIdentity(folder);
    if (there && here && *there == *here)
        return std::nullopt;
    return "\"File Name\" '" + name + "' is a link that leads out of the CSV's folder";
}

// The reader's failure as an issue with its line and column.
ImportIssue syntaxIssue(const CsvRecordReader& reader, const Error& e) {
    const std::size_t colon = e.message.find(": ");
    return {reader.failedLine(), reader.failedColumn(), {},
            colon == std::string::npos ? e.message : e.message.substr(colon + 2), IssueKind::Syntax,
            reader.failure()};
}

}  // namespace

ImportTable ReadImportTable(std::string_view text, const std::string& csvFolder) {
    return ReadImportTable(CsvText{std::string(text), false}, csvFolder);
}

ImportTable ReadImportTable(const CsvText& csv, const std::string& csvFolder) {
    ImportTable table;
    table.shiftJis = csv.shiftJis;
    CsvRecordReader reader(csv.text);
    auto first = reader.next();
    if (!first) {
        table.issues.push_back(syntaxIssue(reader, first.error()));
        return table;
    }
    if (!*first || blankRecord(**first)) {
        table.issues.push_back({1, 0, {}, "the CSV has no head line", IssueKind::NoHeadLine, {}});
        return table;
    }
    const CsvRecord headLine = std::move(**first);
    std::vector<std::optional<Column>> columns;
    std::vector<std::string> heads;
    std::map<std::string, std::size_t> seenHeads;
    NameSet customNames;
    bool namesFiles = false;
    for (std::size_t c = 0; c < headLine.fields.size(); ++c) {
        const std::string head = headText(headLine.fields[c]);
        auto column = columnFor(head);
        if (!column)
            table.issues.push_back({headLine.line, c + 1, head, "unknown head", IssueKind::UnknownHead, head});
        else if (auto [it, fresh] = seenHeads.emplace(head, c + 1); !fresh)
            table.issues.push_back(
                {headLine.line, c + 1, head, "a second column of this head", IssueKind::SecondColumn, head});
        else if (column->kind == Column::Kind::Custom && customNames.add(column->name, c))
            table.issues.push_back(
                {headLine.line, c + 1, head, "a second column of this property", IssueKind::SecondColumn, head});
        namesFiles = namesFiles || (column && (column->kind == Column::Kind::FullName ||
                                               column->kind == Column::Kind::FileName));
        columns.push_back(column);
        heads.push_back(head);
    }
    if (!namesFiles)
        table.issues.push_back({headLine.line, 0, {}, "no \"File full name\" or \"File Name\" column names the files",
                                IssueKind::NoFileColumn, {}});
    if (!table.issues.empty())
        return table;

    std::map<std::string, std::size_t> rowOfPath;
    for (;;) {
        auto next = reader.next();
        if (!next) {
            table.issues.push_back(syntaxIssue(reader, next.error()));
            break;
        }
        if (!*next)
            break;
        const CsvRecord& record = **next;
        if (blankRecord(record))
            continue;
        if (record.fields.size() > columns.size()) {
            table.issues.push_back({record.line, columns.size() + 1, {}, "more fields than the head line has heads",
                                    IssueKind::TooManyFields, {}});
            continue;
        }
        ImportRow row;
        row.line = record.line;
        std::string fullName, fileName;
        const std::size_t before = table.issues.size();
        // Fewer fields than heads (the export's line for a missing file):
        // the cells that aren't there leave their items alone.
        for (std::size_t c = 0; c < record.fields.size(); ++c) {
            const Column& column = *columns[c];
            const std::string& cell = record.fields[c];
            const std::string& head = heads[c];
            auto issue = [&](const std::string& what, IssueKind kind) {
                table.issues.push_back({record.line, c + 1, head, what, kind, cell});
            };
            switch (column.kind) {
            case Column::Kind::FullName:
            case Column::Kind::FileName:
                if (hasControl(cell))
                    issue("a file's name holds a control character", IssueKind::ControlCharacter);
                (column.kind == Column::Kind::FullName ? fullName : fileName) = cell;
                break;
            case Column::Kind::Property:
                // Read against the file's value: a cell equal to it is no
                // change, whatever it holds.
                row.properties[static_cast<std::size_t>(column.index)] = cell;
                row.propertyColumns[static_cast<std::size_t>(column.index)] = c + 1;
                break;
            case Column::Kind::Custom:
                // Read against the file's own property, whose type it takes.
                row.custom.push_back({column.name, cell});
                break;
            case Column::Kind::File: {
                const std::string t = text::trim(cell);
                if (column.index < 3) {
                    if (t.empty())
                        break;
                    row.times[static_cast<std::size_t>(column.index)] = t;
                    row.timeColumns[static_cast<std::size_t>(column.index)] = c + 1;
                } else if (t == "Y" || t.empty()) {
                    row.attributes[static_cast<std::size_t>(column.index - 3)] = t == "Y";
                } else {
                    issue("'" + cell + "' is neither \"Y\" nor empty", IssueKind::NotYesOrEmpty);
                }
                break;
            }
            }
        }
        if (table.issues.size() != before)
            continue;
        std::optional<std::string> outside;
        if (!fullName.empty()) {
            row.path = platform::isAbsolutePath(fullName) ? fullName : platform::joinPath(csvFolder, fullName);
        } else if (!fileName.empty()) {
            row.path = platform::joinPath(csvFolder, fileName);
            outside = leavesFolder(fileName, csvFolder, row.path);
        }
        if (row.path.empty()) {
            table.issues.push_back({record.line, 0, {}, "the line names no file", IssueKind::NoFile, {}});
            continue;
        }
        if (outside) {
            table.skipped.push_back({record.line, 0, {}, *outside, IssueKind::OutsideFolder, fileName});
            continue;
        }
        auto resolved = resolveName(row.path, fullName.empty() ? fileName : fullName);
        if (!resolved) {
            table.issues.push_back({record.line, 0, {}, resolved.error().message, IssueKind::AmbiguousName,
                                    fullName.empty() ? fileName : fullName});
            continue;
        }
        row.path = std::move(*resolved);
        if (auto [it, fresh] = rowOfPath.emplace(row.path, record.line); !fresh) {
            table.issues.push_back({record.line, 0, {},
                                    "a second line for " + row.path + " (line " + std::to_string(it->second) + ")",
                                    IssueKind::SecondLine, row.path});
            continue;
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}


}  // namespace qv::engine
