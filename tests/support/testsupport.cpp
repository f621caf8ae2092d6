#include "support/testsupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qv::test {

std::string dataPath(std::string_view name) {
    const char* dir = std::getenv("QV_TEST_DATA");
    std::string base = dir ? dir : "tests/data";
    return base + "/" + std::string(name);
}

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "qvtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission so read-only test files and folders go too.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::file(std::string_view name) const { return m_path + "/" + std::string(name); }

std::string TempDir::copyData(std::string_view dataName, std::string_view as) const {
    std::string target = file(as.empty() ? dataName : as);
    writeFile(target, readFile(dataPath(dataName)));
    return target;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("can't read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("can't write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    m_had = old != nullptr;
    if (old)
        m_old = old;
    setenv("TZ", tz, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (m_had)
        setenv("TZ", m_old.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old)
        m_old = old;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

StatTimes statTimes(const std::string& path) {
    struct stat st;
    StatTimes t;
    if (::stat(path.c_str(), &st) != 0)
        return t;
    t.atimeNs = static_cast<std::int64_t>(st.st_atim.tv_sec) * 1'000'000'000 + st.st_atim.tv_nsec;
    t.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    t.mode = st.st_mode;
    return t;
}

bool localeAvailable(const char* name) {
    locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (!loc)
        return false;
    freelocale(loc);
    return true;
}

}  // namespace qv::test
