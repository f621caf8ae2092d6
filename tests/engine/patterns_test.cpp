// Values made per file: patterns and find-and-replace, run on both kinds of
// container, and the faults refused before anything runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/change.h"
#include "enginetest.h"
#include "props/catalogue.h"

using namespace qv;
using namespace qv::engine;

namespace {

struct Case {
    const char* data;                  // file in tests/data
    std::vector<std::pair<int, std::string>> values;
    std::vector<ReplaceRule> replaces;
    int row;                           // the row checked afterwards
    std::string expected;              // its text; "=" for as it was (file left alone)
};

ReplaceRule rep(const char* target, const char* find, const char* with, bool regex = false, bool icase = false,
                bool width = false) {
    return ReplaceRule{target, find, with, regex, icase, width};
}

const std::vector<Case> kCases = {
    {"lo_japanese.xls", {{kRowTitle, "{ファイル名}"}}, {}, kRowTitle, "報告書 2024"},
    {"lo_japanese.xlsx", {{kRowTitle, "{name}"}}, {}, kRowTitle, "報告書 2024"},
    {"lo_ascii.xlsx", {{kRowTitle, "{拡張子}|{フォルダー名}|{parent}"}}, {}, kRowTitle, "xlsx|営業部|本社"},
    {"lo_japanese.xls", {{kRowSubject, "{{案}} {作成者}"}}, {}, kRowSubject, "{案} 作成者 山田太郎"},
    {"lo_japanese.xlsx", {{kRowSubject, "【{元の値}】{row:revision}"}}, {}, kRowSubject, "【表題：予算案】12"},
    {"lo_ascii.xls", {{kRowKeywords, "{更新日時:yyyy/MM/dd}-{ctime:yyyy}"}}, {}, kRowKeywords, "2015/06/03-2015"},
    {"lo_ascii.xlsx", {{kRowCreated, "{mtime:yyyy/MM/dd}"}}, {}, kRowCreated, "2015/06/03"},
    {"lo_japanese.xls", {}, {rep("title", "四半期", "第1四半期")}, kRowTitle, "タイトル：第1四半期報告"},
    {"lo_ascii.xlsx", {}, {rep("title", "REPORT", "Summary", false, true)}, kRowTitle, "Quarterly Summary Title"},
    {"lo_ascii.xlsx", {}, {rep("title", "REPORT", "Summary")}, kRowTitle, "="},
    {"lo_ascii.xls", {}, {rep("タイトル", "Ｒｅｐｏｒｔ", "Summary", false, false, true)}, kRowTitle,
     "Quarterly Summary Title"},
    {"lo_japanese.xlsx", {}, {rep("comments", "ﾃｽﾄ", "試験", false, false, true)}, kRowComments,
     "コメント：試験用のブックです。"},
    {"lo_japanese.xlsx", {}, {rep("comments", "ﾃｽﾄ", "試験")}, kRowComments, "="},
    {"lo_japanese.xls", {}, {rep("title", "(\\S+)：(.*)", "$2（$1）", true)}, kRowTitle, "四半期報告（タイトル）"},
    // The pattern's value, then the replace.
    {"lo_japanese.xls", {{kRowTitle, "{ファイル名}"}}, {rep("title", "\\d+", "年度", true)}, kRowTitle, "報告書 年度"},
};

class PatternsTest : public ::testing::Test {
protected:
    test::EngineEnvironment env;
    test::TempDir dir;

    // Paths in UTF-8, as the engine takes them: a narrow path would be read
    // in the code page on Windows.
    static std::filesystem::path u8(const std::string& s) {
        return std::filesystem::path(std::u8string(s.begin(), s.end()));
    }

