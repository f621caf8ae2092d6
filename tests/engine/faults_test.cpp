// Failures while changing and exporting workbooks: injected at every step
// through the platform's fault points, and real ones where this machine
// allows (a full disk, a read-only folder, a file another process locks, a
// file gone or replaced after it was listed). Each must give the documented
// per-file failure with a reason, leave the workbook byte-identical and leave
// no temporary file behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/text.h"
#include "engine/change.h"
#include "engine/csv.h"
#include "enginetest.h"
#include "platform/faults.h"
#include "platform/platform.h"
#include "props/catalogue.h"

using namespace qv;
using namespace qv::engine;

namespace {

namespace fs = std::filesystem;

// All fourteen rows, as a batch page with every box ticked.
BatchSettings everyRow(bool backup) {
    BatchSettings s;
    const char* texts[kRowCount] = {"障害 title", "subject", "作成者", "keywords", "comments", "category", "77",
                                    "saver",     "manager", "company", "2021/03/04 5:06:07",
                                    "2022/07/08 9:10:11", "42", "2023/11/12 13:14:15"};
    for (int r = 0; r < kRowCount; ++r) {
        s.values[static_cast<std::size_t>(r)] = texts[r];
        s.ticked.set(static_cast<std::size_t>(r));
    }
    s.backup = backup;
    return s;
}

// Names in the folder that are temporary files of our naming for any of the
// given targets.
std::vector<std::string> temporariesBeside(const std::vector<std::string>& targets) {
    std::vector<std::string> found;
    std::string folder = fs::path(targets.front()).parent_path().string();
    auto names = platform::listFiles(folder);
    if (!names)
        return found;
    for (const std::string& n : *names)
        for (const std::string& t : targets)
            if (platform::isTemporaryNameFor(t, n))
                found.push_back(n);
    return found;
}

// A tmpfs mounted for the test's lifetime (root only); skipped elsewhere.
class ScopedTmpfs {
public:
    ScopedTmpfs(const std::string& path, const char* options) : m_path(path) {
        fs::create_directories(path);
        if (geteuid() != 0)
            m_why = "not root: no tmpfs can be mounted";
        else if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options) != 0)
            m_why = std::string("mounting a tmpfs failed: ") + std::strerror(errno);
        else
            m_mounted = true;
    }
    ~ScopedTmpfs() {
        if (m_mounted)
            ::umount2(m_path.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    bool remountReadOnly() {
        return ::mount(nullptr, m_path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string m_path, m_why;
    bool m_mounted = false;
};

// Fills a file system until fewer than `leave` bytes are free.
void fillUp(const std::string& folder, std::uint64_t leave) {
    std::string filler = folder + "/filler";
    int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    std::string block(4096, 'f');
    for (;;) {
        auto space = fs::space(folder);
        if (space.available < leave + block.size())
            break;
        if (::write(fd, block.data(), block.size()) <= 0)
            break;
    }
    ::close(fd);
}

// A child process that holds a file locked the way office programs do until
// told to let go.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(release[1]);
            int fd = ::open(path.c_str(), O_RDWR);
            char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        m_release = release[1];
        char ok = 'n';
        m_locked = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        close(ready[0]);
    }
    ~LockHolder() {
        if (m_pid <= 0)
            return;
        close(m_release);
        int status;
        waitpid(m_pid, &status, 0);
    }
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};

class FaultTest : public ::testing::Test {
protected:
    void TearDown() override { platform::faults::reset(); }

    test::EngineEnvironment env;
    test::TempDir dir;
};

const char* const kBothKinds[] = {"lo_japanese.xls", "sheetjs_japanese.xlsx"};

}  // namespace

