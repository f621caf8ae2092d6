#include "engine/csv_import.h"

#include <cmath>
#include <map>

#include "base/text.h"
#include "engine/csv.h"
#include "engine/parallel.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "platform/platform.h"
#include "props/datetime.h"

namespace qv::engine {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr int kShiftJis = 932;

Error csvError(std::size_t line, std::size_t column, const std::string& what) {
    return Error(ErrorCode::InvalidArgument,
                 "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what);
}

// What a head names: a file column, one of the fourteen rows, a time or an
// attribute.
struct Column {
    enum class Kind { FullName, FileName, Property, File, Custom };
    Kind kind;
    int index = 0;     // the row, or the FileColumn
    std::string name;  // a user-defined property's
};

constexpr const char* kFileColumnKeys[kFileColumnCount] = {"creationTime", "lastWriteTime", "lastAccessTime",
                                                           "readOnly",     "archive",       "hidden",
                                                           "system"};

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

}  // namespace

Result<std::string> DecodeCsvText(std::string_view bytes, CsvInputEncoding encoding) {
    const bool bom = bytes.starts_with(kBom);
    if (encoding == CsvInputEncoding::Utf8 || (encoding == CsvInputEncoding::Auto && (bom || text::isValidUtf8(bytes)))) {
        if (bom)
            bytes.remove_prefix(kBom.size());
        if (!text::isValidUtf8(bytes))
            return Error(ErrorCode::ConversionFailed, "the CSV is not valid UTF-8");
        return std::string(bytes);
    }
    return platform::decodeCodePage(kShiftJis, bytes);
}

Result<std::vector<CsvRecord>> ParseCsvRecords(std::string_view s) {
    std::vector<CsvRecord> records;
    std::size_t i = 0, line = 1;
    while (i < s.size()) {
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
                        return csvError(openLine, openColumn, "a quoted field is never closed");
                    if (s[i] == '"') {
                        if (i + 1 < s.size() && s[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (s[i] == '\n') {
                        ++line;
                        lineStart = i + 1;
                    }
                    field += s[i++];
                }
                if (i < s.size() && s[i] != ',' && s[i] != '\r' && s[i] != '\n')
                    return csvError(line, i - lineStart + 1, "text after a closing quote");
            } else {
                while (i < s.size() && s[i] != ',' && s[i] != '\r' && s[i] != '\n') {
                    if (s[i] == '"')
                        return csvError(line, i - lineStart + 1, "a quote inside an unquoted field");
                    field += s[i++];
                }
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
        records.push_back(std::move(record));
    }
    return records;
}

ImportTable ReadImportTable(std::string_view text, const std::string& csvFolder) {
    ImportTable table;
    auto records = ParseCsvRecords(text);
    if (!records) {
        table.issues.push_back({0, 0, {}, records.error().message});
        return table;
    }
    if (records->empty() || blankRecord(records->front())) {
        table.issues.push_back({1, 0, {}, "the CSV has no head line"});
        return table;
    }
    const CsvRecord& headLine = records->front();
    std::vector<std::optional<Column>> columns;
    std::map<std::string, std::size_t> seenHeads;
    bool namesFiles = false;
    for (std::size_t c = 0; c < headLine.fields.size(); ++c) {
        const std::string head = text::trim(headLine.fields[c]);
        auto column = columnFor(head);
        if (!column)
            table.issues.push_back({headLine.line, c + 1, head, "unknown head"});
        else if (auto [it, fresh] = seenHeads.emplace(head, c + 1); !fresh)
            table.issues.push_back({headLine.line, c + 1, head, "a second column of this head"});
        else if (column->kind == Column::Kind::Custom)
            for (std::size_t e = 0; e < c; ++e)
                if (columns[e] && columns[e]->kind == Column::Kind::Custom &&
                    platform::sameIgnoringCase(columns[e]->name, column->name))
                    table.issues.push_back({headLine.line, c + 1, head, "a second column of this property"});
        namesFiles = namesFiles || (column && (column->kind == Column::Kind::FullName ||
                                               column->kind == Column::Kind::FileName));
        columns.push_back(column);
    }
    if (!namesFiles)
        table.issues.push_back({headLine.line, 0, {}, "no \"File full name\" or \"File Name\" column names the files"});
    if (!table.issues.empty())
        return table;

    std::map<std::string, std::size_t> rowOfPath;
    for (std::size_t r = 1; r < records->size(); ++r) {
        const CsvRecord& record = (*records)[r];
        if (blankRecord(record))
            continue;
        if (record.fields.size() > columns.size()) {
            table.issues.push_back({record.line, columns.size() + 1, {}, "more fields than the head line has heads"});
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
            const std::string head = text::trim(headLine.fields[c]);
            auto issue = [&](const std::string& what) { table.issues.push_back({record.line, c + 1, head, what}); };
            switch (column.kind) {
            case Column::Kind::FullName:
                fullName = cell;
                break;
            case Column::Kind::FileName:
                fileName = cell;
                break;
            case Column::Kind::Property: {
                // A revision that is no whole number passes here: a file may
                // hold one, and its unedited cell must read back. Only a
                // change to such a text is refused, when the files are read.
                auto edit = EditFromText(column.index, cell);
                if (!edit)
                    issue(edit.error().message);
                else
                    row.properties[static_cast<std::size_t>(column.index)] = std::move(*edit);
                break;
            }
            case Column::Kind::Custom:
                // Read against the file's own property, whose type it takes.
                row.custom.push_back({column.name, cell});
                break;
            case Column::Kind::File: {
                const std::string t = text::trim(cell);
                if (column.index < 3) {
                    if (t.empty())
                        break;
                    if (auto local = ParseDateTimeText(t))
                        row.times[static_cast<std::size_t>(column.index)] = *local;
                    else if (auto utc = ParseIso8601(t))
                        row.times[static_cast<std::size_t>(column.index)] = FileTimeToLocal(*utc);
                    else
                        issue("'" + cell + "' is not a date and time");
                } else if (t == "Y" || t.empty()) {
                    row.attributes[static_cast<std::size_t>(column.index - 3)] = t == "Y";
                } else {
                    issue("'" + cell + "' is neither \"Y\" nor empty");
                }
                break;
            }
            }
        }
        if (!fullName.empty())
            row.path = fullName;
        else if (!fileName.empty())
            row.path = platform::joinPath(csvFolder, fileName);
        if (row.path.empty()) {
            table.issues.push_back({record.line, 0, {}, "the line names no file"});
            continue;
        }
        if (auto [it, fresh] = rowOfPath.emplace(row.path, record.line); !fresh) {
            table.issues.push_back(
                {record.line, 0, {}, "a second line for " + row.path + " (line " + std::to_string(it->second) + ")"});
            continue;
        }
        if (table.issues.size() == before)
            table.rows.push_back(std::move(row));
    }
    return table;
}

namespace {

std::string timeText(LocalDateTime t) { return FormatDateTimeText(t); }
// Times compare as the export writes them: to the second.
bool sameSecond(LocalDateTime a, LocalDateTime b) { return timeText(a) == timeText(b); }

// For each user-defined name, the first file's editable property of that
// name: a new property of that name takes its type.
using TypeHints = std::vector<CustomProperty>;

const CustomProperty* findCustom(const std::vector<CustomProperty>& list, const std::string& name) {
    auto i = FindCustom(list, name);
    return i ? &list[*i] : nullptr;
}

// A user-defined cell against the file's property: an emptied cell removes
// it, another text sets it in its own type (a new one in the type the name
// has elsewhere, else as text).
void compareCustom(const ImportRow& row, const FileView& view, const TypeHints& hints, FileImport& f) {
    for (const auto& [name, cell] : row.custom) {
        const CustomProperty* had = findCustom(view.metadata.custom, name);
        const std::string before = had ? CustomValueText(had->value) : std::string();
        const std::string head = std::string(kCustomColumnPrefix) + name;
        if (cell == before)
            continue;
        if (cell.empty()) {
            f.change.edits.custom.push_back(CustomEdit::remove(had->name));
            f.changes.push_back({head, head, before, {}});
            continue;
        }
        if (had && !had->editable()) {
            f.errors.push_back({row.line, 0, head, "the property is linked or of a type this tool doesn't change"});
            continue;
        }
        const CustomProperty* like = had ? had : findCustom(hints, name);
        CustomType type = like ? *CustomTypeOf(like->value) : CustomType::Text;
        auto value = ParseCustomValue(type, cell);
        if (!value) {
            f.errors.push_back({row.line, 0, head, value.error().message});
            continue;
        }
        f.change.edits.custom.push_back(CustomEdit::set(had ? had->name : name, std::move(*value)));
        f.changes.push_back({head, head, before, CustomValueText(f.change.edits.custom.back().value)});
    }
}

// What a line asks of its file, against what the file holds.
FileImport compare(const ImportRow& row, const FileView& view, const TypeHints& hints) {
    FileImport f;
    f.line = row.line;
    f.path = row.path;
    compareCustom(row, view, hints, f);
    for (const PropertyRow& r : kCatalogue) {
        const auto& edit = row.properties[static_cast<std::size_t>(r.Index)];
        if (!edit)
            continue;
        const std::string before = DisplayText(view.metadata[static_cast<std::size_t>(r.Index)]);
        const std::string after =
            edit->action == PropertyEdit::Action::Set ? DisplayText(StoredProperty{true, edit->value}) : std::string();
        if (before == after)
            continue;
        if (r.Index == kRowRevision && edit->action == PropertyEdit::Action::Set &&
            !std::holds_alternative<std::int64_t>(edit->value)) {
            f.errors.push_back({row.line, 0, r.Label, "the revision '" + after + "' is not a whole number"});
            continue;
        }
        f.change.edits[r.Index] = *edit;
        f.changes.push_back({r.Label, r.Key, before, after});
    }
    const LocalDateTime had[3] = {view.creation, view.lastWrite, view.lastAccess};
    std::optional<LocalDateTime>* wanted[3] = {&f.change.creation, &f.change.lastWrite, &f.change.lastAccess};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!row.times[i] || (sameSecond(*row.times[i], had[i]) && (i != 2 || view.lastAccessShown)))
            continue;
        *wanted[i] = *row.times[i];
        f.changes.push_back({kFileInfoNames[i], kFileColumnKeys[i],
                             i == 2 && !view.lastAccessShown ? std::string() : timeText(had[i]), timeText(*row.times[i])});
    }
    constexpr std::uint32_t kBits[4] = {kAttrReadOnly, kAttrArchive, kAttrHidden, kAttrSystem};
    AttributeChoice AttributeChoices::*choices[4] = {&AttributeChoices::readOnly, &AttributeChoices::archive,
                                                    &AttributeChoices::hidden, &AttributeChoices::system};
    const std::uint32_t attributes = view.stamp ? view.stamp->Attributes : 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!row.attributes[i] || ((attributes & kBits[i]) != 0) == *row.attributes[i])
            continue;
        f.change.attributes.*choices[i] = *row.attributes[i] ? AttributeChoice::Checked : AttributeChoice::Unchecked;
        f.changes.push_back({kFileInfoNames[3 + i], kFileColumnKeys[3 + i], *row.attributes[i] ? "" : "Y",
                             *row.attributes[i] ? "Y" : ""});
    }
    return f;
}

}  // namespace

