// quorvix-cli set: what the batch page does, for every given file.
#include <map>
#include <string>
#include <vector>

#include "base/text.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "cli/cli.h"
#include "cli/inputs.h"
#include "engine/change.h"
#include "localtext/rowtext.h"
#include "props/catalogue.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli set [OPTIONS] FILE...\n"
           "\n"
           "Changes the given documents as the batch page does. A folder stands for\n"
           "the Office documents in it.\n"
           "\n"
           "  --set KEY=VALUE        write a property (repeatable); KEY is one of\n"
           "                         title subject author keywords comments category\n"
           "                         revision lastSavedBy manager company created\n"
           "                         lastSaved editTime lastPrinted. Dates are ISO-8601\n"
           "                         (2010-04-01T12:30:00+09:00) or the date-time text\n"
           "                         of your locale; editTime is in minutes; an empty\n"
           "                         value erases.\n"
           "                         A value with fields in braces is made for each\n"
           "                         file: {name} {ext} {folder} {parent} {value}\n"
           "                         {row:KEY} {n:START:WIDTH} {mtime:FORMAT}\n"
           "                         {ctime:FORMAT} (or the window's Japanese names);\n"
           "                         {{ and }} write a brace\n"
           "  --replace ROW=OLD/NEW  replace OLD with NEW in a row (repeatable); ROW is\n"
           "                         a KEY, custom:NAME or custom:* (every user-defined\n"
           "                         text property); write / inside OLD or NEW as \\/\n"
           "  --regex                OLD is a regular expression (ECMAScript; NEW may\n"
           "                         use $1, $&)\n"
           "  --ignore-case          replaces ignore the case of letters\n"
           "  --width-insensitive    replaces match full-width and half-width forms\n"
           "  --dry-run              change nothing: print FILE: ROW: OLD -> NEW for\n"
           "                         every value the --set values and replaces make\n"
           "  --custom NAME=VALUE    set the user-defined property NAME (repeatable),\n"
           "                         adding it where the file lacks it; names are\n"
           "                         compared without regard to case\n"
           "  --custom-type TYPE     the type of the --custom values after it: text\n"
           "                         (default), number, date (as for --set) or bool\n"
           "                         (true/false, yes/no)\n"
           "  --remove-custom NAME   remove the user-defined property NAME where a\n"
           "                         file has it (repeatable)\n"
           "  --creation-date D      replace the date part of the creation time\n"
           "  --creation-time T      replace the time of day of the creation time (H:MM:SS)\n"
           "  --write-date D, --write-time T     the same for the last-write time\n"
           "  --access-date D, --access-time T   the same for the last-access time\n"
           "  --readonly on|off|keep  set, clear or keep the attribute (default keep);\n"
           "  --archive, --hidden, --system      likewise\n"
           "  --backup               back each document up first: DOCUMENT.bak the first\n"
           "                         time (never replaced), DOCUMENT.2.bak, .3.bak, ...\n"
           "                         later; a failed backup stops the run. The run's\n"
           "                         journal (for restore) goes to the backup folder,\n"
           "                         or to ~/.local/share/quorvix/journal\n"
           "  --backup-dir DIR       keep the backups (and the journal) in DIR, each\n"
           "                         under the document's whole path; implies --backup\n"
           "  --generations N        backups a document keeps (default 5, at least 2):\n"
           "                         the first and the newest always stay\n"
           "  --force                with --remove-custom, also remove a property shown\n"
           "                         read-only (linked, or of another type); each such\n"
           "                         removal is said\n"
           "  --any-file             also change the times and attributes of files that\n"
           "                         are no Office document\n"
           "  --allow-unsigning      also change packages whose digital signature covers\n"
           "                         their properties; the signature becomes invalid.\n"
           "                         Without it such a file fails, left as it was\n"
           "  -r, --recursive        a folder also stands for the documents of its\n"
           "                         subfolders (links to folders are not followed)\n"
           "\n"
           "  --                     the arguments after it are files, even when they\n"
           "                         start with \"-\"\n"
           "\n"
           "A file named twice (or through a link or another hard link) is changed\n"
           "once. A link given as FILE stays a link: the file it leads to is changed.\n"
           "Prints one line per file: the path and \"changed\", \"unchanged\" (no value\n"
           "would change, the file is left alone) or \"failed: reason\".\n"
           "Exit status: 0 when every file was changed, 1 otherwise, 2 for a wrong\n"
           "command line.\n";
}

bool parseChoice(const std::string& v, AttributeChoice& out) {
    if (v == "on")
        out = AttributeChoice::Checked;
    else if (v == "off")
        out = AttributeChoice::Unchecked;
    else if (v == "keep")
        out = AttributeChoice::Grayed;
    else
        return false;
    return true;
}