// Every disk-changing step of a batch change with its backup, failed in turn:
// the file either failed with a reason and is byte-identical, or the failing
// step came after its properties were committed (times, attributes) and it
// reads back with the new values. Either way no temporary file is left and
// a backup that exists is complete.
TEST_F(FaultTest, AFailureAtEveryStepOfABatchWithBackupLosesNothing) {
    for (const char* data : kBothKinds) {
        std::string name = std::string("book.") + (text::isPackagePath(data) ? "xlsx" : "xls");
        std::string pristine = test::readFile(test::dataPath(data));
        int failures = 0;
        for (int n = 1; n < 200; ++n) {
            std::string path = dir.file(name);
            test::writeFile(path, pristine);
            std::filesystem::remove(BackupPathFor(path));
            platform::faults::failAt(n);
            BatchReport report = RunBatch({path}, everyRow(true));
            bool injected = platform::faults::count() >= n;
            platform::faults::reset();
            const FileResult& r = report.files[0];
            if (r.state == FileState::ChangeFailed) {
                ++failures;
                EXPECT_FALSE(r.error.message.empty()) << data << " step " << n;
                EXPECT_EQ(test::readFile(path), pristine) << data << " step " << n << ": " << r.error.message;
            } else {
                ASSERT_EQ(r.state, FileState::Changed) << data << " step " << n;
                EXPECT_EQ(test::readTexts(path)[kRowTitle], "障害 title") << data << " step " << n;
            }
            if (test::fileExists(BackupPathFor(path))) {
                EXPECT_EQ(test::readFile(BackupPathFor(path)), pristine) << data << " step " << n;
            }
            EXPECT_EQ(temporariesBeside({path, BackupPathFor(path)}), std::vector<std::string>{})
                << data << " step " << n;
            if (!injected)
                break;
        }
        EXPECT_GT(failures, 3) << data << ": the fault points were not reached";
    }
}

// A disk that stays full from some step on (the seam's lasting failure).
TEST_F(FaultTest, ADiskThatFillsUpAtAnyStepLeavesTheWorkbookAsItWas) {
    for (const char* data : kBothKinds) {
        std::string path = dir.copyData(data);
        std::string pristine = test::readFile(path);
        for (int n = 1; n < 100; ++n) {
            platform::faults::failFrom(n, ErrorCode::DiskFull);
            Status st = ApplyBatchToFile(path, everyRow(false));
            bool injected = platform::faults::count() >= n;
            platform::faults::reset();
            if (!injected)
                break;
            if (!st) {
                EXPECT_EQ(st.error().code, ErrorCode::DiskFull) << data << " step " << n << ": " << st.error().message;
                EXPECT_EQ(test::readFile(path), pristine) << data << " step " << n;
            }
            EXPECT_EQ(temporariesBeside({path}), std::vector<std::string>{}) << data << " step " << n;
            test::writeFile(path, pristine);
        }
    }
}

// A real full disk: a small tmpfs with less room left than a rewrite needs.
TEST_F(FaultTest, ARealFullDiskFailsBothKindsCleanly) {
    ScopedTmpfs disk(dir.file("small-disk"), "size=256k");
    if (!disk.mounted())
        GTEST_SKIP() << disk.why();
    std::vector<std::string> paths;
    for (const char* data : kBothKinds) {
        std::string p = dir.file(std::string("small-disk/") + data);
        test::writeFile(p, test::readFile(test::dataPath(data)));
        paths.push_back(p);
    }
    fillUp(dir.file("small-disk"), 2048);
    BatchReport report = RunBatch(paths, everyRow(false));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const FileResult& r = report.files[i];
        EXPECT_EQ(r.state, FileState::ChangeFailed) << paths[i];
        EXPECT_EQ(r.error.code, ErrorCode::DiskFull) << paths[i] << ": " << r.error.message;
        EXPECT_NE(r.error.message.find("space"), std::string::npos) << r.error.message;
        EXPECT_EQ(test::readFile(paths[i]), test::readFile(test::dataPath(kBothKinds[i])));
        EXPECT_EQ(temporariesBeside({paths[i]}), std::vector<std::string>{});
    }
    // With room again the same change goes through.
    std::filesystem::remove(dir.file("small-disk/filler"));
    EXPECT_TRUE(RunBatch(paths, everyRow(false)).allChanged());
}

