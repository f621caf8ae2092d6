// Writing the fourteen properties into packages: round trips through real
// writers' packages, what changes and what stays, and the checks made before
// anything is written.
#include <gtest/gtest.h>

#include "../zip/external_tools.h"
#include "base/text.h"
#include "package_builder.h"
#include "platform/faults.h"
#include "props/datetime.h"
#include "props/package/package_props.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"
#include "zip/directory.h"
#include "zip/extract.h"

using namespace qv;
using namespace qv::test;
using qv::test::PackageParts;

namespace {

std::string partOf(const std::string& bytes, std::string_view name) {
    zip::MemorySource src(bytes);
    auto dir = zip::ReadDirectory(src);
    EXPECT_TRUE(dir.ok());
    const zip::ZipEntry* e = dir.ok() ? zip::FindEntry(*dir, name) : nullptr;
    if (!e)
        return "<missing>";
    auto data = zip::ExtractEntry(src, *e);
    return data.ok() ? *data : "<damaged>";
}

// The names of the entries whose stored bytes (name, header fields and
// compressed data) differ between two archives of the same entries.
std::vector<std::string> changedEntries(const std::string& a, const std::string& b) {
    zip::MemorySource sa(a), sb(b);
    auto da = zip::ReadDirectory(sa), db = zip::ReadDirectory(sb);
    EXPECT_TRUE(da.ok() && db.ok());
    std::vector<std::string> changed;
    if (!da.ok() || !db.ok() || da->entries.size() != db->entries.size())
        return {"<entry list differs>"};
    for (std::size_t i = 0; i < da->entries.size(); ++i) {
        const zip::ZipEntry& x = da->entries[i];
        const zip::ZipEntry& y = db->entries[i];
        auto raw = [](const std::string& bytes, const zip::ZipEntry& e) {
            std::size_t off = static_cast<std::size_t>(e.localHeaderOffset);
            std::size_t start = off + 30 + loadU16(bytes.data() + off + 26) + loadU16(bytes.data() + off + 28);
            return bytes.substr(start, static_cast<std::size_t>(e.compressedSize));
        };
        if (x.rawName != y.rawName || x.header.crc32 != y.header.crc32 || x.header.flags != y.header.flags ||
            x.header.dosDateTime != y.header.dosDateTime || raw(a, x) != raw(b, y))
            changed.push_back(x.name);
    }
    return changed;
}

std::string dateText(const char* iso) { return FormatDateTimeText(FileTimeToLocal(*ParseIso8601(iso))); }

RowTexts sampleTexts() {
    RowTexts t;
    t[kRowTitle] = "新しいタイトル 😀";
    t[kRowSubject] = "Sujet é & <b>";
    t[kRowAuthor] = "山田 太郎";
    t[kRowKeywords] = "alpha, beta";
    t[kRowComments] = "line one\r\nline two\nthree";
    t[kRowCategory] = "カテゴリー";
    t[kRowRevision] = "8";
    t[kRowLastSavedBy] = "Łukasz Żółć";
    t[kRowManager] = "管理者 佐藤";
    t[kRowCompany] = "Société Œuvre ©";
    t[kRowCreated] = dateText("2020-02-29T23:59:59Z");
    t[kRowLastSaved] = dateText("2021-03-14T01:59:26Z");
    t[kRowEditTime] = "95";
    t[kRowLastPrinted] = dateText("2022-07-04T18:00:00Z");
    return t;
}

RowMask only(std::initializer_list<int> rows) {
    RowMask m;
    for (int r : rows)
        m.set(static_cast<std::size_t>(r));
    return m;
}

std::string writeBuilt(test::TempDir& dir, const PackageParts& parts) {
    std::string path = dir.file("p.xlsx");
    test::writeFile(path, test::buildPackage(parts));
    return path;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(PackageWrite, AllRowsRoundTripAndOnlyThePropertyEntriesChange) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    const RowTexts texts = sampleTexts();
    for (const char* file : {"lo_ascii.xlsx", "lo_japanese.xlsx", "exceljs_ascii.xlsx", "exceljs_nonsjis.xlsx",
                             "sheetjs_japanese.xlsx", "crafted_plain.xlsx", "app_totaltime_125.xlsx",
                             "zip_data_descriptor.xlsx", "zip_stored_entries.xlsx", "zip_comment_65535.xlsx",
                             "zip_backslash_names.xlsx"}) {
        SCOPED_TRACE(file);
        test::TempDir dir;
        std::string path = dir.copyData(file);
        std::string before = test::readFile(path);
        auto st = WritePackageRows(path, texts, allRows());
        ASSERT_TRUE(st.ok()) << st.error().message;
        std::string after = test::readFile(path);

        auto rows = ReadPackageRows(path);
        ASSERT_TRUE(rows.ok()) << rows.error().message;
        for (int row = 0; row < kRowCount; ++row) {
            const RowValue& v = (*rows)[static_cast<std::size_t>(row)];
            EXPECT_EQ(v.text, row == kRowComments ? "line one\r\nline two\nthree" : texts[static_cast<std::size_t>(row)])
                << kCatalogue[static_cast<std::size_t>(row)].Key;
        }
        EXPECT_EQ((*rows)[kRowCreated].utc, ParseIso8601("2020-02-29T23:59:59Z"));

        std::vector<std::string> changed = changedEntries(before, after);
        ASSERT_EQ(changed.size(), 2u);
        EXPECT_EQ(changed[0].find("docProps\\"), 0u);
        EXPECT_EQ(changed[1].find("docProps\\"), 0u);
        if (test::haveTool("python3")) {
            EXPECT_TRUE(test::pythonTestzipPasses(path));
        }
    }
}

TEST(PackageWrite, OnlyTheTickedElementChanges) {
    test::TempDir dir;
    std::string path = dir.copyData("lo_ascii.xlsx");
    std::string before = test::readFile(path);
    RowTexts texts;
    texts[kRowAuthor] = "New Author";
    texts[kRowTitle] = "not ticked";
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowAuthor})).ok());
    std::string after = test::readFile(path);
    // The extended part is not rewritten at all; in the core part only the
    // text of dc:creator differs, everything else is as the writer left it.
    EXPECT_EQ(changedEntries(before, after), std::vector<std::string>{"docProps\\core.xml"});
    std::string core = partOf(before, "docProps/core.xml");
    text::replaceAll(core, "<dc:creator>Alice Author</dc:creator>", "<dc:creator>New Author</dc:creator>");
    EXPECT_EQ(partOf(after, "docProps/core.xml"), core);

    // Nothing ticked: the package is checked but not rewritten.
    ASSERT_TRUE(WritePackageRows(path, texts, RowMask()).ok());
    EXPECT_EQ(test::readFile(path), after);
}

