// Where paths and the user's data lie, and whether the user may replace a
// document itself.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace qv::platform {

// Windows asks the document's ACL when the replacement is renamed over it;
// the read-only attribute is the change's own to clear.
Status checkMayReplace(const std::string&) { return {}; }

std::string userDataFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local && *local)
        return narrow(local);
    return executableFolder();
}

// "C:\x", "\\server\share" and "\x" (the current drive's root) name their
// place; "C:x" and "x" lean on a current folder.
bool isAbsolutePath(const std::string& path) {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/'))
        return true;
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

}  // namespace qv::platform
