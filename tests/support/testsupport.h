// Helpers shared by the tests: temporary folders, the bundled workbooks,
// and scoped time zones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::test {

// The path of a file in tests/data.
std::string dataPath(std::string_view name);

// A fresh folder that is removed with everything in it at the end of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const;
    // Copies a file of tests/data into the folder and returns its new path.
    std::string copyData(std::string_view dataName, std::string_view as = {}) const;

private:
    std::string m_path;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);
bool fileExists(const std::string& path);

// Sets TZ for the scope (and restores it), so tests run in a known zone.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz);
    ~ScopedTimeZone();

private:
    std::string m_old;
    bool m_had;
};

// Sets an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    std::string m_name, m_old;
    bool m_had;
};

// The nanosecond times of a file as stat reports them, for exactness checks.
struct StatTimes {
    std::int64_t atimeNs = 0, mtimeNs = 0;
    unsigned mode = 0;
    bool operator==(const StatTimes&) const = default;
};
StatTimes statTimes(const std::string& path);

// Whether a locale is installed (the Japanese and English ones are generated
// by scripts/test).
bool localeAvailable(const char* name);

}  // namespace qv::test
