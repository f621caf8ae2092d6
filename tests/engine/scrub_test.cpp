// The audit and the scrub over documents of both kinds that hold every item
// the audit looks for: one table of option sets and what remains.
#include <gtest/gtest.h>

#include <set>

#include "cfb/cfb_builder.h"
#include "engine/scrub.h"
#include "engine/view.h"
#include "enginetest.h"
#include "package/package_builder.h"
#include "zip/archive.h"

using namespace qv;
using namespace qv::engine;
using namespace qv::test;

namespace {

constexpr const char* kSi = "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}";
constexpr const char* kDsi = "{D5CDD502-2E9C-101B-9397-08002B2CF9AE}";
constexpr const char* kUser = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

std::string dictEntry(std::uint32_t id, const std::string& name) {
    return le32(id) + le32(static_cast<std::uint32_t>(name.size() + 1)) + name + '\0';
}

std::string compoundFixture() {
    std::string thumb = le32(71) + le32(8) + le32(0xFFFFFFFF) + le32(3);
    std::string si = buildSection({{1, vtI2(1252)},
                                   {2, vtLpstr("Title")},
                                   {4, vtLpstr("Taro")},
                                   {6, vtLpstr("Secret note")},
                                   {7, vtLpstr("\\\\srv\\users\\taro\\Normal.dotm")},
                                   {8, vtLpstr("Hanako")},
                                   {17, thumb},
                                   {18, vtLpstr("Microsoft Excel")}});
    std::string dsi = buildSection({{1, vtI2(1252)}, {14, vtLpstr("Boss")}, {15, vtLpstr("Acme")}, {23, vtI4(0x000C0000)}});
    std::string base = utf16le(u"http://srv/base/") + std::string(2, '\0');
    std::string dict = padded4(le32(3) + dictEntry(2, "Client") + dictEntry(3, "MSIP_Label_1_Enabled") +
                               dictEntry(4, "_PID_LINKBASE"));
    std::string user = buildSection({{0, dict},
                                     {1, vtI2(1252)},
                                     {2, vtLpstr("Big Client")},
                                     {3, vtLpstr("true")},
                                     {4, padded4(le32(65) + le32(static_cast<std::uint32_t>(base.size())) + base)}});
    CfbLayout l;
    l.streams = {{u"\u0005SummaryInformation", buildPropertySet({{kSi, si}})},
                 {u"\u0005DocumentSummaryInformation", buildPropertySet({{kDsi, dsi}, {kUser, user}})},
                 {u"Workbook", std::string(600, 'w')}};
    return buildCfb(l);
}

std::string packageFixture() {
    ZipBuilder zb;
    zb.add("[Content_Types].xml",
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"jpeg\" ContentType=\"image/jpeg\"/>"
           "<Override PartName=\"/docProps/thumbnail.jpeg\" ContentType=\"image/jpeg\"/>"
           "<Override PartName=\"/docProps/core.xml\" "
           "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/></Types>");
    zb.add("_rels/.rels",
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
           "officeDocument\" Target=\"xl/workbook.xml\"/>"
           "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
           "core-properties\" Target=\"docProps/core.xml\"/>"
           "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
           "extended-properties\" Target=\"docProps/app.xml\"/>"
           "<Relationship Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
           "thumbnail\" Target=\"docProps/thumbnail.jpeg\"/>"
           "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
           "custom-properties\" Target=\"docProps/custom.xml\"/></Relationships>");
    zb.add("xl/workbook.xml", "<workbook/>");
    zb.add("docProps/thumbnail.jpeg", std::string(300, 'j'));
    zb.add("docProps/core.xml", kCoreOpen +
                                    "<dc:title>Title</dc:title><dc:creator>Taro</dc:creator>"
                                    "<cp:lastModifiedBy>Hanako</cp:lastModifiedBy><dc:description>Secret "
                                    "note</dc:description>" +
                                    kCoreClose);
    zb.add("docProps/app.xml", kAppOpen +
                                   "<Template>\\\\srv\\users\\taro\\Normal.dotm</Template><Manager>Boss</Manager>"
                                   "<Company>Acme</Company><HyperlinkBase>http://srv/base/</HyperlinkBase>"
                                   "<Application>Microsoft Excel</Application><AppVersion>12.0000</AppVersion>" +
                                   kAppClose);
    zb.add("docProps/custom.xml",
           "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/custom-properties\" "
           "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
           "<property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"2\" name=\"Client\"><vt:lpwstr>Big "
           "Client</vt:lpwstr></property>"
           "<property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"3\" name=\"MSIP_Label_1_Enabled\">"
           "<vt:lpwstr>true</vt:lpwstr></property></Properties>");
    return zb.build();
}

std::set<std::string> keysOf(const std::vector<AuditItem>& items) {
    std::set<std::string> keys;
    for (const AuditItem& i : items)
        keys.insert(i.key == "custom" ? "custom:" + i.name : i.key);
    return keys;
}

class ScrubTest : public ::testing::Test {
protected:
    EngineEnvironment env;
    TempDir dir;

