// Where paths and the user's data lie, and whether the user may replace a
// document itself.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace qv::platform {

bool isAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

Status checkMayReplace(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return Error(errno == ENOENT ? ErrorCode::NotFound : ErrorCode::IoError, "can't find " + path + ": " + std::strerror(errno));
    if (::access(path.c_str(), W_OK) == 0)
        return {};
    const int why = errno;
    if (why == EROFS)
        return Error(ErrorCode::ReadOnly, "can't write " + path + ": it lies on read-only media");
    // The owner may clear a read-only mode, as the change does.
    if (st.st_uid == ::geteuid())
        return {};
    return Error(ErrorCode::AccessDenied, "can't write " + path +
                                              ": the document is closed to you for writing (its folder is not), so "
                                              "it is not replaced");
}

std::string userDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return joinPath(home, ".local/share");
    return "/tmp";
}

}  // namespace qv::platform
