#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "engine/change.h"
#include "engine/view.h"
#include "enginetest.h"
#include "base/text.h"
#include "platform/platform.h"
#include "props/filestamp.h"

using namespace qv;
using namespace qv::engine;

namespace {

class ChangeTest : public ::testing::Test {
protected:
    test::EngineEnvironment env;
    test::TempDir dir;

    std::string copy(const char* data, const char* as) {
        std::string p = dir.copyData(data, as);
        test::setKnownStamp(p);
        return p;
    }

    static BatchSettings titleAndAuthor() {
        BatchSettings s;
        s.values[kRowTitle] = "新しいタイトル";
        s.values[kRowAuthor] = "  山田 花子  ";
        s.ticked.set(kRowTitle).set(kRowAuthor);
        return s;
    }
};

FileStamp stampOf(const std::string& p) {
    auto s = ReadFileStamp(p);
    EXPECT_TRUE(s.ok()) << p;
    return s ? *s : FileStamp{};
}

FileTime toMs(RawFileTime t) { return t.ticks - t.ticks % kTicksPerMillisecond; }

}  // namespace

TEST_F(ChangeTest, BatchWritesTickedRowsIntoBothKindsAndKeepsTimesToTheMillisecond) {
    std::vector<std::string> files = {copy("lo_ascii.xls", "a.xls"), copy("lo_ascii.xlsx", "b.xlsx"),
                                      copy("exceljs_ascii.xlsx", "c.XLSX"), copy("xls_cp932_full.xls", "d.xls")};
    std::vector<RowTexts> before;
    for (auto& f : files) {
        before.push_back(test::readTexts(f));
        test::setKnownStamp(f);  // reading moved the access time
    }
    BatchReport r = RunBatch(files, titleAndAuthor());
    ASSERT_TRUE(r.allChanged());
    for (std::size_t i = 0; i < files.size(); ++i) {
        FileStamp s = stampOf(files[i]);
        if (test::creationTimeIsStored()) {
            EXPECT_EQ(s.Creation.ticks, toMs(test::knownTime(0)));
        }
        EXPECT_EQ(s.LastAccess.ticks, toMs(test::knownTime(1)));
        EXPECT_EQ(s.LastWrite.ticks, toMs(test::knownTime(2)));
        RowTexts after = test::readTexts(files[i]);
        EXPECT_EQ(after[kRowTitle], "新しいタイトル") << files[i];
        // Compound files get trimmed texts; packages keep them as given.
        EXPECT_EQ(after[kRowAuthor], text::isPackagePath(files[i]) ? "  山田 花子  " : "山田 花子") << files[i];
        for (int row = 0; row < kRowCount; ++row) {
            if (row != kRowTitle && row != kRowAuthor) {
                EXPECT_EQ(after[static_cast<std::size_t>(row)], before[i][static_cast<std::size_t>(row)])
                    << files[i] << " row " << row;
            }
        }
    }
}

TEST_F(ChangeTest, BackupIsAnExactCopyWithTheWorkbooksTimesAndAttributes) {
    std::string f = copy("lo_japanese.xlsx", "Report.XLSX");
    if (!test::xattrsSupported(f))
        GTEST_SKIP() << "no extended attributes";
    test::setKnownStamp(f, kAttrReadOnly | kAttrHidden);
    std::string original = test::readFile(f);
    FileStamp before = stampOf(f);
    BatchSettings s = titleAndAuthor();
    s.backup = true;
    ASSERT_TRUE(RunBatch({f}, s).allChanged());
    std::string bak = dir.file("Report.XLSX.bak");
    EXPECT_EQ(stampOf(bak), before);
    EXPECT_EQ(test::readFile(bak), original);
    // A second run keeps the first backup and adds a generation, read-only
    // and hidden as the document was.
    ASSERT_TRUE(RunBatch({f}, s).allChanged());
    EXPECT_EQ(test::readFile(bak), original);
    const std::string second = dir.file("Report.XLSX.2.bak");
    EXPECT_NE(test::readFile(second), original);
    EXPECT_EQ(test::reliableAttributes(stampOf(second).Attributes), kAttrReadOnly | kAttrHidden);
}

