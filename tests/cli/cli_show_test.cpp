#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/cli.h"
#include "engine/csv.h"
#include "engine/view.h"
#include "props/datetime.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::test;

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

CliRun runQv(std::vector<std::string> args) {
    std::ostringstream out, err;
    int st = cli::runCli(args, out, err);
    return {st, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatsForTesting(platform::LocaleFormats{}); }
    void TearDown() override { SetFormatsForTesting(std::nullopt); }
    test::ScopedTimeZone tz{"Asia/Tokyo"};
    test::TempDir dir;
    // The journals of runs with backups, in the test's folder.
#ifdef _WIN32
    test::ScopedEnv data{"LOCALAPPDATA", dir.file("data").c_str()};
#else
    test::ScopedEnv data{"XDG_DATA_HOME", dir.file("data").c_str()};
#endif
};

}  // namespace

TEST_F(CliTest, ShowJsonHasTimesAttributesAndPropertiesAndLeavesTheFileAlone) {
    std::string f = dir.copyData("lo_ascii.xls");
    auto before = test::statTimes(f);
    CliRun r = runQv({"show", "--json", f, dir.file("missing.xlsx")});
    EXPECT_EQ(r.status, cli::kExitFileFailed);
    EXPECT_EQ(test::statTimes(f), before);
    for (const char* needle :
         {"\"ok\": true", "\"error\": null", "\"lastAccess\": \"", "\"readOnly\": false", "\"title\": \"Quarterly Report Title\"",
          "\"created\": \"2010-04-01T12:30:00+09:00\"", "\"editTime\": \"90\"", "\"manager\": \"\"", "\"ok\": false",
          "\"error\": \"can't find "})
        EXPECT_NE(r.out.find(needle), std::string::npos) << needle << "\n" << r.out;
}

