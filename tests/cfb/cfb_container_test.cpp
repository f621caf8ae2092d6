// The compound-file container: reading both versions, refusing damage
// cleanly, and the copy-and-patch writer.
#include <gtest/gtest.h>

#include <functional>

#include "base/bytes.h"
#include "cfb_builder.h"
#include "props/compound/cfb/compound_file.h"
#include "props/compound/cfb/transaction.h"

using namespace qv;
using namespace qv::cfb;
using qv::test::BuildStream;
using qv::test::CfbLayout;

namespace {

std::string pattern(std::size_t n, char seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + static_cast<char>(i * 7 + i / 251));
    return s;
}

CfbLayout sample(int version) {
    CfbLayout layout;
    layout.version = version;
    layout.streams = {{u"Workbook", pattern(9000, 'w')},
                    {u"\u0005SummaryInformation", pattern(400, 's')},
                    {u"\u0001CompObj", pattern(73, 'c')},
                    {u"Empty", ""}};
    layout.storageStreams = {{u"Inner", pattern(100, 'i')}};
    return layout;
}

std::string readByName(const CompoundFile& cf, std::u16string_view name) {
    auto i = cf.findInRoot(name);
    if (!i)
        return "<missing>";
    auto bytes = cf.readStream(*i, 1u << 30);
    return bytes ? *bytes : "<error: " + bytes.error().message + ">";
}

// Applies changes and returns the new file.
std::string rewrite(const std::string& file, const std::vector<BuildStream>& changes) {
    MemorySource src(file);
    auto cf = CompoundFile::open(src);
    EXPECT_TRUE(cf.ok()) << (cf ? "" : cf.error().message);
    if (!cf)
        return {};
    Transaction tx(*cf);
    for (const auto& c : changes)
        tx.setStream(c.name, c.bytes);
    StringSink sink;
    Status st = tx.writeTo(sink);
    EXPECT_TRUE(st.ok()) << (st ? "" : st.error().message);
    return sink.bytes();
}

// Checks the root's tree: search order and the red-black rules.
void expectValidTree(const CompoundFile& cf) {
    const auto& e = cf.entries();
    std::function<int(std::uint32_t, const std::u16string*, const std::u16string*)> check =
        [&](std::uint32_t n, const std::u16string* lo, const std::u16string* hi) -> int {
        if (n == kNoStream)
            return 1;
        const DirectoryEntry& d = e[n];
        if (lo) {
            EXPECT_LT(compareNames(*lo, d.name), 0);
        }
        if (hi) {
            EXPECT_LT(compareNames(d.name, *hi), 0);
        }
        if (d.color == kRed) {
            EXPECT_TRUE(d.left == kNoStream || e[d.left].color == kBlack) << "red node with a red child";
            EXPECT_TRUE(d.right == kNoStream || e[d.right].color == kBlack) << "red node with a red child";
        }
        int l = check(d.left, lo, &d.name);
        int r = check(d.right, &d.name, hi);
        EXPECT_EQ(l, r) << "black heights differ";
        return l + (d.color == kBlack ? 1 : 0);
    };
    check(cf.root().child, nullptr, nullptr);
}

}  // namespace

TEST(CfbReader, ReadsStreamsOfBothVersions) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        CfbLayout layout = sample(version);
        std::string file = test::buildCfb(layout);
        MemorySource src(file);
        auto cf = CompoundFile::open(src);
        ASSERT_TRUE(cf.ok()) << cf.error().message;
        EXPECT_EQ(cf->sectorSize(), version == 4 ? 4096u : 512u);
        for (const auto& s : layout.streams)
            EXPECT_EQ(readByName(*cf, s.name), s.bytes);
        // Names are found in any case; storages are entries, not streams.
        EXPECT_EQ(readByName(*cf, u"WORKBOOK"), layout.streams[0].bytes);
        auto sub = cf->findInRoot(u"Sub");
        ASSERT_TRUE(sub);
        EXPECT_FALSE(cf->readStream(*sub, 1000).ok());
        auto kids = cf->children(*sub);
        ASSERT_TRUE(kids.ok());
        ASSERT_EQ(kids->size(), 1u);
        EXPECT_EQ(*cf->readStream((*kids)[0], 1000), layout.storageStreams[0].bytes);
        EXPECT_FALSE(cf->findInRoot(u"Inner"));
    }
}