TEST(PackageWrite, ErasingRemovesOrEmptiesAsTheElementCalls) {
    test::TempDir dir;
    std::string path = dir.copyData("crafted_plain.xlsx");
    RowTexts texts;
    texts[kRowLastPrinted] = " \t ";  // blanks only count as empty
    texts[kRowEditTime] = " ";
    texts[kRowTitle] = "";
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowLastPrinted, kRowEditTime, kRowTitle})).ok());
    std::string bytes = test::readFile(path);
    std::string core = partOf(bytes, "docProps/core.xml");
    EXPECT_EQ(core.find("lastPrinted"), std::string::npos);
    EXPECT_NE(core.find("<dc:title/>"), std::string::npos) << core;
    EXPECT_EQ(partOf(bytes, "docProps/app.xml").find("TotalTime"), std::string::npos);
    auto rows = ReadPackageRows(path);
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ((*rows)[kRowLastPrinted].text, "");
    EXPECT_EQ((*rows)[kRowEditTime].text, "");
    EXPECT_EQ((*rows)[kRowTitle].text, "");
    EXPECT_EQ((*rows)[kRowAuthor].text, "Crafted Author");
}

TEST(PackageWrite, NewElementsAreAppendedInTheirNamespaces) {
    test::TempDir dir;
    // LibreOffice puts the category elsewhere: a new cp:category goes last.
    std::string path = dir.copyData("lo_ascii.xlsx");
    RowTexts texts;
    texts[kRowCategory] = "New Category";
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowCategory})).ok());
    std::string core = partOf(test::readFile(path), "docProps/core.xml");
    EXPECT_TRUE(text::endsWith(core, "<dc:title>Quarterly Report Title</dc:title>"
                                     "<cp:category>New Category</cp:category></cp:coreProperties>"));

    // A core part without the dates or the xsi namespace, and without a dc
    // declaration; an extended part whose document element is prefixed.
    PackageParts p;
    p.core = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
             "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
             "xmlns:dcterms=\"http://purl.org/dc/terms/\"><cp:revision>1</cp:revision></cp:coreProperties>";
    p.app = "<ep:Properties xmlns:ep=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
            "</ep:Properties>";
    std::string built = writeBuilt(dir, p);
    RowTexts t = sampleTexts();
    ASSERT_TRUE(WritePackageRows(built, t, only({kRowCreated, kRowLastSaved, kRowTitle, kRowManager})).ok());
    std::string bytes = test::readFile(built);
    std::string newCore = partOf(bytes, "docProps/core.xml");
    EXPECT_NE(newCore.find("xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""), std::string::npos);
    EXPECT_NE(newCore.find("xmlns:dc=\"http://purl.org/dc/elements/1.1/\""), std::string::npos);
    EXPECT_NE(newCore.find("<cp:revision>1</cp:revision><dc:title>新しいタイトル 😀</dc:title>"
                           "<dcterms:created xsi:type=\"dcterms:W3CDTF\">2020-02-29T23:59:59Z</dcterms:created>"
                           "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">2021-03-14T01:59:26Z</dcterms:modified>"
                           "</cp:coreProperties>"),
              std::string::npos)
        << newCore;
    // The prefixed extended part: the new element takes the part's prefix.
    EXPECT_NE(partOf(bytes, "docProps/app.xml").find("<ep:Manager>"), std::string::npos);
    // An independent namespace-aware reader agrees.
    if (test::haveTool("python3")) {
        test::writeFile(dir.file("core.xml"), newCore);
        EXPECT_EQ(test::runPython("import sys, xml.etree.ElementTree as ET\n"
                                  "r = ET.parse(sys.argv[1]).getroot()\n"
                                  "t = r.find('{http://purl.org/dc/elements/1.1/}title').text\n"
                                  "c = r.find('{http://purl.org/dc/terms/}created')\n"
                                  "assert t == '\\u65b0\\u3057\\u3044\\u30bf\\u30a4\\u30c8\\u30eb \\U0001F600', t\n"
                                  "assert c.get('{http://www.w3.org/2001/XMLSchema-instance}type') == 'dcterms:W3CDTF'\n",
                                  test::shellQuote(dir.file("core.xml"))),
                  0);
    }
    // An existing element keeps its attributes; only its text changes.
    auto rows = ReadPackageRows(built);
    ASSERT_TRUE(rows.ok());
    ASSERT_TRUE(WritePackageRows(built, t, only({kRowCreated})).ok());
    EXPECT_EQ(partOf(test::readFile(built), "docProps/core.xml"), newCore);
}

TEST(PackageWrite, RestOfThePartIsWrittenBackAsItWas) {
    PackageParts p;
    p.core = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
             "<?custom instruction?>\n"
             "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
             "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:x=\"urn:x\">\n"
             "  <!-- a comment -->\n"
             "  <dc:title x:a=\"1\" x:b=\"&amp;2\">Old</dc:title>\n"
             "  <dc:subject>&#x41;&apos;s &gt; <![CDATA[cdata]]></dc:subject>\n"
             "  <x:other  x:z=\"3\"\tx:y=\"4\">keep</x:other>\n"
             "</cp:coreProperties>";
    test::TempDir dir;
    std::string path = writeBuilt(dir, p);
    RowTexts texts;
    texts[kRowTitle] = "New & <improved>";
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowTitle})).ok());
    std::string expected = p.core;
    text::replaceAll(expected, ">Old<", ">New &amp; &lt;improved&gt;<");
    text::replaceAll(expected, "<x:other  x:z=\"3\"\tx:y=\"4\">", "<x:other x:z=\"3\" x:y=\"4\">");
    EXPECT_EQ(partOf(test::readFile(path), "docProps/core.xml"), expected);

    // A byte order mark stays too.
    p.core = "\xEF\xBB\xBF" + p.core;
    path = writeBuilt(dir, p);
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowTitle})).ok());
    EXPECT_EQ(partOf(test::readFile(path), "docProps/core.xml"), "\xEF\xBB\xBF" + expected);
}

