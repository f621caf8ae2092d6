// Reading a CSV back: the export's own bytes in both encodings, what a
// spreadsheet saves from it, and every error with its line and column.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/csv.h"
#include "engine/csv_import.h"
#include "enginetest.h"
#include "localtext/datetext.h"
#include "platform/platform.h"
#include "props/datetime.h"
#include "props/filestamp.h"
#include "support/rowtexts.h"

using namespace qv;
using namespace qv::engine;

namespace {

ImportTable tableOf(const std::string& csv, const std::string& folder = "/d") {
    auto text = DecodeCsvText(csv, CsvInputEncoding::Auto);
    EXPECT_TRUE(text.ok());
    return ReadImportTable(*text, folder);
}

std::vector<std::string> described(const ImportTable& t) {
    std::vector<std::string> out;
    for (const ImportIssue& i : t.issues)
        out.push_back(DescribeIssue(i));
    return out;
}

}  // namespace

TEST(CsvImport, TheExportReadsBackAsItsFilesInBothEncodings) {
    test::EngineEnvironment env;
    test::TempDir dir;
    const std::vector<std::string> files = {dir.copyData("lo_japanese.xls"), dir.copyData("lo_japanese.xlsx")};
    for (CsvEncoding encoding : {CsvEncoding::ShiftJis, CsvEncoding::Utf8}) {
        const ImportTable t = tableOf(BuildCsv(files, encoding), dir.path());
        ASSERT_TRUE(t.issues.empty()) << described(t).front();
        ASSERT_EQ(t.rows.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i) {
            const ImportRow& row = t.rows[i];
            EXPECT_EQ(row.path, files[i]);
            EXPECT_EQ(row.line, i + 2);
            for (const auto& p : row.properties)
                EXPECT_TRUE(p.has_value());
            EXPECT_NE(row.properties[kRowTitle]->find("四半期"), std::string::npos);
            EXPECT_TRUE(ParseCellDateTime(*row.properties[kRowCreated]).has_value());
            EXPECT_TRUE(row.times[0] && row.times[1]);
            for (const auto& a : row.attributes)
                EXPECT_TRUE(a.has_value());
        }
    }
}

