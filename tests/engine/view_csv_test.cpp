#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engine/csv.h"
#include "engine/filelist.h"
#include "engine/view.h"
#include "enginetest.h"
#include "platform/platform.h"
#include "props/compound/compound_props.h"

using namespace qv;
using namespace qv::engine;
using namespace qv::test;

namespace {

class ViewTest : public ::testing::Test {
protected:
    test::EngineEnvironment env;
    test::TempDir dir;
};

}  // namespace

TEST_F(ViewTest, ViewingReadsBothKindsAndLeavesTheFileExactlyAsItWas) {
    for (const char* name : {"lo_japanese.xls", "lo_japanese.xlsx"}) {
        std::string f = dir.copyData(name);
        test::setKnownStamp(f, kAttrReadOnly);
        auto before = test::statTimes(f);
        FileView v = LoadSingleFileView(f);
        ASSERT_TRUE(v.ok) << name << ": " << v.error.message;
        EXPECT_EQ(shownRows(v.metadata)[kRowTitle].text, "タイトル：四半期報告") << name;
        EXPECT_EQ(shownRows(v.metadata)[kRowEditTime].text, "125") << name;
        ASSERT_TRUE(shownRows(v.metadata)[kRowCreated].utc) << name;
        EXPECT_EQ(FormatW3cdtf(*shownRows(v.metadata)[kRowCreated].utc), "2015-01-02T00:00:00Z");
        EXPECT_EQ(shownRows(v.metadata)[kRowCreated].text, "2015/01/02 9:00:00");
        EXPECT_TRUE(v.stamp->Attributes & kAttrReadOnly);
        EXPECT_TRUE(v.lastAccessShown);
        EXPECT_EQ(test::statTimes(f), before) << name;
    }
}

#ifndef _WIN32
TEST_F(ViewTest, ViewingAndExportingWriteNothingToAFileTheyLeaveAsItWas) {
    // Reading moves no time of our own files, so the put-back has nothing to
    // set and the export does not open the file again: not even the change
    // time moves.
    for (const char* name : {"lo_ascii.xls", "lo_ascii.xlsx"}) {
        std::string f = dir.copyData(name);
        test::setKnownStamp(f, kAttrArchive);
        struct stat before;
        ASSERT_EQ(::stat(f.c_str(), &before), 0);
        ASSERT_TRUE(LoadSingleFileView(f).ok) << name;
        ASSERT_TRUE(BuildCsvRow(f).has_value()) << name;
        struct stat after;
        ASSERT_EQ(::stat(f.c_str(), &after), 0);
        EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec) << name;
        EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec) << name;
        EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec) << name;
    }
}
#endif

TEST_F(ViewTest, AFileHeldByAnotherProgramIsUnreadableButItsValuesAreShown) {
    std::string f = dir.copyData("lo_ascii.xls");
    test::HeldByAnotherProgram hold(f);
    FileView v = LoadSingleFileView(f);
    EXPECT_FALSE(v.ok);
    EXPECT_EQ(v.error.code, ErrorCode::InUse);
}

TEST_F(ViewTest, DamagedPackagesShowNothingNewAndNonCompoundFilesShowEmptyValues) {
    std::string pkg = dir.copyData("zip_method12_core.xlsx");
    test::setKnownStamp(pkg);
    auto before = test::statTimes(pkg);
    FileView v = LoadSingleFileView(pkg);
    EXPECT_FALSE(v.ok);
    EXPECT_FALSE(v.propertiesRead);
    EXPECT_EQ(test::statTimes(pkg), before) << "times go back even when the read failed";

    // A web page saved as ".xls" is no Office document, whatever its name:
    // refused, with fourteen empty values in place of the last file's.
    std::string html = dir.copyData("xls_not_ole.xls");
    FileView h = LoadSingleFileView(html);
    EXPECT_FALSE(h.ok);
    EXPECT_EQ(h.error.code, ErrorCode::NotAnOfficeDocument);
    EXPECT_TRUE(h.propertiesRead);
    EXPECT_TRUE(h.propertyError.has_value());
    for (const RowValue& r : shownRows(h.metadata))
        EXPECT_EQ(r.text, "");

    FileView missing = LoadSingleFileView(dir.file("missing.xls"));
    EXPECT_FALSE(missing.found);
    EXPECT_FALSE(missing.ok);
}

TEST_F(ViewTest, ZeroLastAccessIsNotShown) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes a zero time as \"leave it\"";
#endif
    std::string f = dir.copyData("lo_ascii.xls");
    platform::FileTimes t{test::knownTime(0), RawFileTime{0, 0}, test::knownTime(2)};
    ASSERT_TRUE(platform::setFileTimes(f, t).ok());
    FileView v = LoadSingleFileView(f);
    EXPECT_FALSE(v.lastAccessShown);
}

