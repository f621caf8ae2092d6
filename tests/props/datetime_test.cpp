#include <gtest/gtest.h>

#include "props/datetime.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::test;

namespace {

// UTC file time of a calendar instant.
FileTime utc(int y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s, unsigned ms = 0) {
    std::int64_t secs = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s + kSecondsFrom1601To1970;
    return static_cast<FileTime>(secs) * kTicksPerSecond + ms * kTicksPerMillisecond;
}

platform::LocaleFormats plainFormats() { return platform::LocaleFormats{}; }

class DateTimeTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatsForTesting(plainFormats()); }
    void TearDown() override { SetFormatsForTesting(std::nullopt); }
};

}  // namespace

TEST_F(DateTimeTest, W3cdtfInJapanShiftsByNineHours) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    EXPECT_EQ(W3cdtfToLocalText("2010-04-01T03:30:00Z"), "2010/04/01 12:30:00");
    EXPECT_EQ(LocalTextToW3cdtf("2010/04/01 12:30:00"), "2010-04-01T03:30:00Z");
    // Local midnight shows the date alone and converts back exactly.
    EXPECT_EQ(W3cdtfToLocalText("2010-03-31T15:00:00Z"), "2010/04/01");
    EXPECT_EQ(LocalTextToW3cdtf("2010/04/01"), "2010-03-31T15:00:00Z");
}

TEST_F(DateTimeTest, W3cdtfReadsTheWholeProfileAndNothingElse) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    EXPECT_EQ(W3cdtfToLocalText("2010-04-01T03:30:00.25Z"), "2010/04/01 12:30:00");
    EXPECT_EQ(W3cdtfToLocalText("2010-04-01T12:30:00+09:00"), "2010/04/01 12:30:00");
    EXPECT_EQ(W3cdtfToLocalText("2010-03-31T22:30:00-05:00"), "2010/04/01 12:30:00");
    EXPECT_EQ(W3cdtfToLocalText("2010-04-01T03:30Z"), "2010/04/01 12:30:00");
    EXPECT_EQ(W3cdtfToLocalText("  2010-04-01T03:30:00Z\r\n"), "2010/04/01 12:30:00");
    EXPECT_EQ(W3cdtfToLocalText("2010-04-01"), "2010/04/01");
    // Writers that leave the zone out mean UTC, as package readers take it.
    EXPECT_EQ(W3cdtfToLocalText("2010-04-01T03:30:00.000"), "2010/04/01 12:30:00");
    for (const char* bad : {"2010-04-01 03:30:00Z", "2010-4-1T3:30:00Z", "2010-04-01t03:30:00z",
                            "2010-02-30T00:00:00Z", "2010-04-01T24:00:00Z", "2010-04-01T03:30:00+9:00", "", "abc",
                            "2010-04-01T03:30:00ZZ"})
        EXPECT_EQ(W3cdtfToLocalText(bad), "") << bad;
    EXPECT_EQ(LocalTextToW3cdtf("not a date"), "");
    EXPECT_EQ(FormatW3cdtf(utc(2010, 4, 1, 3, 30, 0, 999)), "2010-04-01T03:30:00Z");
}

