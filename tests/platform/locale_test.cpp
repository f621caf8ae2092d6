#include <gtest/gtest.h>

#include "platform/locale_pattern.h"
#include "platform/platform.h"
#include "support/testsupport.h"

using namespace qv;
using platform::strftimeToPattern;

TEST(LocalePattern, StrftimeFormsBecomePatterns) {
    EXPECT_EQ(strftimeToPattern("%Y年%m月%d日", ""), "yyyy年MM月dd日");
    EXPECT_EQ(strftimeToPattern("%H時%M分%S秒", ""), "HH時mm分ss秒");
    EXPECT_EQ(strftimeToPattern("%r", "%I:%M:%S %p"), "hh:mm:ss tt");
    EXPECT_EQ(strftimeToPattern("%r", ""), "hh:mm:ss tt");
    EXPECT_EQ(strftimeToPattern("%T", ""), "HH:mm:ss");
    EXPECT_EQ(strftimeToPattern("%D", ""), "MM/dd/yyyy");  // two-digit year widened
    EXPECT_EQ(strftimeToPattern("%d.%m.%y", ""), "dd.MM.yyyy");
    EXPECT_EQ(strftimeToPattern("%H:%M:%S %Z", ""), "HH:mm:ss");  // no zone in a value
    EXPECT_EQ(strftimeToPattern("%a %d %b %Y", ""), "ddd dd MMM yyyy");
    // The CLDR patterns a spreadsheet's own locale data gives.
    EXPECT_EQ(platform::cldrToPattern("y/MM/dd"), "yyyy/MM/dd");
    EXPECT_EQ(platform::cldrToPattern("H:mm:ss"), "H:mm:ss");
    EXPECT_EQ(platform::cldrToPattern("M/d/yy"), "M/d/yyyy");
    EXPECT_EQ(platform::cldrToPattern("h:mm:ss a"), "h:mm:ss tt");
    EXPECT_EQ(platform::cldrToPattern("HH:mm:ss zzzz"), "HH:mm:ss");
    EXPECT_EQ(platform::cldrToPattern("EEEE d 'de' MMMM 'o''clock'"), "dddd d 'de' MMMM 'o''clock'");
    EXPECT_EQ(platform::cldrToPattern("G y/MM/dd"), "yyyy/MM/dd");
    EXPECT_EQ(strftimeToPattern("%Hh%M", ""), "HH'h'mm");
    EXPECT_EQ(strftimeToPattern("%-d/%-m/%Y %k:%M", ""), "d/M/yyyy H:mm");
    EXPECT_EQ(strftimeToPattern("%p %I:%M:%S", ""), "tt hh:mm:ss");
}

TEST(LocaleFormats, CLocaleGivesTheDefaults) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows takes the formats from the user's settings, not the environment";
#endif
    test::ScopedEnv all("LC_ALL", "C");
    auto f = platform::readUserLocaleFormats();
    EXPECT_EQ(f.shortDate, "yyyy/MM/dd");
    EXPECT_EQ(f.longTime, "H:mm:ss");
}

// The locale's CLDR short date and medium time, as Windows shows them and a
// spreadsheet reads them: the grids, the pickers and the CSV agree.
TEST(LocaleFormats, JapaneseAndEnglishLocales) {
    if (!test::localeAvailable("ja_JP.UTF-8") || !test::localeAvailable("en_US.UTF-8"))
        GTEST_SKIP() << "ja_JP.UTF-8 / en_US.UTF-8 not generated (scripts/test generates them)";
    {
        test::ScopedEnv all("LC_ALL", "ja_JP.UTF-8");
        auto f = platform::readUserLocaleFormats();
        EXPECT_EQ(f.shortDate, "yyyy/MM/dd");
        EXPECT_EQ(f.longTime, "H:mm:ss");
        EXPECT_EQ(f.pm, "午後");
    }
    {
        test::ScopedEnv all("LC_ALL", "en_US.UTF-8");
        auto f = platform::readUserLocaleFormats();
        EXPECT_EQ(f.shortDate, "M/d/yyyy");
        EXPECT_EQ(f.longTime, "h:mm:ss tt");  // a plain space, as people type it
        EXPECT_EQ(f.monthAbbrev[0], "Jan");
    }
}