TEST_F(ChangeTest, ReadOnlyBoxGrayTickedUnticked) {
    std::string gray = copy("lo_ascii.xls", "gray.xls");
    std::string on = copy("lo_ascii.xlsx", "on.xlsx");
    std::string off = copy("lo_ascii.xls", "off.xls");
    for (auto* p : {&gray, &on, &off})
        test::setKnownStamp(*p, kAttrReadOnly);
    BatchSettings s = titleAndAuthor();
    ASSERT_TRUE(RunBatch({gray}, s).allChanged());
    s.attributes.readOnly = AttributeChoice::Checked;
    ASSERT_TRUE(RunBatch({on}, s).allChanged());
    s.attributes.readOnly = AttributeChoice::Unchecked;
    ASSERT_TRUE(RunBatch({off}, s).allChanged());
    EXPECT_TRUE(stampOf(gray).Attributes & kAttrReadOnly);
    EXPECT_TRUE(stampOf(on).Attributes & kAttrReadOnly);
    EXPECT_FALSE(stampOf(off).Attributes & kAttrReadOnly);
    EXPECT_EQ(test::readTexts(gray)[kRowTitle], "新しいタイトル");
}

TEST_F(ChangeTest, DateOnlyAndTimeOnlyReplacement) {
    std::string f = copy("lo_ascii.xls", "t.xls");
    LocalDateTime picked = EncodeLocal({2011, 1, 2, 9, 30, 0, 0});
    BatchSettings s;
    s.lastWrite.replaceDate = true;
    s.lastWrite.date = picked;
    s.creation.replaceTime = true;
    s.creation.time = picked;
    ASSERT_TRUE(HasBatchWork(s));
    ASSERT_TRUE(RunBatch({f}, s).allChanged());
    FileStamp after = stampOf(f);
    LocalDateTime oldWrite = FileTimeToLocal(test::knownTime(2).ticks);
    LocalDateTime oldCreation = FileTimeToLocal(test::knownTime(0).ticks);
    EXPECT_EQ(after.LastWrite.ticks, LocalToFileTime(ReplaceDatePart(oldWrite, picked)));
    EXPECT_EQ(after.LastAccess.ticks, toMs(test::knownTime(1)));
    if (test::creationTimeIsStored()) {
        EXPECT_EQ(after.Creation.ticks, LocalToFileTime(ReplaceTimePart(oldCreation, picked)));
        DateTimeFields c = DecodeLocal(FileTimeToLocal(after.Creation.ticks));
        EXPECT_EQ(c.hour, 9u);
        EXPECT_EQ(c.minute, 30u);
    }
}

TEST_F(ChangeTest, AFailingFileInTheMiddleLeavesItUntouchedAndTheRestChanged) {
    std::string a = copy("lo_ascii.xls", "a.xls");
    std::string bad = copy("not_a_zip.xlsx", "bad.xlsx");
    std::string c = copy("sheetjs_japanese.xlsx", "c.xlsx");
    test::setKnownStamp(bad, kAttrReadOnly);
    std::string badBytes = test::readFile(bad);
    auto badTimes = test::statTimes(bad);
    BatchSettings s = titleAndAuthor();
    s.attributes.hidden = AttributeChoice::Checked;
    BatchReport r = RunBatch({a, bad, c}, s);
    EXPECT_EQ(r.files[0].state, FileState::Changed);
    EXPECT_EQ(r.files[1].state, FileState::ChangeFailed);
    EXPECT_FALSE(r.files[1].error.message.empty());
    EXPECT_EQ(r.files[2].state, FileState::Changed);
    // A read-only file whose write failed is read-only again, its times as
    // they were (compared before reading it again moves its access time).
    EXPECT_EQ(test::statTimes(bad), badTimes);
    EXPECT_EQ(test::readFile(bad), badBytes);
    EXPECT_TRUE(stampOf(bad).Attributes & kAttrReadOnly);
}

