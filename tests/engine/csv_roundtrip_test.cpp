// The CSV round trip loses nothing: what a spreadsheet does to an unedited
// CSV is no change, names stay in the CSV's folder, and whatever a write
// would refuse, or another program saved since the preview, is found before
// anything is written.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/csv.h"
#include "engine/csv_cells.h"
#include "engine/csv_import.h"
#include "enginetest.h"
#include "localtext/datetext.h"
#include "platform/platform.h"

using namespace qv;
using namespace qv::engine;

namespace {

ImportPlan planOf(const std::string& csv, const std::string& folder) {
    auto text = DecodeCsv(csv, CsvInputEncoding::Auto);
    EXPECT_TRUE(text.ok()) << text.error().message;
    const ImportTable table = ReadImportTable(*text, folder);
    EXPECT_TRUE(table.issues.empty()) << DescribeIssue(table.issues.front());
    return PlanImport(table);
}

}  // namespace

TEST(CsvCells, WhatASpreadsheetMakesOfAnUneditedCellIsNoChange) {
    SetFormatsForTesting(platform::LocaleFormats{});
    struct Case {
        const char* cell;
        const char* exported;
        CellKind kind;
        bool shiftJis;
        bool changed;
        Doubt doubt;
    };
    const CellKind T = CellKind::Text, D = CellKind::DateTime;
    const Case cases[] = {
        {"x", "x", T, false, false, Doubt::None},
        {"7", "007", T, false, false, Doubt::None},
        {"100000", "1e5", T, false, false, Doubt::None},
        {"1234", "1,234", T, false, false, Doubt::None},
        {"15", "15.0000", T, false, false, Doubt::None},
        {"1.23456789012346E+017", "123456789012345678", T, false, true, Doubt::RoundedNumber},
        {"2", "=1+1", T, false, false, Doubt::None},
        {"3", "=SUM(1,2)", T, false, true, Doubt::FormulaResult},
        {"a\nb", "a\r\nb", T, false, false, Doubt::None},
        {"TRUE", "true", T, false, false, Doubt::None},
        {"2024/1/2 3:04", "2024/01/02 3:04:59", D, false, false, Doubt::None},
        {"2024年1月2日", "2024/01/02 3:04:59", D, false, false, Doubt::None},
        {"2024-01-02T03:04:59", "2024/01/02 3:04:59", D, false, false, Doubt::None},
        {"2024/1/2 3:05", "2024/01/02 3:04:59", D, false, true, Doubt::None},
        {"2024/01/02", "2024-01-02", T, false, true, Doubt::DateForm},
        {"R?f?rence", "Référence", T, true, false, Doubt::None},
        {"R?f?rence", "Référence", T, false, true, Doubt::None},
        {"8", "007", T, false, true, Doubt::None},
        {"", "x", T, false, true, Doubt::None},
        {"1,23", "123", T, false, true, Doubt::None},
    };
    for (const Case& c : cases) {
        const CellVerdict v = CompareCell(c.cell, c.exported, c.kind, c.shiftJis);
        EXPECT_EQ(v.changed, c.changed) << c.cell << " / " << c.exported;
        EXPECT_EQ(v.doubt, c.doubt) << c.cell << " / " << c.exported;
    }
    SetFormatsForTesting(std::nullopt);
}

TEST(CsvCells, TheEncodingIsToldFromTheBytesAndBadBytesAreRefused) {
    struct Case {
        std::string bytes;
        bool ok, shiftJis;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF\"R\xC3\xA9" "f\xC3\xA9rence\"", true, false},  // a byte-order mark
        {"\"R\xC3\xA9" "f\xC3\xA9rence\"", true, false},               // accents beside letters
        {"\"\xD0\x9B\xD0\xB5\xD0\xBC\"", true, false},                 // Cyrillic
        {"\"\xCA\xB2\",\"\xC3\xBD\"", true, true},                     // half-width katakana ﾊｲ, ﾃｽ
        {"\"\x83^\x83" "C\x83g\x83\x8B\"", true, true},                // タイトル
        {"a\n\"\x81\x20\"", false, false},                             // no Shift-JIS text
    };
    for (const Case& c : cases) {
        auto csv = DecodeCsv(c.bytes, CsvInputEncoding::Auto);
        ASSERT_EQ(csv.ok(), c.ok) << c.bytes;
        if (csv)
            EXPECT_EQ(csv->shiftJis, c.shiftJis) << c.bytes;
        else
            EXPECT_NE(csv.error().message.find("line 2"), std::string::npos) << csv.error().message;
    }
}