TEST_F(FaultTest, AReadOnlyFolderFailsWithTheReasonAndABackupStopsTheRun) {
    std::string folder = dir.file("ro");
    ScopedTmpfs disk(folder, "size=1m");
    bool asRoot = disk.mounted();
    if (!asRoot && geteuid() == 0)
        GTEST_SKIP() << disk.why();
    std::vector<std::string> paths;
    for (const char* data : kBothKinds) {
        paths.push_back(folder + "/" + data);
        test::writeFile(paths.back(), test::readFile(test::dataPath(data)));
    }
    if (asRoot)
        ASSERT_TRUE(disk.remountReadOnly()) << std::strerror(errno);
    else
        ASSERT_EQ(chmod(folder.c_str(), 0555), 0);

    BatchReport report = RunBatch(paths, everyRow(false));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const FileResult& r = report.files[i];
        EXPECT_EQ(r.state, FileState::ChangeFailed) << paths[i];
        EXPECT_TRUE(r.error.code == ErrorCode::ReadOnly || r.error.code == ErrorCode::AccessDenied)
            << r.error.message;
        EXPECT_FALSE(r.error.message.empty());
        EXPECT_EQ(test::readFile(paths[i]), test::readFile(test::dataPath(kBothKinds[i])));
    }
    // With backups: read-only media refuse the change before any backup;
    // a read-only folder lets the first backup fail, and the run stops.
    report = RunBatch(paths, everyRow(true));
    EXPECT_EQ(report.files[0].state, FileState::ChangeFailed);
    EXPECT_FALSE(test::fileExists(BackupPathFor(paths[0])));
    if (report.stoppedByBackupFailure) {
        EXPECT_NE(report.files[0].error.message.find("backup"), std::string::npos) << report.files[0].error.message;
        EXPECT_EQ(report.files[1].state, FileState::Unchanged);
    } else {
        EXPECT_EQ(report.files[0].error.code, ErrorCode::ReadOnly) << report.files[0].error.message;
    }
    if (!asRoot)
        chmod(folder.c_str(), 0755);
}

TEST_F(FaultTest, AFileLockedByAnotherProcessIsInUseAndUntouched) {
    for (const char* data : kBothKinds) {
        std::string path = dir.copyData(data);
        std::string other = dir.copyData("lo_ascii.xls", std::string("other-") + data + ".xls");
        LockHolder holder(path);
        ASSERT_TRUE(holder.locked());
        BatchReport report = RunBatch({path, other}, everyRow(false));
        EXPECT_EQ(report.files[0].state, FileState::ChangeFailed);
        EXPECT_EQ(report.files[0].error.code, ErrorCode::InUse) << report.files[0].error.message;
        EXPECT_NE(report.files[0].error.message.find("in use"), std::string::npos);
        EXPECT_EQ(test::readFile(path), test::readFile(test::dataPath(data)));
        EXPECT_EQ(report.files[1].state, FileState::Changed) << "the rest of the list goes on";
        EXPECT_EQ(temporariesBeside({path}), std::vector<std::string>{});
    }
}

TEST_F(FaultTest, AFileGoneOrReplacedAfterListingFailsAloneWithItsReason) {
    std::string gone = dir.copyData("lo_japanese.xls", "gone.xls");
    std::string folder = dir.copyData("lo_ascii.xlsx", "folder.xlsx");
    std::string damaged = dir.copyData("lo_ascii.xlsx", "damaged.xlsx");
    std::string fine = dir.copyData("lo_ascii.xls", "fine.xls");
    std::vector<std::string> listed = {gone, folder, damaged, fine};
    // After the list was made: one deleted, one replaced by a folder, one by
    // a file that is no package at all.
    std::filesystem::remove(gone);
    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    std::string notAZip = "this is no longer a workbook";
    test::writeFile(damaged, notAZip);

    BatchReport report = RunBatch(listed, everyRow(false));
    EXPECT_EQ(report.files[0].state, FileState::ChangeFailed);
    EXPECT_EQ(report.files[0].error.code, ErrorCode::NotFound) << report.files[0].error.message;
    EXPECT_EQ(report.files[1].state, FileState::ChangeFailed);
    EXPECT_EQ(report.files[1].error.code, ErrorCode::IsDirectory) << report.files[1].error.message;
    EXPECT_EQ(report.files[2].state, FileState::ChangeFailed);
    EXPECT_FALSE(report.files[2].error.message.empty());
    EXPECT_EQ(test::readFile(damaged), notAZip);
    EXPECT_EQ(report.files[3].state, FileState::Changed);
    EXPECT_FALSE(test::fileExists(gone)) << "a failed change creates nothing";

    // With backups, a change refused before anything is written gets no
    // backup, and the run goes on.
    report = RunBatch(listed, everyRow(true));
    EXPECT_FALSE(report.stoppedByBackupFailure);
    EXPECT_EQ(report.files[0].error.code, ErrorCode::NotFound) << report.files[0].error.message;
    EXPECT_FALSE(test::fileExists(BackupPathFor(gone)));
    EXPECT_FALSE(test::fileExists(BackupPathFor(damaged)));
    EXPECT_EQ(report.files[3].state, FileState::Changed);
    EXPECT_TRUE(test::fileExists(BackupPathFor(fine)));
}