// The edit a --set value asks for, typed where it was given (an ISO-8601
// date keeps its fraction of a second and its offset); blanks around it
// don't count.
Result<PropertyEdit> rowEdit(int row, const std::string& raw) {
    auto edit = EditFromText(row, text::trim(raw));
    if (edit)
        return edit;
    if (isDateRow(row))
        return Error(ErrorCode::ConversionFailed,
                     "'" + raw + "' is not a date (use ISO-8601 such as 2010-04-01T12:30:00+09:00)");
    if (row == kRowEditTime)
        return Error(ErrorCode::ConversionFailed, "editTime must be a whole number of minutes");
    return edit;
}

// ROW=OLD/NEW, with "\\/" for a slash inside OLD or NEW.
std::optional<engine::ReplaceRule> replaceArgument(const std::string& arg) {
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0)
        return std::nullopt;
    engine::ReplaceRule rule;
    rule.target = arg.substr(0, eq);
    std::string parts[2];
    int part = 0;
    for (std::size_t i = eq + 1; i < arg.size(); ++i) {
        if (arg[i] == '\\' && i + 1 < arg.size() && arg[i + 1] == '/') {
            parts[part] += '/';
            ++i;
        } else if (arg[i] == '/') {
            if (++part > 1)
                return std::nullopt;
        } else {
            parts[part] += arg[i];
        }
    }
    if (part != 1)
        return std::nullopt;
    rule.find = parts[0];
    rule.with = parts[1];
    return rule;
}

}  // namespace

