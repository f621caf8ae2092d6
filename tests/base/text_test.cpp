#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"

using namespace qv;

TEST(Text, TrimRemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(text::trim(" \t\r\n abc def\x01\x1f "), "abc def");
    EXPECT_EQ(text::trim("   "), "");
    // A full-width space is a character, not a blank.
    EXPECT_EQ(text::trim("\xE3\x80\x80x"), "\xE3\x80\x80x");
}

TEST(Text, ParseInt32AcceptsOnlyWholeSigned32BitNumbers) {
    EXPECT_EQ(text::parseInt32("90"), 90);
    EXPECT_EQ(text::parseInt32("-3"), -3);
    EXPECT_EQ(text::parseInt32("+7"), 7);
    EXPECT_EQ(text::parseInt32("-2147483648"), INT32_MIN);
    EXPECT_FALSE(text::parseInt32("2147483648"));
    EXPECT_FALSE(text::parseInt32(""));
    EXPECT_FALSE(text::parseInt32("-"));
    EXPECT_FALSE(text::parseInt32("12a"));
    EXPECT_FALSE(text::parseInt32(" 12"));
    EXPECT_FALSE(text::parseInt64("99999999999999999999"));
}

TEST(Text, Utf16RoundTripKeepsSupplementaryCharactersAndMarksBrokenInput) {
    std::string s = "タイトル 😀 é";
    EXPECT_EQ(text::utf16ToUtf8(text::utf8ToUtf16(s)), s);
    EXPECT_EQ(text::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_FALSE(text::isValidUtf8("\xC3\x28"));
    EXPECT_FALSE(text::isValidUtf8("\xED\xA0\x80"));  // an encoded surrogate
    EXPECT_EQ(text::sanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(Text, PackageRouteOnlyForXlsxInAnyCase) {
    EXPECT_TRUE(text::isPackagePath("a.xlsx"));
    EXPECT_TRUE(text::isPackagePath("C:\\d\\A.XlSx"));
    EXPECT_FALSE(text::isPackagePath("a.xls"));
    EXPECT_FALSE(text::isPackagePath("a.xlsm"));
    EXPECT_FALSE(text::isPackagePath("a.xlsx/b"));
    EXPECT_EQ(text::fileNamePart("C:\\dir\\Book1.xls"), "Book1.xls");
    EXPECT_EQ(text::fileNamePart("C:Book1.xls"), "Book1.xls");
    EXPECT_EQ(text::extensionOf("/a.b/c"), "");
}

TEST(Bytes, ReaderFailsStickilyPastTheEnd) {
    const unsigned char data[] = {0x50, 0x4B, 0x03, 0x04, 0xFF};
    ByteReader r(data, sizeof data);
    EXPECT_EQ(r.u32(), 0x04034B50u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.u16(), 0u);  // only one byte left
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.u8(), 0u);
    EXPECT_FALSE(r.ok());
}
