// The fourteen rows of compound-file workbooks: the fixture corpus read as
// its manifest says, round trips that leave every other stream untouched,
// and writes that fail at any step without a trace.
#include <gtest/gtest.h>

#include <dirent.h>

#include "base/bytes.h"
#include "base/text.h"
#include "cfb_builder.h"
#include "manifest.h"
#include "platform/faults.h"
#include "platform/platform.h"
#include "props/compound/cfb/compound_file.h"
#include "props/compound/compound_props.h"
#include "props/datetime.h"
#include "props/compound/propset/property_set.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::test;

namespace {

// The manifest's names of the fourteen rows, in row order.
const char* const kManifestKeys[kRowCount] = {
    "title", "subject", "author", "keywords", "comments", "category", "revision", "last_saved_by",
    "manager", "company", "created_utc", "modified_utc", "edit_minutes", "last_printed_utc"};

const Json& manifest() {
    static const Json m = parseJson(readFile(dataPath("manifest.json")));
    return m;
}

std::vector<std::string> xlsFixtures() {
    std::vector<std::string> names;
    for (const auto& [name, entry] : manifest()["files"].object)
        if (text::endsWith(name, ".xls"))
            names.push_back(name);
    return names;
}

class CompoundPropsTest : public ::testing::Test {
protected:
    void SetUp() override { SetFormatsForTesting(platform::LocaleFormats{}); }
    void TearDown() override {
        SetFormatsForTesting(std::nullopt);
        platform::faults::reset();
    }
    ScopedTimeZone m_tz{"Asia/Tokyo"};
    TempDir m_dir;
};

struct Streams {
    std::map<std::string, std::string> bytes;  // by UTF-8 name
};

Streams streamsOf(const std::string& file) {
    Streams out;
    cfb::MemorySource src(file);
    auto cf = cfb::CompoundFile::open(src);
    EXPECT_TRUE(cf.ok());
    if (!cf)
        return out;
    auto kids = cf->children(0);
    for (std::uint32_t k : *kids) {
        if (!cf->entries()[k].isStream())
            continue;
        auto b = cf->readStream(k, 1u << 30);
        EXPECT_TRUE(b.ok());
        out.bytes[text::utf16ToUtf8(cf->entries()[k].name)] = b ? *b : "";
    }
    return out;
}

propset::Section sectionOf(const std::string& stream, std::size_t index = 0) {
    auto set = propset::PropertySet::parse(stream);
    EXPECT_TRUE(set.ok());
    auto s = propset::Section::parse(set->sections.at(index).bytes);
    EXPECT_TRUE(s.ok());
    return *s;
}

std::vector<std::string> leftovers(const std::string& dir, const std::string& target) {
    std::vector<std::string> out;
    auto names = platform::listFiles(dir);  // kept alive for the loop
    for (const std::string& name : *names)
        if (platform::isTemporaryNameFor(target, name))
            out.push_back(name);
    return out;
}

RowTexts richValues() {
    std::string longText;
    while (longText.size() <= 5000)
        longText += "長いコメント long comment 🎉 ";
    return RowTexts{"タイトル 日本語", "Émoji 🎉 subject", "作成者 山田太郎", longText, "コメント①②③ 髙﨑",
                    "カテゴリー", "12", "前回保存者 鈴木", "Mgr 한국어", "株式会社テスト",
                    "2015/01/02 9:00:00", "2016/02/29 21:34:56", "90", "2012/06/03 14:50:20"};
}

void expectReadsBack(const std::string& path, const RowTexts& written) {
    auto back = ReadCompoundRows(path);
    ASSERT_TRUE(back.ok()) << back.error().message;
    for (int r = 0; r < kRowCount; ++r) {
        SCOPED_TRACE(kCatalogue[static_cast<std::size_t>(r)].Key);
        const RowValue& v = (*back)[static_cast<std::size_t>(r)];
        EXPECT_EQ(v.text, written[static_cast<std::size_t>(r)]);
        if (isDateRow(r) && !v.text.empty()) {
            ASSERT_TRUE(v.utc);
            EXPECT_EQ(*v.utc, LocalToFileTime(*ParseDateTimeText(written[static_cast<std::size_t>(r)])));
        } else {
            EXPECT_FALSE(v.utc);
        }
    }
}

}  // namespace