TEST(CfbReader, FollowsDifatSectorsPastTheHeader) {
    CfbLayout layout = sample(3);
    layout.minFatSectors = 300;  // 109 in the header, the rest in two DIFAT sectors
    std::string file = test::buildCfb(layout);
    MemorySource src(file);
    auto cf = CompoundFile::open(src);
    ASSERT_TRUE(cf.ok()) << cf.error().message;
    EXPECT_EQ(cf->difatSectors().size(), 2u);
    EXPECT_EQ(cf->fatSectors().size(), 300u);
    EXPECT_EQ(readByName(*cf, u"Workbook"), layout.streams[0].bytes);
}

TEST(CfbReader, RefusesDamageWithAnErrorNotACrash) {
    const std::string good = test::buildCfb(sample(3));
    const std::size_t dirAt = 512 * 2;  // sector 1: the FAT is sector 0
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        ErrorCode code;
    };
    std::vector<Case> cases = {
        {"no signature", [](std::string& f) { f[0] = 'X'; }, ErrorCode::NotCompoundFile},
        {"html file", [](std::string& f) { f = "<html><body>not a workbook</body></html>"; }, ErrorCode::NotCompoundFile},
        {"empty file", [](std::string& f) { f.clear(); }, ErrorCode::NotCompoundFile},
        {"header only", [](std::string& f) { f.resize(512); }, ErrorCode::BadCompoundFile},
        {"cut in the FAT", [](std::string& f) { f.resize(700); }, ErrorCode::BadCompoundFile},
        {"byte order", [](std::string& f) { f[28] = 0; }, ErrorCode::BadCompoundFile},
        {"sector shift", [](std::string& f) { f[30] = 12; }, ErrorCode::BadCompoundFile},
        {"absurd FAT count", [](std::string& f) { storeU32(f.data() + 44, 0x7FFFFFFF); }, ErrorCode::BadCompoundFile},
        {"FAT sector outside", [](std::string& f) { storeU32(f.data() + 76, 100000); }, ErrorCode::BadCompoundFile},
        {"directory loops", [](std::string& f) { storeU32(f.data() + 512 + 4 * 1, 1); }, ErrorCode::BadCompoundFile},
        {"directory chain out of range", [](std::string& f) { storeU32(f.data() + 48, 0xFFFFFF00); },
         ErrorCode::BadCompoundFile},
        {"root not first", [&](std::string& f) { f[dirAt + 66] = 2; }, ErrorCode::BadCompoundFile},
        {"child outside directory", [&](std::string& f) { storeU32(f.data() + dirAt + 76, 5000); },
         ErrorCode::BadCompoundFile},
        {"tree cycle", [&](std::string& f) {
             std::uint32_t top = loadU32(f.data() + dirAt + 76);
             storeU32(f.data() + dirAt + 128 * top + 68, top);
         }, ErrorCode::BadCompoundFile},
        {"mini stream larger than file", [&](std::string& f) { storeU32(f.data() + dirAt + 120, 0x7FFFFFF0); },
         ErrorCode::BadCompoundFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string f = good;
        c.damage(f);
        MemorySource src(f);
        auto cf = CompoundFile::open(src);
        ASSERT_FALSE(cf.ok());
        EXPECT_EQ(cf.error().code, c.code) << cf.error().message;
    }
}