TEST_F(DateTimeTest, ConversionsUseTheRulesInEffectAtTheInstant) {
    test::ScopedTimeZone tz("Europe/London");
    if (platform::utcOffsetSecondsAt(1625140800) != 3600)
        GTEST_SKIP() << "the zone can't be switched here (Windows takes it from the system)";
    // Summer and winter alike, whatever the date today.
    EXPECT_EQ(FormatDateTimeText(FileTimeToLocal(utc(2021, 7, 1, 12, 0, 0))), "2021/07/01 13:00:00");
    EXPECT_EQ(FormatDateTimeText(FileTimeToLocal(utc(2021, 1, 15, 12, 0, 0))), "2021/01/15 12:00:00");
    EXPECT_EQ(W3cdtfToLocalText("2021-07-01T12:00:00Z"), "2021/07/01 13:00:00");
    EXPECT_EQ(LocalTextToW3cdtf("2021/07/01 13:00:00"), "2021-07-01T12:00:00Z");
    EXPECT_EQ(LocalTextToW3cdtf("2021/01/15 12:00:00"), "2021-01-15T12:00:00Z");
    // Both sides of the spring change, and the first hour after the autumn one.
    for (FileTime t : {utc(2021, 3, 28, 0, 59, 59, 999), utc(2021, 3, 28, 1, 0, 0, 1), utc(2021, 10, 31, 0, 30, 0, 5),
                       utc(2021, 10, 31, 2, 0, 0, 0)})
        EXPECT_EQ(LocalToFileTime(FileTimeToLocal(t)), t);
    EXPECT_EQ(FormatDateTimeText(FileTimeToLocal(utc(2021, 3, 28, 1, 0, 0))), "2021/03/28 2:00:00");
}

TEST_F(DateTimeTest, RoundTripKeepsMillisecondsAndDropsTheRest) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    FileTime t = utc(2015, 12, 31, 15, 0, 0, 123) + 4567;
    EXPECT_EQ(LocalToFileTime(FileTimeToLocal(t)), t - 4567);
    EXPECT_EQ(LocalToFileTime(FileTimeToLocal(0)), 0u);
}

TEST_F(DateTimeTest, LocalValuesFollowTheDayCountConvention) {
    DateTimeFields f;
    f.year = 1899;
    f.month = 12;
    f.day = 29;
    f.hour = 6;
    EXPECT_DOUBLE_EQ(EncodeLocal(f), -1.25);
    EXPECT_EQ(DecodeLocal(-1.25).day, 29u);
    EXPECT_EQ(DecodeLocal(-1.25).hour, 6u);
    f = DateTimeFields{1904, 5, 20, 0, 0, 0, 0};
    EXPECT_DOUBLE_EQ(EncodeLocal(f), 1602.0);
    // 23:59:59.9996 rounds into the next day rather than showing 24:00.
    DateTimeFields g = DecodeLocal(40000.0 + (86'399'999.6 / 86'400'000.0));
    EXPECT_EQ(g.hour, 0u);
    EXPECT_EQ(g.day, DecodeLocal(40001.0).day);
}

TEST_F(DateTimeTest, EditingTimeRoundsHalvesToEven) {
    EXPECT_EQ(MinutesFromDuration(5'400'000'000), "9");
    EXPECT_EQ(MinutesFromDuration(900'000'000), "2");
    EXPECT_EQ(MinutesFromDuration(2'700'000'000), "4");
    EXPECT_EQ(MinutesFromDuration(0), "0");
    // Beyond 63 bits: never negative, no digits lost.
    EXPECT_EQ(MinutesFromDuration(17'941'517'481'709'551'616ULL), "29902529136");
    EXPECT_EQ(MinutesFromDuration(UINT64_MAX), "30744573456");
}

TEST(Iso8601, LocalTimeWithOffsetAndFractions) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    FileTime t = utc(2010, 4, 1, 3, 30, 0);
    EXPECT_EQ(FormatIso8601Local(t), "2010-04-01T12:30:00+09:00");
    EXPECT_EQ(FormatIso8601Local(t + 1'234'567, true), "2010-04-01T12:30:00.1234567+09:00");
    EXPECT_EQ(FormatIso8601Local(t + 5'000'000, true), "2010-04-01T12:30:00.5+09:00");
    EXPECT_EQ(ParseIso8601("2010-04-01T12:30:00+09:00"), t);
    EXPECT_EQ(ParseIso8601("2010-04-01T03:30:00Z"), t);
    EXPECT_EQ(ParseIso8601("2010-04-01 12:30"), t);
    EXPECT_EQ(ParseIso8601("2010-04-01T12:30:00.5+0900"), t + 5'000'000);
    EXPECT_FALSE(ParseIso8601("2010-04"));
    EXPECT_FALSE(ParseIso8601("yesterday"));
}
