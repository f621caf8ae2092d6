#include "engine/csv.h"

#include "base/text.h"
#include "engine/csv_import.h"
#include "engine/csv_names.h"
#include "engine/parallel.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "platform/platform.h"
#include "props/catalogue.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

// A field between double quotes; a quote inside is doubled, so commas,
// quotes and line breaks in a value keep the row together.
std::string field(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (std::size_t q; (q = value.find('"')) != std::string_view::npos; value.remove_prefix(q + 1)) {
        out.append(value.substr(0, q + 1));
        out += '"';
    }
    out.append(value);
    out += '"';
    return out;
}

std::string dateField(FileTime t) { return FormatDateTimeText(FileTimeToLocal(t)); }

}  // namespace

std::size_t ExportLoss::values() const {
    std::size_t n = 0;
    for (const auto& f : files)
        n += f.second;
    return n;
}

std::string BuildCsvHeader() {
    std::string line = field("File full name") + "," + field("File Name") + ",";
    for (const PropertyRow& r : kCatalogue)
        line += field(r.Label) + ",";
    for (std::size_t i = 0; i < kFileInfoNames.size(); ++i) {
        line += field(kFileInfoNames[i]);
        if (i + 1 < kFileInfoNames.size())
            line += ",";
    }
    return line;
}

namespace {

constexpr int kShiftJis = 932;

// A file's line and the user-defined properties read with it.
struct RowRead {
    std::string path;
    std::string line;
    std::vector<CustomProperty> custom;
    bool full = false;    // not the short line of a missing file
    std::size_t lost = 0;  // values Shift-JIS can't hold, when asked
};

// Counts a value Shift-JIS lacks a character of.
void countLoss(std::string_view value, std::size_t* lost) {
    if (lost && !isAscii(value) && !platform::canEncode(kShiftJis, value))
        ++*lost;
}

std::optional<RowRead> readRow(const std::string& path, bool withLoss) {
    RowRead out;
    out.path = path;
    std::string& line = out.line;
    std::size_t* lost = withLoss ? &out.lost : nullptr;
    const std::string name = CsvNameText(path), fileName = CsvNameText(text::fileNamePart(path));
    countLoss(name, lost);
    line = field(name) + "," + field(fileName) + ",";
    auto stamp = ReadFileStamp(path);
    if (!stamp)
        return out;
    const std::uint64_t movingOpens = platform::readOpensMovingAccessTime();
    MetadataRead read = ReadDocumentMetadata(path);
    const Result<DocumentMetadata>& rows = read.metadata;
    // The export never depends on the put-back's result, so a file that the
    // read left exactly as it was found (reading moves no time where the
    // system allows) is not opened once more to be given what it has.
    // Reading can move only the last-access time, and only through an open
    // that could not keep it; then those two times tell.
    auto putBack = [&] {
        if (platform::readOpensMovingAccessTime() == movingOpens)
            return;
        (void)PutBackAfterRead(path, *stamp);
    };
    if (!rows && !read.showsEmptyValuesWhenUnreadable) {
        // No line for a package that can't be read; the file still gets its
        // times and attributes back, as every read does.
        putBack();
        return std::nullopt;
    }
    for (int i = 0; i < kRowCount; ++i) {
        const std::string value = rows ? DisplayText((*rows)[i]) : std::string();
        countLoss(value, lost);
        line += field(value) + ",";
    }
    line += field(dateField(stamp->Creation.ticks)) + ",";
    line += field(dateField(stamp->LastWrite.ticks)) + ",";
    LocalDateTime access = FileTimeToLocal(stamp->LastAccess.ticks);
    line += field(access > 1602.0 ? FormatDateTimeText(access) : std::string()) + ",";
    auto flag = [&](std::uint32_t bit) { return field((stamp->Attributes & bit) ? "Y" : ""); };
    line += flag(kAttrReadOnly) + "," + flag(kAttrArchive) + "," + flag(kAttrHidden) + "," + flag(kAttrSystem);
    putBack();
    out.full = true;
    if (read.metadata)
        out.custom = std::move(read.metadata->custom);
    return out;
}

// The user-defined names of every file, each once (without regard to case,
// in its first spelling), in the order they are first met; the set finds a
// name's column.
std::vector<std::string> customNames(const std::vector<RowRead>& rows, NameSet& columns) {
    std::vector<std::string> names;
    for (const RowRead& r : rows)
        for (const CustomProperty& p : r.custom)
            if (!columns.add(p.name, names.size()))
                names.push_back(p.name);
    return names;
}

std::string customFields(const RowRead& r, std::size_t columnCount, const NameSet& columns, std::size_t* lost) {
    std::vector<std::string> values(columnCount);
    for (auto p = r.custom.rbegin(); p != r.custom.rend(); ++p)  // the first of a name wins
        if (auto c = columns.find(p->name))
            values[*c] = CustomValueText(p->value);
    std::string out;
    for (const std::string& value : values) {
        countLoss(value, lost);
        out += ',';
        out += field(value);
    }
    return out;
}

}  // namespace

