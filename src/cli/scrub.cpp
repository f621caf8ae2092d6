// quorvix-cli scrub: what audit finds, taken away before a delivery, in
// place or into delivery copies.
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/json.h"
#include "cli/audit_json.h"
#include "engine/scrub.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli scrub [OPTIONS] FILE|FOLDER...\n"
           "\n"
           "Removes what identifies people, organisations and places from the given\n"
           "documents (see audit). By default: author, lastSavedBy, manager, company,\n"
           "comments, the template, the hyperlink base, the thumbnail and every\n"
           "user-defined property. A document holding none of it is not rewritten.\n"
           "\n"
           "  --only KEYS            remove exactly these (comma list): any property key\n"
           "                         of set, and template, hyperlinkbase, thumbnail,\n"
           "                         custom, application (the program and its version)\n"
           "  --keep-comments        leave the comments\n"
           "  --keep-custom NAME     leave this user-defined property (repeatable; names\n"
           "                         without regard to case; a trailing * keeps every\n"
           "                         name so starting, as in MSIP_Label_*)\n"
           "  --author TEXT          write TEXT as the author instead of removing it\n"
           "  --company TEXT         the same for the company\n"
           "  --reset-revision       revision 1 and editing time 0\n"
           "  --dry-run              print what would be removed, per file; write nothing\n"
           "  --out DIR              write scrubbed copies into DIR, keeping each file's\n"
           "                         path below the folder given (a file given goes to\n"
           "                         DIR's top); the originals stay as they are. Files\n"
           "                         that are no Office documents are not copied. DIR\n"
           "                         may not be a source folder or lie in one\n"
           "  --overwrite            with --out, replace a file already there (else it\n"
           "                         is skipped, and said)\n"
           "  --backup, --backup-dir DIR, --generations N\n"
           "                         in place: back each changed document up first, as\n"
           "                         set does; the run's journal lets restore undo it\n"
           "  --force                also remove user-defined properties shown read-only\n"
           "                         (linked, or of another type); without it they stay,\n"
           "                         and are said\n"
           "  --any-file             leave files that are no Office document alone\n"
           "                         instead of failing them\n"
           "  --allow-unsigning      also scrub packages whose digital signature covers\n"
           "                         what changes; the signature becomes invalid\n"
           "  --json                 one JSON object: files (path, state, destination,\n"
           "                         removed, keptReadOnly, error, errorCode, backup,\n"
           "                         note), notDocuments, journal\n"
           "  -r, --recursive        folders bring their subfolders' documents too\n"
           "  --                     the arguments after it are files\n"
           "\n"
           "Prints one line per file and a summary that names every file left as it\n"
           "was (signed, encrypted, damaged) with its reason; progress goes to standard\n"
           "error. Exit status: 0 when every file was scrubbed or held nothing to\n"
           "remove, 1 otherwise, 2 for a wrong command line.\n";
}

const char* stateName(const engine::FileResult& r, bool dryRun) {
    if (!r.note.empty())
        return dryRun && r.note == engine::kNoteDryRun ? "wouldScrub" : "unchanged";
    switch (r.state) {
    case engine::FileState::Changed: return "scrubbed";
    case engine::FileState::ChangeFailed: return "failed";
    default: return "notProcessed";
    }
}


void writeJson(std::ostream& out, const engine::ScrubReport& report, const engine::ScrubInputs& inputs, bool dryRun) {
    JsonWriter w(out);
    w.beginObject();
    w.key("files");
    w.beginArray();
    for (std::size_t i = 0; i < report.batch.files.size(); ++i) {
        const engine::FileResult& r = report.batch.files[i];
        const engine::ScrubFileResult& s = report.files[i];
        const bool failed = r.state == engine::FileState::ChangeFailed;
        w.beginObject();
        w.key("path");
        w.value(r.path);
        w.key("state");
        w.value(stateName(r, dryRun));
        w.key("destination");
        if (s.destination.empty())
            w.null();
        else
            w.value(s.destination);
        w.key("removed");
        WriteAuditItems(w, s.removed);
        w.key("keptReadOnly");
        WriteAuditItems(w, s.keptReadOnly);
        writeError(w, failed ? &r.error : nullptr);
        w.key("backup");
        if (r.backup.empty())
            w.null();
        else
            w.value(r.backup);
        w.key("note");
        if (r.note.empty())
            w.null();
        else
            w.value(r.note);
        w.endObject();
    }
    w.endArray();
    w.key("notDocuments");
    w.beginArray();
    for (const std::string& p : inputs.notDocuments)
        w.value(p);
    w.endArray();
    w.key("journal");
    if (report.batch.journal.empty())
        w.null();
    else
        w.value(report.batch.journal);
    w.endObject();
    out << "\n";
}

void printItems(std::ostream& out, const char* head, const std::vector<engine::AuditItem>& items) {
    for (const engine::AuditItem& i : items) {
        out << "  " << head << i.key;
        if (!i.name.empty())
            out << " " << i.name;
        out << ": " << i.value << "\n";
    }
}

}  // namespace

