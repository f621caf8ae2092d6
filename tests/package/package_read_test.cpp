// Reading the fourteen properties of packages: the fixture corpus against its
// manifest, and the layout rules on packages built in code.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "../cfb/manifest.h"
#include "../zip/external_tools.h"
#include "base/text.h"
#include "package_builder.h"
#include "props/datetime.h"
#include "props/package/properties.h"
#include "props/package/xml_part.h"
#include "props/package/package_props.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::test;
using qv::test::PackageParts;

namespace {

Result<RowValues> readBuilt(const PackageParts& parts) {
    test::TempDir dir;
    std::string path = dir.file("p.xlsx");
    test::writeFile(path, test::buildPackage(parts));
    return ReadPackageRows(path);
}

std::string coreWith(const std::string& children) { return test::kCoreOpen + children + test::kCoreClose; }

// The manifest's expected properties: file -> key -> value (no entry for null).
std::map<std::string, std::map<std::string, std::string>> manifestProps() {
    // The manifest's expected values of every package (null values left out).
    test::Json manifest = test::parseJson(test::readFile(test::dataPath("manifest.json")));
    std::map<std::string, std::map<std::string, std::string>> props;
    for (const auto& [name, f] : manifest["files"].object) {
        if (name.size() < 5 || name.substr(name.size() - 5) != ".xlsx")
            continue;
        auto& entry = props[name];
        for (const auto& [key, v] : f["expected"]["props"].object) {
            if (v.kind == test::Json::Kind::String)
                entry[key] = v.string;
            else if (v.kind == test::Json::Kind::Number)
                entry[key] = std::to_string(static_cast<long long>(v.number));
        }
    }
    return props;
}

constexpr const char* kManifestKeys[kRowCount] = {
    "title",   "subject", "author",      "keywords",     "comments",   "category", "revision", "last_saved_by",
    "manager", "company", "created_utc", "modified_utc", "edit_minutes", "last_printed_utc"};

}  // namespace

// ---------------------------------------------------------------------------

TEST(PackageCorpus, EveryPackageReadsAsTheManifestSays) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    auto manifest = manifestProps();
    ASSERT_GE(manifest.size(), 17u);
    // Files the tool refuses, with the reason: no package at all, and a
    // compression method it doesn't decode.
    const std::map<std::string, ErrorCode> refused = {
        {"not_a_zip.xlsx", ErrorCode::NotAZip},
        {"zero_bytes.xlsx", ErrorCode::PackageLayout},
        {"zip_method12_core.xlsx", ErrorCode::UnsupportedMethod},
    };
    for (const auto& [file, props] : manifest) {
        SCOPED_TRACE(file);
        auto rows = ReadPackageRows(test::dataPath(file));
        if (auto it = refused.find(file); it != refused.end()) {
            ASSERT_FALSE(rows.ok());
            EXPECT_EQ(rows.error().code, it->second) << rows.error().message;
            EXPECT_TRUE(rows.error().message.starts_with("can't read: "));
            continue;
        }
        ASSERT_TRUE(rows.ok()) << rows.error().message;
        for (int row = 0; row < kRowCount; ++row) {
            const RowValue& got = (*rows)[static_cast<std::size_t>(row)];
            auto it = props.find(kManifestKeys[row]);
            std::string expected = it == props.end() ? "" : it->second;
            if (isDateRow(row)) {
                if (expected.empty()) {
                    EXPECT_EQ(got.text, "") << kManifestKeys[row];
                    EXPECT_FALSE(got.utc.has_value());
                    continue;
                }
                auto utc = ParseW3cdtf(expected);
                ASSERT_TRUE(utc.has_value());
                EXPECT_EQ(got.utc, utc) << kManifestKeys[row];
                EXPECT_EQ(got.text, FormatDateTimeText(FileTimeToLocal(*utc)));
            } else {
                EXPECT_EQ(got.text, expected) << kManifestKeys[row];
                EXPECT_FALSE(got.utc.has_value());
            }
        }
    }
}

