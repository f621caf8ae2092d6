// Command-line pieces shared by the commands.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "props/datetime.h"

namespace qv::cli {

// FILE arguments: a folder stands for its documents, as the file list's
// folder command finds them (every Office kind, owner and lock files left
// out), with those of its subfolders when recursive.
std::vector<std::string> expandInputs(const std::vector<std::string>& args, bool recursive);

// The backup options of every command that writes: --backup, --backup-dir
// DIR (which backs up too) and --generations N. No value when arg is none of
// them; else the fault, empty when the option was taken. next gives the
// option's value, if there is one.
std::optional<std::string> takeBackupOption(const std::string& arg,
                                            const std::function<std::optional<std::string>()>& next, bool& backup,
                                            engine::BackupPolicy& policy);

// The file arguments' part of an option loop: "--" ends the options, and
// everything after it is a file; "--recursive" ("-r") makes folders bring
// their subfolders. True when the argument was taken here.
class FileArguments {
public:
    explicit FileArguments(std::vector<std::string>& files) : m_files(files) {}

    bool take(const std::string& arg) {
        if (m_optionsEnded) {
            m_files.push_back(arg);
            return true;
        }
        if (arg == "--recursive" || arg == "-r") {
            m_recursive = true;
            return true;
        }
        m_optionsEnded = arg == "--";
        return m_optionsEnded;
    }
    std::vector<std::string> expanded() const { return expandInputs(m_files, m_recursive); }
    bool recursive() const { return m_recursive; }

private:
    std::vector<std::string>& m_files;
    bool m_optionsEnded = false;
    bool m_recursive = false;
};

// A date (ISO "yyyy-mm-dd" or the locale's short date) as a local value.
std::optional<LocalDateTime> dateFromArgument(const std::string& value);
// A time of day "H:MM" or "H:MM:SS" as a local value (its fraction).
std::optional<LocalDateTime> timeFromArgument(const std::string& value);

}  // namespace qv::cli
