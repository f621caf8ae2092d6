// quorvix-cli show: the times, attributes and properties of workbooks.
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "props/catalogue.h"
#include "props/datetime.h"
#include "props/filestamp.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli show [--json] FILE...\n"
           "\n"
           "Prints, for each file, its three file times, its four attributes and its\n"
           "fourteen document properties. Showing a file leaves its times and\n"
           "attributes exactly as they were.\n"
           "\n"
           "  --json   one JSON object per file, in an array\n";
}

struct Shown {
    std::string path;
    Result<FileStamp> stamp = Error(ErrorCode::Internal, "not read");
};

void writeJson(std::ostream& out, const std::vector<Shown>& files) {
    JsonWriter w(out);
    w.beginArray();
    for (const Shown& f : files) {
        w.beginObject();
        w.key("path");
        w.value(f.path);
        w.key("ok");
        w.value(f.stamp.ok());
        w.key("error");
        if (f.stamp.ok())
            w.null();
        else
            w.value(f.stamp.error().message);
        if (f.stamp.ok()) {
            const FileStamp& s = *f.stamp;
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
        w.endObject();
    }
    w.endArray();
}

void writeText(std::ostream& out, const std::vector<Shown>& files) {
    for (const Shown& f : files) {
        out << f.path << "\n";
        if (!f.stamp.ok()) {
            out << "  error: " << f.stamp.error().message << "\n";
            continue;
        }
        const FileStamp& s = *f.stamp;
        out << "  " << kFileInfoNames[0] << ": " << FormatDateTimeText(FileTimeToLocal(s.Creation.ticks)) << "\n";
        out << "  " << kFileInfoNames[1] << ": " << FormatDateTimeText(FileTimeToLocal(s.LastWrite.ticks)) << "\n";
        out << "  " << kFileInfoNames[2] << ": " << FormatDateTimeText(FileTimeToLocal(s.LastAccess.ticks)) << "\n";
        out << "  " << kFileInfoNames[3] << ": " << ((s.Attributes & kAttrReadOnly) ? "Y" : "") << "\n";
        out << "  " << kFileInfoNames[4] << ": " << ((s.Attributes & kAttrArchive) ? "Y" : "") << "\n";
        out << "  " << kFileInfoNames[5] << ": " << ((s.Attributes & kAttrHidden) ? "Y" : "") << "\n";
        out << "  " << kFileInfoNames[6] << ": " << ((s.Attributes & kAttrSystem) ? "Y" : "") << "\n";
    }
}

}  // namespace

int runShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::vector<std::string> paths;
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            err << "quorvix-cli show: unknown option '" << a << "'\n";
            return kExitUsage;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) {
        err << "quorvix-cli show: no file given\n";
        printHelp(err);
        return kExitUsage;
    }
    std::vector<Shown> shown;
    bool allOk = true;
    for (const std::string& p : paths) {
        Shown s;
        s.path = p;
        s.stamp = ReadFileStamp(p);
        allOk = allOk && s.stamp.ok();
        shown.push_back(std::move(s));
    }
    if (json)
        writeJson(out, shown);
    else
        writeText(out, shown);
    return allOk ? kExitOk : kExitFileFailed;
}

}  // namespace qv::cli
