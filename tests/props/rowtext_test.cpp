// The rows as a person reads and types them, over the typed values.
#include <gtest/gtest.h>

#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "props/datetime.h"
#include "support/testsupport.h"

using namespace qv;

namespace {

class RowTextTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatsForTesting(platform::LocaleFormats{}); }
    void TearDown() override { SetFormatsForTesting(std::nullopt); }
    test::ScopedTimeZone tz{"Asia/Tokyo"};
};

StoredProperty held(PropertyValue v) { return StoredProperty{true, std::move(v)}; }

}  // namespace

TEST_F(RowTextTest, EachKindOfValueShowsInTheGridsForm) {
    EXPECT_EQ(DisplayText(StoredProperty{}), "");
    EXPECT_EQ(DisplayText(held(std::string("  as stored "))), "  as stored ");
    EXPECT_EQ(DisplayText(held(std::int64_t{42})), "42");
    // 2010-04-01 03:30 UTC is 12:30 in Japan.
    EXPECT_EQ(DisplayText(held(Instant{129145662000000000ull})), "2010/04/01 12:30:00");
    // Durations in whole minutes, halves to even.
    EXPECT_EQ(DisplayText(held(Duration{900000000})), "2");
    EXPECT_EQ(DisplayText(held(Duration{54000000000})), "90");
    EXPECT_EQ(DisplayText(held(Duration{0})), "0");
}

TEST_F(RowTextTest, TypedTextsBecomeEditsOfTheirRowsKind) {
    EXPECT_EQ(*EditFromText(kRowTitle, ""), PropertyEdit::erase());
    EXPECT_EQ(*EditFromText(kRowTitle, " kept as typed "), PropertyEdit::set(std::string(" kept as typed ")));
    EXPECT_EQ(*EditFromText(kRowRevision, " 7 "), PropertyEdit::set(std::int64_t{7}));
    // Only a whole number's own form is a number; other text stays as typed.
    EXPECT_EQ(*EditFromText(kRowRevision, "07"), PropertyEdit::set(std::string("07")));
    EXPECT_EQ(*EditFromText(kRowEditTime, "90"), PropertyEdit::set(Duration{54000000000}));
    EXPECT_EQ(*EditFromText(kRowLastPrinted, "  "), PropertyEdit::erase());
    EXPECT_EQ(*EditFromText(kRowCreated, "2010/04/01 12:30:00"), PropertyEdit::set(Instant{129145662000000000ull}));
    // ISO-8601 keeps its fraction and its offset exactly.
    auto iso = EditFromText(kRowLastSaved, "2010-04-01T12:30:00.1234567+09:00");
    ASSERT_TRUE(iso);
    EXPECT_EQ(*iso, PropertyEdit::set(Instant{129145662000000000ull + 1234567}));

    for (auto [row, bad] : {std::pair{kRowCreated, "tomorrow"}, {kRowEditTime, "abc"}, {kRowEditTime, "1.5"}, {kRowEditTime, "-5"}}) {
        auto e = EditFromText(row, bad);
        ASSERT_FALSE(e.ok()) << bad;
        EXPECT_EQ(e.error().code, ErrorCode::ConversionFailed);
        EXPECT_NE(e.error().message.find(kCatalogue[static_cast<std::size_t>(row)].Key), std::string::npos);
    }
}

TEST_F(RowTextTest, OnlyTickedRowsAreEditedAndShownTextsReadBackAlike) {
    RowTexts texts{};
    texts[kRowTitle] = "題名";
    texts[kRowCreated] = "not a date";  // not ticked: never read
    texts[kRowEditTime] = "12";
    RowMask rows;
    rows.set(kRowTitle).set(kRowEditTime);
    auto edits = EditsFromTexts(texts, rows);
    ASSERT_TRUE(edits);
    EXPECT_TRUE((*edits)[kRowTitle].changes());
    EXPECT_FALSE((*edits)[kRowCreated].changes());

    DocumentMetadata m;
    m[kRowTitle] = held(std::string("題名"));
    m[kRowEditTime] = held(Duration{12 * kTicksPerMinute});
    m[kRowCreated] = held(Instant{129145662000000000ull});
    RowTexts shown = DisplayTexts(m);
    EXPECT_EQ(shown[kRowTitle], "題名");
    EXPECT_EQ(shown[kRowEditTime], "12");
    // What the grid shows is what it would write back.
    for (int row : {kRowTitle, kRowEditTime, kRowCreated}) {
        auto e = EditFromText(row, shown[static_cast<std::size_t>(row)]);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->value, m[row].value) << row;
    }
}
