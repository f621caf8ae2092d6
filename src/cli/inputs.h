// Command-line pieces shared by the commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "props/datetime.h"

namespace qv::cli {

// FILE arguments: a folder stands for its workbooks, as the file list's
// folder command finds them (extension test, "~$" skipped, no recursion).
std::vector<std::string> expandInputs(const std::vector<std::string>& args);

// The file arguments' part of an option loop: "--" ends the options, and
// everything after it is a file. True when the argument was taken here.
class FileArguments {
public:
    explicit FileArguments(std::vector<std::string>& files) : m_files(files) {}

    bool take(const std::string& arg) {
        if (m_optionsEnded) {
            m_files.push_back(arg);
            return true;
        }
        m_optionsEnded = arg == "--";
        return m_optionsEnded;
    }

private:
    std::vector<std::string>& m_files;
    bool m_optionsEnded = false;
};

// A date (ISO "yyyy-mm-dd" or the locale's short date) as a local value.
std::optional<LocalDateTime> dateFromArgument(const std::string& value);
// A time of day "H:MM" or "H:MM:SS" as a local value (its fraction).
std::optional<LocalDateTime> timeFromArgument(const std::string& value);

}  // namespace qv::cli