std::size_t ImportPlan::itemCount() const {
    std::size_t n = 0;
    for (const FileImport& f : files)
        n += f.changes.size();
    return n;
}

ImportPlan PlanImport(const ImportTable& table) {
    ImportPlan plan;
    // Two lines for one file under two names (a link, another hard link)
    // would let the second line's changes pass for done.
    std::vector<std::string> paths;
    for (const ImportRow& row : table.rows)
        paths.push_back(row.path);
    const std::vector<std::size_t> first = FirstOfEachFile(paths);
    for (std::size_t i = 0; i < first.size(); ++i)
        if (first[i] != i)
            plan.errors.push_back({table.rows[i].line, 0, {},
                                   table.rows[i].path + " is the same file as " + table.rows[first[i]].path +
                                       " (line " + std::to_string(table.rows[first[i]].line) + ")"});
    if (!plan.errors.empty())
        return plan;
    // Read on every core, then compared in the CSV's order: a new
    // user-defined property's type comes from the files that hold it.
    std::vector<FileView> views(table.rows.size());
    ForEachOrdered(
        table.rows.size(), [&](std::size_t i) { return LoadSingleFileView(table.rows[i].path); },
        [](std::size_t) { return true; }, [&](std::size_t i, FileView view) { views[i] = std::move(view); });
    TypeHints hints;
    for (const FileView& v : views)
        for (const CustomProperty& p : v.metadata.custom)
            if (p.editable() && !FindCustom(hints, p.name))
                hints.push_back(p);
    for (std::size_t i = 0; i < views.size(); ++i) {
        const FileView& view = views[i];
        const ImportRow& row = table.rows[i];
        if (!view.found) {
            plan.skipped.push_back({row.line, 0, {}, row.path + ": the file is not there"});
        } else if (!view.ok || !view.stamp) {
            plan.skipped.push_back({row.line, 0, {}, row.path + ": " + view.error.message});
        } else if (FileImport f = compare(row, view, hints); !f.errors.empty()) {
            plan.errors.insert(plan.errors.end(), f.errors.begin(), f.errors.end());
        } else if (f.changes.empty()) {
            ++plan.unchanged;
        } else {
            plan.files.push_back(std::move(f));
        }
    }
    return plan;
}

BatchReport RunImport(const ImportPlan& plan, bool backup, bool allowUnsigning, const RunCallbacks& callbacks) {
    std::vector<std::string> paths;
    for (const FileImport& f : plan.files)
        paths.push_back(f.path);
    return RunEachFile(
        paths, backup,
        [&](std::size_t i) {
            FileChange change = plan.files[i].change;
            change.edits.allowUnsigning = allowUnsigning;
            return ApplyFileChange(paths[i], change);
        },
        callbacks);
}

std::string DescribeIssue(const ImportIssue& issue) {
    std::string where;
    if (issue.line > 0)
        where = "line " + std::to_string(issue.line);
    if (issue.column > 0)
        where += ", column " + std::to_string(issue.column);
    if (!issue.head.empty())
        where += " (" + issue.head + ")";
    return where.empty() ? issue.message : where + ": " + issue.message;
}

}  // namespace qv::engine