TEST_F(ChangeTest, AFailedBackupStopsTheRun) {
    std::string a = copy("lo_ascii.xls", "a.xls");
    std::string b = copy("lo_ascii.xlsx", "b.xlsx");
    std::string c = copy("lo_japanese.xls", "c.xls");
    std::filesystem::create_directory(b + ".bak");  // a folder in the backup's way
    std::string bBytes = test::readFile(b), cBytes = test::readFile(c);
    BatchSettings s = titleAndAuthor();
    s.backup = true;
    BatchReport r = RunBatch({a, b, c}, s);
    EXPECT_TRUE(r.stoppedByBackupFailure);
    EXPECT_EQ(r.files[0].state, FileState::Changed);
    EXPECT_TRUE(test::fileExists(a + ".bak"));
    EXPECT_EQ(r.files[1].state, FileState::ChangeFailed);
    EXPECT_TRUE(r.files[1].backupFailed);
    EXPECT_EQ(r.files[2].state, FileState::Unchanged);
    EXPECT_EQ(test::readFile(b), bBytes);
    EXPECT_EQ(test::readFile(c), cBytes);
}

TEST_F(ChangeTest, CancelTakesEffectBeforeTheNextFile) {
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i)
        files.push_back(copy("lo_ascii.xls", ("f" + std::to_string(i) + ".xls").c_str()));
    std::string untouched = test::readFile(files[4]);
    std::size_t finished = 0;
    std::vector<int> percents;
    RunCallbacks cb;
    cb.fileFinished = [&](std::size_t, const FileResult&, int p) {
        ++finished;
        percents.push_back(p);
    };
    cb.cancelRequested = [&] { return finished == 3; };
    BatchReport r = RunBatch(files, titleAndAuthor(), cb);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(percents, (std::vector<int>{20, 40, 60}));
    EXPECT_EQ(r.files[2].state, FileState::Changed);
    EXPECT_EQ(r.files[3].state, FileState::Unchanged);
    EXPECT_EQ(test::readFile(files[4]), untouched);
}