TEST(PackageWrite, EverythingIsCheckedBeforeTheFileIsTouched) {
    test::TempDir dir;
    auto refused = [&](const std::string& path, const RowTexts& texts, const RowMask& mask) {
        std::string before = test::readFile(path);
        auto st = WritePackageRows(path, texts, mask);
        EXPECT_FALSE(st.ok());
        EXPECT_EQ(test::readFile(path), before);
        return st.ok() ? ErrorCode::Internal : st.error().code;
    };
    // A package that is no Office Open XML package can't take new parts.
    PackageParts noTypes;
    noTypes.coreName.clear();
    test::ZipBuilder zb;
    zb.add("_rels/.rels", noTypes.rels).add("docProps/app.xml", noTypes.app);
    std::string odd = dir.file("no_types.xlsx");
    test::writeFile(odd, zb.build());
    EXPECT_EQ(refused(odd, sampleTexts(), allRows()), ErrorCode::PackageLayout);

    std::string plain = dir.copyData("crafted_plain.xlsx");
    RowTexts bad;
    bad[kRowCreated] = "not a date";
    EXPECT_EQ(refused(plain, bad, only({kRowCompany, kRowCreated})), ErrorCode::ConversionFailed);
    bad[kRowLastPrinted] = "31/02/2020 99:00";
    EXPECT_EQ(refused(plain, bad, only({kRowLastPrinted})), ErrorCode::ConversionFailed);
    bad[kRowEditTime] = "an hour";
    EXPECT_EQ(refused(plain, bad, only({kRowEditTime})), ErrorCode::ConversionFailed);
    bad[kRowTitle] = std::string("bell\x07");
    EXPECT_EQ(refused(plain, bad, only({kRowTitle})), ErrorCode::ConversionFailed);
    bad[kRowTitle] = "\xFF\xFE broken UTF-8";
    EXPECT_EQ(refused(plain, bad, only({kRowTitle})), ErrorCode::ConversionFailed);

    RowTexts t;

    std::string notZip = dir.copyData("not_a_zip.xlsx");
    EXPECT_EQ(refused(notZip, t, allRows()), ErrorCode::NotAZip);
    EXPECT_EQ(WritePackageRows(dir.file("absent.xlsx"), t, allRows()).error().code, ErrorCode::NotFound);
}

