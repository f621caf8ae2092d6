#include <gtest/gtest.h>

#include "engine/change.h"
#include "engine/csv.h"
#include "engine/view.h"
#include "enginetest.h"
#include "props/backend.h"
#include "props/compound_props.h"

using namespace qv;
using namespace qv::engine;

namespace {

class BackendTest : public ::testing::Test {
protected:
    test::EngineEnvironment env;
    test::TempDir dir;
};

// A file's kind is what its bytes say; its name only decides what a folder
// lists. Downloads and mail gateways do rename workbooks.
TEST_F(BackendTest, RenamedWorkbooksAreShownChangedAndExportedByTheirContent) {
    const std::string pkgAsXls = dir.copyData("lo_ascii.xlsx", "package-named.xls");
    const std::string cfbAsXlsx = dir.copyData("lo_ascii.xls", "compound-named.xlsx");
    for (const std::string& f : {pkgAsXls, cfbAsXlsx}) {
        FileView v = LoadSingleFileView(f);
        ASSERT_TRUE(v.ok) << f << ": " << v.error.message;
        EXPECT_EQ(v.rows[kRowAuthor].text, "Alice Author") << f;
        BatchSettings s;
        s.values[kRowTitle] = "renamed";
        s.ticked.set(kRowTitle);
        ASSERT_TRUE(ApplyBatchToFile(f, s).ok()) << f;
        EXPECT_EQ(test::readTexts(f)[kRowTitle], "renamed") << f;
        auto row = BuildCsvRow(f);
        ASSERT_TRUE(row.has_value());
        EXPECT_NE(row->find("\"renamed\""), std::string::npos) << f;
    }
    EXPECT_EQ((*backendFor(pkgAsXls))->kind(), ContainerKind::Package);
    EXPECT_EQ((*backendFor(cfbAsXlsx))->kind(), ContainerKind::CompoundFile);
}

TEST_F(BackendTest, AnythingElseIsNoOfficeDocumentAndIsNeverWritten) {
    const std::string text = dir.file("notes.xlsx");
    test::writeFile(text, "just some text, not a workbook\n");
    const std::string empty = dir.file("empty.xls");
    test::writeFile(empty, "");
    for (const std::string& f : {text, empty}) {
        const std::string before = test::readFile(f);
        auto b = backendFor(f);
        ASSERT_FALSE(b.ok());
        EXPECT_EQ(b.error().code, ErrorCode::NotAnOfficeDocument);
        BatchSettings s;
        s.values[kRowTitle] = "x";
        s.ticked.set(kRowTitle);
        Status st = ApplyBatchToFile(f, s);
        ASSERT_FALSE(st.ok());
        EXPECT_EQ(st.error().code, ErrorCode::NotAnOfficeDocument);
        EXPECT_NE(st.error().message.find("not an Office document"), std::string::npos);
        EXPECT_EQ(test::readFile(f), before);
        FileView v = LoadSingleFileView(f);
        EXPECT_FALSE(v.ok);
        EXPECT_EQ(v.error.code, ErrorCode::NotAnOfficeDocument);
    }
    // A ZIP archive found only by its end record (data before the first
    // entry) is still a package.
    EXPECT_EQ(*containerKindOf("MZ\x90\0", std::string("....PK\x05\x06") + std::string(18, '\0')),
              ContainerKind::Package);
}

// Both kinds take the same date inputs; ISO-8601 keeps its fraction and its
// offset where the format holds them.
TEST_F(BackendTest, AnIsoDateIsStoredAsThatInstantInBothKinds) {
    const std::string xls = dir.copyData("lo_ascii.xls");
    const std::string xlsx = dir.copyData("lo_ascii.xlsx");
    const std::string iso = "2010-04-01T12:30:00.1234567+09:00";
    const FileTime exact = *ParseIso8601(iso);
    EXPECT_EQ(exact % kTicksPerSecond, 1234567u);
    for (const std::string& f : {xls, xlsx}) {
        BatchSettings s;
        s.values[kRowCreated] = iso;
        s.ticked.set(kRowCreated);
        ASSERT_TRUE(ApplyBatchToFile(f, s).ok()) << f;
    }
    auto cfb = ReadCompoundRows(xls);
    ASSERT_TRUE(cfb.ok());
    EXPECT_EQ(cfb->at(kRowCreated).utc, exact) << "a compound file holds the 100 ns";
    auto pkg = ReadRows(xlsx);
    ASSERT_TRUE(pkg.ok());
    EXPECT_EQ(pkg->at(kRowCreated).utc, exact - exact % kTicksPerSecond) << "W3CDTF is written to the second";
}

}  // namespace
