#include <gtest/gtest.h>

#include "localtext/datetext.h"
#include "support/testsupport.h"

using namespace qv;

namespace {

class DateTextTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatsForTesting(platform::LocaleFormats{}); }
    void TearDown() override { SetFormatsForTesting(std::nullopt); }
};

}  // namespace

TEST_F(DateTextTest, ParsingFollowsTheShortDateOrderAndRejectsWhatIsNoDate) {
    auto v = ParseDateTimeText("2010/04/01 12:30");
    ASSERT_TRUE(v);
    EXPECT_EQ(FormatDateTimeText(*v), "2010/04/01 12:30:00");
    EXPECT_TRUE(ParseDateTimeText("2010/4/1 9:05:07"));
    for (const char* bad : {"abc", "", "2010/13/01", "2010/02/30", "2010/04/01 25:00:00", "2010/04", "2010-04-01",
                            "2010/04/01 12", "2010/04/01 12:30:00 x", "0000/01/01"})
        EXPECT_FALSE(ParseDateTimeText(bad)) << bad;
}

TEST(DateTimeFormats, JapaneseAndTwelveHourPatterns) {
    platform::LocaleFormats ja;
    ja.shortDate = "yyyy'年'MM'月'dd'日'";
    ja.longTime = "HH'時'mm'分'ss'秒'";
    LocalDateTime v = EncodeLocal({2010, 4, 1, 13, 5, 9, 0});
    EXPECT_EQ(FormatDateTimeText(v, ja), "2010年04月01日 13時05分09秒");
    EXPECT_EQ(ParseDateTimeText("2010年04月01日 13時05分09秒", ja), v);
    EXPECT_EQ(ParseDateTimeText("2010年04月01日 13時05分", ja), EncodeLocal({2010, 4, 1, 13, 5, 0, 0}));

    platform::LocaleFormats en;
    en.shortDate = "MM/dd/yyyy";
    en.longTime = "hh:mm:ss tt";
    EXPECT_EQ(FormatDateTimeText(v, en), "04/01/2010 01:05:09 PM");
    EXPECT_EQ(ParseDateTimeText("04/01/2010 01:05:09 PM", en), v);
    EXPECT_EQ(ParseDateTimeText("04/01/2010 12:00:00 AM", en), EncodeLocal({2010, 4, 1, 0, 0, 0, 0}));
    EXPECT_EQ(FormatDateTimeText(EncodeLocal({2010, 4, 1, 0, 0, 0, 0}), en), "04/01/2010");

    // A two-digit year in a locale's pattern is widened, so the century stays.
    platform::LocaleFormats shortYear;
    shortYear.shortDate = "yy/MM/dd";
    SetFormatsForTesting(shortYear);
    EXPECT_EQ(CurrentFormats().shortDate, "yyyy/MM/dd");
    SetFormatsForTesting(std::nullopt);
}

TEST(DateTimeFormats, AnEnvironmentOverrideGivesStableTextForScripts) {
    test::ScopedEnv fmt("QUORVIX_DATETIME_FORMAT", "yyyy-MM-dd|HH:mm:ss");
    SetFormatsForTesting(std::nullopt);
    EXPECT_EQ(FormatDateTimeText(EncodeLocal({2010, 4, 1, 9, 5, 0, 0})), "2010-04-01 09:05:00");
    SetFormatsForTesting(std::nullopt);
}