TEST(PackageWrite, DateTextsAndIso8601AreWrittenAsUtc) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    test::TempDir dir;
    std::string path = dir.copyData("crafted_plain.xlsx");
    RowTexts t;
    t[kRowCreated] = "2010-04-01T12:30:00+09:00";
    t[kRowLastSaved] = dateText("2011-05-02T04:40:10Z");
    ASSERT_TRUE(WritePackageRows(path, t, only({kRowCreated, kRowLastSaved})).ok());
    std::string core = partOf(test::readFile(path), "docProps/core.xml");
    EXPECT_NE(core.find(">2010-04-01T03:30:00Z</dcterms:created>"), std::string::npos);
    EXPECT_NE(core.find(">2011-05-02T04:40:10Z</dcterms:modified>"), std::string::npos);
}

TEST(PackageWrite, FailureAtEveryWriteStepLeavesTheOriginal) {
    test::TempDir dir;
    std::string path = dir.copyData("lo_japanese.xlsx");
    const std::string original = test::readFile(path);
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        platform::faults::failAt(n);
        auto st = WritePackageRows(path, sampleTexts(), allRows());
        platform::faults::reset();
        if (st.ok())
            break;
        EXPECT_TRUE(st.error().message.starts_with("can't write: "));
        EXPECT_EQ(test::readFile(path), original);
        auto names = platform::listFiles(dir.path());
        ASSERT_TRUE(names.ok());
        for (const std::string& name : *names)
            EXPECT_FALSE(platform::isTemporaryNameFor(path, name)) << name;
        ASSERT_LT(n, 50);
    }
    EXPECT_NE(test::readFile(path), original);
}