TEST_F(CliTest, SetChangesFilesAndReportsEachOne) {
    std::string a = dir.copyData("lo_ascii.xls", "a.xls");
    std::string b = dir.copyData("lo_ascii.xlsx", "b.xlsx");
    std::string bad = dir.copyData("not_a_zip.xlsx", "bad.xlsx");
    CliRun r = runQv({"set", "--set", "title=東京 report", "--set", "lastPrinted=2012-06-03T05:50:20Z", "--hidden", "on",
                 "--backup", a, b, bad});
    EXPECT_EQ(r.status, cli::kExitFileFailed) << r.err;
    EXPECT_NE(r.out.find(a + ": changed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(b + ": changed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(bad + ": failed: "), std::string::npos) << r.out;
    EXPECT_TRUE(test::fileExists(a + ".bak"));
    CliRun shown = runQv({"show", "--json", a, b});
    EXPECT_EQ(shown.status, 0);
    std::size_t first = shown.out.find("\"title\": \"東京 report\"");
    EXPECT_NE(first, std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("\"title\": \"東京 report\"", first + 1), std::string::npos);
    EXPECT_NE(shown.out.find("\"lastPrinted\": \"2012-06-03T14:50:20+09:00\""), std::string::npos);
    EXPECT_NE(shown.out.find("\"hidden\": true"), std::string::npos);
}

TEST_F(CliTest, WrongCommandLinesAreRefusedBeforeAnyFileIsTouched) {
    std::string a = dir.copyData("lo_ascii.xls", "a.xls");
    std::string bytes = test::readFile(a);
    for (std::vector<std::string> args :
         {std::vector<std::string>{"set", a}, {"set", "--set", "colour=red", a}, {"set", "--set", "created=soon", a},
          {"set", "--readonly", "maybe", a}, {"set", "--write-time", "25:00", a}, {"export", a}, {"frobnicate"},
          {"show"}, {"set", "--set", "title={nope}", a}, {"set", "--replace", "title=a(/b", "--regex", a},
          {"set", "--replace", "title=a/b/c", a}, {"set", "--replace", "colour=a/b", a}}) {
        CliRun r = runQv(args);
        EXPECT_EQ(r.status, cli::kExitUsage) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(test::readFile(a), bytes);
    for (const char* cmd : {"show", "set", "export"})
        EXPECT_EQ(runQv({cmd, "--help"}).status, 0) << cmd;
}

TEST_F(CliTest, PatternsAndReplacesShowPerFileThenChangeOnlyWhatDiffers) {
    std::string a = dir.copyData("lo_ascii.xls", "a.xls");
    std::string b = dir.copyData("lo_japanese.xlsx", "b.xlsx");
    const std::vector<std::string> change = {"--set", "title={name}-{n:1:2}", "--replace", "author=alice\\/a/Bob\\/B",
                                             "--replace", "subject=予算/決算", "--ignore-case", a, b};
    std::vector<std::string> dry = {"set", "--dry-run"};
    dry.insert(dry.end(), change.begin(), change.end());
    const std::string bytes = test::readFile(a);
    CliRun preview = runQv(dry);
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(test::readFile(a), bytes);
    for (std::string line : {a + ": title: Quarterly Report Title -> a-01", b + ": title: タイトル：四半期報告 -> b-02",
                             b + ": subject: 表題：予算案 -> 表題：決算案"})
        EXPECT_NE(preview.out.find(line + "\n"), std::string::npos) << line << "\n" << preview.out;
    EXPECT_EQ(preview.out.find("author"), std::string::npos) << preview.out;  // "Alice Author" has no "alice/a"
    std::vector<std::string> run = {"set"};
    run.insert(run.end(), change.begin(), change.end());
    EXPECT_EQ(runQv(run).status, 0);
    EXPECT_EQ(test::ReadRows(b)->at(kRowTitle).text, "b-02");
    // Again: every value is already what it would be made.
    CliRun again = runQv(run);
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find(a + ": unchanged"), std::string::npos) << again.out;
}

TEST_F(CliTest, ExportMatchesTheEngineAndAFolderStandsForItsWorkbooks) {
    dir.copyData("lo_japanese.xls", "x.xls");
    dir.copyData("sheetjs_japanese.xlsx", "y.xlsx");
    test::writeFile(dir.file("notes.txt"), "not a workbook");
    CliRun r = runQv({"export", "-o", "-", dir.path()});
    EXPECT_EQ(r.status, 0);
    auto lines = std::count(r.out.begin(), r.out.end(), '\n');
    EXPECT_EQ(lines, 3);
    std::string csv = dir.file("out.csv");
    CliRun u = runQv({"export", "--encoding", "utf-8", "-o", csv, dir.file("x.xls")});
    EXPECT_EQ(u.status, 0) << u.err;
    EXPECT_EQ(test::readFile(csv), engine::BuildCsv({dir.file("x.xls")}, engine::CsvEncoding::Utf8));
}

TEST_F(CliTest, ATextFileNamedLikeAWorkbookIsRefusedAndLeftAlone) {
    std::string f = dir.file("notes.xlsx");
    test::writeFile(f, "not a workbook\n");
    CliRun shown = runQv({"show", f});
    EXPECT_EQ(shown.status, cli::kExitFileFailed);
    EXPECT_NE(shown.out.find("not an Office document"), std::string::npos) << shown.out;
    CliRun set = runQv({"set", "--set", "title=x", "--backup", f});
    EXPECT_EQ(set.status, cli::kExitFileFailed);
    EXPECT_NE(set.out.find("failed: " + f + " is not an Office document"), std::string::npos) << set.out;
    EXPECT_EQ(test::readFile(f), "not a workbook\n");
}

TEST_F(CliTest, AnIsoDateKeepsItsFractionOfASecondInACompoundFile) {
    std::string f = dir.copyData("lo_ascii.xls");
    CliRun set = runQv({"set", "--set", "created=2010-04-01T12:30:00.1234567+09:00", f});
    ASSERT_EQ(set.status, cli::kExitOk) << set.out;
    auto rows = ReadRows(f);
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ(rows->at(kRowCreated).utc, ParseIso8601("2010-04-01T12:30:00.1234567+09:00"));
}

// A workbook whose properties can't be read says why, in text and JSON, and
// the exit status says a file failed; its values are not passed off as empty.
TEST_F(CliTest, ShowNamesTheReasonAFilesPropertiesCantBeRead) {
    std::string f = dir.copyData("lo_ascii.xls", "damaged.xls");
    std::string bytes = test::readFile(f);
    std::size_t set = bytes.find(std::string("\xFE\xFF\x00\x00", 4), 512);
    ASSERT_NE(set, std::string::npos);
    bytes.replace(set, 2, std::string(2, '\0'));
    test::writeFile(f, bytes);
    CliRun text = runQv({"show", f});
    EXPECT_EQ(text.status, cli::kExitFileFailed);
    EXPECT_NE(text.out.find("  error: damaged property set: wrong byte-order mark"), std::string::npos) << text.out;
    CliRun json = runQv({"show", "--json", f});
    EXPECT_EQ(json.status, cli::kExitFileFailed);
    for (const char* needle : {"\"ok\": false", "\"errorCode\": \"badPropertySet\"", "\"propertiesError\": \"damaged"})
        EXPECT_NE(json.out.find(needle), std::string::npos) << needle << "\n" << json.out;
    CliRun good = runQv({"show", "--json", dir.copyData("lo_ascii.xls")});
    EXPECT_NE(good.out.find("\"errorCode\": null"), std::string::npos) << good.out;
}

// Folders stand for every Office kind, with their subfolders on -r; a signed
// package changes only with --allow-unsigning.
TEST_F(CliTest, FoldersBringEveryKindAndSignedPackagesWaitForConsent) {
    dir.copyData("lo_ascii.xlsx", "book.xlsm");
    std::filesystem::create_directories(dir.file("sub/deeper"));
    dir.copyData("lo_ascii.xls", "sub/deeper/old.DOC");
    dir.copyData("lo_ascii.xls", "sub/~$old.doc");
    const std::string signedFile = dir.copyData("signed_properties.xlsx", "sub/signed.pptx");
    // Found paths are the platform's; the names tell them apart.
    CliRun flat = runQv({"show", "--json", dir.path()});
    EXPECT_EQ(flat.status, 0);
    EXPECT_NE(flat.out.find("book.xlsm"), std::string::npos);
    EXPECT_EQ(flat.out.find("old.DOC"), std::string::npos);
    CliRun deepRun = runQv({"export", "-r", "-o", "-", dir.path()});
    EXPECT_EQ(std::count(deepRun.out.begin(), deepRun.out.end(), '\n'), 4) << deepRun.out;
    EXPECT_LT(deepRun.out.find("signed.pptx"), deepRun.out.find("old.DOC")) << "files before subfolders";

    const std::string before = test::readFile(signedFile);
    CliRun refused = runQv({"set", "--recursive", "--set", "title=x", dir.path()});
    EXPECT_EQ(refused.status, cli::kExitFileFailed);
    EXPECT_NE(refused.out.find("signed.pptx: failed: can't write: the document's digital signature covers "
                               "docProps/core.xml"),
              std::string::npos)
        << refused.out;
    EXPECT_NE(refused.out.find("old.DOC: changed"), std::string::npos) << refused.out;
    EXPECT_EQ(test::readFile(signedFile), before);
    // The file times and attributes touch no signed part.
    EXPECT_EQ(runQv({"set", "--hidden", "off", signedFile}).status, 0);
    CliRun allowed = runQv({"set", "--allow-unsigning", "--set", "title=x", signedFile});
    EXPECT_EQ(allowed.status, 0) << allowed.out;
    EXPECT_NE(runQv({"show", "--json", signedFile}).out.find("\"title\": \"x\""), std::string::npos);
}

// The round trip on the command line: an export edited and imported back,
// a dry run first; a CSV with an error writes nothing.
TEST_F(CliTest, ImportAppliesAnEditedExportAfterShowingEachChange) {
    const std::string a = dir.copyData("lo_ascii.xls", "a.doc");
    dir.copyData("lo_ascii.xlsx", "b.xlsx");
    const std::string csv = dir.file("list.csv");
    ASSERT_EQ(runQv({"export", "--encoding", "utf-8", "-o", csv, dir.path()}).status, 0);
    CliRun same = runQv({"import", csv});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.out.find("0 files, 0 items to change; 2 lines ask for nothing new"), std::string::npos) << same.out;

    // Only the title column, by its key, for a file named beside the CSV.
    test::writeFile(dir.file("titles.csv"), "File Name,title,hidden\r\na.doc,\"New, \"\"quoted\"\" title\",Y\r\n");
    const std::string before = test::readFile(a);
    CliRun dry = runQv({"import", "--dry-run", "--json", dir.file("titles.csv")});
    EXPECT_EQ(dry.status, 0) << dry.err;
    for (const char* needle : {"\"key\": \"title\"", "\"before\": \"Quarterly Report Title\"",
                               "\"after\": \"New, \\\"quoted\\\" title\"", "\"key\": \"hidden\"", "\"results\": []"})
        EXPECT_NE(dry.out.find(needle), std::string::npos) << needle << "\n" << dry.out;
    EXPECT_EQ(test::readFile(a), before);
    CliRun done = runQv({"import", "--backup", dir.file("titles.csv")});
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    EXPECT_NE(done.out.find(": changed"), std::string::npos) << done.out;
    EXPECT_EQ((*test::ReadRows(a))[kRowTitle].text, "New, \"quoted\" title");
    EXPECT_EQ(test::readFile(a + ".bak"), before);

    test::writeFile(dir.file("bad.csv"), "File Name,title,Read-only\na.doc,x,maybe\n");
    const std::string changed = test::readFile(a);
    CliRun bad = runQv({"import", dir.file("bad.csv")});
    EXPECT_EQ(bad.status, cli::kExitUsage);
    EXPECT_NE(bad.err.find("line 2, column 3 (Read-only): 'maybe' is neither \"Y\" nor empty"), std::string::npos)
        << bad.err;
    EXPECT_EQ(test::readFile(a), changed);
    EXPECT_EQ(runQv({"import", "--help"}).status, 0);
}