TEST(PackageLayoutRules, TargetsResolveAsThePackagingConventionsSay) {
    EXPECT_EQ(package::ResolveTarget("", "docProps/core.xml"), "docProps\\core.xml");
    EXPECT_EQ(package::ResolveTarget("", "/docProps/core.xml"), "docProps\\core.xml");
    EXPECT_EQ(package::ResolveTarget("", "docProps\\core.xml"), "docProps\\core.xml");
    EXPECT_EQ(package::ResolveTarget("", "./docProps/../docProps/c%6Fre%20x.xml"), "docProps\\core x.xml");
    EXPECT_EQ(package::ResolveTarget("/xl", "../docProps/app.xml"), "docProps\\app.xml");
    EXPECT_EQ(package::ResolveTarget("", "docProps/core.xml#part"), "docProps\\core.xml");
    EXPECT_EQ(package::ResolveTarget("", "docProps/c%23re.xml"), "docProps\\c#re.xml");
    for (const char* none : {"http://example.com/core.xml", "../core.xml", "", "/", "file:///c:/core.xml", "a%00b.xml"})
        EXPECT_FALSE(package::ResolveTarget("", none).has_value()) << none;

    auto titleOf = [](const PackageParts& p) {
        auto rows = readBuilt(p);
        EXPECT_TRUE(rows.ok()) << rows.error().message;
        return rows.ok() ? (*rows)[kRowTitle].text : std::string("(failed)");
    };
    PackageParts upper;  // part names are compared without case
    upper.relsName = "_RELS/.RELS";
    upper.coreName = "DOCPROPS/Core.XML";
    EXPECT_EQ(titleOf(upper), "Title");
    PackageParts backslash;
    backslash.relsName = "_rels\\.rels";
    backslash.coreName = "docProps\\core.xml";
    EXPECT_EQ(titleOf(backslash), "Title");
    PackageParts absolute;
    text::replaceAll(absolute.rels, "Target=\"docProps/core.xml\"", "Target=\"/docProps/core.xml\"");
    EXPECT_EQ(titleOf(absolute), "Title");
    PackageParts encoded;
    encoded.coreName = "docProps/my core.xml";
    text::replaceAll(encoded.rels, "Target=\"docProps/core.xml\"", "Target=\"docProps\\my%20core.xml\"");
    EXPECT_EQ(titleOf(encoded), "Title");
    // A relationship to a resource outside the package names no part.
    PackageParts external;
    text::replaceAll(external.rels, "Target=\"docProps/core.xml\"",
                     "Target=\"docProps/core.xml\" TargetMode=\"External\"");
    EXPECT_EQ(titleOf(external), "");
}