    std::string place(const char* data, const std::string& name) {
        const std::string folder = dir.path() + "/本社/営業部";
        std::filesystem::create_directories(u8(folder));
        const std::string path = folder + "/" + name;
        std::filesystem::copy_file(u8(test::dataPath(data)), u8(path), std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(u8(path), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
        test::setKnownStamp(path);
        return path;
    }
};

BatchSettings settingsOf(const Case& c) {
    BatchSettings s;
    for (const auto& [row, text] : c.values) {
        s.values[static_cast<std::size_t>(row)] = text;
        s.ticked.set(static_cast<std::size_t>(row));
    }
    s.replaces = c.replaces;
    return s;
}

TEST_F(PatternsTest, EachFileGetsItsOwnValue) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.data) + " " + (c.values.empty() ? c.replaces[0].find : c.values[0].second));
        const std::string ext = std::string(c.data).substr(std::string(c.data).rfind('.'));
        const std::string path = place(c.data, "報告書 2024" + ext);
        const std::string before = test::readTexts(path)[static_cast<std::size_t>(c.row)];
        const test::StatTimes timesBefore = test::statTimes(path);
        auto change = ToBatchChange(settingsOf(c));
        ASSERT_TRUE(change) << change.error().message;
        // The preview tells what the run then does.
        const std::vector<FilePreview> preview = PreviewBatch({path}, *change, 10);
        ASSERT_EQ(preview.size(), 1u);
        ASSERT_FALSE(preview[0].error);
        BatchReport report = RunBatch({path}, *change);
        ASSERT_EQ(report.files.size(), 1u);
        EXPECT_TRUE(report.allChanged()) << report.files[0].error.message;
        const std::string after = test::readTexts(path)[static_cast<std::size_t>(c.row)];
        if (c.expected == "=") {
            EXPECT_EQ(after, before);
            EXPECT_EQ(report.files[0].note, kNothingToChangeNote);
            EXPECT_TRUE(preview[0].changes.empty());
            EXPECT_EQ(test::statTimes(path).mtimeNs, timesBefore.mtimeNs);  // not rewritten
        } else {
            EXPECT_EQ(after, c.expected);
            EXPECT_EQ(report.files[0].state, FileState::Changed);
            ASSERT_FALSE(preview[0].changes.empty());
            EXPECT_EQ(preview[0].changes.back().was, before);
            EXPECT_EQ(preview[0].changes.back().now, c.expected);
        }
    }
}

TEST_F(PatternsTest, SequenceNumbersFollowTheList) {
    const std::vector<std::string> paths = {place("lo_ascii.xlsx", "b.xlsx"), place("lo_japanese.xls", "a.xls")};
    BatchSettings s;
    s.values[kRowTitle] = "No.{連番:7:3}";
    s.ticked.set(kRowTitle);
    BatchReport report = RunBatch(paths, s);
    EXPECT_TRUE(report.allChanged());
    EXPECT_EQ(test::readTexts(paths[0])[kRowTitle], "No.007");
    EXPECT_EQ(test::readTexts(paths[1])[kRowTitle], "No.008");
}

TEST_F(PatternsTest, AValueThatCantBeMadeFailsThatFile) {
    const std::string path = place("lo_japanese.xlsx", "x.xlsx");
    BatchSettings longComment;
    longComment.values[kRowComments] = std::string(5000, 'x');
    longComment.ticked.set(kRowComments);
    ASSERT_TRUE(RunBatch({path}, longComment).allChanged());
    BatchSettings date, expression;
    date.values[kRowCreated] = "{ファイル名}";
    date.ticked.set(kRowCreated);
    expression.replaces = {rep("comments", "x+", "y", true)};
    for (const auto& [s, why] : {std::pair{date, "created"}, std::pair{expression, "too long"}}) {
        const std::string bytes = test::readFile(path);
        BatchReport report = RunBatch({path}, s);
        ASSERT_EQ(report.files[0].state, FileState::ChangeFailed);
        EXPECT_NE(report.files[0].error.message.find(why), std::string::npos) << report.files[0].error.message;
        EXPECT_EQ(test::readFile(path), bytes);
    }
}

TEST(PatternFaults, AreRefusedWithTheirPosition) {
    const std::pair<BatchSettings, std::string> cases[] = {
        {[] { BatchSettings s; s.values[kRowTitle] = "{著者}"; s.ticked.set(kRowTitle); return s; }(),
         "タイトル: unknown field '著者' at character 2"},
        {[] { BatchSettings s; s.values[kRowTitle] = "ab{name"; s.ticked.set(kRowTitle); return s; }(),
         "at character 3"},
        {[] { BatchSettings s; s.values[kRowTitle] = "a}"; s.ticked.set(kRowTitle); return s; }(), "at character 2"},
        {[] { BatchSettings s; s.values[kRowTitle] = "{n:x}"; s.ticked.set(kRowTitle); return s; }(), "at character 2"},
        {[] { BatchSettings s; s.replaces = {rep("title", "a(b", "", true)}; return s; }(), "at character 2"},
        {[] { BatchSettings s; s.replaces = {rep("title", "(a))", "", true)}; return s; }(), "at character 4"},
        {[] { BatchSettings s; s.replaces = {rep("著者", "a", "b")}; return s; }(), "unknown row"},
    };
    for (const auto& [settings, fault] : cases) {
        auto change = ToBatchChange(settings);
        ASSERT_FALSE(change) << fault;
        EXPECT_NE(change.error().message.find(fault), std::string::npos) << change.error().message;
    }
}

}  // namespace