TEST_F(CompoundPropsTest, EveryFixtureReadsAsItsManifestSays) {
    for (const std::string& name : xlsFixtures()) {
        SCOPED_TRACE(name);
        const Json& props = manifest()["files"][name]["expected"]["props"];
        auto rows = ReadCompoundRows(dataPath(name));
        if (manifest()["files"][name]["expected"]["integrity"]["ok"].boolean == false) {
            ASSERT_FALSE(rows.ok());
            EXPECT_EQ(rows.error().code, ErrorCode::NotCompoundFile);
            continue;
        }
        ASSERT_TRUE(rows.ok()) << rows.error().message;
        for (int r = 0; r < kRowCount; ++r) {
            SCOPED_TRACE(kManifestKeys[r]);
            const Json& want = props[kManifestKeys[r]];
            const RowValue& got = (*rows)[static_cast<std::size_t>(r)];
            if (want.isNull()) {
                EXPECT_EQ(got.text, "");
                EXPECT_FALSE(got.utc);
            } else if (r == kRowEditTime) {
                EXPECT_EQ(got.text, std::to_string(static_cast<long long>(want.number)));
            } else if (isDateRow(r)) {
                ASSERT_TRUE(got.utc);
                EXPECT_EQ(*got.utc, *ParseIso8601(want.string));
                EXPECT_EQ(got.text, FormatDateTimeText(FileTimeToLocal(*got.utc)));
            } else {
                EXPECT_EQ(got.text, want.string);
            }
        }
    }
}

TEST_F(CompoundPropsTest, RoundTripsEveryRowAndLeavesEveryOtherStreamAlone) {
    RowTexts erased = richValues();
    for (int r : {kRowTitle, kRowSubject, kRowAuthor, kRowKeywords, kRowComments, kRowCategory, kRowRevision,
                  kRowLastSavedBy, kRowManager, kRowCompany, kRowLastPrinted})
        erased[static_cast<std::size_t>(r)].clear();
    erased[kRowEditTime] = "0";
    for (const std::string& name : xlsFixtures()) {
        const Json& integrity = manifest()["files"][name]["expected"]["integrity"];
        if (!integrity["ok"].boolean)
            continue;
        SCOPED_TRACE(name);
        std::string path = m_dir.copyData(name);
        const std::string original = readFile(path);
        for (const RowTexts& values : {richValues(), erased}) {
            Status st = WriteCompoundRows(path, values, allRows());
            ASSERT_TRUE(st.ok()) << st.error().message;
            expectReadsBack(path, values);
            Streams after = streamsOf(readFile(path));
            for (const auto& [stream, sha] : integrity["non_property_streams_sha256"].object) {
                ASSERT_TRUE(after.bytes.count(stream)) << stream;
                EXPECT_EQ(sha256Hex(after.bytes[stream]), sha.string) << stream;
            }
            // Sections after the first (user-defined properties) are kept as they were.
            Streams before = streamsOf(original);
            std::string dsi = "\x05" "DocumentSummaryInformation";
            if (before.bytes.count(dsi)) {
                auto oldSet = propset::PropertySet::parse(before.bytes[dsi]);
                auto newSet = propset::PropertySet::parse(after.bytes[dsi]);
                ASSERT_TRUE(oldSet && newSet);
                ASSERT_EQ(oldSet->sections.size(), newSet->sections.size());
                for (std::size_t i = 1; i < oldSet->sections.size(); ++i)
                    EXPECT_EQ(oldSet->sections[i].bytes, newSet->sections[i].bytes);
            }
            EXPECT_TRUE(leftovers(m_dir.path(), path).empty());
        }
        // An erased date or editing time is stored as VT_NULL.
        propset::Section si = sectionOf(streamsOf(readFile(path)).bytes["\x05SummaryInformation"]);
        EXPECT_EQ(si.find(11)->bytes, propset::encodeNull());
        EXPECT_EQ(si.find(10)->bytes, propset::encodeFileTime(0));
    }
}

