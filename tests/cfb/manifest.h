// Reading tests/data/manifest.json (a minimal JSON reader) and SHA-256, to
// compare what we read and write with the fixture corpus' own record.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    bool isNull() const { return kind == Kind::Null; }
    // A member of an object; a null value when missing.
    const Json& operator[](const std::string& key) const;
};

// Throws std::runtime_error on malformed text.
Json parseJson(const std::string& text);

std::string sha256Hex(const std::string& bytes);

}  // namespace qv::test
