// Names compared without regard to case, as the CSV import meets them by
// the thousand: ASCII names through a map, the rest through Unicode folding.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace qv::engine {

inline bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

inline std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A set of names compared without regard to case: an ASCII name against
// the others in about constant time (almost all are ASCII); any other name
// against every name through Unicode folding, as FindCustom compares.
class NameSet {
public:
    // The index of an earlier name equal to this one, or none; then adds it.
    std::optional<std::size_t> add(const std::string& name, std::size_t index) {
        if (auto earlier = find(name))
            return earlier;
        if (isAscii(name))
            m_ascii.emplace(asciiLower(name), index);
        m_all.emplace_back(name, index);
        return std::nullopt;
    }
    // The index of the name equal to this one, or none.
    std::optional<std::size_t> find(const std::string& name) const {
        if (isAscii(name)) {
            auto it = m_ascii.find(asciiLower(name));
            return it == m_ascii.end() ? std::nullopt : std::optional<std::size_t>(it->second);
        }
        for (const auto& [other, i] : m_all)
            if (platform::sameIgnoringCase(other, name))
                return i;
        return std::nullopt;
    }

private:
    std::unordered_map<std::string, std::size_t> m_ascii;
    std::vector<std::pair<std::string, std::size_t>> m_all;
};

}  // namespace qv::engine
