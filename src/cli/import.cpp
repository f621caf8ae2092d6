// quorvix-cli import: a CSV the export wrote, edited in a spreadsheet,
// applied back to each file it names, after printing every change.
#include "base/text.h"
#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/json.h"
#include "engine/csv_import.h"
#include "platform/platform.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli import [--dry-run] [--backup] [--backup-dir DIR] [--generations N]\n"
           "                          [--encoding auto|shift_jis|utf-8]\n"
           "                          [--allow-unsigning] [--json] CSV\n"
           "\n"
           "Applies a CSV (as export writes it, edited in a spreadsheet) back to the files\n"
           "it names: each line is the file as you want it. Columns are known by their\n"
           "heads, in any order and any subset: export's heads or the keys of set (title\n"
           "... lastPrinted, creationTime, lastWriteTime, lastAccessTime, readOnly,\n"
           "archive, hidden, system). A line names its file by \"File full name\" (a\n"
           "relative one from the CSV's folder), or by \"File Name\" in the CSV's folder,\n"
           "which it may not leave. An empty property cell erases the property, an empty\n"
           "time cell leaves the time alone, an attribute cell is \"Y\" (set) or empty\n"
           "(clear).\n"
           "\n"
           "A cell changes nothing when it holds what export writes for the file's value,\n"
           "or what a spreadsheet makes of that when it saves the CSV unedited: \"?\" for\n"
           "a character Shift-JIS lacks, a number written another way (7 for 007), a\n"
           "formula's result, a date without its seconds or its time, LF line ends.\n"
           "A difference a spreadsheet may have made (a rounded number, a formula's text\n"
           "that became a value, a date written another way) is printed with\n"
           "\"(not changed: ...)\" and left alone.\n"
           "\n"
           "The whole CSV is checked first, each change also tried on its file short of\n"
           "writing: with any error nothing is written. Then every change is printed\n"
           "(FILE: ITEM: BEFORE -> AFTER) and, unless --dry-run, made, with one line per\n"
           "file as set prints it. A file another program saved after the CSV was read\n"
           "is left alone (\"changed since the preview\"). A CSV over 256 MiB is refused.\n"
           "\n"
           "  --dry-run           print the changes only\n"
           "  --backup            back each file up before changing it, as set --backup\n"
           "                      does (FILE.bak, then FILE.2.bak, ...), with a journal\n"
           "  --backup-dir DIR    keep the backups and the journal in DIR (as set)\n"
           "  --generations N     backups a file keeps (default 5, at least 2)\n"
           "  --encoding ENC      auto (default: a byte-order mark or valid UTF-8 is\n"
           "                      UTF-8, anything else Shift-JIS), shift_jis or utf-8\n"
           "  --allow-unsigning   also change packages whose digital signature covers\n"
           "                      their properties\n"
           "  --json              an object: changes (path, line, items with item, key,\n"
           "                      before, after, applied, doubt), skipped (line,\n"
           "                      reason), results (path, ok, error, errorCode)\n"
           "\n"
           "Exit status: 0 when every file to change was changed, 1 otherwise, 2 for a\n"
           "wrong command line or a CSV with errors (nothing written).\n";
}

}  // namespace

int runImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool dryRun = false, backup = false, allowUnsigning = false, json = false;
    engine::BackupPolicy policy;
    engine::CsvInputEncoding encoding = engine::CsvInputEncoding::Auto;
    std::vector<std::string> csvs;
    auto usage = [&](const std::string& msg) {
        err << "quorvix-cli import: " << msg << "\n";
        return kExitUsage;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            csvs.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        } else if (a == "--dry-run") {
            dryRun = true;
        } else if (auto fault = takeBackupOption(a, next, backup, policy)) {
            if (!fault->empty())
                return usage(*fault);
        } else if (a == "--allow-unsigning") {
            allowUnsigning = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--encoding") {
            if (i + 1 >= args.size())
                return usage("--encoding needs a value");
            const std::string& v = args[++i];
            if (v == "auto")
                encoding = engine::CsvInputEncoding::Auto;
            else if (v == "shift_jis")
                encoding = engine::CsvInputEncoding::ShiftJis;
            else if (v == "utf-8")
                encoding = engine::CsvInputEncoding::Utf8;
            else
                return usage("--encoding takes auto, shift_jis or utf-8");
        } else {
            return usage("unknown option '" + a + "'");
        }
    }
    if (csvs.size() != 1)
        return usage(csvs.empty() ? "no CSV given" : "one CSV at a time");
    const std::string& csvPath = csvs[0];

    auto csv = engine::ReadCsvFile(csvPath, encoding);
    if (!csv)
        return usage(csv.error().message);
    // A file named without a folder lies beside the CSV.
    const std::string csvFolder = text::directoryPart(csvPath);
    const std::string folder = csvFolder.empty() ? std::string(".") : csvFolder;
    const engine::ImportTable table = engine::ReadImportTable(*csv, folder);
    if (!table.issues.empty()) {
        for (const engine::ImportIssue& issue : table.issues)
            err << "quorvix-cli import: " << csvPath << ": " << engine::DescribeIssue(issue) << "\n";
        err << "quorvix-cli import: nothing was changed\n";
        return kExitUsage;
    }
    const engine::ImportPlan plan = engine::PlanImport(table);
    if (!plan.errors.empty()) {
        for (const engine::ImportIssue& issue : plan.errors)
            err << "quorvix-cli import: " << csvPath << ": " << engine::DescribeIssue(issue) << "\n";
        err << "quorvix-cli import: nothing was changed\n";
        return kExitUsage;
    }
    engine::BatchReport report;
    if (!dryRun)
        report = engine::RunImport(plan, backup, allowUnsigning, {}, policy);

    if (json) {
        JsonWriter w(out);
        w.beginObject();
        w.key("changes");
        w.beginArray();
        for (const engine::FileImport& f : plan.files) {
            w.beginObject();
            w.key("path");
            w.value(f.path);
            w.key("line");
            w.value(static_cast<std::int64_t>(f.line));
            w.key("items");
            w.beginArray();
            for (const engine::ItemChange& c : f.changes) {
                w.beginObject();
                w.key("item");
                w.value(c.item);
                w.key("key");
                w.value(c.key);
                w.key("before");
                w.value(c.before);
                w.key("after");
                w.value(c.after);
                w.key("applied");
                w.value(c.applied);
                w.key("doubt");
                if (c.doubt == engine::Doubt::None)
                    w.null();
                else
                    w.value(engine::DoubtText(c.doubt));
                w.endObject();
            }
            w.endArray();
            w.endObject();
        }
        w.endArray();
        w.key("skipped");
        w.beginArray();
        for (const engine::ImportIssue& s : plan.skipped) {
            w.beginObject();
            w.key("line");
            w.value(static_cast<std::int64_t>(s.line));
            w.key("reason");
            w.value(s.message);
            w.endObject();
        }
        w.endArray();
        w.key("results");
        w.beginArray();
        for (const engine::FileResult& r : report.files) {
            w.beginObject();
            w.key("path");
            w.value(r.path);
            w.key("ok");
            w.value(r.state == engine::FileState::Changed);
            writeError(w, r.state == engine::FileState::Changed ? nullptr : &r.error);
            w.endObject();
        }
        w.endArray();
        w.endObject();
        out << "\n";
    } else {
        std::size_t files = 0;
        for (const engine::FileImport& f : plan.files) {
            bool any = false;
            for (const engine::ItemChange& c : f.changes) {
                out << f.path << ": " << c.item << ": " << c.before << " -> " << c.after;
                if (!c.applied)
                    out << " (not changed: " << engine::DoubtText(c.doubt) << ")";
                out << "\n";
                any = any || c.applied;
            }
            files += any;
        }
        for (const engine::ImportIssue& s : plan.skipped)
            out << "skipped: " << engine::DescribeIssue(s) << "\n";
        out << files << " files, " << plan.itemCount() << " items to change; " << plan.unchanged
            << " lines ask for nothing new";
        if (plan.doubtCount() > 0)
            out << "; " << plan.doubtCount() << " items left as they are, since a spreadsheet may have made them";
        out << "\n";
        for (const engine::FileResult& r : report.files) {
            if (r.state == engine::FileState::Changed)
                out << r.path << ": changed\n";
            else
                out << r.path << ": failed: " << r.error.message << "\n";
        }
    }
    if (report.stoppedByBackupFailure)
        err << "quorvix-cli import: the run stopped because a backup failed\n";
    if (!report.journal.empty())
        err << "journal: " << report.journal << " (quorvix-cli restore --journal undoes the run)\n";
    const bool allDone = dryRun ? plan.skipped.empty() : report.allChanged() && plan.skipped.empty();
    return allDone ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
