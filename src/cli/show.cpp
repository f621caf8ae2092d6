// quorvix-cli show: the times, attributes and properties of documents, read
// exactly as the window's single-file view reads them.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "cli/json.h"
#include "engine/parallel.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "props/catalogue.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli show [--json] [-r] FILE...\n"
           "\n"
           "Prints, for each document, its three file times, its four attributes and\n"
           "its fourteen document properties, then its user-defined properties as\n"
           "\"custom NAME (type): value\". A folder stands for the Office documents\n"
           "in it. Showing a file leaves its times and attributes exactly as they were.\n"
           "\n"
           "  --json   an array with one object per file: path, ok, error, errorCode\n"
           "           (passwordProtected, badCompoundFile, ...), times, attributes,\n"
           "           properties (keyed by title, subject, author, ...), custom (the\n"
           "           user-defined properties: name, type, value, readOnly, linked), note\n"
           "           (a time that reading moved and could not put back)\n"
           "  -r, --recursive  a folder also stands for the documents of its\n"
           "           subfolders (links to folders are not followed)\n"
           "  --       the arguments after it are files\n"
           "\n"
           "Exit status: 0 when every file was read, 1 otherwise, 2 for a wrong command line.\n";
}

struct Shown {
    std::string path;
    engine::FileView view;
};

// JSON gives an instant in ISO-8601 with its offset; text output and the
// other values as the grid shows them.
std::string propertyText(const StoredProperty& v, bool iso) {
    if (iso && v.present)
        if (auto t = std::get_if<Instant>(&v.value))
            return FormatIso8601Local(t->utc);
    return DisplayText(v);
}

// A user-defined value in JSON's own types: a number as a number, yes or
// no as a boolean, a date in ISO-8601 with its offset; another type's value
// as its text, null when it has none.
void customValue(JsonWriter& w, const CustomValue& v) {
    if (auto s = std::get_if<std::string>(&v))
        w.value(*s);
    else if (auto n = std::get_if<std::int64_t>(&v))
        w.value(*n);
    else if (auto r = std::get_if<double>(&v))
        w.value(*r);
    else if (auto b = std::get_if<bool>(&v))
        w.value(*b);
    else if (auto t = std::get_if<Instant>(&v))
        w.value(FormatIso8601Local(t->utc));
    else if (auto o = std::get_if<OtherValue>(&v); o && !o->text.empty())
        w.value(o->text);
    else
        w.null();
}

void writeCustom(JsonWriter& w, const std::vector<CustomProperty>& custom) {
    w.key("custom");
    w.beginArray();
    for (const CustomProperty& p : custom) {
        w.beginObject();
        w.key("name");
        w.value(p.name);
        w.key("type");
        w.value(CustomTypeKeyOf(p.value));
        w.key("value");
        customValue(w, p.value);
        w.key("readOnly");
        w.value(!p.editable());
        w.key("linked");
        w.value(p.linked);
        w.endObject();
    }
    w.endArray();
}

void writeJson(std::ostream& out, const std::vector<Shown>& files) {
    JsonWriter w(out);
    w.beginArray();
    for (const Shown& f : files) {
        const engine::FileView& v = f.view;
        w.beginObject();
        w.key("path");
        w.value(f.path);
        w.key("ok");
        w.value(v.ok);
        // With the kind of failure, stable for scripts ("passwordProtected",
        // "badCompoundFile", ...).
        writeError(w, v.ok ? nullptr : &v.error);
        w.key("note");
        if (v.note)
            w.value(v.note->message);
        else
            w.null();
        if (v.stamp) {
            const FileStamp& s = *v.stamp;
            w.key("times");
            w.beginObject();
            w.key("creation");
            w.value(FormatIso8601Local(s.Creation.ticks, true));
            w.key("lastWrite");
            w.value(FormatIso8601Local(s.LastWrite.ticks, true));
            w.key("lastAccess");
            w.value(FormatIso8601Local(s.LastAccess.ticks, true));
            w.endObject();
            w.key("attributes");
            w.beginObject();
            w.key("readOnly");
            w.value((s.Attributes & kAttrReadOnly) != 0);
            w.key("archive");
            w.value((s.Attributes & kAttrArchive) != 0);
            w.key("hidden");
            w.value((s.Attributes & kAttrHidden) != 0);
            w.key("system");
            w.value((s.Attributes & kAttrSystem) != 0);
            w.endObject();
        }
        if (v.found) {
            w.key("properties");
            w.beginObject();
            for (const PropertyRow& r : kCatalogue) {
                w.key(r.Key);
                w.value(v.propertiesRead ? propertyText(v.metadata[r.Index], true)
                                         : std::string());
            }
            w.endObject();
            writeCustom(w, v.propertiesRead ? v.metadata.custom : std::vector<CustomProperty>());
            w.key("propertiesError");
            if (v.propertyError)
                w.value(v.propertyError->message);
            else
                w.null();
        }
        w.endObject();
    }
    w.endArray();
}