TEST(PackageLayoutRules, StrictAndMixedPackagesAndMissingPartsAreRead) {
    // Strict relationship types and namespaces, mixed with a transitional core
    // relationship as real strict files do; a prefixed relationship element.
    PackageParts strict;
    text::replaceAll(strict.rels, "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties",
                     "http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties");
    text::replaceAll(strict.rels, "<Relationship ", "<r:Relationship xmlns:r=\"http://schemas.openxmlformats.org/package/2006/relationships\" ");
    strict.app = "<Properties xmlns=\"http://purl.oclc.org/ooxml/officeDocument/extendedProperties\">"
                 "<Company>Strict Co</Company><TotalTime>9</TotalTime></Properties>";
    auto r = readBuilt(strict);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ((*r)[kRowCompany].text, "Strict Co");
    EXPECT_EQ((*r)[kRowEditTime].text, "9");
    EXPECT_EQ((*r)[kRowTitle].text, "Title");

    // A part, its relationship or all relationships missing, or a part empty:
    // the rows of that part are empty, the others read.
    auto rowsOf = [](const PackageParts& p) {
        auto rows = readBuilt(p);
        EXPECT_TRUE(rows.ok()) << rows.error().message;
        return rows.ok() ? *rows : RowValues{};
    };
    PackageParts noCore;
    noCore.coreName.clear();
    EXPECT_EQ(rowsOf(noCore)[kRowCompany].text, "Company");
    EXPECT_FALSE(rowsOf(noCore)[kRowTitle].present);
    PackageParts noApp;
    noApp.appName = "docProps/other.xml";  // the relationship names no entry
    EXPECT_EQ(rowsOf(noApp)[kRowTitle].text, "Title");
    EXPECT_EQ(rowsOf(noApp)[kRowCompany].text, "");
    PackageParts noRels;
    noRels.relsName.clear();
    EXPECT_EQ(rowsOf(noRels)[kRowTitle].text, "");
    PackageParts emptyCore;
    emptyCore.core.clear();
    EXPECT_EQ(rowsOf(emptyCore)[kRowCompany].text, "Company");

    // A relationship that names another kind of part is refused: property
    // elements must never be written into the workbook or the content types.
    PackageParts wrongPart;
    text::replaceAll(wrongPart.rels, "Target=\"docProps/core.xml\"", "Target=\"xl/workbook.xml\"");
    EXPECT_EQ(readBuilt(wrongPart).error().code, ErrorCode::PackageLayout);

    // Damage is still an error.
    PackageParts brokenCore;
    brokenCore.core = coreWith("<dc:title>unclosed");
    EXPECT_EQ(readBuilt(brokenCore).error().code, ErrorCode::BadXml);
}

TEST(PackageElements, FirstDirectChildByNamespaceTextAsStored) {
    PackageParts p;
    p.core = coreWith(
        "<dc:title>First &amp; &lt;best&gt; &#x65E5;&#26412;</dc:title><dc:title>Second</dc:title>"
        "<cp:lastModifiedBy xmlns:cp=\"urn:other\">another namespace</cp:lastModifiedBy>"
        "<lastPrinted xmlns=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\">"
        "2010-04-01T03:30:00Z</lastPrinted>"
        "<cp:keywords>  spaced\r\nlines  </cp:keywords>"
        "<dc:subject><![CDATA[<raw> & kept]]></dc:subject>"
        "<cp:wrapper><dc:creator>nested is not direct</dc:creator></cp:wrapper>"
        "<!-- <dc:description>a comment</dc:description> -->"
        "<cp:revision>0042</cp:revision>");
    p.app = test::kAppOpen + "<TotalTime>125</TotalTime><ep:Company xmlns:ep=\"x\">prefixed</ep:Company>" +
            test::kAppClose;
    auto rows = readBuilt(p);
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    EXPECT_EQ((*rows)[kRowTitle].text, "First & <best> 日本");
    EXPECT_EQ((*rows)[kRowKeywords].text, "  spaced\nlines  ");
    EXPECT_EQ((*rows)[kRowSubject].text, "<raw> & kept");
    EXPECT_EQ((*rows)[kRowAuthor].text, "");
    EXPECT_EQ((*rows)[kRowComments].text, "");
    EXPECT_EQ((*rows)[kRowRevision].text, "0042");
    EXPECT_EQ((*rows)[kRowEditTime].text, "125");
    EXPECT_EQ((*rows)[kRowCompany].text, "");
    EXPECT_EQ((*rows)[kRowLastSavedBy].text, "");
    EXPECT_EQ((*rows)[kRowLastPrinted].utc, ParseIso8601("2010-04-01T03:30:00Z"));
}

// An editing time is a number of minutes; one too large for 100-ns units, or
// no number at all, shows as it is stored rather than overflowing.
TEST(PackageElements, AnEditingTimeBeyondWhatADurationHoldsShowsAsStored) {
    for (const char* stored : {"99999999999999999", "-5", "1.5", "12"}) {
        PackageParts p;
        p.core = coreWith("");
        p.app = test::kAppOpen + "<TotalTime>" + stored + "</TotalTime>" + test::kAppClose;
        auto rows = readBuilt(p);
        ASSERT_TRUE(rows.ok()) << rows.error().message;
        EXPECT_EQ((*rows)[kRowEditTime].text, stored);
    }
}

