#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "localtext/datetext.h"
#include "props/filestamp.h"
#include "support/testsupport.h"

using namespace qv;

TEST(AttributeChoices, ThreeStatesMergeAndOtherBitsSurvive) {
    using C = AttributeChoice;
    std::uint32_t v = kAttrReadOnly | 0x2000;
    EXPECT_EQ(ApplyAttributeChoices(v, C::Grayed, C::Grayed, C::Grayed, C::Grayed), v);
    EXPECT_EQ(ApplyAttributeChoices(v, C::Unchecked, C::Checked, C::Checked, C::Checked),
              0x2000u | kAttrArchive | kAttrHidden | kAttrSystem);
    EXPECT_EQ(ApplyAttributeChoices(0, C::Checked, C::Unchecked, C::Grayed, C::Unchecked), kAttrReadOnly);
}

TEST(TimeParts, DateAndTimeAreReplacedSeparately) {
    LocalDateTime file = EncodeLocal({2020, 5, 6, 14, 0, 0, 0});
    LocalDateTime picked = EncodeLocal({2011, 1, 2, 9, 30, 0, 0});
    EXPECT_EQ(ReplaceDatePart(file, picked), EncodeLocal({2011, 1, 2, 14, 0, 0, 0}));
    EXPECT_EQ(ReplaceTimePart(file, picked), EncodeLocal({2020, 5, 6, 9, 30, 0, 0}));
    EXPECT_EQ(ReplaceTimePart(ReplaceDatePart(file, picked), picked), picked);
}

TEST(FileStampTest, PutBackRestoresTimesToTheNanosecondAndReadOnlyHiddenAttributes) {
    test::TempDir dir;
    std::string f = dir.copyData("lo_ascii.xls", "Book1.xls");
    if (setxattr(f.c_str(), "user.qvprobe", "1", 1, 0) != 0)
        GTEST_SKIP() << "no user extended attributes here";
    removexattr(f.c_str(), "user.qvprobe");
    struct timespec ts[2] = {{1'300'000'000, 123'456'789}, {1'200'000'000, 987'654'321}};
    ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), ts, 0), 0);
    ASSERT_TRUE(SetFileAttributeValue(f, kAttrReadOnly | kAttrHidden | kAttrArchive).ok());
    auto before = test::statTimes(f);
    auto stamp = ReadFileStamp(f);
    ASSERT_TRUE(stamp.ok());
    EXPECT_EQ(stamp->Attributes, kAttrReadOnly | kAttrHidden | kAttrArchive);

    // What reading and a careless tool do to a file...
    (void)test::readFile(f);
    ASSERT_TRUE(SetFileAttributeValue(f, 0).ok());
    ASSERT_TRUE(SetFileTimes(f, 40000.5, 40001.5, 40002.5).ok());
    // ...is undone exactly.
    ASSERT_TRUE(PutBackFileStamp(f, *stamp).ok());
    EXPECT_EQ(test::statTimes(f), before);
    auto after = ReadFileStamp(f);
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(*after, *stamp);
}

TEST(FileStampTest, SetFileTimesKeepsMillisecondsAndSetsCreation) {
    test::ScopedTimeZone tz("Asia/Tokyo");
    test::TempDir dir;
    std::string f = dir.file("b.xlsx");
    test::writeFile(f, "x");
    if (setxattr(f.c_str(), "user.qvprobe", "1", 1, 0) != 0)
        GTEST_SKIP() << "no user extended attributes here";
    LocalDateTime c = EncodeLocal({2001, 2, 3, 4, 5, 6, 7});
    LocalDateTime w = EncodeLocal({2002, 2, 3, 4, 5, 6, 8});
    LocalDateTime a = EncodeLocal({2003, 2, 3, 4, 5, 6, 9});
    ASSERT_TRUE(SetFileTimes(f, c, w, a).ok());
    auto s = ReadFileStamp(f);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s->Creation.ticks, LocalToFileTime(c));
    EXPECT_EQ(s->LastWrite.ticks, LocalToFileTime(w));
    EXPECT_EQ(s->LastAccess.ticks, LocalToFileTime(a));
    EXPECT_EQ(FormatDateTimeText(FileTimeToLocal(s->Creation.ticks), platform::LocaleFormats{}),
              "2001/02/03 4:05:06");
}

TEST(FileStampTest, MissingFilesAndFoldersHaveNoStamp) {
    test::TempDir dir;
    EXPECT_FALSE(ReadFileStamp(dir.path()).ok());
    EXPECT_FALSE(ReadFileStamp(dir.file("missing.xls")).ok());
    EXPECT_FALSE(SetFileTimes(dir.file("missing.xls"), 1, 1, 1).ok());
}