int runScrub(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    engine::ScrubSettings s;
    std::vector<std::string> inputs;
    FileArguments files(inputs);
    bool json = false, keepComments = false, only = false;
    std::vector<std::string> keep;
    std::optional<std::string> author, company;
    bool resetRevision = false, force = false;
    auto usage = [&](const std::string& msg) {
        err << "quorvix-cli scrub: " << msg << "\n";
        return kExitUsage;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (files.take(a))
            continue;
        if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        }
        if (a == "--only") {
            auto v = next();
            auto sel = v ? engine::ScrubSelection::FromKeys(*v) : Result<engine::ScrubSelection>(Error(
                                                                      ErrorCode::InvalidArgument, "no key given"));
            if (!sel)
                return usage("--only: " + sel.error().message);
            s.selection = std::move(*sel);
            only = true;
        } else if (a == "--keep-comments") {
            keepComments = true;
        } else if (a == "--keep-custom") {
            auto v = next();
            if (!v || text::trim(*v).empty())
                return usage("--keep-custom needs a NAME");
            keep.push_back(text::trim(*v));
        } else if (a == "--author" || a == "--company") {
            auto v = next();
            if (!v)
                return usage(a + " needs a TEXT");
            (a == "--author" ? author : company) = text::trim(*v);
        } else if (a == "--reset-revision") {
            resetRevision = true;
        } else if (a == "--dry-run") {
            s.dryRun = true;
        } else if (a == "--out") {
            auto v = next();
            if (!v || v->empty())
                return usage("--out needs a folder");
            s.outFolder = *v;
        } else if (a == "--overwrite") {
            s.overwrite = true;
        } else if (auto fault = takeBackupOption(a, next, s.backup, s.backupPolicy)) {
            if (!fault->empty())
                return usage(*fault);
        } else if (a == "--force") {
            force = true;
        } else if (a == "--any-file") {
            s.anyFile = true;
        } else if (a == "--allow-unsigning") {
            s.allowUnsigning = true;
        } else if (a == "--json") {
            json = true;
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
    if (!s.outFolder.empty() && s.backup)
        return usage("--out leaves the originals as they are, so it takes no backup options");
    if (s.overwrite && s.outFolder.empty())
        return usage("--overwrite goes with --out");
    if (keepComments) {
        if (only && s.selection.rows[kRowComments])
            return usage("--keep-comments contradicts --only comments");
        s.selection.rows[kRowComments] = false;
    }
    s.selection.keepCustom = keep;
    s.selection.author = author;
    s.selection.company = company;
    s.selection.resetRevision = resetRevision;
    s.selection.forceReadOnly = force;

    engine::ScrubInputs collected = engine::CollectScrubInputs(inputs, files.recursive());
    if (!s.outFolder.empty())
        if (Status st = engine::CheckDeliveryFolder(s.outFolder, collected.folders); !st)
            return usage(st.error().message);

    const std::size_t n = collected.files.size();
    int lastPercent = -1;
    engine::RunCallbacks cb;
    cb.fileFinished = [&](std::size_t i, const engine::FileResult&, int percent) {
        // Long runs say how far they are, on standard error.
        if (n >= 20 && percent != lastPercent) {
            err << "progress: " << (i + 1) << "/" << n << " (" << percent << "%)\n";
            lastPercent = percent;
        }
    };
    auto fileDone = [&](std::size_t, const engine::FileResult& r, const engine::ScrubFileResult& f) {
        if (json)
            return;
        std::string where = f.destination.empty() ? std::string() : " -> " + f.destination;
        if (r.state == engine::FileState::ChangeFailed)
            out << r.path << ": failed: " << r.error.message
                << (r.error.code == ErrorCode::Signed ? " (--allow-unsigning scrubs it all the same)" : "") << "\n";
        else if (!r.note.empty() && r.note != engine::kNoteDryRun)
            out << r.path << ": " << r.note << where << "\n";
        else
            out << r.path << ": " << (s.dryRun ? "would remove" : "scrubbed") << where << "\n";
        printItems(out, "", r.state == engine::FileState::ChangeFailed ? std::vector<engine::AuditItem>() : f.removed);
        printItems(out, "kept (read-only, --force removes it): ", f.keptReadOnly);
        out.flush();
    };
    const engine::ScrubReport report = engine::RunScrub(collected.files, s, cb, fileDone);

    if (json) {
        writeJson(out, report, collected, s.dryRun);
    } else {
        std::size_t scrubbed = 0, clean = 0, failed = 0, other = 0;
        for (const engine::FileResult& r : report.batch.files) {
            if (r.state == engine::FileState::ChangeFailed)
                ++failed;
            else if (r.note == engine::kNoteNothingToRemove)
                ++clean;
            else if (r.note == engine::kNoteNotADocument)
                ++other;
            else if (r.state == engine::FileState::Changed || r.note == engine::kNoteDryRun)
                ++scrubbed;
        }
        out << "summary: " << scrubbed << (s.dryRun ? " to scrub" : " scrubbed") << ", " << clean
            << " with nothing to remove, " << failed << " left as they were";
        if (other)
            out << ", " << other << " no Office document";
        out << "\n";
        for (const engine::FileResult& r : report.batch.files)
            if (r.state == engine::FileState::ChangeFailed)
                out << "  still carries its data: " << r.path << ": " << r.error.message << "\n";
        if (!collected.notDocuments.empty()) {
            out << "  " << collected.notDocuments.size() << " file(s) in the folders are no Office documents"
                << (s.outFolder.empty() ? " and were not looked at" : " and were not copied") << "\n";
            for (const std::string& p : collected.notDocuments)
                out << "    " << p << "\n";
        }
        if (report.batch.cancelled)
            out << "  the run was cancelled\n";
    }
    if (report.batch.stoppedByBackupFailure)
        err << "quorvix-cli scrub: the run stopped because a backup failed\n";
    if (!report.batch.journal.empty())
        err << "journal: " << report.batch.journal << " (quorvix-cli restore --journal undoes the run)\n";
    return report.allDone() ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