TEST(CsvImport, NamesStayInTheCsvsFolder) {
    test::EngineEnvironment env;
    test::TempDir dir;
    const std::string inside = dir.copyData("lo_ascii.xlsx", "in.xlsx");
    std::filesystem::create_directory(dir.file("sub"));
    const std::string sub = dir.file("sub");
    // A relative "File full name" is the CSV's folder's, whatever the
    // current folder.
    ImportPlan p = planOf("File full name,タイトル\nin.xlsx,x\n", dir.path());
    ASSERT_EQ(p.files.size(), 1u);
    EXPECT_EQ(p.files[0].path, platform::joinPath(dir.path(), "in.xlsx"));
    // "File Name" may not leave it, by a folder part or by a link.
    p = planOf("File Name,タイトル\n../in.xlsx,x\n", sub);
    EXPECT_TRUE(p.files.empty());
    ASSERT_EQ(p.skipped.size(), 1u);
    EXPECT_EQ(p.skipped[0].kind, IssueKind::OutsideFolder);
#ifndef _WIN32
    std::filesystem::create_symlink(inside, dir.file("sub/link.xlsx"));
    p = planOf("File Name,タイトル\nlink.xlsx,x\n", sub);
    ASSERT_EQ(p.skipped.size(), 1u);
    EXPECT_EQ(p.skipped[0].kind, IssueKind::OutsideFolder);
    // A name that is no UTF-8 goes out escaped and comes back to its file.
    const std::string odd = dir.file("odd\xFF%.xlsx");
    test::writeFile(odd, test::readFile(inside));
    const std::string csv = BuildCsv({odd}, CsvEncoding::Utf8);
    EXPECT_NE(csv.find("odd%FF%25.xlsx"), std::string::npos);
    EXPECT_EQ(planOf(csv, dir.path()).unchanged, 1u);
#endif
}

TEST(CsvImport, EveryRefusalIsFoundBeforeAnythingIsWrittenAndAFileSavedSinceThePreviewIsLeftAlone) {
    test::EngineEnvironment env;
    test::TempDir dir;
    const std::string book = dir.copyData("lo_ascii.xlsx", "a.xlsx"), doc = dir.copyData("lo_ascii.xls", "b.doc");
    const std::string pristine = test::readFile(doc);
    // A package can't hold a control character: the whole CSV stops.
    ImportPlan p = planOf("File Name,タイトル\nb.doc,fine\na.xlsx,bell\x07\n", dir.path());
    ASSERT_EQ(p.errors.size(), 1u);
    EXPECT_EQ(p.errors[0].kind, IssueKind::CannotStore);
    EXPECT_EQ(test::readFile(doc), pristine);
    // An editing time past 2^31 minutes reads back unchanged and changes.
    p = planOf("File Name,編集時間\nb.doc,3000000000\n", dir.path());
    ASSERT_TRUE(p.errors.empty()) << DescribeIssue(p.errors[0]);
    ASSERT_TRUE(RunImport(p, false, false).allChanged());
    EXPECT_EQ(planOf("File Name,編集時間\nb.doc,3000000000\n", dir.path()).unchanged, 1u);

    // Another program saves between the preview and the run: its value stays.
    p = planOf("File Name,タイトル\nb.doc,from the CSV\n", dir.path());
    MetadataEdits other;
    other[kRowSubject] = PropertyEdit::set(std::string("saved meanwhile"));
    ASSERT_TRUE(ApplyFileChange(doc, FileChange{other, {}, {}, {}, {}}).ok());
    const BatchReport report = RunImport(p, false, false);
    ASSERT_EQ(report.files.size(), 1u);
    EXPECT_EQ(report.files[0].error.code, ErrorCode::ChangedSincePreview);
    EXPECT_EQ(std::get<std::string>((*ReadMetadata(doc))[kRowSubject].value), "saved meanwhile");

    // A doubtful item is listed, not applied, until chosen.
    p = planOf("File Name,タイトル\nb.doc,=1+1\n", dir.path());
    ASSERT_TRUE(RunImport(p, false, false).allChanged());
    p = planOf("File Name,タイトル\nb.doc,2\n", dir.path());
    EXPECT_EQ(p.unchanged, 1u);
    p = planOf("File Name,タイトル\nb.doc,3\n", dir.path());
    ASSERT_EQ(p.files.size(), 1u);
    EXPECT_EQ(p.itemCount(), 0u);
    EXPECT_EQ(p.doubtCount(), 1u);
    EXPECT_TRUE(RunImport(p, false, false).files.empty());
    const ImportPlan chosen = ChooseItems(p, {{true}});
    EXPECT_EQ(chosen.itemCount(), 1u);
    ASSERT_TRUE(RunImport(chosen, false, false).allChanged());
    EXPECT_EQ(std::get<std::string>((*ReadMetadata(doc))[kRowTitle].value), "3");
}
