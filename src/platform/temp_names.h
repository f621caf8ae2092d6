// The names of the temporary files that replacements write beside their
// target, shared by the POSIX and Win32 implementations.
#pragma once

#include <string>

#include "base/result.h"

namespace qv::platform::detail {

// A fresh temporary name for a replacement of target (the file name only).
std::string newTemporaryName(const std::string& target);

// Whether a name may be a temporary file of some target (a cheap first test
// before isTemporaryNameFor).
bool mayBeTemporaryName(const std::string& name);

// The refusal of a replacement whose target another program changed since it
// was first read; how says in what way.
Error changedMeanwhile(const std::string& target, const char* how);

// The folder of a path, "." for a bare file name.
std::string folderOf(const std::string& path);

}  // namespace qv::platform::detail
