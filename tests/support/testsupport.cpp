#include "support/testsupport.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace qv::test {

namespace {

fs::path u8path(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

void setEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

#ifndef _WIN32
// The journals of runs with backups go to the user's data folder: in the
// tests, a folder of their own, never the home of whoever runs them.
const bool kOwnDataFolder = [] {
    const std::string folder = (fs::temp_directory_path() / "qvtest-data").string();
    setEnv("XDG_DATA_HOME", folder.c_str());
    return true;
}();
#endif

void resetZone() {
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

}  // namespace

std::string dataPath(std::string_view name) {
    const char* dir = std::getenv("QV_TEST_DATA");
    std::string base = dir ? dir : "tests/data";
    return base + "/" + std::string(name);
}

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("qvtest-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            auto u8 = p.u8string();
            m_path.assign(u8.begin(), u8.end());
            return;
        }
    }
    throw std::runtime_error("can't make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission so read-only test files and folders go too.
    for (auto it = fs::recursive_directory_iterator(u8path(m_path), ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(u8path(m_path), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(u8path(m_path), ec);
}

std::string TempDir::file(std::string_view name) const { return m_path + "/" + std::string(name); }

std::string TempDir::copyData(std::string_view dataName, std::string_view as) const {
    std::string target = file(as.empty() ? dataName : as);
    writeFile(target, readFile(dataPath(dataName)));
    return target;
}

std::string readFile(const std::string& path) {
    std::ifstream in(u8path(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("can't read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(u8path(path), std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("can't write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(u8path(path), ec);
}

ScopedTimeZone::ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    m_had = old != nullptr;
    if (old)
        m_old = old;
    setEnv("TZ", tz);
    resetZone();
}

ScopedTimeZone::~ScopedTimeZone() {
    setEnv("TZ", m_had ? m_old.c_str() : nullptr);
    resetZone();
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old)
        m_old = old;
    setEnv(name, value);
}

ScopedEnv::~ScopedEnv() { setEnv(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }

StatTimes statTimes(const std::string& path) {
    StatTimes t;
#ifdef _WIN32
    std::u16string u;
    fs::path p = u8path(path);
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(p.wstring().c_str(), GetFileExInfoStandard, &d))
        return t;
    auto ns = [](const FILETIME& ft) {
        return static_cast<std::int64_t>(((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime)) *
               100;
    };
    t.atimeNs = ns(d.ftLastAccessTime);
    t.mtimeNs = ns(d.ftLastWriteTime);
    t.mode = d.dwFileAttributes;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return t;
    t.atimeNs = static_cast<std::int64_t>(st.st_atim.tv_sec) * 1'000'000'000 + st.st_atim.tv_nsec;
    t.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    t.mode = st.st_mode;
#endif
    return t;
}

bool localeAvailable(const char* name) {
#ifdef _WIN32
    (void)name;
    return false;
#else
    locale_t loc = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
    if (!loc)
        return false;
    freelocale(loc);
    return true;
#endif
}

}  // namespace qv::test