TEST(CsvImport, RecordsFollowRfc4180WithEitherLineEnd) {
    auto r = ParseCsvRecords("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\r\nlines\",,x\nlast");
    ASSERT_TRUE(r.ok()) << r.error().message;
    ASSERT_EQ(r->size(), 3u);
    EXPECT_EQ((*r)[0].fields, (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
    EXPECT_EQ((*r)[1].fields, (std::vector<std::string>{"two\r\nlines", "", "x"}));
    EXPECT_EQ((*r)[1].line, 2u);
    EXPECT_EQ((*r)[2].line, 4u);
    EXPECT_EQ((*r)[2].fields, std::vector<std::string>{"last"});

    EXPECT_EQ(ParseCsvRecords("a\n\"open,\nb").error().message, "line 2, column 1: a quoted field is never closed");
    EXPECT_EQ(ParseCsvRecords("\"a\"b,c").error().message, "line 1, column 4: text after a closing quote");
    EXPECT_EQ(ParseCsvRecords("ab\"c").error().message, "line 1, column 3: a quote inside an unquoted field");
}

TEST(CsvImport, TheEncodingIsFoundFromTheBytes) {
    const std::string utf8 = "\"タイトル\"";
    EXPECT_EQ(*DecodeCsvText("\xEF\xBB\xBF" + utf8, CsvInputEncoding::Auto), utf8);
    EXPECT_EQ(*DecodeCsvText(utf8, CsvInputEncoding::Auto), utf8);
    const std::string sjis = *platform::encodeCodePage(932, utf8, false);
    EXPECT_EQ(*DecodeCsvText(sjis, CsvInputEncoding::Auto), utf8);
    EXPECT_EQ(*DecodeCsvText(sjis, CsvInputEncoding::ShiftJis), utf8);
    EXPECT_FALSE(DecodeCsvText(sjis, CsvInputEncoding::Utf8).ok());
}

TEST(CsvImport, HeadsInAnyOrderAndSubsetAndEveryCellChecked) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    SetFormatsForTesting(platform::LocaleFormats{});
    // The command line's keys, a file named relative to the CSV's folder,
    // empty cells that erase or leave alone, attributes set and cleared.
    ImportTable t = tableOf("company,File Name,lastPrinted,hidden,readOnly,creationTime,revision\n"
                            "Acme,a.docx,,Y,,,12\n"
                            "\n"
                            ",b.pptx,2012-06-03T05:50:20Z,,Y,2020/01/02 3:04:05,\n");
    ASSERT_TRUE(t.issues.empty()) << described(t).front();
    ASSERT_EQ(t.rows.size(), 2u);
    const ImportRow& a = t.rows[0];
    EXPECT_EQ(a.path, platform::joinPath("/d", "a.docx"));
    EXPECT_EQ(a.properties[kRowCompany], "Acme");
    EXPECT_EQ(a.properties[kRowLastPrinted], "");
    EXPECT_EQ(a.properties[kRowRevision], "12");
    EXPECT_FALSE(a.properties[kRowTitle].has_value());
    EXPECT_EQ(a.attributes[2], true);
    EXPECT_EQ(a.attributes[0], false);
    EXPECT_FALSE(a.attributes[1].has_value());
    EXPECT_FALSE(a.times[0].has_value());
    const ImportRow& b = t.rows[1];
    EXPECT_EQ(b.line, 4u);
    EXPECT_EQ(b.properties[kRowCompany], "");
    EXPECT_EQ(b.properties[kRowLastPrinted], "2012-06-03T05:50:20Z");
    EXPECT_EQ(b.times[0], "2020/01/02 3:04:05");
    EXPECT_EQ(b.properties[kRowRevision], "");

    // The head line's errors stop there.
    EXPECT_EQ(described(tableOf("File Name,colour,title,title\n")),
              (std::vector<std::string>{"line 1, column 2 (colour): unknown head",
                                        "line 1, column 4 (title): a second column of this head"}));
    EXPECT_EQ(described(tableOf("title\nx\n")),
              std::vector<std::string>{"line 1: no \"File full name\" or \"File Name\" column names the files"});
    // Every cell of every line is checked, and every error listed; the
    // lines with errors give no row. (A property's cell is checked against
    // its file, when the files are read.)
    t = tableOf("File full name,作成日時,revision,editTime,Hidden,title\n"
                "/d/a.xls,soon,,,,\n"
                "/d/b.xls,,1.5,-3,yes,\n"
                "/d/c.xls,,,,,ok\n"
                "/d/a.xls,,,,,again\n"
                ",,,,,nameless\n"
                "/d/e.xls,,,,,,extra\n"
                "/d/f\x01.xls,,,,,\n");
    EXPECT_EQ(described(t),
              (std::vector<std::string>{
                  "line 3, column 5 (Hidden): 'yes' is neither \"Y\" nor empty",
                  "line 5: a second line for /d/a.xls (line 2)",
                  "line 6: the line names no file",
                  "line 7, column 7: more fields than the head line has heads",
                  "line 8, column 1 (File full name): a file's name holds a control character"}));
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1].path, "/d/c.xls");
    // A revision that is no whole number reads (a file may hold one).
    EXPECT_TRUE(tableOf("File Name,revision\na.xls,1.2\n").issues.empty());
    SetFormatsForTesting(std::nullopt);
}

