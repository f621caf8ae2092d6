#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/bytes.h"
#include "platform/dosattrib.h"
#include "platform/faults.h"
#include "platform/platform.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::platform;

namespace {

bool xattrsSupported(const std::string& path) {
    if (setxattr(path.c_str(), "user.qvprobe", "1", 1, 0) != 0)
        return false;
    removexattr(path.c_str(), "user.qvprobe");
    return true;
}

std::vector<std::string> leftovers(const test::TempDir& dir, const std::string& target) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (isTemporaryNameFor(target, e.path().filename().string()))
            found.push_back(e.path().string());
    return found;
}

// Runs fn in a child process that holds a lock on path until the parent is done.
class LockingChild {
public:
    LockingChild(const std::string& path, bool posixRecordLock) {
        int ready[2], release[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(release), 0);
        m_pid = fork();
        if (m_pid == 0) {
            int fd = open(path.c_str(), O_RDWR);
            if (posixRecordLock) {
                struct flock fl {};
                fl.l_type = F_WRLCK;
                fl.l_whence = SEEK_SET;
                fcntl(fd, F_SETLK, &fl);
            } else {
                flock(fd, LOCK_EX);
            }
            char c = 1;
            (void)!write(ready[1], &c, 1);
            (void)!read(release[0], &c, 1);
            _exit(0);
        }
        char c;
        (void)!read(ready[0], &c, 1);
        m_release = release[1];
        close(ready[0]);
        close(ready[1]);
        close(release[0]);
    }
    ~LockingChild() {
        char c = 1;
        (void)!write(m_release, &c, 1);
        close(m_release);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid;
    int m_release;
};

}  // namespace

TEST(DosAttrib, ReadsTextOnlyFormAndNdrRecords) {
    auto textOnly = dosattrib::decode("0x22");
    ASSERT_TRUE(textOnly);
    EXPECT_EQ(textOnly->attributes, 0x22u);
    EXPECT_FALSE(textOnly->creation);

    // A version 3 record as older servers write it: text, NUL, NDR fields.
    ByteWriter w;
    w.bytes("0x20");
    w.u8(0);
    w.u8(0);  // NDR aligns the version to two bytes
    w.u16(3);
    w.u32(3);
    w.u32(0x11);  // attribute and creation time valid
    w.u32(0x26);
    w.u32(0);
    w.u64(1234);
    w.u64(4096);
    w.u64(132'000'000'000'000'000ull);
    w.u64(132'000'000'000'000'999ull);
    auto v3 = dosattrib::decode(w.buffer());
    ASSERT_TRUE(v3);
    EXPECT_EQ(v3->attributes, 0x26u);  // the record wins over the text
    EXPECT_EQ(v3->creation, 132'000'000'000'000'000ull);

    // Re-encoding keeps the version and the fields we don't own.
    v3->attributes = 0x02;
    v3->creation = 5;
    auto again = dosattrib::decode(dosattrib::encode(*v3));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->version, 3);
    EXPECT_EQ(again->attributes, 0x02u);
    EXPECT_EQ(again->creation, 5u);
    EXPECT_NE(dosattrib::encode(*again).find(std::string("\x00\x10\x00\x00\x00\x00\x00\x00", 8)), std::string::npos)
        << "alloc_size 4096 kept";

    EXPECT_FALSE(dosattrib::decode("junk"));
    EXPECT_FALSE(dosattrib::decode(std::string("0x", 2)));
}

TEST(DosAttrib, NewRecordsAreVersion4) {
    dosattrib::Info info;
    info.attributes = 0x21;
    info.creation = 99;
    std::string blob = dosattrib::encode(info);
    EXPECT_EQ(blob.substr(0, 5), std::string("0x21\0", 5));
    // Versions and arm sit where both the aligned and the packed layout expect them.
    EXPECT_EQ(blob[6], 4);
    EXPECT_EQ(blob[8], 4);
    EXPECT_EQ(blob.size(), 6u + 2 + 4 + 4 + 4 + 8 + 8);
    auto back = dosattrib::decode(blob);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->version, 4);
    EXPECT_EQ(back->attributes, 0x21u);
    EXPECT_EQ(back->creation, 99u);
}

TEST(Attributes, ReadOnlyIsThePermissionAndTheRestLiveInTheExtendedAttribute) {
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "x");
    if (!xattrsSupported(f))
        GTEST_SKIP() << "no user extended attributes here";
    auto a = getFileAttributes(f);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(*a, 0u);

    ASSERT_TRUE(setFileAttributes(f, kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | 0x2000).ok());
    EXPECT_EQ(*getFileAttributes(f), kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | 0x2000);
    EXPECT_EQ(test::statTimes(f).mode & 0222, 0u);

    ASSERT_TRUE(setFileAttributes(f, kAttrArchive).ok());
    EXPECT_EQ(*getFileAttributes(f), kAttrArchive);
    EXPECT_NE(test::statTimes(f).mode & 0200, 0u);
}