    std::vector<std::string> fixtures() {
        std::string xls = dir.file("book.xls"), xlsx = dir.file("book.xlsx");
        writeFile(xls, compoundFixture());
        writeFile(xlsx, packageFixture());
        return {xls, xlsx};
    }
};

const std::set<std::string> kEverything = {
    "author",  "lastSavedBy",  "manager",   "company",     "comments",   "template",   "hyperlinkbase",
    "custom:Client", "custom:MSIP_Label_1_Enabled", "thumbnail", "application", "appVersion"};

TEST_F(ScrubTest, AuditFindsEveryItemInBothKinds) {
    for (const std::string& f : fixtures()) {
        FileAudit a = AuditFile(f);
        ASSERT_TRUE(a.ok) << f << ": " << a.error.message;
        EXPECT_EQ(keysOf(a.items), kEverything) << f;
    }
}

TEST_F(ScrubTest, EachOptionSetLeavesWhatItShould) {
    struct Case {
        const char* name;
        std::function<void(ScrubSelection&)> options;
        std::set<std::string> remains;
    };
    auto only = [](const char* keys) {
        return [keys](ScrubSelection& s) { s = *ScrubSelection::FromKeys(keys); };
    };
    const Case cases[] = {
        {"default", [](ScrubSelection&) {}, {"application", "appVersion"}},
        {"keep comments and labels",
         [](ScrubSelection& s) {
             s.rows[kRowComments] = false;
             s.keepCustom = {"msip_label_*"};
         },
         {"comments", "custom:MSIP_Label_1_Enabled", "application", "appVersion"}},
        {"only thumbnail and application", only("thumbnail,application"),
         {"author", "lastSavedBy", "manager", "company", "comments", "template", "hyperlinkbase", "custom:Client",
          "custom:MSIP_Label_1_Enabled"}},
        {"author and company replaced", [](ScrubSelection& s) { s.author = "Sales"; s.company = "Sales Co"; },
         {"author", "company", "application", "appVersion"}},
    };
    for (const Case& c : cases) {
        TempDir fresh;
        std::vector<ScrubInput> inputs;
        for (const char* name : {"c.xls", "p.xlsx"})
            inputs.push_back({fresh.file(name), name});
        writeFile(inputs[0].path, compoundFixture());
        writeFile(inputs[1].path, packageFixture());
        ScrubSettings s;
        c.options(s.selection);
        ScrubReport r = RunScrub(inputs, s);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            SCOPED_TRACE(std::string(c.name) + " " + inputs[i].path);
            EXPECT_EQ(r.batch.files[i].state, FileState::Changed) << r.batch.files[i].error.message;
            FileAudit a = AuditFile(inputs[i].path);
            ASSERT_TRUE(a.ok) << a.error.message;
            EXPECT_EQ(keysOf(a.items), c.remains);
            EXPECT_EQ(readTexts(inputs[i].path)[kRowTitle], "Title");
            if (s.selection.author) {
                EXPECT_EQ(readTexts(inputs[i].path)[kRowAuthor], "Sales");
            }
        }
        // A second run finds nothing and rewrites nothing.
        const std::string before = readFile(inputs[1].path);
        ScrubReport again = RunScrub(inputs, s);
        EXPECT_EQ(again.batch.files[1].note, kNoteNothingToRemove) << c.name;
        EXPECT_EQ(readFile(inputs[1].path), before) << c.name;
    }
}

