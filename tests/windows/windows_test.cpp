#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "engine/change.h"
#include "engine/csv.h"
#include "engine/view.h"
#include "enginetest.h"
#include "platform/platform.h"
#include "base/text.h"
#include "props/compound/compound_props.h"
#include "props/filestamp.h"
#include "props/package/package_props.h"

using namespace qv;
using namespace qv::engine;
using namespace qv::test;

namespace {

class WindowsTest : public ::testing::Test {
protected:
    test::EngineEnvironment env;
    test::TempDir dir;
};

std::wstring wide(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end())).wstring();
}

DWORD rawAttributes(const std::string& path) { return GetFileAttributesW(wide(path).c_str()); }

}  // namespace

TEST_F(WindowsTest, PutBackRestoresTimesToTheHundredNanoseconds) {
    std::string f = dir.copyData("lo_ascii.xls");
    platform::FileTimes t{test::knownTime(0), RawFileTime{test::knownTime(1).ticks + 3, 0},
                          RawFileTime{test::knownTime(2).ticks + 7, 0}};
    ASSERT_TRUE(platform::setFileTimes(f, t).ok());
    auto stamp = ReadFileStamp(f);
    ASSERT_TRUE(stamp.ok());
    EXPECT_EQ(stamp->LastAccess.ticks, t.lastAccess.ticks);
    EXPECT_EQ(stamp->LastWrite.ticks, t.lastWrite.ticks);
    ASSERT_TRUE(SetFileTimes(f, 40000.25, 40000.5, 40000.75).ok());
    ASSERT_TRUE(PutBackFileStamp(f, *stamp).ok());
    auto after = ReadFileStamp(f);
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(*after, *stamp);
}

TEST_F(WindowsTest, AttributesAreTheFileSystemsOwn) {
    std::string f = dir.copyData("lo_ascii.xlsx");
    ASSERT_TRUE(SetFileAttributeValue(f, kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
    EXPECT_EQ(test::reliableAttributes(rawAttributes(f)), kAttrReadOnly | kAttrHidden | kAttrSystem);
    ASSERT_TRUE(SetFileAttributeValue(f, 0).ok());
    EXPECT_EQ(test::reliableAttributes(rawAttributes(f)) & (kAttrReadOnly | kAttrHidden | kAttrSystem), 0u);
}

TEST_F(WindowsTest, AFileOpenInAnotherProgramIsInUse) {
    std::string f = dir.copyData("lo_japanese.xlsx");
    FileStamp stamp = *ReadFileStamp(f);
    {
        test::HeldByAnotherProgram held(f);
        Status st = SetFileTimes(f, 40000, 40000, 40000);
        ASSERT_FALSE(st.ok());
        EXPECT_EQ(st.error().code, ErrorCode::InUse);
        FileView v = LoadSingleFileView(f);
        EXPECT_FALSE(v.ok);
        BatchSettings s;
        s.values[kRowTitle] = "x";
        s.ticked.set(kRowTitle);
        BatchReport r = RunBatch({f}, s);
        EXPECT_EQ(r.files[0].state, FileState::ChangeFailed);
    }
    EXPECT_EQ(*ReadFileStamp(f), stamp);
    EXPECT_TRUE(LoadSingleFileView(f).ok);
}

TEST_F(WindowsTest, HiddenSystemAndReadOnlyWorkbooksChangeAndKeepTheirAttributes) {
    std::vector<std::string> files = {dir.copyData("lo_ascii.xls", "予算報告.xls"),
                                      dir.copyData("sheetjs_japanese.xlsx", "経理.xlsx")};
    for (const std::string& f : files)
        ASSERT_TRUE(SetFileAttributeValue(f, kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
    BatchSettings s;
    s.values[kRowTitle] = "四半期報告";
    s.ticked.set(kRowTitle);
    s.backup = true;
    BatchReport r = RunBatch(files, s);
    ASSERT_TRUE(r.allChanged()) << r.files[0].error.message << " / " << r.files[1].error.message;
    for (const std::string& f : files) {
        EXPECT_EQ(test::readTexts(f)[kRowTitle], "四半期報告") << f;
        EXPECT_EQ(test::reliableAttributes(rawAttributes(f)), kAttrReadOnly | kAttrHidden | kAttrSystem) << f;
        EXPECT_EQ(test::reliableAttributes(rawAttributes(BackupPathFor(f))),
                  kAttrReadOnly | kAttrHidden | kAttrSystem)
            << f;
    }
    // Unticking read-only in the three-state box makes them writable.
    s.backup = false;
    s.attributes.readOnly = AttributeChoice::Unchecked;
    ASSERT_TRUE(RunBatch(files, s).allChanged());
    for (const std::string& f : files)
        EXPECT_EQ(test::reliableAttributes(rawAttributes(f)), kAttrHidden | kAttrSystem) << f;
}

TEST_F(WindowsTest, RewrittenWorkbooksKeepTheirCreationTime) {
    if (!test::creationTimeIsStored())
        GTEST_SKIP() << "this file system reports the last-write time as creation time";
    for (const char* name : {"lo_ascii.xls", "lo_ascii.xlsx"}) {
        std::string f = dir.copyData(name);
        test::setKnownStamp(f);
        RowTexts values{};
        values[kRowAuthor] = "作成者";
        RowMask mask;
        mask.set(kRowAuthor);
        // The writers alone, without the engine setting the times afterwards.
        Status st = text::isPackagePath(f) ? WritePackageRows(f, values, mask) : WriteCompoundRows(f, values, mask);
        ASSERT_TRUE(st.ok()) << st.error().message;
        EXPECT_EQ(ReadFileStamp(f)->Creation.ticks, test::knownTime(0).ticks) << name;
    }
}

TEST_F(WindowsTest, ShiftJisCsvOfJapaneseNames) {
    std::string f = dir.copyData("lo_japanese.xls", "予算報告.xls");
    std::string csv = dir.file("一覧.csv");
    ExportReport r = RunExport({f}, csv, CsvEncoding::ShiftJis);
    ASSERT_TRUE(r.written.ok()) << r.written.error().message;
    std::string bytes = test::readFile(csv);
    auto sjisName = platform::encodeCodePage(932, "\"予算報告.xls\"", false);
    ASSERT_TRUE(sjisName.ok());
    EXPECT_NE(bytes.find(*sjisName), std::string::npos);
    auto sjisTitle = platform::encodeCodePage(932, "\"タイトル：四半期報告\"", false);
    EXPECT_NE(bytes.find(*sjisTitle), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(platform::ansiCodePage(), 932) << "run the tests with a Japanese code page (LC_ALL=ja_JP.UTF-8 under Wine)";
}
