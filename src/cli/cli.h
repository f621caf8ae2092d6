// quorvix-cli: the command-line front end over the engine. Its commands,
// flags and JSON fields are a contract that users' scripts rely on: extend
// them, never rename or drop them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qv::cli {

// Exit statuses.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFileFailed = 1,  // at least one file could not be shown, changed or exported
    kExitUsage = 2,       // the command line itself is wrong
};

// Runs a command line (without the program name) with the given streams.
int runCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Commands, one per file.
int runShow(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runSet(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRestore(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runAudit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runScrub(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);


}  // namespace qv::cli
