#include <gtest/gtest.h>

#include "engine/change.h"
#include "engine/csv.h"
#include "engine/view.h"
#include "enginetest.h"
#include "props/backend.h"
#include "props/compound/compound_props.h"

using namespace qv;
using namespace qv::engine;
using namespace qv::test;

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
    const std::string odfAsXlsx = dir.copyData("lo_text.odt", "opendocument-named.xlsx");
    for (const std::string& f : {pkgAsXls, cfbAsXlsx, odfAsXlsx}) {
        FileView v = LoadSingleFileView(f);
        ASSERT_TRUE(v.ok) << f << ": " << v.error.message;
        EXPECT_EQ(shownRows(v.metadata)[kRowAuthor].text, "Alice Author") << f;
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
    EXPECT_EQ((*backendFor(odfAsXlsx))->kind(), ContainerKind::OpenDocument);
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

// The back ends take and give typed values; each keeps what its format can.
TEST_F(BackendTest, TypedValuesGoThroughEachKindAsItsFormatHoldsThem) {
    const FileTime exact = *ParseIso8601("2010-04-01T12:30:00.1234567+09:00");
    const std::int64_t ninetyAndAHalf = 90 * kTicksPerMinute + kTicksPerMinute / 2;
    MetadataEdits edits;
    edits[kRowTitle] = PropertyEdit::set(std::string(" padded "));
    edits[kRowRevision] = PropertyEdit::set(std::int64_t{7});
    edits[kRowCreated] = PropertyEdit::set(Instant{exact});
    edits[kRowEditTime] = PropertyEdit::set(Duration{ninetyAndAHalf});
    edits[kRowLastPrinted] = PropertyEdit::erase();
    for (const char* name : {"lo_ascii.xls", "lo_ascii.xlsx"}) {
        const std::string f = dir.copyData(name);
        auto backend = backendFor(f);
        ASSERT_TRUE(backend.ok()) << name;
        ASSERT_TRUE((*backend)->write(f, edits, {}).ok()) << name;
        auto m = (*backend)->read(f);
        ASSERT_TRUE(m.ok()) << name;
        const bool compound = (*backend)->kind() == ContainerKind::CompoundFile;
        EXPECT_EQ((*m)[kRowRevision].value, PropertyValue(std::int64_t{7})) << name;
        EXPECT_EQ((*m)[kRowAuthor].value, PropertyValue(std::string("Alice Author"))) << name;
        if (compound) {
            // The 100 ns and the duration's own ticks; texts lose their
            // blanks; an erased date is a null value, held but empty.
            EXPECT_EQ((*m)[kRowCreated].value, PropertyValue(Instant{exact}));
            EXPECT_EQ((*m)[kRowEditTime].value, PropertyValue(Duration{ninetyAndAHalf}));
            EXPECT_EQ((*m)[kRowTitle].value, PropertyValue(std::string("padded")));
            EXPECT_EQ(DisplayText((*m)[kRowLastPrinted]), "");
        } else {
            // W3CDTF to the second; whole minutes, halves to even; the
            // element of an erased last-printed date is gone.
            EXPECT_EQ((*m)[kRowCreated].value, PropertyValue(Instant{exact - exact % kTicksPerSecond}));
            EXPECT_EQ((*m)[kRowEditTime].value, PropertyValue(Duration{90 * kTicksPerMinute}));
            EXPECT_EQ((*m)[kRowTitle].value, PropertyValue(std::string(" padded ")));
            EXPECT_FALSE((*m)[kRowLastPrinted].present);
        }

        // A value of the wrong kind for its row writes nothing.
        const std::string before = test::readFile(f);
        MetadataEdits wrong;
        wrong[kRowTitle] = PropertyEdit::set(std::string("fine"));
        wrong[kRowLastSaved] = PropertyEdit::set(std::string("no instant"));
        Status st = (*backend)->write(f, wrong, {});
        ASSERT_FALSE(st.ok()) << name;
        EXPECT_EQ(st.error().code, ErrorCode::ConversionFailed) << name;
        EXPECT_EQ(test::readFile(f), before) << name;
    }
}

// Both kinds take exactly the same inputs: an editing time that is no number
// fails either (a compound file used to get 0 minutes in its place), and a
// batch with such a text changes nothing and backs nothing up.
TEST_F(BackendTest, BothKindsRefuseTheSameBadTextsAndABadBatchTouchesNothing) {
    const std::vector<std::string> files = {dir.copyData("lo_ascii.xls"), dir.copyData("lo_ascii.xlsx")};
    BatchSettings s;
    s.values[kRowEditTime] = "ten";
    s.ticked.set(kRowEditTime);
    s.backup = true;
    for (const std::string& f : files) {
        const std::string before = test::readFile(f);
        Status st = ApplyBatchToFile(f, s);
        ASSERT_FALSE(st.ok()) << f;
        EXPECT_EQ(st.error().code, ErrorCode::ConversionFailed) << f;
        EXPECT_EQ(test::readFile(f), before) << f;
    }
    std::size_t finished = 0;
    RunCallbacks cb;
    cb.fileFinished = [&](std::size_t, const FileResult&, int) { ++finished; };
    BatchReport report = RunBatch(files, s, cb);
    EXPECT_EQ(finished, files.size());
    for (const FileResult& r : report.files) {
        EXPECT_EQ(r.state, FileState::ChangeFailed) << r.path;
        EXPECT_NE(r.error.message.find("editTime"), std::string::npos) << r.error.message;
        EXPECT_FALSE(platform::fileIdentity(BackupPathFor(r.path)).ok()) << "no backup for a change never made";
    }
}

}  // namespace
