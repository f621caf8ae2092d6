// UTF-8 paths to and from std::filesystem, which on Windows would read a
// narrow string in the code page.
#pragma once

#include <filesystem>
#include <string>

namespace qv::engine {

inline std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8Of(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

}  // namespace qv::engine