namespace {

// Replaces the cell under a head in the given line of a UTF-8 export.
std::string withCell(const std::string& csv, std::size_t line, const std::string& head, const std::string& value) {
    auto records = *ParseCsvRecords(*DecodeCsvText(csv, CsvInputEncoding::Auto));
    std::size_t column = 0;
    while (records[0].fields[column] != head)
        ++column;
    records[line - 1].fields[column] = value;
    std::string out;
    for (const CsvRecord& r : records) {
        for (std::size_t i = 0; i < r.fields.size(); ++i) {
            // Piece by piece: g++ 12 warns falsely on "," + std::string here.
            if (i)
                out += ',';
            out += '"';
            out += r.fields[i];
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace

// The round trip: an export imported as it is changes nothing at all; an
// edited cell changes that item only, in both kinds.
TEST(CsvImport, AnUneditedExportChangesNothingAndEditedCellsChangeOnlyThemselves) {
    test::EngineEnvironment env;
    test::TempDir dir;
    const std::vector<std::string> files = {dir.copyData("lo_ascii.xls", "a.doc"), dir.copyData("lo_ascii.xlsx", "b.pptx")};
    // The test's own reads come first: a read may move the last-access time,
    // which the export then records.
    std::vector<std::string> bytes;
    std::vector<test::StatTimes> times;
    for (const std::string& f : files) {
        bytes.push_back(test::readFile(f));
        times.push_back(test::statTimes(f));
    }
    const std::string csv = BuildCsv(files, CsvEncoding::Utf8);
    ImportPlan same = PlanImport(tableOf(csv, dir.path()));
    EXPECT_TRUE(same.files.empty());
    EXPECT_EQ(same.unchanged, 2u);
    EXPECT_TRUE(RunImport(same, true, false).files.empty());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(test::statTimes(files[i]), times[i]);
        EXPECT_EQ(test::readFile(files[i]), bytes[i]);
        EXPECT_FALSE(test::fileExists(files[i] + ".bak"));
    }

    // The test's reads above moved the last-access times the CSV holds:
    // emptied, those cells leave the times alone.
    std::string edited = withCell(withCell(csv, 2, "Last Access Time", ""), 3, "Last Access Time", "");
    edited = withCell(edited, 2, "タイトル", "新しいタイトル");
    edited = withCell(edited, 3, "会社名", "");
    edited = withCell(edited, 3, "Hidden", "Y");
    edited = withCell(edited, 2, "Modify Time", "2020/01/02 3:04:05");
    ImportPlan plan = PlanImport(tableOf(edited, dir.path()));
    ASSERT_EQ(plan.files.size(), 2u);
    EXPECT_EQ(plan.itemCount(), 4u);
    ASSERT_EQ(plan.files[0].changes.size(), 2u);
    EXPECT_EQ(plan.files[0].changes[0].item, "タイトル");
    EXPECT_EQ(plan.files[0].changes[0].before, "Quarterly Report Title");
    EXPECT_EQ(plan.files[0].changes[0].after, "新しいタイトル");
    EXPECT_EQ(plan.files[0].changes[1].key, "lastWriteTime");
    EXPECT_EQ(plan.files[1].changes[0].key, "company");
    EXPECT_EQ(plan.files[1].changes[0].after, "");
    EXPECT_EQ(plan.files[1].changes[1].key, "hidden");

    BatchReport report = RunImport(plan, true, false);
    EXPECT_TRUE(report.allChanged());
    auto a = test::ReadRows(files[0]);
    auto b = test::ReadRows(files[1]);
    EXPECT_EQ((*a)[kRowTitle].text, "新しいタイトル");
    EXPECT_EQ((*a)[kRowAuthor].text, "Alice Author");
    EXPECT_EQ((*b)[kRowCompany].text, "");
    EXPECT_EQ((*b)[kRowTitle].text, "Quarterly Report Title");
    EXPECT_EQ(FormatDateTimeText(FileTimeToLocal(ReadFileStamp(files[0])->LastWrite.ticks)), "2020/01/02 3:04:05");
    EXPECT_EQ(test::statTimes(files[1]).mtimeNs, times[1].mtimeNs);
    EXPECT_TRUE(ReadFileStamp(files[1])->Attributes & platform::kAttrHidden);
    EXPECT_EQ(test::readFile(files[0] + ".bak"), bytes[0]);
#ifndef _WIN32
    // Imported again, the same CSV has nothing left to do. (Wine keeps no
    // creation time of its own and moves the last-access time on a read, so
    // there the CSV would ask those back.)
    EXPECT_TRUE(PlanImport(tableOf(edited, dir.path())).files.empty());
#endif

    // Changing the revision to a text that is no whole number is refused.
    const ImportPlan badRevision = PlanImport(tableOf(withCell(csv, 2, "改訂番号", "v2"), dir.path()));
    ASSERT_EQ(badRevision.errors.size(), 1u);
    EXPECT_EQ(DescribeIssue(badRevision.errors[0]),
              "line 2, column 9 (改訂番号): the revision 'v2' is not a whole number");

#ifndef _WIN32
    // The same file under a second name is a second line for it.
    std::filesystem::create_hard_link(files[0], dir.file("again.doc"));
    const ImportPlan twice = PlanImport(tableOf("File Name,タイトル\na.doc,x\nagain.doc,y\n", dir.path()));
    ASSERT_EQ(twice.errors.size(), 1u);
    EXPECT_NE(DescribeIssue(twice.errors[0]).find("line 3: "), std::string::npos);
    EXPECT_NE(DescribeIssue(twice.errors[0]).find("is the same file as"), std::string::npos);
#endif

    // A line whose file is gone, or is no Office document, is skipped.
    test::writeFile(dir.file("notes.docx"), "text");
    ImportPlan skipped = PlanImport(tableOf("File Name,タイトル\ngone.xls,x\nnotes.docx,x\n", dir.path()));
    ASSERT_EQ(skipped.skipped.size(), 2u);
    EXPECT_EQ(skipped.skipped[0].line, 2u);
    EXPECT_NE(DescribeIssue(skipped.skipped[0]).find("gone.xls: the file is not there"), std::string::npos);
    EXPECT_NE(DescribeIssue(skipped.skipped[1]).find("not an Office document"), std::string::npos);
    EXPECT_TRUE(skipped.files.empty());
}

TEST(CsvImport, UserDefinedColumnsExportAndComeBackInTheirFilesTypes) {
    test::EngineEnvironment env;
    test::TempDir dir;
    const std::string a = dir.copyData("xls_dsi_userdefined.xls", "a.xls"), b = dir.copyData("exceljs_ascii.xlsx", "b.xlsx");
    MetadataEdits edits;
    edits.custom = {CustomEdit::set("project code", std::int64_t{77}), CustomEdit::set("Client", std::string("ACME"))};
    ASSERT_TRUE(ApplyFileChange(b, FileChange{edits, {}, {}, {}, {}}).ok());
    const std::string csv = BuildCsv({a, b}, CsvEncoding::Utf8, {}, nullptr, nullptr, true);
    auto records = *ParseCsvRecords(*DecodeCsvText(csv, CsvInputEncoding::Auto));
    // One column per name across the files, in the first spelling met.
    const std::vector<std::string> tail(records[0].fields.end() - 5, records[0].fields.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"custom:Department", "custom:Project Code", "custom:Reviewed",
                                              "custom:Review Date", "custom:Client"}));
    EXPECT_EQ(records[1].fields.back(), "");
    EXPECT_EQ(records[2].fields[records[2].fields.size() - 4], "77");
    EXPECT_TRUE(BuildCsv({a, b}, CsvEncoding::Utf8).find("custom:") == std::string::npos);

    // Unedited, nothing changes; a cell edited keeps its file's type, a new
    // one takes the type the name has elsewhere, an emptied one removes.
    EXPECT_TRUE(PlanImport(tableOf(csv, dir.path())).files.empty());
    std::string edited = withCell(csv, 2, "custom:Project Code", "1300");
    edited = withCell(edited, 2, "custom:Department", "");
    edited = withCell(edited, 3, "custom:Reviewed", "いいえ");
    ImportPlan plan = PlanImport(tableOf(edited, dir.path()));
    ASSERT_TRUE(plan.errors.empty()) << DescribeIssue(plan.errors[0]);
    ASSERT_EQ(plan.files.size(), 2u);
    EXPECT_EQ(plan.files[0].changes[0].item, "custom:Department");
    EXPECT_TRUE(RunImport(plan, false, false).allChanged());
    auto customOf = [](const std::string& p) {
        std::map<std::string, CustomValue> m;
        const auto read = ReadMetadata(p);  // kept alive for the loop
        if (read)
            for (const CustomProperty& c : read->custom)
                m[c.name] = c.value;
        return m;
    };
    EXPECT_EQ(customOf(a).count("Department"), 0u);
    EXPECT_EQ(customOf(a).at("Project Code"), CustomValue(std::int64_t{1300}));
    EXPECT_EQ(customOf(b).at("Reviewed"), CustomValue(false));

    // A cell that is no value of its type stops the whole import.
    const ImportPlan bad = PlanImport(tableOf(withCell(edited, 2, "custom:Project Code", "many"), dir.path()));
    ASSERT_EQ(bad.errors.size(), 1u);
    EXPECT_EQ(bad.errors[0].head, "custom:Project Code");
    EXPECT_EQ(tableOf("File Name,custom:X,custom:x\na.xls,1,2\n", dir.path()).issues.size(), 1u);
}