TEST_F(CompoundPropsTest, TextsStayInTheSectionCodePageWhenTheyFit) {
    std::string path = m_dir.copyData("xls_cp932_full.xls");
    RowTexts values{};
    values[kRowTitle] = "新しいタイトル ｶﾅ";
    values[kRowRevision] = "9";
    RowMask mask;
    mask.set(kRowTitle).set(kRowRevision);
    ASSERT_TRUE(WriteCompoundRows(path, values, mask).ok());
    propset::Section si = sectionOf(streamsOf(readFile(path)).bytes["\x05SummaryInformation"]);
    EXPECT_EQ(si.codePage(), 932);
    EXPECT_EQ(si.find(2)->bytes, vtLpstr(*platform::encodeCodePage(932, "新しいタイトル ｶﾅ", false)));
    auto rows = ReadCompoundRows(path);
    EXPECT_EQ((*rows)[kRowTitle].text, "新しいタイトル ｶﾅ");
    EXPECT_EQ((*rows)[kRowAuthor].text, "作成者 山田太郎");
}

TEST_F(CompoundPropsTest, StoredTypesTurnIntoTextWhenWrittenBack) {
    std::string path = m_dir.copyData("xls_revision_vt_i4.xls");
    auto rows = ReadCompoundRows(path);
    ASSERT_EQ((*rows)[kRowRevision].text, "42");
    ASSERT_TRUE(WriteCompoundRows(path, textsOf(*rows), allRows()).ok());
    propset::Section si = sectionOf(streamsOf(readFile(path)).bytes["\x05SummaryInformation"]);
    EXPECT_EQ(si.find(9)->bytes, vtLpstr("42"));
    std::string wide = m_dir.copyData("xls_lpwstr_values.xls");
    auto texts = ReadCompoundRows(wide);
    ASSERT_TRUE(WriteCompoundRows(wide, textsOf(*texts), allRows()).ok());
    propset::Section si2 = sectionOf(streamsOf(readFile(wide)).bytes["\x05SummaryInformation"]);
    EXPECT_EQ(si2.value(2)->type, propset::kVtLpstr);
    EXPECT_EQ(*ReadCompoundRows(wide), *texts);
}

TEST_F(CompoundPropsTest, AMissingSetIsCreatedWithItsOwnClassId) {
    std::string path = m_dir.copyData("xls_no_dsi.xls");
    std::string siBefore = streamsOf(readFile(path)).bytes["\x05SummaryInformation"];
    RowTexts values{};
    values[kRowCategory] = "経理";
    ASSERT_TRUE(WriteCompoundRows(path, values, RowMask().set(kRowCategory)).ok());
    Streams after = streamsOf(readFile(path));
    EXPECT_EQ(after.bytes["\x05SummaryInformation"], siBefore);
    auto set = propset::PropertySet::parse(after.bytes["\x05" "DocumentSummaryInformation"]);
    ASSERT_TRUE(set.ok());
    EXPECT_EQ(propset::formatGuid(set->clsid), kFmtidDocSummaryInformation);
    EXPECT_EQ(sectionOf(after.bytes["\x05" "DocumentSummaryInformation"]).codePage(), platform::ansiCodePage());
    EXPECT_EQ((*ReadCompoundRows(path))[kRowCategory].text, "経理");
}

TEST_F(CompoundPropsTest, FailuresLeaveTheFileExactlyAsItWas) {
    std::string path = m_dir.copyData("lo_japanese.xls");
    const std::string original = readFile(path);
    RowTexts values = richValues();
    values[kRowCreated] = "not a date";
    Status st = WriteCompoundRows(path, values, allRows());
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::ConversionFailed);
    EXPECT_EQ(readFile(path), original);

    std::string html = m_dir.copyData("xls_not_ole.xls");
    const std::string htmlBytes = readFile(html);
    st = WriteCompoundRows(html, richValues(), allRows());
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::NotCompoundFile);
    EXPECT_EQ(readFile(html), htmlBytes);

    // Another program holding the file keeps us out.
    auto held = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    ASSERT_TRUE(held.ok());
    st = WriteCompoundRows(path, richValues(), allRows());
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::InUse);
    EXPECT_EQ(readFile(path), original);
    EXPECT_TRUE(leftovers(m_dir.path(), path).empty());
}