TEST(Attributes, DotFilesReadAsHiddenAndSettingWhatIsAlreadyThereWritesNothing) {
    test::TempDir dir;
    std::string f = dir.file(".hidden.xlsx");
    test::writeFile(f, "x");
    EXPECT_EQ(*getFileAttributes(f), kAttrHidden);
    ASSERT_TRUE(setFileAttributes(f, kAttrHidden).ok());
    EXPECT_LT(getxattr(f.c_str(), "user.DOSATTRIB", nullptr, 0), 0) << "no attribute was needed";
    auto cleared = setFileAttributes(f, 0);
    EXPECT_FALSE(cleared.ok());
    EXPECT_EQ(cleared.error().code, ErrorCode::Unsupported);
}

TEST(Times, SetToTheHundredNanosecondsAndCreationTimeStored) {
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "x");
    if (!xattrsSupported(f))
        GTEST_SKIP() << "no user extended attributes here";
    FileTimes t;
    t.creation = {129'145'000'000'000'001ull, 0};
    t.lastAccess = {129'146'000'000'000'002ull, 0};
    t.lastWrite = {129'147'000'000'000'003ull, 57};
    ASSERT_TRUE(setFileTimes(f, t).ok());
    auto e = findFile(f);
    ASSERT_TRUE(e.ok());
    EXPECT_EQ(e->times, t);
}

TEST(Times, ReadingMovesNoTimeAndSettingTheTimesAFileHasWritesNothing) {
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "content");
    FileTimes t;
    t.creation = {129'145'000'000'000'000ull, 0};
    t.lastAccess = {129'146'000'000'000'000ull, 0};
    t.lastWrite = {129'147'000'000'000'000ull, 0};
    ASSERT_TRUE(setFileTimes(f, t).ok());
    struct stat before;
    ASSERT_EQ(::stat(f.c_str(), &before), 0);
    {
        auto file = File::open(f, OpenMode::ReadDenyWrite);
        ASSERT_TRUE(file.ok());
        char buf[7];
        ASSERT_TRUE(file->readExactAt(0, buf, sizeof buf).ok());
    }
    EXPECT_EQ(findFile(f)->times, t) << "reading our own file moves no time";
    ASSERT_TRUE(setFileTimes(f, t).ok());
    struct stat after;
    ASSERT_EQ(::stat(f.c_str(), &after), 0);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec) << "nothing was written";
    auto times = queryAccessAndWriteTimes(f);
    ASSERT_TRUE(times.ok());
    EXPECT_EQ(times->lastAccess, t.lastAccess);
    EXPECT_EQ(times->lastWrite, t.lastWrite);
}

TEST(Times, FindFileRefusesFoldersAndMissingFiles) {
    test::TempDir dir;
    EXPECT_EQ(findFile(dir.path()).error().code, ErrorCode::IsDirectory);
    EXPECT_EQ(findFile(dir.file("none.xls")).error().code, ErrorCode::NotFound);
}

TEST(Sharing, AFileLockedByAnotherProgramIsInUse) {
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "x");
    FileTimes t = findFile(f)->times;
    for (bool recordLock : {false, true}) {
        LockingChild child(f, recordLock);
        auto st = setFileTimes(f, t);
        ASSERT_FALSE(st.ok()) << (recordLock ? "record lock" : "flock");
        EXPECT_EQ(st.error().code, ErrorCode::InUse);
        EXPECT_FALSE(File::open(f, OpenMode::ReadDenyWrite).ok());
    }
    EXPECT_TRUE(setFileTimes(f, t).ok());
}

TEST(Replacement, CommitReplacesAndKeepsPermissionsAndAttributes) {
    test::TempDir dir;
    std::string f = dir.file("book.xlsx");
    test::writeFile(f, "old");
    chmod(f.c_str(), 0640);
    bool xattrs = xattrsSupported(f);
    if (xattrs) {
        ASSERT_TRUE(setFileAttributes(f, kAttrHidden).ok());
    }
    auto r = ReplacementFile::create(f);
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(r->file().write("new content").ok());
    EXPECT_EQ(test::readFile(f), "old");
    ASSERT_TRUE(r->commit().ok());
    EXPECT_EQ(test::readFile(f), "new content");
    EXPECT_EQ(test::statTimes(f).mode & 07777, 0640u);
    if (xattrs) {
        EXPECT_EQ(*getFileAttributes(f), kAttrHidden);
    }
    EXPECT_TRUE(leftovers(dir, f).empty());
}

TEST(Replacement, AFailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "old");
    bool succeeded = false;
    for (int n = 1; !succeeded && n < 50; ++n) {
        faults::failAt(n);
        Status st = writeFileAtomically(f, "new");
        faults::reset();
        succeeded = st.ok();
        if (!succeeded) {
            EXPECT_EQ(test::readFile(f), "old") << "fault " << n;
        }
        EXPECT_TRUE(leftovers(dir, f).empty()) << "fault " << n;
    }
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(test::readFile(f), "new");
}

TEST(Replacement, StaleTemporariesOfOurNamingAreRemovedAndOnlyThose) {
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "old");
    std::string stale = dir.file("book.xls.QVZabc123.tmp");
    std::string other = dir.file("book.xls.QVZ.tmp");
    std::string foreign = dir.file("other.xls.QVZabc123.tmp");
    test::writeFile(stale, "");
    test::writeFile(other, "");
    test::writeFile(foreign, "");
    // One that a running writer still holds stays.
    auto live = ReplacementFile::create(f);
    ASSERT_TRUE(live.ok());
    removeStaleTemporaries(f);
    EXPECT_FALSE(test::fileExists(stale));
    EXPECT_TRUE(test::fileExists(other));
    EXPECT_TRUE(test::fileExists(foreign));
    EXPECT_TRUE(test::fileExists(live->tempPath()));
    live->discard();
    EXPECT_FALSE(test::fileExists(live->tempPath()));
}