TEST(CfbReader, RefusesStreamsThatOverrunTheirChains) {
    std::string file = test::buildCfb(sample(3));
    MemorySource probe(file);
    auto cf = CompoundFile::open(probe);
    ASSERT_TRUE(cf.ok());
    std::uint32_t wb = *cf->findInRoot(u"Workbook");
    std::size_t at = 512 * 2 + 128 * wb;
    for (std::uint32_t size : {0x7FFFFFFFu, 20000u}) {
        std::string f = file;
        storeU32(f.data() + at + 120, size);
        MemorySource src(f);
        auto damaged = CompoundFile::open(src);
        ASSERT_TRUE(damaged.ok());
        auto bytes = damaged->readStream(wb, 1u << 30);
        ASSERT_FALSE(bytes.ok());
        EXPECT_EQ(bytes.error().code, ErrorCode::BadCompoundFile);
    }
    // A small stream whose mini chain loops.
    std::uint32_t si = *cf->findInRoot(u"\u0005SummaryInformation");
    std::string f = file;
    std::uint32_t firstMiniFat = loadU32(f.data() + 60);
    std::uint32_t start = loadU32(f.data() + 512 * 2 + 128 * si + 116);
    storeU32(f.data() + 512 * (firstMiniFat + 1) + 4 * (start + 1), start);
    MemorySource src(f);
    auto looped = CompoundFile::open(src);
    ASSERT_TRUE(looped.ok());
    EXPECT_FALSE(looped->readStream(si, 1u << 30).ok());
}

TEST(CfbReader, SurvivesEveryByteOfTheStructuresFlipped) {
    const std::string good = test::buildCfb(sample(3));
    // Header, FAT and directory: the first three sectors and a half.
    for (std::size_t i = 0; i < 512 * 3 + 256; ++i) {
        for (std::uint8_t x : {0xFF, 0x80, 0x01}) {
            std::string f = good;
            f[i] = static_cast<char>(f[i] ^ x);
            MemorySource src(f);
            auto cf = CompoundFile::open(src);
            if (!cf)
                continue;
            for (std::uint32_t k = 0; k < cf->entries().size(); ++k)
                (void)cf->readStream(k, 1u << 20);
        }
    }
}

TEST(CfbWriter, ReplacesStreamsAndLeavesTheRestByteForByte) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        CfbLayout layout = sample(version);
        const std::string file = test::buildCfb(layout);
        struct Step {
            const char* what;
            std::string bytes;
        };
        std::vector<Step> steps = {{"same size", pattern(400, 'A')},
                                   {"smaller", pattern(90, 'B')},
                                   {"larger, still small", pattern(3000, 'C')},
                                   {"past the cutoff", pattern(6000, 'D')},
                                   {"exactly the cutoff", pattern(4096, 'E')},
                                   {"just below", pattern(4095, 'F')},
                                   {"empty", ""}};
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            std::string out = rewrite(file, {{u"\u0005SummaryInformation", step.bytes}});
            MemorySource src(out);
            auto cf = CompoundFile::open(src);
            ASSERT_TRUE(cf.ok()) << cf.error().message;
            EXPECT_EQ(readByName(*cf, u"\u0005SummaryInformation"), step.bytes);
            for (const auto& s : layout.streams)
                if (s.name != u"\u0005SummaryInformation") {
                    EXPECT_EQ(readByName(*cf, s.name), s.bytes);
                }
            auto kids = cf->children(*cf->findInRoot(u"Sub"));
            EXPECT_EQ(*cf->readStream((*kids)[0], 1000), layout.storageStreams[0].bytes);
            // The regular stream's sectors are copied, not moved.
            std::uint32_t wb = *cf->findInRoot(u"Workbook");
            MemorySource before(file);
            auto orig = CompoundFile::open(before);
            EXPECT_EQ(cf->entries()[wb].startSector, orig->entries()[wb].startSector);
            // Rewriting the result again changes nothing more.
            EXPECT_EQ(rewrite(out, {{u"\u0005SummaryInformation", step.bytes}}), out);
        }
    }
}

TEST(CfbWriter, MovesStreamsBothWaysAcrossTheCutoffAndWipesFreedSpace) {
    CfbLayout layout = sample(3);
    layout.streams.push_back({u"Big", std::string(5000, 'S') + "SECRET"});
    const std::string file = test::buildCfb(layout);
    std::string out = rewrite(file, {{u"Big", "small now"}, {u"Workbook", pattern(100, 'z')}});
    EXPECT_EQ(out.find("SECRET"), std::string::npos);
    MemorySource src(out);
    auto cf = CompoundFile::open(src);
    ASSERT_TRUE(cf.ok());
    EXPECT_EQ(readByName(*cf, u"Big"), "small now");
    EXPECT_EQ(readByName(*cf, u"Workbook"), pattern(100, 'z'));
    EXPECT_EQ(readByName(*cf, u"\u0001CompObj"), layout.streams[2].bytes);
    // And back up again.
    std::string again = rewrite(out, {{u"Big", pattern(70000, 'q')}});
    MemorySource src2(again);
    auto cf2 = CompoundFile::open(src2);
    ASSERT_TRUE(cf2.ok());
    EXPECT_EQ(readByName(*cf2, u"Big"), pattern(70000, 'q'));
    EXPECT_EQ(readByName(*cf2, u"Workbook"), pattern(100, 'z'));
}