TEST_F(CompoundPropsTest, AWriteInterruptedAtAnyStepLeavesNoTrace) {
    for (const char* name : {"lo_japanese.xls", "xls_no_dsi.xls", "xls_si_large.xls"}) {
        SCOPED_TRACE(name);
        std::string path = m_dir.copyData(name);
        const std::string original = readFile(path);
        int n = 1;
        for (; n < 100; ++n) {
            platform::faults::reset();
            platform::faults::failAt(n);
            Status st = WriteCompoundRows(path, richValues(), allRows());
            platform::faults::reset();
            if (st.ok())
                break;
            EXPECT_EQ(readFile(path), original) << "failure at step " << n;
            EXPECT_TRUE(leftovers(m_dir.path(), path).empty()) << "failure at step " << n;
        }
        EXPECT_GT(n, 2);
        EXPECT_LT(n, 100);
        expectReadsBack(path, richValues());
    }
}

TEST_F(CompoundPropsTest, ReadingRefusesNonCompoundFiles) {
    std::string path = m_dir.file("empty.xls");
    writeFile(path, "");
    EXPECT_EQ(ReadCompoundRows(path).error().code, ErrorCode::NotCompoundFile);
    EXPECT_EQ(ReadCompoundRows(m_dir.file("missing.xls")).error().code, ErrorCode::NotFound);
    // A damaged set is not shown as a workbook without properties: reading
    // and writing are refused, naming the damage.
    CfbLayout layout;
    layout.streams = {{u"\u0005SummaryInformation", "\xFE\xFF garbage"}, {u"Workbook", "wb"}};
    std::string damaged = m_dir.file("damaged.xls");
    writeFile(damaged, buildCfb(layout));
    auto rows = ReadCompoundRows(damaged);
    ASSERT_FALSE(rows.ok());
    EXPECT_EQ(rows.error().code, ErrorCode::BadPropertySet);
    EXPECT_NE(rows.error().message.find("damaged"), std::string::npos) << rows.error().message;
    RowTexts values{};
    EXPECT_EQ(WriteCompoundRows(damaged, values, RowMask().set(kRowTitle)).error().code, ErrorCode::BadPropertySet);
}

// An encrypted document keeps its properties inside the encrypted package:
// refused with its own code, and the file stays as it was.
TEST_F(CompoundPropsTest, PasswordProtectedDocumentsAreRefusedUntouched) {
    CfbLayout layout;
    layout.streams = {{u"EncryptionInfo", std::string(200, '\x04')}, {u"EncryptedPackage", std::string(5000, 'x')}};
    std::string path = m_dir.file("locked.xlsx");
    writeFile(path, buildCfb(layout));
    std::string before = readFile(path);
    auto rows = ReadCompoundRows(path);
    ASSERT_FALSE(rows.ok());
    EXPECT_EQ(rows.error().code, ErrorCode::PasswordProtected);
    EXPECT_EQ(rows.error().message, "password-protected: its properties are encrypted");
    RowTexts values{};
    values[kRowTitle] = "x";
    EXPECT_EQ(WriteCompoundRows(path, values, RowMask().set(kRowTitle)).error().code, ErrorCode::PasswordProtected);
    EXPECT_EQ(readFile(path), before);
}

