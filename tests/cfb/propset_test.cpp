// The property-set format: decoding and showing values, keeping what isn't
// changed, and the move of a section to code page 1200.
#include <gtest/gtest.h>

#include "cfb_builder.h"
#include "props/compound/propset/property_set.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::propset;
using namespace qv::test;

namespace {

const char* kSi = "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}";
const char* kDsi = "{D5CDD502-2E9C-101B-9397-08002B2CF9AE}";
const char* kUser = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

std::string shown(const std::string& stored, int codePage) {
    auto v = decodeValue(stored, codePage);
    return v ? FormatPropertyValue(*v) : "<error>";
}

Section parsed(const std::string& bytes) {
    auto s = Section::parse(bytes);
    EXPECT_TRUE(s.ok()) << (s ? "" : s.error().message);
    return s ? *s : Section{};
}

std::string textOf(const Section& s, std::uint32_t id) {
    auto v = s.value(id);
    return v ? FormatPropertyValue(*v) : "<error>";
}

}  // namespace

TEST(PropsetValues, ShowsEveryTypeAsTheTableSays) {
    EXPECT_EQ(shown(vtI2(-5), 1252), "-5");
    EXPECT_EQ(shown(vtI4(-7), 1252), "-7");
    EXPECT_EQ(shown(le16(22) + le16(0) + le32(0xFFFFFFFF), 1252), "-1");                 // VT_INT
    EXPECT_EQ(shown(le16(19) + le16(0) + le32(0xFFFFFFFF), 1252), "4294967295");         // VT_UI4
    EXPECT_EQ(shown(le16(18) + le16(0) + le16(65535) + le16(0), 1252), "65535");         // VT_UI2
    EXPECT_EQ(shown(le16(17) + le16(0) + "\xFF\0\0\0", 1252), "255");                   // VT_UI1
    EXPECT_EQ(shown(le16(21) + le16(0) + le64(~0ull), 1252), "-1");                      // VT_UI8 read as signed
    EXPECT_EQ(shown(le16(5) + le16(0) + le64(0x3FF8000000000000ull), 1252), "1.5");      // VT_R8
    EXPECT_EQ(shown(le16(5) + le16(0) + le64(0x4415AF1D78B58C40ull), 1252), "1E20");
    EXPECT_EQ(shown(le16(4) + le16(0) + le32(0x3E800000), 1252), "0.25");                // VT_R4
    EXPECT_EQ(shown(vtBool(true), 1252), "Yes");
    EXPECT_EQ(shown(vtBool(false), 1252), "No");
    EXPECT_EQ(shown(vtError(0x80004005), 1252), "Error code: -2147467259");
    EXPECT_EQ(shown(le16(0) + le16(0), 1252), "");
    EXPECT_EQ(shown(le16(1) + le16(0), 1252), "");
    EXPECT_EQ(shown(le16(0x101E) + le16(0) + le32(0), 1252), "");  // vectors show nothing
    EXPECT_EQ(shown(le16(72) + le16(0) + std::string("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16), 1252),
              kSi);
    // A file time is an instant or a duration as its row says: the format
    // gives its ticks and no text.
    auto ft = decodeValue(vtFiletime(129145662000000000ull), 1252);
    ASSERT_TRUE(ft);
    EXPECT_EQ(ft->type, kVtFiletime);
    EXPECT_EQ(ft->unsignedInteger, 129145662000000000ull);
    EXPECT_EQ(FormatPropertyValue(*ft), "");
}

TEST(PropsetValues, DecodesStringsInTheirCodePage) {
    EXPECT_EQ(shown(vtLpstr("\x83\x5E\x83\x43\x83\x67\x83\x8B"), 932), "タイトル");
    EXPECT_EQ(shown(vtLpstr("caf\xE9"), 1252), "café");
    EXPECT_EQ(shown(vtLpstr("タイトル"), 65001), "タイトル");
    EXPECT_EQ(shown(vtLpstr(utf16le(u"日本語🎉"), true), 1200), "日本語🎉");
    EXPECT_EQ(shown(vtLpwstr(u"表題"), 1252), "表題");
    // VT_BSTR is stored like VT_LPSTR, in the section's code page.
    EXPECT_EQ(shown(le16(8) + vtLpstr("abc").substr(2), 1252), "abc");
    // Stops at the first null; a size past the end is an error.
    EXPECT_EQ(shown(vtLpstr(std::string("ab\0cd", 5)), 1252), "ab");
    EXPECT_EQ(shown(le16(30) + le16(0) + le32(1000) + "abc", 1252), "<error>");
    EXPECT_EQ(shown(le16(31) + le16(0) + le32(0x80000000) + "abc", 1252), "<error>");
}

TEST(PropsetSections, ReadsTheCodePageAsUnsigned) {
    Section s = parsed(buildSection({{1, vtI2(-535)}, {2, vtLpstr("タイトル")}}));
    EXPECT_EQ(s.codePage(), 65001);
    EXPECT_EQ(textOf(s, 2), "タイトル");
}

TEST(PropsetSections, RefusesImpossibleLayouts) {
    std::string good = buildSection({{1, vtI2(1252)}, {2, vtLpstr("x")}});
    auto broken = [&](std::size_t at, std::uint32_t v) {
        std::string b = good;
        std::string n = le32(v);
        b.replace(at, 4, n);
        return Section::parse(b).ok();
    };
    EXPECT_TRUE(Section::parse(good).ok());
    EXPECT_FALSE(broken(0, 100000));      // size past the bytes
    EXPECT_FALSE(broken(4, 0x10000000));  // absurd count
    EXPECT_FALSE(broken(12, 4));          // offset inside the offset table
    EXPECT_FALSE(broken(12, 5000));       // offset past the section
    EXPECT_FALSE(Section::parse("").ok());
    std::string set = buildPropertySet({{kSi, good}});
    EXPECT_TRUE(PropertySet::parse(set).ok());
    std::string noOrder = set;
    noOrder[0] = 0;
    EXPECT_FALSE(PropertySet::parse(noOrder).ok());
    std::string farSection = set;
    farSection.replace(44, 4, le32(99999));
    EXPECT_FALSE(PropertySet::parse(farSection).ok());
    std::string manySections = set;
    manySections.replace(24, 4, le32(0x7FFFFFFF));
    EXPECT_FALSE(PropertySet::parse(manySections).ok());
}

TEST(PropsetSections, ChangingOnePropertyKeepsTheOthersByteForByte) {
    std::string thumbnail = le16(71) + le16(0) + le32(12) + le32(0xFFFFFFFF) + le32(3) + "BMP\0";
    std::string unknown = le16(0x4242) + le16(0) + "opaque bytes";
    std::string headingPairs = le16(0x100C) + le16(0) + le32(2) + vtLpstr("Sheets") + vtI4(1);
    std::string section = buildSection({{1, vtI2(1252)}, {17, thumbnail}, {0x99, unknown}, {12, headingPairs}, {2, vtLpstr("Old")}});
    std::string userSection = buildSection({{0, le32(1) + le32(2) + le32(5) + "Dept\0"}, {1, vtI2(1252)}, {2, vtLpstr("Sales")}});
    auto set = PropertySet::parse(buildPropertySet({{kDsi, section}, {kUser, userSection}}));
    ASSERT_TRUE(set.ok());
    Section s = parsed(set->sections[0].bytes);
    ASSERT_TRUE(s.setText(2, "New title").ok());
    s.setFileTime(12, 42);
    set->sections[0].bytes = s.serialize();
    auto again = PropertySet::parse(set->serialize());
    ASSERT_TRUE(again.ok());
    ASSERT_EQ(again->sections.size(), 2u);
    EXPECT_EQ(again->sections[1].bytes, userSection);
    Section back = parsed(again->sections[0].bytes);
    EXPECT_EQ(back.find(17)->bytes, padded4(thumbnail));
    EXPECT_EQ(back.find(0x99)->bytes, padded4(unknown));
    EXPECT_EQ(back.find(2)->bytes, vtLpstr("New title"));
    EXPECT_EQ(back.codePage(), 1252);
}

TEST(PropsetSections, KeepsTextsInTheCodePageWhenTheyFit) {
    Section s = Section::create(932);
    ASSERT_TRUE(s.setText(2, "表題　ｶﾀｶﾅ①").ok());
    EXPECT_EQ(s.codePage(), 932);
    EXPECT_EQ(textOf(s, 2), "表題　ｶﾀｶﾅ①");
    Section u = Section::create(65001);
    ASSERT_TRUE(u.setText(2, "é 한국어 🎉").ok());
    EXPECT_EQ(u.codePage(), 65001);
    EXPECT_EQ(u.find(2)->bytes, vtLpstr("é 한국어 🎉"));
    ASSERT_TRUE(s.setText(3, "").ok());
    EXPECT_EQ(s.find(3)->bytes, vtLpstr(""));
}

TEST(PropsetSections, MovesTheWholeSectionToUnicodeWhenATextDoesNotFit) {
    // Document parts as an aligned vector, heading pairs as variants with
    // unaligned strings (as office writers store them), and a dictionary.
    // Unicode strings come out padded in either form.
    std::string sjisSheet = "\x83\x56\x81\x5B\x83\x67";  // シート
    std::string parts = le16(0x101E) + le16(0) + le32(2) + le32(7) + padded4(sjisSheet + '\0') + le32(3) + padded4("ab\0");
    std::string pairs = le16(0x100C) + le16(0) + le32(3) + le16(30) + le16(0) + le32(7) + sjisSheet + '\0' + le16(30) +
                        le16(0) + le32(3) + std::string("ab\0", 3) + vtI4(2);
    std::string dict = le32(1) + le32(5) + le32(7) + sjisSheet + '\0';
    Section s = parsed(buildSection({{0, dict}, {1, vtI2(932)}, {13, parts}, {12, pairs}, {14, vtLpstr(sjisSheet)},
                                     {15, vtI4(99)}}));
    ASSERT_TRUE(s.setText(2, "Crème 🎉").ok());
    EXPECT_EQ(s.codePage(), 1200);
    EXPECT_EQ(textOf(s, 2), "Crème 🎉");
    EXPECT_EQ(textOf(s, 14), "シート");
    EXPECT_EQ(s.find(15)->bytes, vtI4(99));
    std::string wide = utf16le(u"シート") + std::string(2, '\0');
    EXPECT_EQ(s.find(13)->bytes,
              le16(0x101E) + le16(0) + le32(2) + le32(8) + padded4(wide) + le32(6) + padded4(utf16le(u"ab") + std::string(2, '\0')));
    EXPECT_EQ(s.find(12)->bytes,
              padded4(le16(0x100C) + le16(0) + le32(3) + le16(30) + le16(0) + le32(8) + wide + le16(30) + le16(0) +
                      le32(6) + padded4(utf16le(u"ab") + std::string(2, '\0')) + vtI4(2)));
    EXPECT_EQ(s.find(0)->bytes, le32(1) + le32(5) + le32(4) + padded4(wide));
    // Writing the same section again changes nothing.
    Section round = parsed(s.serialize());
    EXPECT_EQ(round, s);
}

TEST(PropsetSections, ANewSetNamesItsOwnFormat) {
    auto fmtid = *parseGuid(kDsi);
    PropertySet set = PropertySet::create(fmtid, 932);
    auto back = PropertySet::parse(set.serialize());
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(formatGuid(back->clsid), kDsi);
    EXPECT_EQ(back->findSection(fmtid), 0);
    EXPECT_EQ(parsed(back->sections[0].bytes).codePage(), 932);
    EXPECT_EQ(formatGuid(*parseGuid("{d5cdd502-2e9c-101b-9397-08002b2cf9ae}")), kDsi);
    EXPECT_FALSE(parseGuid("D5CDD502-2E9C-101B-9397-08002B2CF9AE"));
}
