// quorvix-cli export: the CSV file of the window's export, byte for byte.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/inputs.h"
#include "engine/csv.h"

namespace qv::cli {

namespace {

void printHelp(std::ostream& out) {
    out << "Usage: quorvix-cli export [--encoding shift_jis|utf-8] [--custom] [-r] -o OUT.csv FILE...\n"
           "\n"
           "Writes the properties, times and attributes of the given documents to a CSV\n"
           "file: a header and one line per document, every field in double quotes,\n"
           "CR LF line ends. A folder stands for the Office documents in it.\n"
           "\n"
           "  -o OUT.csv            the file to write (\"-\" for standard output)\n"
           "  --encoding ENC        shift_jis (default; characters it lacks become \"?\",\n"
           "                        with a note per file on standard error) or utf-8\n"
           "                        (with a byte-order mark)\n"
           "  --custom              one more column per user-defined property name\n"
           "                        found in the files, headed custom:NAME; import\n"
           "                        applies such columns (an emptied cell removes)\n"
           "  -r, --recursive       a folder also stands for the documents of its\n"
           "                        subfolders (links to folders are not followed)\n"
           "  --                    the arguments after it are files\n"
           "\n"
           "A file name that is no valid UTF-8 is written with those bytes, and its \"%\",\n"
           "as %XX, which import reads back. A file named twice (or through a link) has\n"
           "one line. OUT.csv may not be one of the files, a folder or a device; a link\n"
           "there is replaced.\n"
           "\n"
           "Exit status: 0 when the CSV was written, 1 when it could not be, 2 for a\n"
           "wrong command line.\n";
}

}  // namespace

int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string output;
    engine::CsvEncoding encoding = engine::CsvEncoding::ShiftJis;
    bool withCustom = false;
    std::vector<std::string> inputs;
    FileArguments files(inputs);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (files.take(a))
            continue;
        if (a == "--help" || a == "-h") {
            printHelp(out);
            return kExitOk;
        }
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) {
                err << "quorvix-cli export: -o needs a file name\n";
                return kExitUsage;
            }
            output = args[++i];
        } else if (a == "--custom") {
            withCustom = true;
        } else if (a == "--encoding") {
            std::string e = i + 1 < args.size() ? args[++i] : "";
            if (e == "shift_jis" || e == "shift-jis" || e == "sjis")
                encoding = engine::CsvEncoding::ShiftJis;
            else if (e == "utf-8" || e == "utf8")
                encoding = engine::CsvEncoding::Utf8;
            else {
                err << "quorvix-cli export: --encoding takes shift_jis or utf-8\n";
                return kExitUsage;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            err << "quorvix-cli export: unknown option '" << a << "'\n";
            return kExitUsage;
        } else {
            inputs.push_back(a);
        }
    }
    if (output.empty() || inputs.empty()) {
        err << "quorvix-cli export: " << (output.empty() ? "no output file given (-o)" : "no file given") << "\n";
        printHelp(err);
        return kExitUsage;
    }
    std::vector<std::string> paths = engine::UniqueFiles(files.expanded());
    // What Shift-JIS can't hold is written as "?", which an import of the
    // CSV as it stands takes for the value it was: said, never silent.
    auto noteLoss = [&](const engine::ExportLoss& loss) {
        for (const auto& [path, count] : loss.files)
            err << "note: " << path << ": " << count
                << " value(s) hold characters Shift-JIS lacks, written as \"?\"; --encoding utf-8 keeps them\n";
        if (loss.names > 0)
            err << "note: " << loss.names
                << " user-defined name(s) hold characters Shift-JIS lacks, written as \"?\"; --encoding utf-8 keeps "
                   "them\n";
    };
    engine::ExportLoss loss;
    if (output == "-") {
        out << engine::BuildCsv(paths, encoding, {}, nullptr, nullptr, withCustom, &loss);
        out.flush();
        noteLoss(loss);
        return kExitOk;
    }
    engine::ExportReport report = engine::RunExport(paths, output, encoding, {}, withCustom);
    if (!report.written) {
        err << "quorvix-cli export: can't write " << output << ": " << report.written.error().message << "\n";
        return kExitFileFailed;
    }
    noteLoss(report.loss);
    err << "exported " << report.rows << " of " << paths.size() << " file(s) to " << output << "\n";
    return kExitOk;
}

}  // namespace qv::cli