TEST(Replacement, ABatchSweepsEachFolderOnceAndCommitsEveryFile) {
    test::TempDir dir;
    std::string a = dir.file("a.xls"), b = dir.file("b.xls");
    test::writeFile(a, "old a");
    test::writeFile(b, "old b");
    test::writeFile(dir.file("a.xls.QVZabc123.tmp"), "");
    test::writeFile(dir.file("b.xls.QVZdef456.tmp"), "");
    {
        ReplacementBatch batch;
        ReplacementBatch nested;  // adds to the open one
        for (const std::string& f : {a, b}) {
            auto r = ReplacementFile::create(f);
            ASSERT_TRUE(r.ok());
            ASSERT_TRUE(r->file().write("new " + f.substr(f.size() - 5, 1)).ok());
            ASSERT_TRUE(r->commit().ok());
            // In place at once, not only when the batch ends.
            EXPECT_EQ(test::readFile(f), "new " + f.substr(f.size() - 5, 1));
        }
    }
    EXPECT_EQ(leftovers(dir, a), std::vector<std::string>{});
    EXPECT_EQ(leftovers(dir, b), std::vector<std::string>{});
}

TEST(Replacement, ReadOnlyFolderFailsCleanly) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    test::TempDir dir;
    std::string f = dir.file("book.xls");
    test::writeFile(f, "old");
    chmod(dir.path().c_str(), 0555);
    Status st = writeFileAtomically(f, "new");
    chmod(dir.path().c_str(), 0755);
    EXPECT_FALSE(st.ok());
    EXPECT_EQ(test::readFile(f), "old");
}

TEST(Folders, ListFilesSkipsFolders) {
    test::TempDir dir;
    test::writeFile(dir.file("a.xls"), "");
    test::writeFile(dir.file(".b.xlsx"), "");
    std::filesystem::create_directory(dir.file("sub.xls"));
    auto names = listFiles(dir.path());
    ASSERT_TRUE(names.ok());
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{".b.xlsx", "a.xls"}));
}
