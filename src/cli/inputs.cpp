#include "cli/inputs.h"

#include "base/text.h"
#include "localtext/datetext.h"
#include "engine/filelist.h"
#include "platform/platform.h"

namespace qv::cli {

std::vector<std::string> expandInputs(const std::vector<std::string>& args, bool recursive) {
    std::vector<std::string> out;
    for (const std::string& a : args) {
        if (platform::isDirectory(a)) {
            for (std::string& p : engine::DocumentsInFolder(a, recursive))
                out.push_back(std::move(p));
        } else {
            out.push_back(a);
        }
    }
    return out;
}

std::optional<LocalDateTime> dateFromArgument(const std::string& value) {
    if (auto t = ParseIso8601(value))
        return WholeDays(FileTimeToLocal(*t));
    if (auto v = ParseDateTimeText(value))
        return WholeDays(*v);
    return std::nullopt;
}

std::optional<LocalDateTime> timeFromArgument(const std::string& value) {
    std::string s = text::trim(value);
    int parts[3] = {0, 0, 0};
    int n = 0;
    std::size_t i = 0;
    while (n < 3) {
        std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 2)
            ++i;
        if (i == start)
            return std::nullopt;
        parts[n++] = std::stoi(s.substr(start, i - start));
        if (i == s.size())
            break;
        if (s[i] != ':')
            return std::nullopt;
        ++i;
    }
    if (i != s.size() || n < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    return (parts[0] * 3600 + parts[1] * 60 + parts[2]) / 86400.0;
}

std::optional<std::string> takeBackupOption(const std::string& arg,
                                            const std::function<std::optional<std::string>()>& next, bool& backup,
                                            engine::BackupPolicy& policy) {
    if (arg == "--backup") {
        backup = true;
        return std::string();
    }
    if (arg == "--backup-dir") {
        auto v = next();
        if (!v || v->empty())
            return std::string("--backup-dir needs a folder");
        backup = true;
        policy.folder = *v;
        return std::string();
    }
    if (arg == "--generations") {
        auto v = next();
        auto n = v ? text::parseInt32(*v) : std::nullopt;
        if (!n || *n < 2 || *n > 999)
            return std::string("--generations takes a whole number from 2 to 999");
        policy.generations = *n;
        return std::string();
    }
    return std::nullopt;
}

}  // namespace qv::cli