TEST(PackageElements, DatesAreReadByTheWholeW3cdtfProfile) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    auto read = [](const std::string& created) {
        PackageParts p;
        p.core = coreWith("<dcterms:created xsi:type=\"dcterms:W3CDTF\">" + created + "</dcterms:created>");
        auto rows = readBuilt(p);
        EXPECT_TRUE(rows.ok());
        return rows.ok() ? (*rows)[kRowCreated] : RowValue{};
    };
    const FileTime noonUtc = *ParseIso8601("2010-04-01T03:30:00Z");
    EXPECT_EQ(read("2010-04-01T12:30:00+09:00").utc, noonUtc);
    EXPECT_EQ(read("2010-04-01T03:30:00Z").utc, noonUtc);
    EXPECT_EQ(read("2010-04-01T03:30Z").utc, noonUtc);
    EXPECT_EQ(read("2010-03-31T22:30:00-05:00").utc, noonUtc);
    EXPECT_EQ(read("2010-04-01T03:30:00.5Z").utc, noonUtc + 5'000'000);
    EXPECT_EQ(read("2010-04-01T12:30:00+09:00").text, FormatDateTimeText(FileTimeToLocal(noonUtc)));
    EXPECT_TRUE(read("2010-04-01").utc.has_value());
    // Without a zone (some writers leave it out): UTC.
    EXPECT_EQ(read("2010-04-01T03:30:00.000").utc, noonUtc);
    for (const char* bad : {"2010-04-01t03:30:00Z", "2010-04-01T03:30:00z", "01/04/2010",
                            "2010-4-1T03:30:00Z", "garbage", ""}) {
        RowValue v = read(bad);
        EXPECT_EQ(v.text, "") << bad;
        EXPECT_FALSE(v.utc.has_value()) << bad;
    }
}

TEST(PackageXml, HostileAndUnusualPartsAreHandled) {
    PackageParts laughs;  // entities are never expanded: a document type is refused
    laughs.core = "<?xml version=\"1.0\"?>\n"
                  "<!DOCTYPE cp:coreProperties [<!ENTITY lol \"lol\">"
                  "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
                  "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>\n"
                  "<cp:coreProperties xmlns:cp=\"c\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
                  "<dc:title>&lol3;</dc:title></cp:coreProperties>";
    auto r = readBuilt(laughs);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::BadXml);

    PackageParts deep;  // deeply nested content stays harmless
    std::string nested;
    for (int i = 0; i < 100000; ++i)
        nested += "<a>";
    nested += "deep";
    for (int i = 0; i < 100000; ++i)
        nested += "</a>";
    deep.core = coreWith("<cp:keywords>" + nested + "</cp:keywords><dc:title>after</dc:title>");
    auto d = readBuilt(deep);
    ASSERT_TRUE(d.ok()) << d.error().message;
    EXPECT_EQ((*d)[kRowKeywords].text, "deep");
    EXPECT_EQ((*d)[kRowTitle].text, "after");

    PackageParts utf16;  // a part in UTF-16 with its byte order mark
    std::u16string u = text::utf8ToUtf16(
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><cp:coreProperties xmlns:cp=\"c\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>ユニコード</dc:title></cp:coreProperties>");
    utf16.core = "\xFF\xFE";
    for (char16_t c : u) {
        utf16.core += static_cast<char>(c & 0xFF);
        utf16.core += static_cast<char>(c >> 8);
    }
    auto w = readBuilt(utf16);
    ASSERT_TRUE(w.ok()) << w.error().message;
    EXPECT_EQ((*w)[kRowTitle].text, "ユニコード");
}