TEST_F(FaultTest, ABackupThatCantBeWrittenStopsTheRunBeforeTheWorkbookIsTouched) {
    std::string path = dir.copyData("sheetjs_japanese.xlsx");
    std::string next = dir.copyData("lo_ascii.xls");
    // The backup's name is taken by a folder with a file in it.
    std::filesystem::create_directory(BackupPathFor(path));
    test::writeFile(BackupPathFor(path) + "/keep.txt", "kept");
    BatchReport report = RunBatch({path, next}, everyRow(true));
    EXPECT_TRUE(report.stoppedByBackupFailure);
    EXPECT_TRUE(report.files[0].backupFailed);
    EXPECT_EQ(report.files[0].state, FileState::ChangeFailed);
    EXPECT_NE(report.files[0].error.message.find("backup"), std::string::npos) << report.files[0].error.message;
    EXPECT_EQ(report.files[1].state, FileState::Unchanged);
    EXPECT_EQ(test::readFile(path), test::readFile(test::dataPath("sheetjs_japanese.xlsx")));
    EXPECT_EQ(test::readFile(BackupPathFor(path) + "/keep.txt"), "kept");
    EXPECT_EQ(temporariesBeside({path, BackupPathFor(path)}), std::vector<std::string>{});

    // An injected failure in the backup's copy keeps an older backup whole.
    std::filesystem::remove_all(BackupPathFor(path));
    test::writeFile(BackupPathFor(path), "older backup");
    for (int n = 1; n < 20; ++n) {
        platform::faults::failAt(n);
        Status st = backupoldfile(path);
        bool injected = platform::faults::count() >= n;
        platform::faults::reset();
        if (!injected)
            break;
        std::string now = test::readFile(BackupPathFor(path));
        if (!st) {
            EXPECT_TRUE(now == "older backup" || now == test::readFile(path)) << "step " << n;
        }
        EXPECT_EQ(temporariesBeside({BackupPathFor(path)}), std::vector<std::string>{}) << "step " << n;
        test::writeFile(BackupPathFor(path), "older backup");
    }
}

TEST_F(FaultTest, ACsvTargetThatCantBeWrittenFailsAndKeepsTheOldCsv) {
    std::vector<std::string> books = {dir.copyData("lo_japanese.xls"), dir.copyData("lo_ascii.xlsx")};
    // A folder that does not exist, and a folder in the way.
    ExportReport r = RunExport(books, dir.file("missing/out.csv"), CsvEncoding::ShiftJis);
    EXPECT_FALSE(r.written.ok());
    EXPECT_EQ(r.written.error().code, ErrorCode::NotFound) << r.written.error().message;
    std::filesystem::create_directory(dir.file("taken.csv"));
    r = RunExport(books, dir.file("taken.csv"), CsvEncoding::ShiftJis);
    EXPECT_FALSE(r.written.ok());
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken.csv")));

    // An old CSV held open by another program is not replaced.
    std::string csv = dir.file("out.csv");
    test::writeFile(csv, "old,csv\r\n");
    {
        LockHolder holder(csv);
        ASSERT_TRUE(holder.locked());
        r = RunExport(books, csv, CsvEncoding::Utf8);
        ASSERT_FALSE(r.written.ok());
        EXPECT_EQ(r.written.error().code, ErrorCode::InUse) << r.written.error().message;
        EXPECT_EQ(test::readFile(csv), "old,csv\r\n");
    }
    // A failure at any step of writing it keeps the old one whole.
    for (int n = 1; n < 50; ++n) {
        platform::faults::failAt(n);
        r = RunExport(books, csv, CsvEncoding::Utf8);
        bool injected = platform::faults::count() >= n;
        platform::faults::reset();
        if (!injected)
            break;
        std::string now = test::readFile(csv);
        if (!r.written.ok()) {
            EXPECT_FALSE(r.written.error().message.empty());
            EXPECT_EQ(now, "old,csv\r\n") << "step " << n;
        }
        EXPECT_EQ(temporariesBeside({csv}), std::vector<std::string>{}) << "step " << n;
        test::writeFile(csv, "old,csv\r\n");
    }
    // And a read-only place.
    ScopedTmpfs disk(dir.file("ro"), "size=64k");
    if (disk.mounted() && disk.remountReadOnly()) {
        r = RunExport(books, dir.file("ro/out.csv"), CsvEncoding::ShiftJis);
        ASSERT_FALSE(r.written.ok());
        EXPECT_EQ(r.written.error().code, ErrorCode::ReadOnly) << r.written.error().message;
    }
}
