#include "enginetest.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "engine/view.h"
#include "platform/platform.h"

namespace qv::test {

EngineEnvironment::EngineEnvironment() : m_tz("Asia/Tokyo") { SetFormatsForTesting(platform::LocaleFormats{}); }

EngineEnvironment::~EngineEnvironment() { SetFormatsForTesting(std::nullopt); }

RawFileTime knownTime(int which) {
    // 2015-06-0x 01:02:03.4567891 UTC plus a few nanoseconds.
    FileTime base = 130'775'941'234'567'891ull;
    return RawFileTime{base + static_cast<FileTime>(which) * 864'000'000'000ull, static_cast<std::uint32_t>(which * 7)};
}

void setKnownStamp(const std::string& path, std::uint32_t attributes) {
    ASSERT_TRUE(platform::setFileAttributes(path, 0).ok() || true);
    platform::FileTimes t{knownTime(0), knownTime(1), knownTime(2)};
    ASSERT_TRUE(platform::setFileTimes(path, t).ok()) << path;
    Status st = platform::setFileAttributes(path, attributes);
    ASSERT_TRUE(st.ok() || st.error().code == ErrorCode::Unsupported) << st.error().message;
}

RowTexts readTexts(const std::string& path) {
    auto rows = ReadRows(path);
    EXPECT_TRUE(rows.ok()) << path << ": " << (rows ? "" : rows.error().message);
    return rows ? textsOf(*rows) : RowTexts{};
}

bool xattrsSupported(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return true;  // attributes are the file system's own
#else
    if (setxattr(path.c_str(), "user.qvprobe", "1", 1, 0) != 0)
        return false;
    removexattr(path.c_str(), "user.qvprobe");
    return true;
#endif
}

namespace {
struct Capabilities {
    bool creationStored = false;
    bool archiveClearable = false;
};

Capabilities probe() {
    Capabilities c;
    TempDir dir;
    std::string f = dir.file("probe.bin");
    writeFile(f, "x");
    platform::FileTimes t{knownTime(0), knownTime(1), knownTime(2)};
    if (platform::setFileTimes(f, t).ok()) {
        auto e = platform::findFile(f);
        c.creationStored = e && e->times.creation.ticks == t.creation.ticks;
    }
    if (platform::setFileAttributes(f, 0).ok() || true) {
        auto a = platform::getFileAttributes(f);
        c.archiveClearable = a && !(*a & platform::kAttrArchive);
    }
    return c;
}

const Capabilities& capabilities() {
    static const Capabilities c = probe();
    return c;
}
}  // namespace

bool creationTimeIsStored() { return capabilities().creationStored; }
bool archiveIsClearable() { return capabilities().archiveClearable; }
std::uint32_t reliableAttributes(std::uint32_t attributes) {
    return archiveIsClearable() ? attributes : (attributes & ~platform::kAttrArchive);
}

#ifdef _WIN32
HeldByAnotherProgram::HeldByAnotherProgram(const std::string& path) {
    std::filesystem::path p(std::u8string(path.begin(), path.end()));
    m_handle = CreateFileW(p.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(m_handle, INVALID_HANDLE_VALUE);
}

HeldByAnotherProgram::~HeldByAnotherProgram() {
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
}
#else
HeldByAnotherProgram::HeldByAnotherProgram(const std::string& path) {
    int ready[2], release[2];
    EXPECT_EQ(pipe(ready), 0);
    EXPECT_EQ(pipe(release), 0);
    m_pid = fork();
    if (m_pid == 0) {
        int fd = open(path.c_str(), O_RDWR);
        flock(fd, LOCK_EX);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c;
    (void)!read(ready[0], &c, 1);
    close(ready[0]);
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
}

HeldByAnotherProgram::~HeldByAnotherProgram() {
    char c = 1;
    (void)!write(m_release, &c, 1);
    close(m_release);
    waitpid(m_pid, nullptr, 0);
}
#endif

}  // namespace qv::test