// OpenDocument files, told by their content whatever their name, show,
// change, export and import like Office files.
TEST_F(CliTest, OpenDocumentFilesShowChangeExportAndImport) {
    const std::string t = dir.copyData("lo_text.odt");
    dir.copyData("lo_spreadsheet.ods", "sheet.xlsm");
    dir.copyData("lo_presentation.odp");
    CliRun shown = runQv({"show", "--json", dir.path()});
    EXPECT_EQ(shown.status, 0) << shown.out;
    for (const char* needle : {"\"title\": \"Presentation title\"", "\"title\": \"Spreadsheet title\"",
                               "\"keywords\": \"alpha, beta gamma\"", "\"category\": \"Reports\"",
                               "\"company\": \"Acme 株式会社\"", "\"created\": \"2021-03-04T05:06:07+09:00\"",
                               "\"editTime\": \"126\"", "\"name\": \"Amount\""})
        EXPECT_NE(shown.out.find(needle), std::string::npos) << needle << "\n" << shown.out;

    CliRun set = runQv({"set", "--set", "keywords=x, y", "--set", "company=New Co", "--set", "editTime=5",
                        "--custom-type", "number", "--custom", "Amount=3", dir.path()});
    EXPECT_EQ(set.status, 0) << set.out << set.err;
    EXPECT_EQ(std::count(set.out.begin(), set.out.end(), '\n'), 3) << set.out;
    CliRun after = runQv({"show", "--json", t});
    for (const char* needle : {"\"keywords\": \"x, y\"", "\"company\": \"New Co\"", "\"editTime\": \"5\"",
                               "\"value\": 3", "\"title\": \"Text title\""})
        EXPECT_NE(after.out.find(needle), std::string::npos) << needle << "\n" << after.out;

    const std::string csv = dir.file("list.csv");
    ASSERT_EQ(runQv({"export", "--custom", "--encoding", "utf-8", "-o", csv, dir.path()}).status, 0);
    CliRun same = runQv({"import", csv});
    EXPECT_NE(same.out.find("0 files, 0 items to change; 3 lines ask for nothing new"), std::string::npos)
        << same.out << same.err;
    test::writeFile(dir.file("edit.csv"), "File Name,category,custom:Client\r\nlo_text.odt,Cat2,大阪\r\n");
    CliRun done = runQv({"import", dir.file("edit.csv")});
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    CliRun last = runQv({"show", "--json", t});
    for (const char* needle : {"\"category\": \"Cat2\"", "\"value\": \"大阪\"", "\"keywords\": \"x, y\""})
        EXPECT_NE(last.out.find(needle), std::string::npos) << needle << "\n" << last.out;
}