// Damage outside the property streams (here a workbook stream whose chain
// runs in a loop) leaves the properties readable; a write is refused as
// damaged, touching nothing.
TEST_F(CompoundPropsTest, DamageOutsideThePropertyStreamsStillReads) {
    CfbLayout layout;
    std::string si = buildPropertySet({{"{F29F85E0-4FF9-1068-AB91-08002B27B3D9}", buildSection({{1, vtI2(1252)}, {2, vtLpstr("Kept Title")}})}});
    layout.streams = {{u"\u0005SummaryInformation", si}, {u"Workbook", std::string(9000, 'w')}};
    std::string bytes = buildCfb(layout);
    // The workbook stream's first sector leads back to itself.
    std::uint32_t firstDir = loadU32(bytes.data() + 0x30), fat = loadU32(bytes.data() + 0x4C);
    std::size_t dirAt = (firstDir + 1) * 512u;
    std::optional<std::uint32_t> start;
    for (std::size_t e = dirAt; e < dirAt + 512; e += 128) {
        if (bytes.compare(e, 16, std::string("W\0o\0r\0k\0b\0o\0o\0k\0", 16)) == 0)
            start = loadU32(bytes.data() + e + 0x74);
    }
    ASSERT_TRUE(start.has_value());
    bytes.replace((fat + 1) * 512u + 4 * *start, 4, le32(*start));
    std::string path = m_dir.file("loop.xls");
    writeFile(path, bytes);

    auto rows = ReadCompoundRows(path);
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    EXPECT_EQ((*rows)[kRowTitle].text, "Kept Title");
    RowTexts values{};
    values[kRowTitle] = "x";
    auto st = WriteCompoundRows(path, values, RowMask().set(kRowTitle));
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::BadCompoundFile);
    EXPECT_NE(st.error().message.find("damaged"), std::string::npos) << st.error().message;
    EXPECT_EQ(readFile(path), bytes);
}

// A document's digital signature (\x05DigitalSignature, _signatures) signs
// its macros, not its property sets: the properties change as usual and the
// signature, like every other stream, keeps its bytes.
TEST_F(CompoundPropsTest, MacroSignaturesAndStoragesKeepTheirBytes) {
    CfbLayout layout;
    const std::string signature(3000, '\x5A');
    layout.streams = {{u"WordDocument", std::string(6000, 'w')}, {u"\u0005DigitalSignature", signature}};
    layout.storageStreams = {{u"VBA", std::string(5000, 'v')}};
    std::string path = m_dir.file("signed.doc");
    writeFile(path, buildCfb(layout));
    ASSERT_TRUE(WriteCompoundRows(path, richValues(), allRows()).ok());
    expectReadsBack(path, richValues());
    const std::string bytes = readFile(path);
    Streams after = streamsOf(bytes);
    EXPECT_EQ(after.bytes["\x05" "DigitalSignature"], signature);
    EXPECT_EQ(after.bytes["WordDocument"], std::string(6000, 'w'));
    cfb::MemorySource src(bytes);
    auto cf = cfb::CompoundFile::open(src);
    ASSERT_TRUE(cf.ok());
    auto sub = cf->findInRoot(u"Sub");
    ASSERT_TRUE(sub);
    auto kids = cf->children(*sub);
    ASSERT_TRUE(kids.ok() && kids->size() == 1);
    EXPECT_EQ(*cf->readStream(kids->front(), 1u << 20), std::string(5000, 'v'));
}

// A Macintosh writer's SummaryInformation names its format with the first
// three fields big-endian: it is read, and written back under the standard
// id with the rest of the set as it was.
TEST_F(CompoundPropsTest, AByteSwappedFormatIdStillNamesTheSummarySet) {
    CfbLayout layout;
    layout.streams = {{u"\u0005SummaryInformation",
                       buildPropertySet({{"{E0859FF2-F94F-6810-AB91-08002B27B3D9}",
                                          buildSection({{1, vtI2(10000)}, {4, vtLpstr("Mac author")}})}})}};
    std::string path = m_dir.file("mac.doc");
    writeFile(path, buildCfb(layout));
    auto rows = ReadCompoundRows(path);
    ASSERT_TRUE(rows.ok()) << rows.error().message;
    EXPECT_EQ((*rows)[kRowAuthor].text, "Mac author");
    RowTexts values{};
    values[kRowTitle] = "Nouveau titre";
    ASSERT_TRUE(WriteCompoundRows(path, values, RowMask().set(kRowTitle)).ok());
    auto set = propset::PropertySet::parse(streamsOf(readFile(path)).bytes["\x05SummaryInformation"]);
    ASSERT_TRUE(set.ok());
    ASSERT_EQ(set->sections.size(), 1u);
    EXPECT_EQ(set->sections[0].fmtid, *propset::parseGuid(kFmtidSummaryInformation));
    EXPECT_EQ((*ReadCompoundRows(path))[kRowAuthor].text, "Mac author");
    EXPECT_EQ((*ReadCompoundRows(path))[kRowTitle].text, "Nouveau titre");
}
