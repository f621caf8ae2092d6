#include "cli/cli.h"

namespace qv::cli {

namespace {

void printUsage(std::ostream& out) {
    out << "Usage: quorvix-cli COMMAND [OPTIONS] FILE...\n"
           "\n"
           "Shows and changes the document properties, file times and attributes of\n"
           "Office documents: Excel workbooks, Word documents and PowerPoint\n"
           "presentations, both as compound files (.xls .doc .ppt, their templates and\n"
           "add-ins) and as packages (.xlsx .xlsm .xlsb .docx .pptx and the rest), and\n"
           "OpenDocument spreadsheets, texts and presentations (.ods .odt .odp, their\n"
           "templates and flat files).\n"
           "\n"
           "Commands:\n"
           "  show     print the properties, times and attributes of documents\n"
           "  set      change properties, times and attributes of documents\n"
           "  export   write the properties, times and attributes of documents to CSV\n"
           "  import   apply an edited CSV back to the documents it names, after\n"
           "           printing every change\n"
           "  restore  put documents back as they were before a run with backups\n"
           "  audit    list what documents give away of the people, organisations and\n"
           "           places behind them\n"
           "  scrub    remove that before a delivery, in place or into copies (--out)\n"
           "\n"
           "Run 'quorvix-cli COMMAND --help' for the options of a command.\n";
}

}  // namespace

int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        printUsage(err);
        return kExitUsage;
    }
    const std::string& command = args[0];
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(out);
        return kExitOk;
    }
    if (command == "show")
        return runShow(rest, out, err);
    if (command == "set")
        return runSet(rest, out, err);
    if (command == "export")
        return runExport(rest, out, err);
    if (command == "import")
        return runImport(rest, out, err);
    if (command == "restore")
        return runRestore(rest, out, err);
    if (command == "audit")
        return runAudit(rest, out, err);
    if (command == "scrub")
        return runScrub(rest, out, err);
    err << "quorvix-cli: unknown command '" << command << "'\n\n";
    printUsage(err);
    return kExitUsage;
}

}  // namespace qv::cli