std::optional<std::string> BuildCsvRow(const std::string& path) {
    auto row = readRow(path, false);
    if (!row)
        return std::nullopt;
    return std::move(row->line);
}

std::string EncodeCsv(const std::vector<std::string>& lines, CsvEncoding encoding) {
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += "\r\n";
    }
    if (encoding == CsvEncoding::Utf8)
        return "\xEF\xBB\xBF" + text::sanitizeUtf8(text);
    auto sjis = platform::encodeCodePage(932, text, true);
    return sjis ? std::move(*sjis) : std::string();
}

std::string BuildCsv(const std::vector<std::string>& paths, CsvEncoding encoding, const RunCallbacks& callbacks,
                     bool* cancelled, std::size_t* rowCount, bool withCustom, ExportLoss* loss) {
    const bool countsLoss = loss && encoding == CsvEncoding::ShiftJis;
    if (cancelled)
        *cancelled = false;
    // Each line is encoded where it was read, as EncodeCsv would encode it
    // within the whole text: both encodings keep ASCII as it is and carry no
    // state, and every line ends in ASCII, so the lines encoded one by one
    // join into the same bytes.
    auto encodedLine = [encoding](std::string line) -> std::optional<std::string> {
        line += "\r\n";
        if (encoding == CsvEncoding::Utf8)
            return text::sanitizeUtf8(line);
        auto sjis = platform::encodeCodePage(932, line, true);
        if (!sjis)
            return std::nullopt;
        return std::move(*sjis);
    };
    struct Line {
        bool row = false;                  // the file has a line
        std::optional<std::string> bytes;  // none when it can't be encoded
        RowRead read;                      // kept, with the user-defined columns, until all are read
    };
    std::optional<std::string> header = withCustom ? std::string() : encodedLine(BuildCsvHeader());
    bool encodable = header.has_value();
    std::string out = encoding == CsvEncoding::Utf8 ? "\xEF\xBB\xBF" : "";
    if (header)
        out += *header;
    // The user-defined columns are known only when every file is read.
    std::vector<RowRead> kept;
    // The files are read on every core; progress, cancel and the lines
    // still come in list order on this thread.
    const bool finished = ForEachOrdered(
        paths.size(),
        [&](std::size_t i) {
            Line l;
            if (auto row = readRow(paths[i], countsLoss)) {
                l.row = true;
                if (withCustom) {
                    l.read = std::move(*row);
                } else {
                    l.read.lost = row->lost;
                    l.bytes = encodedLine(std::move(row->line));
                }
            }
            return l;
        },
        [&](std::size_t i) {
            if (callbacks.cancelRequested && callbacks.cancelRequested())
                return false;
            if (callbacks.fileStarted)
                callbacks.fileStarted(i, paths[i]);
            return true;
        },
        [&](std::size_t i, Line l) {
            if (l.row && !withCustom && l.read.lost > 0)
                loss->files.emplace_back(paths[i], l.read.lost);
            if (l.row && withCustom)
                kept.push_back(std::move(l.read));
            if (l.row && l.bytes)
                out += *l.bytes;
            encodable = encodable && (withCustom || !l.row || l.bytes);
            if (l.row && rowCount)
                ++*rowCount;
            if (callbacks.fileFinished)
                callbacks.fileFinished(i, FileResult{paths[i], FileState::Unchanged, false, {}, {}, {}},
                                       ProgressPercent(i + 1, paths.size()));
        },
        ParallelOptions{0, LaterNamesOfEarlierFiles(paths)});
    if (!finished) {
        if (cancelled)
            *cancelled = true;
        return {};
    }
    if (withCustom) {
        NameSet columns;
        const std::vector<std::string> names = customNames(kept, columns);
        std::string head = BuildCsvHeader();
        for (const std::string& n : names) {
            head += ',';
            head += field(std::string(kCustomColumnPrefix) + n);
            if (countsLoss && !platform::canEncode(kShiftJis, n))
                ++loss->names;
        }
        auto line = encodedLine(std::move(head));
        encodable = line.has_value();
        if (line)
            out += *line;
        for (RowRead& r : kept) {
            line = encodedLine(r.full ? r.line + customFields(r, names.size(), columns, countsLoss ? &r.lost : nullptr) : r.line);
            if (r.lost > 0)
                loss->files.emplace_back(r.path, r.lost);
            encodable = encodable && line.has_value();
            if (line)
                out += *line;
        }
    }
    // As EncodeCsv: nothing when the code page can't be written at all.
    if (!encodable)
        return {};
    return out;
}