TEST(PackageWrite, DeepAndUnusualPartsAreWrittenSafely) {
    PackageParts deep;
    std::string nested;
    for (int i = 0; i < 60000; ++i)
        nested += "<cp:x>";
    for (int i = 0; i < 60000; ++i)
        nested += "</cp:x>";
    deep.core = test::kCoreOpen + "<cp:keywords>" + nested + "</cp:keywords>" + test::kCoreClose;
    test::TempDir dir;
    std::string path = writeBuilt(dir, deep);
    RowTexts t;
    t[kRowTitle] = "after the deep part";
    ASSERT_TRUE(WritePackageRows(path, t, only({kRowTitle})).ok());
    auto rows = ReadPackageRows(path);
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ((*rows)[kRowTitle].text, "after the deep part");

    // A UTF-16 part is written back as UTF-8 and says so.
    PackageParts utf16;
    std::u16string u = text::utf8ToUtf16(
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Properties "
        "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
        "<Company>会社</Company></Properties>");
    utf16.app = "\xFF\xFE";
    for (char16_t c : u) {
        utf16.app += static_cast<char>(c & 0xFF);
        utf16.app += static_cast<char>(c >> 8);
    }
    path = writeBuilt(dir, utf16);
    t[kRowManager] = "管理者";
    ASSERT_TRUE(WritePackageRows(path, t, only({kRowManager})).ok());
    EXPECT_EQ(partOf(test::readFile(path), "docProps/app.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Properties "
              "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
              "<Company>会社</Company><Manager>管理者</Manager></Properties>");
}

// The Dublin Core namespace under another prefix, or elements in the default
// namespace: the element that is there changes, and none is added beside it.
TEST(PackageWrite, ElementsAreMatchedByNamespaceNotPrefix) {
    test::TempDir dir;
    std::string other = dir.copyData("core_dc_other_prefix.xlsx");
    RowTexts t;
    t[kRowTitle] = "x";
    ASSERT_TRUE(WritePackageRows(other, t, only({kRowTitle})).ok());
    std::string core = partOf(test::readFile(other), "docProps/core.xml");
    EXPECT_NE(core.find("<dcx:title>x</dcx:title>"), std::string::npos) << core;
    EXPECT_EQ(core.find("dc:title"), std::string::npos) << core;

    PackageParts p;
    p.core = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<coreProperties xmlns=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
             "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><lastModifiedBy>Old</lastModifiedBy>"
             "<revision>3</revision><revision>second</revision></coreProperties>";
    std::string path = writeBuilt(dir, p);
    RowTexts texts = sampleTexts();
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowLastSavedBy, kRowRevision, kRowCategory})).ok());
    core = partOf(test::readFile(path), "docProps/core.xml");
    EXPECT_NE(core.find("<lastModifiedBy>" + texts[kRowLastSavedBy] + "</lastModifiedBy>"), std::string::npos) << core;
    EXPECT_NE(core.find("<revision>" + texts[kRowRevision] + "</revision><revision>second</revision>"), std::string::npos)
        << core;
    EXPECT_NE(core.find("<category>"), std::string::npos) << core;  // in the default namespace, which is cp's
    EXPECT_EQ(core.find("cp:"), std::string::npos) << core;
    auto rows = ReadPackageRows(path);
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ((*rows)[kRowLastSavedBy].text, texts[kRowLastSavedBy]);
}