TEST_F(ViewTest, ExportOfAMixedListGivesTheExpectedBytes) {
    std::string xls = dir.copyData("lo_ascii.xls", "book1.xls");
    RowTexts values{};
    values[kRowTitle] = "He said \"hi\", then left";
    RowMask mask;
    mask.set(kRowTitle);
    ASSERT_TRUE(WriteCompoundRows(xls, values, mask).ok());
    test::setKnownStamp(xls);
    std::string damaged = dir.copyData("zip_method12_core.xlsx", "damaged.xlsx");
    std::string hidden = dir.copyData("crafted_plain.xlsx", "hidden.xlsx");
    test::setKnownStamp(hidden, kAttrReadOnly | kAttrHidden);
    std::string missing = dir.file("missing.xls");
    std::vector<std::string> files = {missing, xls, damaged, hidden};
    std::vector<test::StatTimes> before;
    for (const auto& f : files)
        before.push_back(test::statTimes(f));

    std::string csvPath = dir.file("out.csv");
    ExportReport r = RunExport(files, csvPath, CsvEncoding::Utf8);
    ASSERT_TRUE(r.written.ok());
    EXPECT_EQ(r.rows, 3u);
    // Where the file system keeps no creation time, it reports the last-write
    // time; where it never clears the archive bit, that column says so.
    std::string created = test::creationTimeIsStored() ? "2015/06/01 10:02:03" : "2015/06/03 10:02:03";
    std::string archive = test::archiveIsClearable() ? "" : "Y";
    std::string expected =
        "\xEF\xBB\xBF"
        "\"File full name\",\"File Name\",\"タイトル\",\"表題\",\"作成者\",\"キーワード\",\"コメント\",\"カテゴリー\","
        "\"改訂番号\",\"前回保存者\",\"管理者\",\"会社名\",\"作成日時\",\"前回保存日時\",\"編集時間\",\"前回印刷日時\","
        "\"Creation Time\",\"Modify Time\",\"Last Access Time\",\"Read-only\",\"Archive\",\"Hidden\",\"System\"\r\n"
        "\"" + missing + "\",\"missing.xls\",\r\n"
        "\"" + xls + "\",\"book1.xls\",\"He said \"\"hi\"\", then left\",\"Budget Subject Line\",\"Alice Author\","
        "\"alpha beta gamma\",\"A comment about this workbook.\",\"\",\"7\",\"Bob Lastsaver\",\"\",\"\","
        "\"2010/04/01 12:30:00\",\"2011/05/02 13:40:10\",\"90\",\"2012/06/03 14:50:20\","
        "\"" + created + "\",\"2015/06/03 10:02:03\",\"2015/06/02 10:02:03\",\"\",\"" + archive + "\",\"\",\"\"\r\n"
        "\"" + hidden + "\",\"hidden.xlsx\",\"Crafted Title\",\"Crafted Subject\",\"Crafted Author\","
        "\"crafted keywords\",\"Crafted comments\",\"Crafted Category\",\"5\",\"Crafted Lastsaver\","
        "\"Crafted Manager\",\"Crafted Company\",\"2010/04/01 12:30:00\",\"2010/04/02 13:31:01\",\"42\","
        "\"2010/04/03 14:32:02\",\"" + created + "\",\"2015/06/03 10:02:03\",\"2015/06/02 10:02:03\","
        "\"Y\",\"" + archive + "\",\"Y\",\"\"\r\n";
    EXPECT_EQ(test::readFile(csvPath), expected);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(test::statTimes(files[i]), before[i]) << files[i];

    // The Shift-JIS form: the same text in code page 932.
    std::string sjis = BuildCsv(files, CsvEncoding::ShiftJis);
    auto decoded = platform::decodeCodePage(932, sjis);
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(*decoded, expected.substr(3));
}

TEST_F(ViewTest, ShiftJisExportMarksWhatItCantHoldAndACancelledExportWritesNothing) {
    std::string pkg = dir.copyData("exceljs_nonsjis.xlsx");
    std::string sjis = BuildCsv({pkg}, CsvEncoding::ShiftJis);
    auto back = platform::decodeCodePage(932, sjis);
    ASSERT_TRUE(back.ok());
    EXPECT_NE(back->find("\"emoji ? ? keywords\""), std::string::npos);

    std::string csvPath = dir.file("old.csv");
    test::writeFile(csvPath, "old");
    RunCallbacks cb;
    cb.cancelRequested = [] { return true; };
    ExportReport r = RunExport({pkg}, csvPath, CsvEncoding::ShiftJis, cb);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(test::readFile(csvPath), "old");

    ExportReport intoFolder = RunExport({pkg}, dir.path(), CsvEncoding::ShiftJis);
    EXPECT_FALSE(intoFolder.written.ok());
}

TEST(FileListTest, ExactPathsOnceAndFolderSearchByWorkbookTest) {
    FileList list;
    EXPECT_TRUE(list.add("/d/Book.xls"));
    EXPECT_FALSE(list.add("/d/Book.xls"));
    EXPECT_TRUE(list.add("/d/book.xls"));
    list.remove(0);
    EXPECT_FALSE(list.IsListed("/d/Book.xls"));
    EXPECT_TRUE(list.add("/d/Book.xls"));
    EXPECT_EQ(list.paths(), (std::vector<std::string>{"/d/book.xls", "/d/Book.xls"}));

    test::TempDir dir;
    for (const char* n : {"a.xls", "B.XLSX", "~$c.xlsx", "d.txt", "e.xlsm", ".f.xls"})
        test::writeFile(dir.file(n), "");
    std::filesystem::create_directory(dir.file("sub"));
    test::writeFile(dir.file("sub/g.xls"), "");
    auto inDir = [&](const char* n) { return platform::joinPath(dir.path(), n); };
    // Name order without regard to case; no subfolder unless asked.
    EXPECT_EQ(DocumentsInFolder(dir.path() + "/"),
              (std::vector<std::string>{inDir(".f.xls"), inDir("a.xls"), inDir("B.XLSX"), inDir("e.xlsm")}));
    EXPECT_TRUE(FileExistsAsFile(dir.file("a.xls")));
    EXPECT_FALSE(FileExistsAsFile(dir.file("sub")));
}