Status CheckExportTarget(const std::vector<std::string>& paths, const std::string& csvPath) {
    platform::TargetKind kind = platform::inspectTarget(csvPath);
    if (!kind.exists)
        return {};
    // A link is replaced by the new file, never written through; a folder,
    // a device or a pipe is no place for it.
    if (!kind.plainFile && !kind.link)
        return Error(ErrorCode::NotAPlainFile, csvPath + " is not a plain file; the CSV is not written there");
    auto target = platform::fileIdentity(csvPath);
    if (!target)
        return {};  // a link that leads nowhere
    for (const std::string& p : paths) {
        auto id = platform::fileIdentity(p);
        if (id && *id == *target)
            return Error(ErrorCode::InvalidArgument,
                         csvPath + " is one of the files to export; the CSV would take its place");
    }
    return {};
}

ExportReport RunExport(const std::vector<std::string>& pathsIn, const std::string& csvPath, CsvEncoding encoding,
                       const RunCallbacks& callbacks, bool withCustom) {
    ExportReport report;
    // Checked before any file is read: nothing to undo when it fails.
    report.written = CheckExportTarget(pathsIn, csvPath);
    if (!report.written)
        return report;
    // One line per file, however many names lead to it.
    const std::vector<std::string> paths = UniqueFiles(pathsIn);
    bool cancelled = false;
    std::string bytes = BuildCsv(paths, encoding, callbacks, &cancelled, &report.rows, withCustom, &report.loss);
    if (cancelled) {
        report.cancelled = true;
        report.rows = 0;
        report.written = Error(ErrorCode::Cancelled, "the export was cancelled");
        return report;
    }
    // An old CSV that another program holds open is not replaced behind its
    // back. Only a plain file is asked: a link's target is none of ours.
    platform::TargetKind kind = platform::inspectTarget(csvPath);
    if (kind.plainFile) {
        auto held = platform::File::open(csvPath, platform::OpenMode::ReadExclusive);
        if (!held && held.error().code == ErrorCode::InUse) {
            report.written = held.error();
            return report;
        }
    }
    report.written = platform::writeFileAtomically(csvPath, bytes);
    return report;
}

}  // namespace qv::engine
