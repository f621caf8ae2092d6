// quorvix-cli audit: what each document gives away of the people,
// organisations and places behind it.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/audit_json.h"
#include "cli/json.h"
#include "engine/audit.h"
#include "engine/csv.h"
#include "platform/platform.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli audit [--json] [--csv OUT.csv [--encoding shift_jis|utf-8]] [-r] FILE|FOLDER...\n"
           "\n"
           "Lists, per document, the properties that identify people, organisations or\n"
           "places: author, lastSavedBy, manager, company, comments, the template, the\n"
           "hyperlink base, the user-defined properties (names and values), the\n"
           "thumbnail (a picture of the first page) and the program that saved it with\n"
           "its version (application, appVersion). A folder stands for the Office\n"
           "documents in it. Nothing is changed, and every file's times are put back.\n"
           "\n"
           "  --json               an array with one object per file: path, ok, error,\n"
           "                       errorCode, items (each key, name, value)\n"
           "  --csv OUT.csv        also write the findings to a CSV file, as export\n"
           "                       does (every field quoted, CR LF): Path, Item, Name,\n"
           "                       Value, one line per finding (\"none\" for a file\n"
           "                       with none, \"error\" for one that can't be read)\n"
           "  --encoding ENC       the CSV's: shift_jis (default) or utf-8 (with a BOM)\n"
           "  -r, --recursive      folders bring their subfolders' documents too\n"
           "  --                   the arguments after it are files\n"
           "\n"
           "Exit status: 0 when every file was read, 1 otherwise, 2 for a wrong\n"
           "command line.\n";
}

void writeJson(std::ostream& out, const std::vector<engine::FileAudit>& audits) {
    JsonWriter w(out);
    w.beginArray();
    for (const engine::FileAudit& a : audits) {
        w.beginObject();
        w.key("path");
        w.value(a.path);
        w.key("ok");
        w.value(a.ok);
        writeError(w, a.ok ? nullptr : &a.error);
        w.key("items");
        WriteAuditItems(w, a.items);
        w.endObject();
    }
    w.endArray();
    out << "\n";
}

void printItem(std::ostream& out, const engine::AuditItem& i) {
    out << "  " << i.key;
    if (!i.name.empty())
        out << " " << i.name;
    out << ": " << i.value << "\n";
}

}  // namespace

void WriteAuditItems(JsonWriter& w, const std::vector<engine::AuditItem>& items) {
    w.beginArray();
    for (const engine::AuditItem& i : items) {
        w.beginObject();
        w.key("key");
        w.value(i.key);
        w.key("name");
        if (i.key == "custom")
            w.value(i.name);
        else
            w.null();
        w.key("value");
        w.value(i.value);
        w.endObject();
    }
    w.endArray();
}


int runAudit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::string csv;
    engine::CsvEncoding encoding = engine::CsvEncoding::ShiftJis;
    std::vector<std::string> inputs;
    FileArguments files(inputs);
    auto usage = [&](const std::string& msg) {
        err << "quorvix-cli audit: " << msg << "\n";
        return kExitUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (files.take(a))
            continue;
        if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
        } else if (a == "--csv") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usage("--csv needs a file name");
            csv = args[++i];
        } else if (a == "--encoding") {
            std::string e = i + 1 < args.size() ? args[++i] : "";
            if (e == "shift_jis" || e == "shift-jis" || e == "sjis")
                encoding = engine::CsvEncoding::ShiftJis;
            else if (e == "utf-8" || e == "utf8")
                encoding = engine::CsvEncoding::Utf8;
            else
                return usage("--encoding takes shift_jis or utf-8");
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option '" + a + "'");
        } else {
            inputs.push_back(a);
        }
    }
    if (inputs.empty()) {
        printHelp(err);
        return usage("no file given");
    }
    const std::vector<std::string> paths = engine::UniqueFiles(files.expanded());
    if (!csv.empty())
        if (Status st = engine::CheckExportTarget(paths, csv); !st) {
            err << "quorvix-cli audit: can't write " << csv << ": " << st.error().message << "\n";
            return kExitFileFailed;
        }
    std::vector<engine::FileAudit> audits;
    bool allRead = true;
    for (const std::string& p : paths) {
        audits.push_back(engine::AuditFile(p));
        allRead = allRead && audits.back().ok;
    }
    if (json) {
        writeJson(out, audits);
    } else {
        for (const engine::FileAudit& a : audits) {
            if (!a.ok)
                out << a.path << ": can't read: " << a.error.message << "\n";
            else if (a.items.empty())
                out << a.path << ": nothing found\n";
            else
                out << a.path << ":\n";
            for (const engine::AuditItem& i : a.items)
                printItem(out, i);
        }
    }
    if (!csv.empty()) {
        if (Status st = platform::writeFileAtomically(csv, engine::EncodeCsv(engine::AuditCsvLines(audits), encoding));
            !st) {
            err << "quorvix-cli audit: can't write " << csv << ": " << st.error().message << "\n";
            return kExitFileFailed;
        }
    }
    return allRead ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