// A package without a property part, or without its relationship, gets the
// part, its Override and its relationship in the one rewrite; only empty
// values create nothing.
TEST(PackageWrite, MissingPartsAreCreatedInTheSameRewrite) {
    test::TempDir dir;
    PackageParts p;
    p.coreName.clear();
    p.appName.clear();
    p.rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
             "officeDocument\" Target=\"xl/workbook.xml\"/><Relationship Id=\"rId3\" Type=\"x\" Target=\"x\"/>"
             "</Relationships>";
    std::string path = writeBuilt(dir, p);
    std::string before = test::readFile(path);
    RowTexts empty;
    ASSERT_TRUE(WritePackageRows(path, empty, only({kRowTitle, kRowCompany})).ok());
    EXPECT_EQ(test::readFile(path), before);

    RowTexts texts = sampleTexts();
    ASSERT_TRUE(WritePackageRows(path, texts, allRows()).ok());
    auto rows = ReadPackageRows(path);
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    EXPECT_EQ((*rows)[kRowTitle].text, texts[kRowTitle]);
    EXPECT_EQ((*rows)[kRowCompany].text, texts[kRowCompany]);
    EXPECT_EQ((*rows)[kRowCreated].utc, ParseIso8601("2020-02-29T23:59:59Z"));
    std::string bytes = test::readFile(path);
    std::string types = partOf(bytes, "[Content_Types].xml");
    EXPECT_NE(types.find("<Override PartName=\"/docProps/core.xml\" "
                         "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"),
              std::string::npos)
        << types;
    EXPECT_NE(types.find("PartName=\"/docProps/app.xml\""), std::string::npos) << types;
    std::string rels = partOf(bytes, "_rels/.rels");
    EXPECT_NE(rels.find("<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                        "relationships/extended-properties\" Target=\"docProps/app.xml\"/>"),
              std::string::npos)
        << rels;
    EXPECT_NE(rels.find("Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
                        "core-properties\" Target=\"docProps/core.xml\""),
              std::string::npos)
        << rels;
    EXPECT_NE(partOf(bytes, "docProps/core.xml").find("<dcterms:created xsi:type=\"dcterms:W3CDTF\">"),
              std::string::npos);
    // An independent reader finds the parts through the relationships.
    if (test::haveTool("python3")) {
        EXPECT_EQ(test::runPython("import sys, zipfile, xml.etree.ElementTree as ET\n"
                                  "z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None\n"
                                  "R = '{http://schemas.openxmlformats.org/package/2006/relationships}'\n"
                                  "t = {r.get('Type').rsplit('/', 1)[-1]: r.get('Target') for r in "
                                  "ET.fromstring(z.read('_rels/.rels')).iter(R + 'Relationship')}\n"
                                  "c = ET.fromstring(z.read(t['core-properties']))\n"
                                  "assert c.find('{http://purl.org/dc/elements/1.1/}title') is not None\n"
                                  "a = ET.fromstring(z.read(t['extended-properties']))\n"
                                  "assert a.find('{http://schemas.openxmlformats.org/officeDocument/2006/"
                                  "extended-properties}Company') is not None\n",
                                  test::shellQuote(path)),
                  0);
    }

    // A relationship whose part is missing: the part is created where it
    // names, and no second relationship is added. A strict package's new
    // extended part is in the strict namespace.
    PackageParts named;
    named.coreName.clear();
    named.appName.clear();
    text::replaceAll(named.rels, "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
                     "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties");
    text::replaceAll(named.rels, "Target=\"docProps/core.xml\"", "Target=\"/meta/c.xml\"");
    path = writeBuilt(dir, named);
    ASSERT_TRUE(WritePackageRows(path, texts, only({kRowTitle, kRowManager})).ok());
    bytes = test::readFile(path);
    EXPECT_EQ(partOf(bytes, "_rels/.rels"), named.rels);
    EXPECT_NE(partOf(bytes, "meta/c.xml").find("<dc:title>"), std::string::npos);
    EXPECT_NE(partOf(bytes, "docProps/app.xml")
                  .find("<Properties xmlns=\"http://purl.oclc.org/ooxml/officeDocument/extendedProperties\""),
              std::string::npos);
    rows = ReadPackageRows(path);
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    EXPECT_EQ((*rows)[kRowManager].text, texts[kRowManager]);
}

