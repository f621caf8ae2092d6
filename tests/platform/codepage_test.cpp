#include <gtest/gtest.h>

#include "platform/platform.h"

using namespace qv;

TEST(CodePage, ShiftJisRoundTripIncludesNecAndHalfWidthCharacters) {
    std::string text = "コメント①②③ 髙﨑 ｶﾀｶﾅ";
    auto bytes = platform::encodeCodePage(932, text, false);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(bytes->substr(0, 2), "\x83\x52");
    auto back = platform::decodeCodePage(932, *bytes);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, text);
}

TEST(CodePage, CharactersACodePageLacksFailOrBecomeQuestionMarks) {
    EXPECT_FALSE(platform::canEncode(932, "emoji 😀"));
    EXPECT_FALSE(platform::encodeCodePage(932, "한국어", false).ok());
    auto sub = platform::encodeCodePage(932, "a😀b한", true);
    ASSERT_TRUE(sub.ok());
    EXPECT_EQ(*sub, "a?b?");
    EXPECT_TRUE(platform::canEncode(1252, "Café"));
    EXPECT_EQ(*platform::encodeCodePage(1252, "é", false), "\xE9");
    EXPECT_TRUE(platform::canEncode(65001, "😀"));
}

TEST(CodePage, Utf16AndInvalidInput) {
    auto u16 = platform::encodeCodePage(1200, "Aあ", false);
    ASSERT_TRUE(u16.ok());
    EXPECT_EQ(*u16, std::string("A\0\x42\x30", 4));
    EXPECT_EQ(*platform::decodeCodePage(1200, *u16), "Aあ");
    // A cut-off Shift-JIS lead byte is marked, not dropped silently or crashed on.
    EXPECT_EQ(*platform::decodeCodePage(932, "a\x83"), "a\xEF\xBF\xBD");
    EXPECT_FALSE(platform::decodeCodePage(12345, "x").ok());
    EXPECT_TRUE(platform::isSupportedCodePage(1251));
}

// Hebrew and Vietnamese decoders wait for a combining mark after a letter:
// the last letter of a text, and the one before a bad byte, must still come
// out. Mac Simplified Chinese is read too.
TEST(CodePage, NoLetterIsHeldBackAtTheEndOrBeforeABadByte) {
    EXPECT_EQ(*platform::decodeCodePage(1255, "\xEC\xE9\xE9\xF9\xE5\xED"), "ליישום");
    EXPECT_EQ(*platform::decodeCodePage(1258, "IBM"), "IBM");
    EXPECT_EQ(*platform::decodeCodePage(1255, *platform::encodeCodePage(1255, "שלום", false)), "שלום");
    EXPECT_EQ(*platform::decodeCodePage(10008, "yue \xD6\xD0\xCE\xC4"), "yue 中文");
}

TEST(CodePage, LongTextsConvertLikeEachCharacterAlone) {
    // Long enough to go in many pieces, with ASCII runs, characters the code
    // page lacks and pieces that would end inside a character.
    const char* parts[] = {"a,\"", "漢字", "😀", "ｶﾀ", "é", "한", "\r\n", "①", "~\\"};
    std::string text, expected;
    for (int i = 0; i < 3000; ++i) {
        const char* p = parts[(i * 7 + i / 5) % 9];
        text += p;
        expected += *platform::encodeCodePage(932, p, true);
    }
    auto bytes = platform::encodeCodePage(932, text, true);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(*bytes, expected);
    // A stateful code page whose output outgrows its input keeps its shifts.
    if (!platform::isSupportedCodePage(50220))
        return;  // not every system has it (Wine lacks it)
    std::string jis;
    for (int i = 0; i < 2000; ++i)
        jis += i % 2 ? "漢" : "a";
    auto shifted = platform::encodeCodePage(50220, jis, false);
    ASSERT_TRUE(shifted.ok());
    EXPECT_GT(shifted->size(), jis.size());
    EXPECT_EQ(*platform::decodeCodePage(50220, *shifted), jis);
}
