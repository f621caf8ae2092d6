// The names of the temporary files that replacements write beside their
// target, shared by the POSIX and Win32 implementations.
#pragma once

#include <string>

namespace qv::platform::detail {

// A fresh temporary name for a replacement of target (the file name only).
std::string newTemporaryName(const std::string& target);

// The folder of a path, "." for a bare file name.
std::string folderOf(const std::string& path);

}  // namespace qv::platform::detail