void writeText(std::ostream& out, const std::vector<Shown>& files) {
    for (const Shown& f : files) {
        const engine::FileView& v = f.view;
        out << f.path << "\n";
        if (!v.ok)
            out << "  error: " << v.error.message << "\n";
        if (v.note)
            out << "  note: " << v.note->message << "\n";
        if (v.stamp) {
            const FileStamp& s = *v.stamp;
            auto yes = [&](std::uint32_t bit) { return (s.Attributes & bit) ? "Y" : ""; };
            out << "  " << kFileInfoNames[0] << ": " << FormatDateTimeText(v.creation) << "\n";
            out << "  " << kFileInfoNames[1] << ": " << FormatDateTimeText(v.lastWrite) << "\n";
            out << "  " << kFileInfoNames[2] << ": " << (v.lastAccessShown ? FormatDateTimeText(v.lastAccess) : "")
                << "\n";
            out << "  " << kFileInfoNames[3] << ": " << yes(kAttrReadOnly) << "\n";
            out << "  " << kFileInfoNames[4] << ": " << yes(kAttrArchive) << "\n";
            out << "  " << kFileInfoNames[5] << ": " << yes(kAttrHidden) << "\n";
            out << "  " << kFileInfoNames[6] << ": " << yes(kAttrSystem) << "\n";
        }
        if (v.found && v.propertiesRead) {
            for (const PropertyRow& r : kCatalogue)
                out << "  " << r.Key << " (" << r.Label << "): " << DisplayText(v.metadata[r.Index])
                    << "\n";
            for (const CustomProperty& p : v.metadata.custom)
                out << "  custom " << p.name << " (" << CustomTypeKeyOf(p.value) << (p.linked ? ", linked" : "")
                    << "): " << CustomValueText(p.value) << "\n";
        }
    }
}

}  // namespace

int runShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::vector<std::string> inputs;
    FileArguments files(inputs);
    for (const std::string& a : args) {
        if (files.take(a))
            continue;
        if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "quorvix-cli show: unknown option '" << a << "'\n";
            return kExitUsage;
        } else {
            inputs.push_back(a);
        }
    }
    if (inputs.empty()) {
        err << "quorvix-cli show: no file given\n";
        printHelp(err);
        return kExitUsage;
    }
    // Read on every core, shown in the order given.
    const std::vector<std::string> paths = files.expanded();
    std::vector<Shown> shown;
    shown.reserve(paths.size());
    bool allOk = true;
    engine::ForEachOrdered(
        paths.size(), [&](std::size_t i) { return engine::LoadSingleFileView(paths[i]); },
        [](std::size_t) { return true; },
        [&](std::size_t i, engine::FileView view) {
            allOk = allOk && view.ok;
            shown.push_back(Shown{paths[i], std::move(view)});
        },
        engine::ParallelOptions{0, engine::LaterNamesOfEarlierFiles(paths)});
    if (json)
        writeJson(out, shown);
    else
        writeText(out, shown);
    return allOk ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
