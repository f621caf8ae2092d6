// Every change can be undone: the first backup stays the true original,
// later runs add generations or use a backup folder, refused changes get
// no backup, and a run's journal restores what it wrote, but never over
// another program's save.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/backup.h"
#include "engine/change.h"
#include "engine/restore.h"
#include "enginetest.h"

using namespace qv;
using namespace qv::engine;

namespace {

// Journals of runs beside the documents go to the user's data folder: the
// test's own.
class BackupTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        _putenv_s("LOCALAPPDATA", dir.file("data").c_str());
#else
        setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
#endif
    }
    BatchChange titled(const std::string& title, BackupPolicy policy = {}) {
        BatchChange c;
        c.edits[kRowTitle] = PropertyEdit::set(title);
        c.backup = true;
        c.backupPolicy = std::move(policy);
        return c;
    }
    std::string title(const std::string& path) { return std::get<std::string>((*ReadMetadata(path))[kRowTitle].value); }

    test::EngineEnvironment env;
    test::TempDir dir;
};

}  // namespace

TEST_F(BackupTest, ThreeRunsKeepTheOriginalAndOneRestoreBringsTheLastBack) {
    const std::string a = dir.copyData("lo_ascii.xlsx", "a.xlsx"), b = dir.copyData("lo_ascii.xls", "b.xls");
    const std::string originalA = test::readFile(a), originalB = test::readFile(b);
    BatchReport last;
    std::string afterSecond;
    for (const char* t : {"one", "two", "three"}) {
        last = RunBatch({a, b}, titled(t, BackupPolicy{{}, 2}));
        ASSERT_TRUE(last.allChanged()) << last.files[0].error.message;
        if (std::string(t) == "two")
            afterSecond = test::readFile(a);
    }
    EXPECT_EQ(test::readFile(BackupPathFor(a)), originalA);
    EXPECT_EQ(test::readFile(BackupPathFor(b)), originalB);
    // Two kept: the first, and the newest.
    EXPECT_FALSE(test::fileExists(a + ".2.bak"));
    EXPECT_EQ(test::readFile(a + ".3.bak"), afterSecond);
    EXPECT_EQ(last.files[0].backup, a + ".3.bak");

    // The last run undone from its journal; the restore is itself undoable.
    auto entries = ReadJournal(last.journal);
    ASSERT_TRUE(entries.ok());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].changes.front().key, "title");
    EXPECT_EQ((*entries)[0].changes.front().before, "two");
    const BatchReport restored = RestoreEntries(*entries, false, {});
    ASSERT_TRUE(restored.allChanged()) << restored.files[0].error.message;
    EXPECT_EQ(test::readFile(a), afterSecond);
    EXPECT_EQ(title(b), "two");
    auto undo = LatestEntryFor(a, {});
    ASSERT_TRUE(undo.ok());
    ASSERT_TRUE(RestoreEntries({*undo}, false, {}).allChanged());
    EXPECT_EQ(title(a), "three");

    // Another program's save after the run: the restore leaves it alone.
    MetadataEdits other;
    other[kRowSubject] = PropertyEdit::set(std::string("saved by another program"));
    ASSERT_TRUE(ApplyFileChange(b, FileChange{other, {}, {}, {}, {}}).ok());
    const std::string saved = test::readFile(b);
    auto latest = LatestEntryFor(b, {});
    ASSERT_TRUE(latest.ok());
    const BatchReport refused = RestoreEntries({*latest}, false, {});
    EXPECT_EQ(refused.files[0].error.code, ErrorCode::ChangedMeanwhile);
    EXPECT_EQ(test::readFile(b), saved);
}

TEST_F(BackupTest, ABackupFolderKeepsEachDocumentsWholePathAndRefusedChangesGetNoBackup) {
    std::filesystem::create_directories(dir.file("x"));
    std::filesystem::create_directories(dir.file("y"));
    const std::string x = dir.copyData("lo_ascii.xlsx", "x/same.xlsx"), y = dir.copyData("lo_japanese.xlsx", "y/same.xlsx");
    const std::string vault = dir.file("vault");
    const BatchReport report = RunBatch({x, y}, titled("t", BackupPolicy{vault, 5}));
    ASSERT_TRUE(report.allChanged());
    EXPECT_NE(report.files[0].backup, report.files[1].backup);
    EXPECT_EQ(report.files[0].backup.rfind(vault, 0), 0u) << report.files[0].backup;
    EXPECT_FALSE(test::fileExists(BackupPathFor(x)));
    EXPECT_EQ(report.journal.rfind(vault, 0), 0u) << report.journal;

    // Refused before anything is written: no backup; our own backup given
    // as an input is left out, untouched.
    const std::string damaged = dir.copyData("not_a_zip.xlsx", "damaged.xlsx");
    test::writeFile(dir.file("notes.txt"), "text");
    const std::string keep = dir.copyData("lo_ascii.xls", "k.xls");
    ASSERT_TRUE(RunBatch({keep}, titled("first")).allChanged());
    const std::string firstBackup = test::readFile(BackupPathFor(keep));
    const BatchReport mixed =
        RunBatch({damaged, dir.file("notes.txt"), keep, BackupPathFor(keep)}, titled("second"));
    EXPECT_EQ(mixed.files[0].state, FileState::ChangeFailed);
    EXPECT_FALSE(test::fileExists(BackupPathFor(damaged)));
    EXPECT_EQ(mixed.files[1].error.code, ErrorCode::NotAnOfficeDocument);
    EXPECT_FALSE(test::fileExists(dir.file("notes.txt.bak")));
    EXPECT_EQ(mixed.files[2].state, FileState::Changed);
    EXPECT_FALSE(mixed.files[3].note.empty());
    EXPECT_EQ(test::readFile(BackupPathFor(keep)), firstBackup);

    // A times-only change of a file that is no Office document needs the
    // user's word.
    BatchChange times;
    times.lastWrite.replaceDate = true;
    times.lastWrite.date = 40000;
    EXPECT_EQ(RunBatch({dir.file("notes.txt")}, times).files[0].error.code, ErrorCode::NotAnOfficeDocument);
    times.anyFile = true;
    EXPECT_TRUE(RunBatch({dir.file("notes.txt")}, times).allChanged());
}

TEST(Journal, ALineCutOffByACrashLeavesTheLinesBeforeIt) {
    test::TempDir dir;
    auto journal = Journal::create(dir.file("j"), "batch");
    ASSERT_TRUE(journal.ok());
    JournalEntry e{"/d/a \"quoted\".xlsx", "/d/a.xlsx.bak", {{"title", "old\nline", "new"}}, 12, 34, "ab"};
    ASSERT_TRUE(journal->add(e).ok());
    test::writeFile(journal->path(), test::readFile(journal->path()) + "{\"type\":\"file\",\"path\":\"/d/b");
    auto read = ReadJournal(journal->path());
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->size(), 1u);
    EXPECT_EQ((*read)[0].path, e.path);
    EXPECT_EQ((*read)[0].changes[0].before, "old\nline");
    EXPECT_EQ((*read)[0].lastWrite, 34u);
    EXPECT_EQ(JournalsIn(dir.file("j")), std::vector<std::string>{journal->path()});
}