TEST(CfbWriter, AddsStreamsAsAValidRedBlackTree) {
    CfbLayout layout = sample(3);
    std::string file = test::buildCfb(layout);
    std::vector<std::u16string> added;
    for (int i = 0; i < 40; ++i) {
        std::u16string name = u"New";
        name += static_cast<char16_t>(u'A' + (i * 7) % 26);
        name.append(static_cast<std::size_t>(i % 5), u'x');
        if (std::find(added.begin(), added.end(), name) != added.end())
            continue;
        added.push_back(name);
        file = rewrite(file, {{name, pattern(static_cast<std::size_t>(i * 37), 'n')}});
        MemorySource src(file);
        auto cf = CompoundFile::open(src);
        ASSERT_TRUE(cf.ok()) << cf.error().message;
        expectValidTree(*cf);
        for (std::size_t k = 0; k < added.size(); ++k)
            ASSERT_TRUE(cf->findInRoot(added[k]));
        for (const auto& s : layout.streams)
            EXPECT_EQ(readByName(*cf, s.name), s.bytes);
    }
}

TEST(CfbWriter, GrowsTheDirectoryTheFatAndTheDifat) {
    // 109 FAT sectors all in use: the next sector needs a new FAT sector,
    // listed in a new DIFAT sector.
    CfbLayout layout;
    layout.streams = {{u"Filler", std::string(512 * (109 * 128 - 115), 'f')}, {u"A", "a"}, {u"B", "b"}, {u"C", "c"}};
    std::string file = test::buildCfb(layout);
    MemorySource probe(file);
    auto before = CompoundFile::open(probe);
    ASSERT_TRUE(before.ok()) << before.error().message;
    ASSERT_EQ(before->fatSectors().size(), 109u);
    ASSERT_TRUE(before->difatSectors().empty());
    std::string out = rewrite(file, {{u"D", pattern(20000, 'd')}, {u"E", "e"}, {u"F", "f"}, {u"G", "g"}});
    MemorySource src(out);
    auto cf = CompoundFile::open(src);
    ASSERT_TRUE(cf.ok()) << cf.error().message;
    EXPECT_GT(cf->fatSectors().size(), 109u);
    EXPECT_EQ(cf->difatSectors().size(), 1u);
    EXPECT_GT(cf->directoryChain().size(), before->directoryChain().size());
    EXPECT_EQ(readByName(*cf, u"D"), pattern(20000, 'd'));
    EXPECT_EQ(readByName(*cf, u"E"), "e");
    EXPECT_EQ(readByName(*cf, u"Filler"), layout.streams[0].bytes);
    expectValidTree(*cf);
}

TEST(CfbWriter, RefusesCrossLinkedFiles) {
    CfbLayout layout = sample(3);
    layout.streams.push_back({u"Big", pattern(5000, 'b')});
    std::string file = test::buildCfb(layout);
    MemorySource probe(file);
    auto cf0 = CompoundFile::open(probe);
    std::uint32_t big = *cf0->findInRoot(u"Big"), wb = *cf0->findInRoot(u"Workbook");
    // "Big" starts inside "Workbook"'s chain.
    storeU32(file.data() + 512 * 2 + 128 * big + 116, cf0->entries()[wb].startSector + 1);
    MemorySource src(file);
    auto cf = CompoundFile::open(src);
    ASSERT_TRUE(cf.ok());
    Transaction tx(*cf);
    tx.setStream(u"Big", "x");
    StringSink sink;
    Status st = tx.writeTo(sink);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::BadCompoundFile);
}