TEST(Progress, PercentagesRoundHalvesToEven) {
    std::vector<int> eight, three;
    for (std::size_t k = 1; k <= 8; ++k)
        eight.push_back(ProgressPercent(k, 8));
    for (std::size_t k = 1; k <= 3; ++k)
        three.push_back(ProgressPercent(k, 3));
    EXPECT_EQ(eight, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
    EXPECT_EQ(three, (std::vector<int>{33, 67, 100}));
    EXPECT_EQ(ProgressPercent(1, 1), 100);
}

TEST(BatchWork, AnyTickBoxOrAttributeCounts) {
    BatchSettings s;
    EXPECT_FALSE(HasBatchWork(s));
    s.lastAccess.replaceTime = true;
    EXPECT_TRUE(HasBatchWork(s));
    s = {};
    s.attributes.system = AttributeChoice::Unchecked;
    EXPECT_TRUE(HasBatchWork(s));
    s = {};
    s.ticked.set(kRowLastPrinted);
    EXPECT_TRUE(HasBatchWork(s));
}

TEST_F(ChangeTest, SingleChangeWritesAllRowsAndThePickersTimes) {
    std::string f = copy("xls_no_dsi.xls", "s.xls");
    auto view = LoadSingleFileView(f);
    ASSERT_TRUE(view.ok);
    SingleSettings s;
    s.values = DisplayTexts(view.metadata);
    s.values[kRowCompany] = "株式会社サンプル";
    s.values[kRowLastPrinted] = "";
    s.creationDate = EncodeLocal({2001, 2, 3, 23, 0, 0, 0});
    s.creationTime = EncodeLocal({1999, 1, 1, 4, 5, 6, 0});
    s.lastWriteDate = s.lastWriteTime = view.lastWrite;
    s.lastAccessDate = s.lastAccessTime = view.lastAccess;
    s.attributes.readOnly = AttributeChoice::Checked;
    s.backup = false;
    SingleOutcome out = RunSingleChange(f, s);
    ASSERT_EQ(out.state, FileState::Changed) << out.error.message;
    RowTexts after = test::readTexts(f);
    EXPECT_EQ(after[kRowCompany], "株式会社サンプル");
    EXPECT_EQ(after[kRowLastPrinted], "");
    EXPECT_EQ(after[kRowTitle], s.values[kRowTitle]);
    FileStamp st = stampOf(f);
    if (test::creationTimeIsStored()) {
        EXPECT_EQ(st.Creation.ticks, LocalToFileTime(EncodeLocal({2001, 2, 3, 4, 5, 6, 0})));
    }
    EXPECT_EQ(st.LastWrite.ticks, toMs(test::knownTime(2)));
    EXPECT_TRUE(st.Attributes & kAttrReadOnly);
}

TEST_F(ChangeTest, SingleChangeWithAFailedBackupChangesNothing) {
    std::string f = copy("lo_ascii.xlsx", "s.xlsx");
    std::filesystem::create_directory(f + ".bak");
    std::string bytes = test::readFile(f);
    SingleSettings s;
    s.values = test::readTexts(f);
    s.backup = true;
    SingleOutcome out = RunSingleChange(f, s);
    EXPECT_TRUE(out.backupFailed);
    EXPECT_EQ(out.state, FileState::Unchanged);
    EXPECT_EQ(test::readFile(f), bytes);
}

TEST_F(ChangeTest, MissingFileFailsWithAReason) {
    BatchReport r = RunBatch({dir.file("gone.xls")}, titleAndAuthor());
    EXPECT_EQ(r.files[0].state, FileState::ChangeFailed);
    EXPECT_EQ(r.files[0].error.code, ErrorCode::NotFound);
}

TEST(CustomGrid, TheGridsRowsBecomeOnlyTheEditsTheyMean) {
    const std::vector<CustomProperty> shown = {
        {"Client", std::string("ACME"), false},
        {"Count", std::int64_t{3}, false},
        {"Due", Instant{133'000'000'000'000'000}, false},
        {"Cell", std::string("linked"), true},
    };
    auto rowsOf = [&](const std::vector<CustomProperty>& list) {
        std::vector<CustomRowText> rows;
        for (const CustomProperty& p : list)
            rows.push_back({p.name, p.editable() ? CustomTypeOf(p.value) : std::nullopt, CustomValueText(p.value)});
        return rows;
    };
    // Shown and typed back unchanged: nothing, the date to the second and
    // the read-only row included.
    std::vector<CustomRowText> rows = rowsOf(shown);
    EXPECT_TRUE(CustomEditsFromGrid(shown, rows)->empty());

    rows[1].value = "4";                    // changed
    rows.erase(rows.begin());               // removed
    rows.push_back({"New", CustomType::Bool, "はい"});  // added
    rows[1].name = "DUE";                   // a new spelling replaces it
    auto edits = CustomEditsFromGrid(shown, rows);
    ASSERT_TRUE(edits.ok());
    ASSERT_EQ(edits->size(), 5u);
    EXPECT_EQ((*edits)[0], CustomEdit::remove("Client", true));
    EXPECT_EQ((*edits)[1], CustomEdit::set("Count", std::int64_t{4}));
    EXPECT_EQ((*edits)[2], CustomEdit::remove("Due"));
    EXPECT_EQ((*edits)[3].name, "DUE");
    EXPECT_EQ((*edits)[4], CustomEdit::set("New", true));

    // Two rows of one name, a nameless row, or a value that is no value of
    // its type fail the change.
    rows.push_back({"count", CustomType::Text, "x"});
    EXPECT_FALSE(CustomEditsFromGrid(shown, rows).ok());
    EXPECT_FALSE(CustomEditsFromGrid(shown, {{" ", CustomType::Text, "x"}}).ok());
    auto bad = CustomEditsFromGrid(shown, {{"Count", CustomType::Number, "four"}});
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().message.find("Count"), std::string::npos);
}
