// quorvix-cli restore: undoes a run with backups, each document put back
// from the backup its journal names while it is still what the run wrote.
#include "base/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "engine/restore.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli restore [--dry-run] [--backup-dir DIR] [--json] --journal JOURNAL\n"
           "       quorvix-cli restore [--dry-run] [--backup-dir DIR] [--json] FILE...\n"
           "\n"
           "Puts documents back as they were before a run with backups (set --backup,\n"
           "import --backup): every document of the run's JOURNAL (set prints its name),\n"
           "or each FILE as the newest run that changed it left it. The journals are\n"
           "looked for in DIR when the run kept its backups there, else in\n"
           "~/.local/share/quorvix/journal (%LOCALAPPDATA%\\quorvix\\journal on Windows).\n"
           "\n"
           "A document is put back only while its size, last-write time and content are\n"
           "what the run left; one another program saved since is left alone, and so is\n"
           "its backup. The document as it is now is backed up first, and the restore\n"
           "keeps a journal of its own, so a restore can be undone too.\n"
           "\n"
           "  --dry-run           only check and print what would be put back\n"
           "  --backup-dir DIR    where the run kept its backups and journal\n"
           "  --journal JOURNAL   the run to undo\n"
           "  --json              an array of objects: path, backup, ok, error, errorCode\n"
           "\n"
           "Exit status: 0 when every document was (or would be) put back, 1 otherwise,\n"
           "2 for a wrong command line.\n";
}

}  // namespace

int runRestore(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool dryRun = false, json = false, optionsEnded = false;
    engine::BackupPolicy policy;
    std::string journal;
    std::vector<std::string> files;
    auto usage = [&](const std::string& msg) {
        err << "quorvix-cli restore: " << msg << "\n";
        return kExitUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-') {
            files.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        } else if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--json") {
            json = true;
        } else if (a == "--backup-dir" || a == "--journal") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return usage(a + " needs a value");
            (a == "--journal" ? journal : policy.folder) = args[++i];
        } else {
            return usage("unknown option '" + a + "'");
        }
    }
    if (journal.empty() == files.empty())
        return usage(journal.empty() ? "no JOURNAL or FILE given" : "give --journal or files, not both");

    std::vector<engine::JournalEntry> entries;
    std::vector<std::pair<std::string, Error>> unknown;
    if (!journal.empty()) {
        auto read = engine::ReadJournal(journal);
        if (!read)
            return usage(journal + ": " + read.error().message);
        entries = std::move(*read);
    } else {
        auto found = engine::LatestEntriesFor(files, policy);
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (found[i])
                entries.push_back(std::move(*found[i]));
            else
                unknown.emplace_back(files[i], found[i].error());
        }
    }
    const engine::BatchReport report = engine::RestoreEntries(entries, dryRun, policy);

    bool allDone = unknown.empty();
    if (json) {
        JsonWriter w(out);
        w.beginArray();
        auto item = [&](const std::string& path, const std::string& backup, const Error* error) {
            w.beginObject();
            w.key("path");
            w.value(path);
            w.key("backup");
            w.value(backup);
            w.key("ok");
            w.value(error == nullptr);
            writeError(w, error);
            w.endObject();
        };
        for (const auto& [path, error] : unknown)
            item(path, {}, &error);
        for (std::size_t i = 0; i < report.files.size(); ++i) {
            const engine::FileResult& r = report.files[i];
            const std::string& from = entries[entries.size() - 1 - i].backup;
            item(r.path, from, r.state == engine::FileState::Changed ? nullptr : &r.error);
        }
        w.endArray();
        out << "\n";
    } else {
        for (const auto& [path, error] : unknown)
            out << path << ": failed: " << error.message << "\n";
        for (std::size_t i = 0; i < report.files.size(); ++i) {
            const engine::FileResult& r = report.files[i];
            const std::string& from = entries[entries.size() - 1 - i].backup;
            if (r.state == engine::FileState::Changed)
                out << r.path << (dryRun ? ": would be restored from " : ": restored from ") << from << "\n";
            else
                out << r.path << ": failed: " << r.error.message << "\n";
        }
    }
    for (const engine::FileResult& r : report.files)
        allDone = allDone && r.state == engine::FileState::Changed;
    if (!report.journal.empty())
        err << "journal: " << report.journal << " (restore --journal undoes this restore)\n";
    return allDone ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