TEST_F(ScrubTest, AThumbnailGoesWithItsRelationshipAndOverrideButNotTheDefault) {
    std::string xlsx = fixtures()[1];
    ScrubSettings s;
    s.selection = *ScrubSelection::FromKeys("thumbnail");
    ScrubReport r = RunScrub({{xlsx, "book.xlsx"}}, s);
    ASSERT_EQ(r.batch.files[0].state, FileState::Changed) << r.batch.files[0].error.message;
    const std::string bytes = readFile(xlsx);
    // Stored parts are deflated: the names are in the directory, the texts
    // are read back through the archive.
    EXPECT_EQ(bytes.find("docProps/thumbnail.jpeg"), std::string::npos);
    zip::ZipArchive zip;
    zip.setZipName(xlsx);
    auto types = zip.extractToStream("[Content_Types].xml");
    auto rels = zip.extractToStream("_rels/.rels");
    ASSERT_TRUE(types.ok() && rels.ok());
    EXPECT_EQ(types->find("thumbnail"), std::string::npos);
    EXPECT_NE(types->find("Extension=\"jpeg\""), std::string::npos);
    EXPECT_EQ(rels->find("thumbnail"), std::string::npos);
    EXPECT_NE(rels->find("custom-properties"), std::string::npos);
}

TEST_F(ScrubTest, DeliveryCopiesLeaveTheOriginalsAndNeverReplaceAFile) {
    std::vector<std::string> files = fixtures();
    const std::string original = readFile(files[0]);
    setKnownStamp(files[0]);
    const std::string out = dir.file("out");
    ScrubSettings s;
    s.outFolder = out;
    ASSERT_FALSE(CheckDeliveryFolder(dir.file("."), {dir.path()}).ok());
    ASSERT_FALSE(CheckDeliveryFolder(dir.file("out/x"), {dir.path()}).ok());
    ASSERT_TRUE(CheckDeliveryFolder(out, {dir.file("src")}).ok());
    std::vector<ScrubInput> inputs = {{files[0], "sub/book.xls"}, {files[1], "book.xlsx"}};
    ScrubReport r = RunScrub(inputs, s);
    ASSERT_TRUE(r.allDone()) << r.batch.files[0].error.message << r.batch.files[1].error.message;
    auto stamp = ReadFileStamp(files[0]);
    ASSERT_TRUE(stamp.ok());
    // To the 100 ns Windows keeps.
    EXPECT_EQ(stamp->LastAccess.ticks, knownTime(1).ticks);
    EXPECT_EQ(stamp->LastWrite.ticks, knownTime(2).ticks);
    EXPECT_EQ(readFile(files[0]), original);
    EXPECT_EQ(keysOf(AuditFile(dir.file("out/sub/book.xls")).items),
              (std::set<std::string>{"application", "appVersion"}));
    EXPECT_EQ(keysOf(AuditFile(files[1]).items), kEverything);
    // A second delivery into the same folder skips, and says why.
    ScrubReport again = RunScrub(inputs, s);
    EXPECT_EQ(again.batch.files[1].state, FileState::ChangeFailed);
    EXPECT_EQ(again.batch.files[1].error.code, ErrorCode::AlreadyExists);
    s.overwrite = true;
    EXPECT_TRUE(RunScrub(inputs, s).allDone());
    // Two inputs for one copy: the second is refused, not laid over the first.
    ScrubReport twice = RunScrub({{files[0], "same.xls"}, {files[1], "same.xls"}}, s);
    EXPECT_EQ(twice.batch.files[1].error.code, ErrorCode::AlreadyExists);
}

}  // namespace
