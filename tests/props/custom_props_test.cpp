// User-defined properties in both kinds: each type round trips through the
// compound file's user-defined section (code pages 932, 1252 and 1200, a
// section promoted to 1200, names that need UTF-16) and through the
// package's custom part (created with its bookkeeping); an edit leaves
// every other property, stream and entry as it was; what can't be held or
// isn't changed is refused.
#include <gtest/gtest.h>

#include <cmath>

#include "base/text.h"
#include "platform/platform.h"
#include "props/compound/cfb/compound_file.h"
#include "props/compound/compound_custom.h"
#include "props/compound/compound_props.h"
#include "props/package/package_props.h"
#include "props/compound/propset/dictionary.h"
#include "props/compound/propset/property_set.h"
#include "support/testsupport.h"
#include "zip/archive.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr FileTime unixTime(std::int64_t seconds) {
    return static_cast<FileTime>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond);
}

const std::vector<CustomEdit> kEveryType = {
    CustomEdit::set("Client", std::string("ACME")),
    CustomEdit::set("Count", std::int64_t{-42}),
    CustomEdit::set("Big", std::int64_t{5'000'000'000}),  // beyond 32 bits: stored as a real
    CustomEdit::set("Ratio", 2.5),
    CustomEdit::set("Done", true),
    CustomEdit::set("Due", Instant{unixTime(1'614'848'400)}),
};

MetadataEdits customEdits(std::vector<CustomEdit> custom) {
    MetadataEdits e;
    e.custom = std::move(custom);
    return e;
}

std::map<std::string, CustomValue> byName(const std::vector<CustomProperty>& list) {
    std::map<std::string, CustomValue> out;
    for (const CustomProperty& p : list)
        out[p.name] = p.value;
    return out;
}

std::map<std::string, std::string> streamsOf(const std::string& file) {
    std::map<std::string, std::string> out;
    cfb::MemorySource src(file);
    auto cf = cfb::CompoundFile::open(src);
    EXPECT_TRUE(cf.ok());
    if (!cf)
        return out;
    auto kids = cf->children(0);  // kept alive for the loop
    if (!kids)
        return out;
    for (std::uint32_t k : *kids)
        if (cf->entries()[k].isStream())
            out[text::utf16ToUtf8(cf->entries()[k].name)] = *cf->readStream(k, 1u << 30);
    return out;
}

// The document summary set's sections: [0] its own, [1] the user-defined one.
std::vector<propset::Section> dsiSections(const std::string& path) {
    auto set = propset::PropertySet::parse(streamsOf(readFile(path)).at("\x05" "DocumentSummaryInformation"));
    EXPECT_TRUE(set.ok());
    std::vector<propset::Section> out;
    for (const auto& s : set->sections)
        out.push_back(*propset::Section::parse(s.bytes));
    return out;
}

void expectEveryType(const std::vector<CustomProperty>& read) {
    auto m = byName(read);
    EXPECT_EQ(m.at("Client"), CustomValue(std::string("ACME")));
    EXPECT_EQ(m.at("Count"), CustomValue(std::int64_t{-42}));
    EXPECT_EQ(m.at("Big"), CustomValue(5e9));
    EXPECT_EQ(m.at("Ratio"), CustomValue(2.5));
    EXPECT_EQ(m.at("Done"), CustomValue(true));
    EXPECT_EQ(m.at("Due"), CustomValue(Instant{unixTime(1'614'848'400)}));
}

class CustomPropsTest : public ::testing::Test {
protected:
    TempDir m_dir;
};

}  // namespace

TEST_F(CustomPropsTest, CompoundRoundTripsEveryTypeInItsCodePage) {
    // 1252 with a section of its own; 932 without one, where it is created.
    for (const char* name : {"xls_dsi_userdefined.xls", "xls_cp932_full.xls"}) {
        SCOPED_TRACE(name);
        const std::string p = m_dir.copyData(name);
        const int codePage = *dsiSections(p)[0].codePage();
        std::vector<CustomEdit> edits = kEveryType;
        // A name and a text each code page holds.
        edits.push_back(codePage == 932 ? CustomEdit::set("案件", std::string("東京支社"))
                                        : CustomEdit::set("Résumé", std::string("Straße")));
        ASSERT_TRUE(WriteCompoundMetadata(p, customEdits(edits)).ok());
        auto m = ReadCompoundMetadata(p);
        ASSERT_TRUE(m.ok()) << m.error().message;
        expectEveryType(m->custom);
        auto sections = dsiSections(p);
        ASSERT_EQ(sections.size(), 2u);
        EXPECT_EQ(sections[1].codePage(), codePage) << "no character needed UTF-16";
        if (codePage == 932)
            EXPECT_EQ(byName(m->custom).at("案件"), CustomValue(std::string("東京支社")));
        else
            EXPECT_EQ(byName(m->custom).at("Résumé"), CustomValue(std::string("Straße")));
    }
}

TEST_F(CustomPropsTest, CompoundSectionMovesToUnicodeForANameOrTextItsCodePageLacks) {
    const std::string p = m_dir.copyData("xls_dsi_userdefined.xls");
    const auto before = ReadCompoundMetadata(p);
    ASSERT_TRUE(WriteCompoundMetadata(p, customEdits({CustomEdit::set("進捗 Überblick", std::string("済"))})).ok());
    auto sections = dsiSections(p);
    EXPECT_EQ(sections[1].codePage(), 1200);
    EXPECT_EQ(sections[0].codePage(), 1252) << "the document summary section keeps its own";
    auto dictionary = propset::parseDictionary(sections[1].find(propset::kPidDictionary)->bytes, 1200);
    ASSERT_TRUE(dictionary.ok());
    // Every name, old and new, in UTF-16, each padded to 4 bytes.
    EXPECT_EQ(dictionary->size(), before->custom.size() + 1);
    EXPECT_EQ(dictionary->back().name, "進捗 Überblick");
    EXPECT_EQ(sections[1].find(propset::kPidDictionary)->bytes.size() % 4, 0u);
    auto after = ReadCompoundMetadata(p);
    ASSERT_TRUE(after.ok());
    for (const CustomProperty& old : before->custom)
        EXPECT_EQ(byName(after->custom).at(old.name), old.value) << old.name;
    EXPECT_EQ(byName(after->custom).at("進捗 Überblick"), CustomValue(std::string("済")));
    // In the Unicode section every type still round trips.
    ASSERT_TRUE(WriteCompoundMetadata(p, customEdits(kEveryType)).ok());
    expectEveryType(ReadCompoundMetadata(p)->custom);
}

TEST_F(CustomPropsTest, CompoundEditOfOnePropertyKeepsEverythingElse) {
    const std::string p = m_dir.copyData("xls_dsi_userdefined.xls");
    const auto streams = streamsOf(readFile(p));
    const auto sections = dsiSections(p);
    // One value changed, by a name in another case.
    ASSERT_TRUE(WriteCompoundMetadata(p, customEdits({CustomEdit::set("department", std::string("North"))})).ok());
    const auto after = streamsOf(readFile(p));
    for (const auto& [name, bytes] : streams) {
        if (name != "\x05" "DocumentSummaryInformation") {
            EXPECT_EQ(after.at(name), bytes) << name;
        }
    }
    const auto now = dsiSections(p);
    EXPECT_EQ(now[0], sections[0]);
    std::size_t changed = 0;
    for (const propset::StoredProperty& q : sections[1].properties()) {
        const propset::StoredProperty* w = now[1].find(q.id);
        ASSERT_TRUE(w);
        changed += w->bytes != q.bytes;
    }
    EXPECT_EQ(changed, 1u) << "the dictionary, the code page and the other values keep their bytes";
    auto m = ReadCompoundMetadata(p);
    EXPECT_EQ(byName(m->custom).at("Department"), CustomValue(std::string("North"))) << "the stored spelling stays";

    // Removing what the file lacks writes nothing.
    const std::string bytes = readFile(p);
    ASSERT_TRUE(WriteCompoundMetadata(p, customEdits({CustomEdit::remove("Nothing")})).ok());
    EXPECT_EQ(readFile(p), bytes);
    // Removing takes the name out of the dictionary.
    ASSERT_TRUE(WriteCompoundMetadata(p, customEdits({CustomEdit::remove("REVIEWED")})).ok());
    m = ReadCompoundMetadata(p);
    EXPECT_EQ(m->custom.size(), 3u);
    EXPECT_FALSE(byName(m->custom).count("Reviewed"));
    auto dictionary = propset::parseDictionary(dsiSections(p)[1].find(0)->bytes, 1252);
    EXPECT_EQ(dictionary->size(), 3u);
}

TEST_F(CustomPropsTest, CompoundSetIsCreatedWhenTheFileHasNone) {
    const std::string p = m_dir.copyData("xls_no_dsi.xls");
    ASSERT_TRUE(WriteCompoundMetadata(p, customEdits({CustomEdit::set("Client", std::string("ACME"))})).ok());
    auto sections = dsiSections(p);
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(byName(ReadCompoundMetadata(p)->custom).at("Client"), CustomValue(std::string("ACME")));
}

TEST_F(CustomPropsTest, SectionKeepsLinksOtherTypesAndItsCaseRule) {
    propset::Section s = propset::Section::create(1252);
    s.setStored(0, *propset::encodeDictionary({{2, "Linked"}, {3, "Wide"}, {4, "Case"}}, 1252));
    ASSERT_TRUE(s.setText(2, "cell value").ok());
    ASSERT_TRUE(s.setText(0x01000002, "Sheet1!A1").ok());  // where property 2 is linked to
    std::string i8(4, '\0');
    i8[0] = propset::kVtI8;
    i8 += std::string("\x07\0\0\0\0\0\0\0", 8);
    s.setStored(3, i8);
    ASSERT_TRUE(s.setText(4, "x").ok());
    auto list = ReadUserDefinedSection(s);
    ASSERT_TRUE(list.ok());
    ASSERT_EQ(list->size(), 3u) << "the link source is no property of its own";
    EXPECT_TRUE((*list)[0].linked);
    EXPECT_FALSE((*list)[0].editable());
    EXPECT_EQ((*list)[1].value, CustomValue(OtherValue{"i8", "7"}));

    // Neither a linked value nor one of another type is set, nor removed
    // unless forced.
    propset::Section copy = s;
    EXPECT_EQ(EditUserDefinedSection(copy, {CustomEdit::set("linked", std::string("y"))}).error().code,
              ErrorCode::Unsupported);
    EXPECT_EQ(EditUserDefinedSection(copy, {CustomEdit::set("Wide", std::int64_t{1})}).error().code,
              ErrorCode::Unsupported);
    EXPECT_EQ(EditUserDefinedSection(copy, {CustomEdit::remove("Linked")}).error().code, ErrorCode::Unsupported);
    ASSERT_TRUE(EditUserDefinedSection(copy, {CustomEdit::remove("Linked", true)}).ok());
    EXPECT_FALSE(copy.find(2));
    EXPECT_FALSE(copy.find(0x01000002));

    // With the behaviour property saying so, names differ by case.
    std::string one(4, '\0');
    one[0] = propset::kVtUi4;
    one += std::string("\x01\0\0\0", 4);
    s.setStored(0x80000003, one);
    ASSERT_TRUE(EditUserDefinedSection(s, {CustomEdit::set("case", std::string("new"))}).ok());
    EXPECT_EQ(ReadUserDefinedSection(s)->size(), 4u);
}

TEST_F(CustomPropsTest, WhatCantBeHeldIsRefusedBeforeAnythingIsWritten) {
    const std::string p = m_dir.copyData("xls_dsi_userdefined.xls");
    const std::string x = m_dir.copyData("lo_ascii.xlsx");
    const std::string xls = readFile(p), xlsx = readFile(x);
    const std::vector<CustomEdit> bad[] = {
        {CustomEdit::set("", std::string("v"))},
        {CustomEdit::set(std::string(256, 'n'), std::string("v"))},
        {CustomEdit::set("tab\tname", std::string("v"))},
        {CustomEdit::set("n", std::string("a\0b", 3))},
        {CustomEdit::set("n", std::nan(""))},
        {CustomEdit::set("n", std::int64_t{1} << 60)},
        {CustomEdit::set("n", OtherValue{"i8", "1"})},
        // The first edit would be fine: the whole change is refused.
        {CustomEdit::set("ok", std::string("v")), CustomEdit::set("", std::string("v"))},
    };
    for (const auto& edits : bad) {
        EXPECT_EQ(WriteCompoundMetadata(p, customEdits(edits)).error().code, ErrorCode::ConversionFailed);
        EXPECT_EQ(WritePackageMetadata(x, customEdits(edits)).error().code, ErrorCode::ConversionFailed);
    }
    EXPECT_EQ(readFile(p), xls);
    EXPECT_EQ(readFile(x), xlsx);
    // 255 characters are allowed, counted as UTF-16 units.
    std::string longest;
    for (int i = 0; i < 255; ++i)
        longest += "名";
    EXPECT_TRUE(WriteCompoundMetadata(p, customEdits({CustomEdit::set(longest, std::string("v"))})).ok());
    EXPECT_TRUE(WritePackageMetadata(x, customEdits({CustomEdit::set(longest, std::string("v"))})).ok());
    // XML can't hold every control character a compound file can.
    EXPECT_EQ(WritePackageMetadata(x, customEdits({CustomEdit::set("n", std::string("\x01"))})).error().code,
              ErrorCode::ConversionFailed);
}

namespace {

std::map<std::string, std::string> entriesOf(const std::string& path) {
    std::map<std::string, std::string> out;
    zip::ZipArchive zip;
    zip.setZipName(path);
    EXPECT_TRUE(zip.readDirectory().ok());
    for (const zip::ZipEntry& e : zip.directory()->entries)
        out[e.name] = *zip.extractEntry(e);
    return out;
}

}  // namespace

TEST_F(CustomPropsTest, PackageCreatesItsCustomPartAndRoundTripsEveryType) {
    const std::string p = m_dir.copyData("exceljs_ascii.xlsx");
    const auto before = entriesOf(p);
    ASSERT_FALSE(before.count("docProps\\custom.xml") || before.count("docProps/custom.xml"));
    ASSERT_TRUE(WritePackageMetadata(p, customEdits(kEveryType)).ok());
    auto m = ReadPackageMetadata(p);
    ASSERT_TRUE(m.ok()) << m.error().message;
    expectEveryType(m->custom);
    const auto after = entriesOf(p);
    std::string custom, types, rels;
    for (const auto& [name, bytes] : after) {
        if (name.find("custom.xml") != std::string::npos)
            custom = bytes;
        else if (name == "[Content_Types].xml")
            types = bytes;
        else if (name.find(".rels") != std::string::npos && name.find("_rels") == 0 && name.size() <= 11)
            rels = bytes;
        else
            EXPECT_EQ(bytes, before.at(name)) << name;
    }
    EXPECT_NE(custom.find("pid=\"2\""), std::string::npos);
    EXPECT_NE(custom.find("<vt:r8>2.5</vt:r8>"), std::string::npos);
    EXPECT_NE(custom.find("<vt:filetime>2021-03-04T09:00:00Z</vt:filetime>"), std::string::npos);
    EXPECT_NE(types.find("application/vnd.openxmlformats-officedocument.custom-properties+xml"), std::string::npos);
    EXPECT_NE(rels.find("relationships/custom-properties"), std::string::npos);

    // A second change edits the part in place: one value, one removal.
    ASSERT_TRUE(WritePackageMetadata(
                    p, customEdits({CustomEdit::set("ratio", 0.125), CustomEdit::remove("Client")}))
                    .ok());
    m = ReadPackageMetadata(p);
    auto now = byName(m->custom);
    EXPECT_EQ(now.size(), kEveryType.size() - 1);
    EXPECT_EQ(now.at("Ratio"), CustomValue(0.125));
    EXPECT_EQ(now.at("Done"), CustomValue(true));
    // Removing what is not there rewrites nothing.
    const std::string bytes = readFile(p);
    ASSERT_TRUE(WritePackageMetadata(p, customEdits({CustomEdit::remove("Client")})).ok());
    EXPECT_EQ(readFile(p), bytes);
}

TEST_F(CustomPropsTest, PackageEditKeepsTheOtherPropertyElementsAndTheirTypes) {
    const std::string p = m_dir.copyData("lo_ascii.xlsx");
    // A part as another writer has it: its own prefix for the types, an
    // 8-bit text, a linked property and a type this system doesn't change.
    const std::string part =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Properties "
        "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/custom-properties\" "
        "xmlns:t=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
        "<property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"2\" name=\"Code\"><t:lpstr>A1</t:lpstr></property>"
        "<property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"7\" name=\"Cell\" linkTarget=\"_x\"><t:lpwstr>v</t:lpwstr></property>"
        "<property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"3\" name=\"Big\"><t:i8>9000000000</t:i8></property>"
        "</Properties>";
    {
        zip::ZipArchive zip;
        zip.setZipName(p);
        ASSERT_TRUE(zip.storeFromStreams({{"docProps\\custom.xml", part}}).ok());
    }
    auto m = ReadPackageMetadata(p);
    ASSERT_TRUE(m.ok()) << m.error().message;
    ASSERT_EQ(m->custom.size(), 3u);
    EXPECT_TRUE(m->custom[1].linked);
    EXPECT_EQ(m->custom[2].value, CustomValue(OtherValue{"i8", "9000000000"}));
    EXPECT_EQ(WritePackageMetadata(p, customEdits({CustomEdit::set("big", std::int64_t{1})})).error().code,
              ErrorCode::Unsupported);

    ASSERT_TRUE(WritePackageMetadata(p, customEdits({CustomEdit::set("code", std::string("B2")),
                                                     CustomEdit::set("New", std::int64_t{7})}))
                    .ok());
    std::string now;
    for (const auto& [name, bytes] : entriesOf(p))
        if (name.find("custom.xml") != std::string::npos)
            now = bytes;
    EXPECT_NE(now.find("name=\"Code\"><t:lpstr>B2</t:lpstr>"), std::string::npos) << now;
    EXPECT_NE(now.find("linkTarget=\"_x\"><t:lpwstr>v</t:lpwstr>"), std::string::npos);
    EXPECT_NE(now.find("<t:i8>9000000000</t:i8>"), std::string::npos);
    EXPECT_NE(now.find("pid=\"8\" name=\"New\"><t:i4>7</t:i4>"), std::string::npos) << "after the highest pid";
}