namespace {

Status writeTitle(const std::string& path, bool allowUnsigning, int row = kRowTitle) {
    RowTexts texts;
    texts[static_cast<std::size_t>(row)] = "changed";
    auto edits = EditsFromTexts(texts, only({row}));
    edits->allowUnsigning = allowUnsigning;
    return WritePackageMetadata(path, *edits, {});
}

// A package with one signature part, related from an origin in the given
// folder, whose manifest names the given part URIs.
std::string signedPackage(test::TempDir& dir, const std::string& folder, const std::vector<std::string>& uris,
                          bool withApp = true, std::string signatureXml = {}) {
    // Without the extended part, nothing relates it either.
    if (signatureXml.empty()) {
        signatureXml = "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo><Reference "
                       "URI=\"#idPackageObject\"/></SignedInfo><Object Id=\"idPackageObject\"><Manifest>";
        for (const std::string& u : uris)
            signatureXml += "<Reference URI=\"" + u + "\"/>";
        signatureXml += "</Manifest></Object></Signature>";
    }
    ZipBuilder zb;
    zb.add("[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
    std::string rels = kTransitionalRels;
    if (!withApp)
        text::replaceAll(rels,
                         "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                         "relationships/extended-properties\" Target=\"docProps/app.xml\"/>",
                         "");
    text::replaceAll(rels, "</Relationships>",
                     "<Relationship Id=\"rIdS\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/"
                     "digital-signature/origin\" Target=\"" + folder + "/origin.sigs\"/></Relationships>");
    zb.add("_rels/.rels", rels);
    zb.add("xl/workbook.xml", "<workbook/>");
    zb.add("docProps/core.xml", PackageParts().core);
    if (withApp)
        zb.add("docProps/app.xml", PackageParts().app);
    zb.add(folder + "/origin.sigs", "");
    zb.add(folder + "/_rels/origin.sigs.rels",
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
           "Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/"
           "signature\" Target=\"sig1.xml\"/></Relationships>");
    zb.add(folder + "/sig1.xml", signatureXml);
    std::string path = dir.file("signed" + std::to_string(std::rand()) + ".xlsx");
    test::writeFile(path, zb.build());
    return path;
}

}  // namespace

// A change that would break a digital signature is refused untouched unless
// the user allowed it; a signature over other parts doesn't stop it.
TEST(PackageWrite, SignaturesOverWrittenPartsStopTheWriteUnlessAllowed) {
    test::TempDir dir;
    const std::string office = dir.copyData("signed_properties.xlsx");
    const std::string before = test::readFile(office);
    Status refused = writeTitle(office, false);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::Signed);
    EXPECT_NE(refused.error().message.find("digital signature covers docProps/core.xml"), std::string::npos)
        << refused.error().message;
    EXPECT_EQ(test::readFile(office), before);
    ASSERT_TRUE(writeTitle(office, true).ok());
    EXPECT_EQ(changedEntries(before, test::readFile(office)), std::vector<std::string>{"docProps\\core.xml"});
    EXPECT_EQ((*ReadPackageRows(office))[kRowTitle].text, "changed");

    EXPECT_TRUE(writeTitle(dir.copyData("signed_content_only.xlsx"), false).ok());

    // Found through the origin's relationships wherever it lies; "?" and
    // percent-encoding in a reference are read as in any part name.
    EXPECT_EQ(writeTitle(signedPackage(dir, "sigs", {"/docProps/core%2Exml?ContentType=x"}), false).error().code,
              ErrorCode::Signed);
    const std::string appOnly = signedPackage(dir, "_xmlsignatures", {"/docProps/app.xml"});
    EXPECT_TRUE(writeTitle(appOnly, false).ok());
    EXPECT_EQ(writeTitle(appOnly, false, kRowCompany).error().code, ErrorCode::Signed);

    // A part created for a value changes the signed relationships.
    const std::string relsSigned = signedPackage(dir, "_xmlsignatures", {"/_rels/.rels"}, false);
    EXPECT_TRUE(writeTitle(relsSigned, false).ok());
    const std::string relsBefore = test::readFile(relsSigned);
    EXPECT_EQ(writeTitle(relsSigned, false, kRowCompany).error().code, ErrorCode::Signed);
    EXPECT_EQ(test::readFile(relsSigned), relsBefore);

    // A reference nested deeper than any recursion could follow is found.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    deep += "<Reference URI=\"/docProps/core.xml\"/>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    EXPECT_EQ(writeTitle(signedPackage(dir, "_xmlsignatures", {}, true, deep), false).error().code, ErrorCode::Signed);

    // A signature that can't be read may cover anything.
    EXPECT_EQ(writeTitle(signedPackage(dir, "_xmlsignatures", {}, true, "<Signature"), false).error().code,
              ErrorCode::Signed);
}