int runSet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    engine::BatchChange s;
    std::vector<std::string> inputs;
    struct TimeFlag {
        engine::BatchTimeChoice* choice;
        bool date;
    };
    std::map<std::string, TimeFlag> timeFlags = {
        {"--creation-date", {&s.creation, true}},   {"--creation-time", {&s.creation, false}},
        {"--write-date", {&s.lastWrite, true}},     {"--write-time", {&s.lastWrite, false}},
        {"--access-date", {&s.lastAccess, true}},   {"--access-time", {&s.lastAccess, false}},
    };
    std::map<std::string, AttributeChoice*> attrFlags = {
        {"--readonly", &s.attributes.readOnly},
        {"--archive", &s.attributes.archive},
        {"--hidden", &s.attributes.hidden},
        {"--system", &s.attributes.system},
    };
    auto usage = [&](const std::string& msg) {
        err << "quorvix-cli set: " << msg << "\n";
        return kExitUsage;
    };
    FileArguments files(inputs);
    CustomType customType = CustomType::Text;
    bool force = false, dryRun = false;
    std::vector<engine::ReplaceRule> replaces;
    bool regex = false, ignoreCase = false, widthInsensitive = false;
    std::vector<std::pair<int, std::string>> madeRows;
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
        if (auto fault = takeBackupOption(a, next, s.backup, s.backupPolicy)) {
            if (!fault->empty())
                return usage(*fault);
        } else if (a == "--force") {
            force = true;
        } else if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--regex") {
            regex = true;
        } else if (a == "--ignore-case") {
            ignoreCase = true;
        } else if (a == "--width-insensitive") {
            widthInsensitive = true;
        } else if (a == "--replace") {
            auto v = next();
            auto rule = v ? replaceArgument(*v) : std::nullopt;
            if (!rule)
                return usage("--replace needs ROW=OLD/NEW (write / inside OLD or NEW as \\/)");
            replaces.push_back(std::move(*rule));
        } else if (a == "--any-file") {
            s.anyFile = true;
        } else if (a == "--allow-unsigning") {
            s.edits.allowUnsigning = true;
        } else if (a == "--set") {
            auto kv = next();
            if (!kv)
                return usage("--set needs KEY=VALUE");
            std::size_t eq = kv->find('=');
            if (eq == std::string::npos)
                return usage("--set needs KEY=VALUE, got '" + *kv + "'");
            int row = rowForKey(kv->substr(0, eq));
            if (row < 0)
                return usage("unknown property '" + kv->substr(0, eq) + "'");
            madeRows.emplace_back(row, kv->substr(eq + 1));
            if (engine::ValuePattern::looksLikePattern(kv->substr(eq + 1)))
                continue;
            auto edit = rowEdit(row, kv->substr(eq + 1));
            if (!edit)
                return usage(edit.error().message);
            s.edits[row] = std::move(*edit);
        } else if (a == "--custom-type") {
            auto v = next();
            auto type = v ? CustomTypeFromKey(*v) : std::nullopt;
            if (!type)
                return usage("--custom-type takes text, number, date or bool");
            customType = *type;
        } else if (a == "--custom") {
            auto kv = next();
            std::size_t eq = kv ? kv->find('=') : std::string::npos;
            if (eq == std::string::npos)
                return usage("--custom needs NAME=VALUE");
            auto edit = engine::ToCustomEdit({kv->substr(0, eq), customType, kv->substr(eq + 1), false});
            if (!edit)
                return usage(edit.error().message);
            s.edits.custom.push_back(std::move(*edit));
        } else if (a == "--remove-custom") {
            auto name = next();
            if (!name)
                return usage("--remove-custom needs a NAME");
            auto edit = engine::ToCustomEdit({*name, CustomType::Text, {}, true});
            if (!edit)
                return usage(edit.error().message);
            s.edits.custom.push_back(std::move(*edit));
        } else if (timeFlags.count(a)) {
            auto v = next();
            if (!v)
                return usage(a + " needs a value");
            TimeFlag f = timeFlags[a];
            if (f.date) {
                auto d = dateFromArgument(*v);
                if (!d)
                    return usage("'" + *v + "' is not a date (use yyyy-mm-dd)");
                f.choice->replaceDate = true;
                f.choice->date = *d;
            } else {
                auto t = timeFromArgument(*v);
                if (!t)
                    return usage("'" + *v + "' is not a time of day (use H:MM or H:MM:SS)");
                f.choice->replaceTime = true;
                f.choice->time = *t;
            }
        } else if (attrFlags.count(a)) {
            auto v = next();
            if (!v || !parseChoice(*v, *attrFlags[a]))
                return usage(a + " takes on, off or keep");
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option '" + a + "'");
        } else {
            inputs.push_back(a);
        }
    }
    // The last --set of a row decides it; a pattern is made per file, and so
    // is every value of a dry run, which shows each file's old and new texts.
    std::map<int, std::string> lastSet;
    for (const auto& [row, text] : madeRows)
        lastSet[row] = text;
    for (const auto& [row, text] : lastSet) {
        if (!dryRun && !engine::ValuePattern::looksLikePattern(text))
            continue;
        auto pattern = engine::ValuePattern::parse(text::trim(text));
        if (!pattern)
            return usage(std::string(kCatalogue[static_cast<std::size_t>(row)].Key) + ": " + pattern.error().message);
        s.edits[row] = PropertyEdit::keep();
        s.perFile.rows.emplace_back(row, std::move(*pattern));
    }
    for (engine::ReplaceRule& rule : replaces) {
        rule.regex = regex;
        rule.ignoreCase = ignoreCase;
        rule.widthInsensitive = widthInsensitive;
        auto r = engine::Replacer::make(rule);
        if (!r)
            return usage("--replace " + rule.target + ": " + r.error().message);
        s.perFile.replaces.push_back(std::move(*r));
    }
    if (inputs.empty()) {
        printHelp(err);
        return usage("no file given");
    }
    if (!engine::HasBatchWork(s))
        return usage(
            "nothing to change: give --set, --replace, --custom, --remove-custom, a date or time option, or an attribute "
            "option");

    if (force)
        for (CustomEdit& e : s.edits.custom)
            if (e.action == CustomEdit::Action::Remove) {
                e.force = true;
                err << "note: --force: " << e.name
                    << " is removed even where it is shown read-only (linked, or of another type)\n";
            }

    // Each file once, whatever names lead to it: a second backup would
    // take the already changed file in place of the original.
    std::vector<std::string> paths = engine::UniqueFiles(files.expanded());
    if (dryRun) {
        bool allSound = true;
        for (const engine::FilePreview& p : engine::PreviewBatch(paths, s, paths.size())) {
            if (p.error) {
                allSound = false;
                out << p.path << ": failed: " << p.error->message << "\n";
            } else if (p.changes.empty()) {
                out << p.path << ": unchanged\n";
            }
            for (const engine::ValueChange& c : p.changes)
                out << p.path << ": " << c.key << ": " << c.was << " -> " << c.now << "\n";
        }
        return allSound ? kExitOk : kExitFileFailed;
    }
    engine::RunCallbacks cb;
    cb.fileFinished = [&](std::size_t, const engine::FileResult& r, int) {
        if (r.note == engine::kNothingToChangeNote)
            out << r.path << ": unchanged\n";
        else if (!r.note.empty())
            err << "note: " << r.path << ": " << r.note << "\n";
        else if (r.state == engine::FileState::Changed)
            out << r.path << ": changed\n";
        else
            out << r.path << ": failed: " << r.error.message
                << (r.error.code == ErrorCode::Signed ? " (--allow-unsigning changes it all the same)" : "") << "\n";
        out.flush();
    };
    engine::BatchReport report = engine::RunBatch(paths, s, cb);
    if (report.stoppedByBackupFailure)
        err << "quorvix-cli set: the run stopped because a backup failed\n";
    if (!report.journal.empty())
        err << "journal: " << report.journal << " (quorvix-cli restore --journal undoes the run)\n";
    return report.allChanged() ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
