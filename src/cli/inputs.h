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

// A date (ISO "yyyy-mm-dd" or the locale's short date) as a local value.
std::optional<LocalDateTime> dateFromArgument(const std::string& value);
// A time of day "H:MM" or "H:MM:SS" as a local value (its fraction).
std::optional<LocalDateTime> timeFromArgument(const std::string& value);

}  // namespace qv::cli
