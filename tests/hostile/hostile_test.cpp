// Hostile workbooks, built here: ZIP bombs, entity bombs, deep XML, compound
// files whose chains loop or whose directory is a cycle, property sets with
// absurd counts and offsets, 64 KiB names, and file names with line breaks
// and invalid UTF-8. Each goes through the engine in this process and through
// `quorvix-cli show --json` in a child, measured: it must be refused (or, where
// the damage does not touch the properties, read) within a second and 64 MB,
// never crash, and a change must leave it byte-identical or readable.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>

#include "base/bytes.h"
#include "base/text.h"
#include "cfb_builder.h"
#include "engine/change.h"
#include "engine/view.h"
#include "platform/platform.h"
#include "props/catalogue.h"
#include "props/package/properties.h"
#include "props/package/xml_part.h"
#include "props/compound/cfb/byte_io.h"
#include "props/compound/cfb/compound_file.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"
#include "zip/zip_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define QV_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_SANITIZED 1
#endif
#endif

using namespace qv;
using namespace qv::test;

namespace {

namespace fs = std::filesystem;

#ifdef QV_SANITIZED
constexpr double kMaxSeconds = 20.0;  // sanitizers slow everything down
constexpr long kMaxRssKb = 0;         // and their shadow memory says nothing
#else
constexpr double kMaxSeconds = 1.0;
constexpr long kMaxRssKb = 64 * 1024;
#endif

// ---------------------------------------------------------------------------
// The command line in a child process, with its time and peak memory.

struct ChildRun {
    bool exited = false;  // false: killed by a signal (a crash)
    int status = -1;
    double seconds = 0;
    long maxRssKb = 0;
    std::string out;
};

ChildRun runCli(const std::vector<std::string>& args) {
    ChildRun r;
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return r;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        close(pipeFd[0]);
        close(pipeFd[1]);
        std::vector<char*> argv{const_cast<char*>(QV_CLI)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QV_CLI, argv.data());
        _exit(127);
    }
    close(pipeFd[1]);
    char buf[65536];
    ssize_t n;
    while ((n = read(pipeFd[0], buf, sizeof buf)) > 0)
        r.out.append(buf, static_cast<std::size_t>(n));
    close(pipeFd[0]);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.exited = WIFEXITED(status);
    r.status = r.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
    r.maxRssKb = ru.ru_maxrss;
    return r;
}

// ---------------------------------------------------------------------------
// The checks every hostile workbook goes through.

enum class Expect { Refused, Either };

engine::BatchSettings titleOnly() {
    engine::BatchSettings s;
    s.values[kRowTitle] = "hostile";
    s.ticked.set(kRowTitle);
    return s;
}

void checkHostile(const test::TempDir& dir, const std::string& name, const std::string& bytes, Expect expect) {
    SCOPED_TRACE(name);
    std::string path = dir.file(name);
    test::writeFile(path, bytes);

    // In this process: reading.
    auto t0 = std::chrono::steady_clock::now();
    auto rows = ReadRows(path);
    double readSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(readSeconds, kMaxSeconds);
    if (expect == Expect::Refused) {
        if (text::isPackagePath(path)) {
            EXPECT_FALSE(rows.ok()) << "a hostile package was read";
        } else if (rows.ok()) {
            // A compound file whose property sets can't be read shows empty values.
            for (const auto& v : textsOf(*rows))
                EXPECT_EQ(v, "");
        }
    }

    // In this process: a change either refuses and leaves the bytes, or
    // writes a file that reads back.
    t0 = std::chrono::steady_clock::now();
    Status st = engine::ApplyBatchToFile(path, titleOnly());
    double writeSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(writeSeconds, kMaxSeconds);
    if (!st) {
        EXPECT_FALSE(st.error().message.empty());
        EXPECT_EQ(test::readFile(path), bytes) << st.error().message;
    } else {
        auto again = ReadRows(path);
        ASSERT_TRUE(again.ok()) << "a written file does not read back";
        EXPECT_EQ(textsOf(*again)[kRowTitle], "hostile");
        test::writeFile(path, bytes);
    }
    for (const std::string& n : platform::listFiles(dir.path()).valueOr({}))
        EXPECT_FALSE(platform::isTemporaryNameFor(path, n)) << "temporary file left: " << n;

    // In a child: the command line, timed and measured.
    ChildRun run = runCli({"show", "--json", path});
    ASSERT_TRUE(run.exited) << "quorvix-cli show died with signal " << -run.status;
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
    EXPECT_LT(run.seconds, kMaxSeconds);
    if (kMaxRssKb > 0) {
        EXPECT_LT(run.maxRssKb, kMaxRssKb) << "peak memory " << run.maxRssKb << " KB";
    }
    EXPECT_TRUE(text::isValidUtf8(run.out));
    if (expect == Expect::Refused) {
        // A compound file whose sets can't be read shows empty values.
        bool refused = run.out.find("\"ok\": false") != std::string::npos ||
                       run.out.find("\"propertiesError\": \"") != std::string::npos ||
                       (!text::isPackagePath(path) && run.out.find("\"title\": \"\"") != std::string::npos &&
                        run.out.find("\"author\": \"\"") != std::string::npos);
        EXPECT_TRUE(refused) << run.out.substr(0, 2000);
    }
    fs::remove(path);
}

// ---------------------------------------------------------------------------
// Packages

const std::string kRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
    "core-properties\" Target=\"docProps/core.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "extended-properties\" Target=\"docProps/app.xml\"/></Relationships>";
const std::string kCoreOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\">";
const std::string kCoreClose = "</cp:coreProperties>";
const std::string kApp =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
    "<Company>C</Company></Properties>";

// A package whose core part is the given entry.
std::string packageWith(test::BuildEntry core, std::vector<test::BuildEntry> more = {}) {
    test::ZipBuilder zb;
    zb.add("[Content_Types].xml", "<Types/>").add("_rels/.rels", kRels).add("docProps/app.xml", kApp);
    core.name = core.name.empty() ? "docProps/core.xml" : core.name;
    zb.add(std::move(core));
    for (auto& e : more)
        zb.add(std::move(e));
    return zb.build();
}

test::BuildEntry coreEntry(std::string xml, std::uint16_t method = zip::kMethodDeflated) {
    test::BuildEntry e;
    e.data = std::move(xml);
    e.method = method;
    return e;
}

// Raw Deflate of `n` bytes of one character, made without holding them: a
// block of 1 MiB compressed once and repeated (full flushes make the blocks
// independent), then an empty final block.
std::string deflateOfRepeated(char c, std::size_t mebibytes, std::uint32_t* crc) {
    std::string block(1 << 20, c);
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out(1 << 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(block.data());
    zs.avail_in = static_cast<uInt>(block.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FULL_FLUSH);
    out.resize(out.size() - zs.avail_out);
    deflateEnd(&zs);
    std::string stream;
    uLong sum = crc32(0, nullptr, 0);
    for (std::size_t i = 0; i < mebibytes; ++i) {
        stream += out;
        sum = crc32(sum, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(block.size()));
    }
    stream += std::string("\x03\x00", 2);  // final empty block, fixed codes
    *crc = static_cast<std::uint32_t>(sum);
    return stream;
}

class Hostile : public ::testing::Test {
protected:
    test::TempDir dir;
};

}  // namespace

TEST_F(Hostile, ZipBombsAreRefused) {
    // A tiny archive that declares a part of 4 GB.
    {
        test::BuildEntry e = coreEntry(kCoreOpen + "<dc:title>t</dc:title>" + kCoreClose);
        e.statedSize = 0xFFFFFFF0u;
        checkHostile(dir, "declared_4g.xlsx", packageWith(e), Expect::Refused);
    }
    // The same through ZIP64: a declared terabyte.
    {
        test::BuildEntry e = coreEntry(kCoreOpen + "<dc:title>t</dc:title>" + kCoreClose);
        e.zip64 = true;
        e.statedSize = 1ull << 40;
        checkHostile(dir, "declared_1t_zip64.xlsx", packageWith(e), Expect::Refused);
    }
    // 300 MiB of real data in about 300 KB, its size stated honestly.
    {
        std::uint32_t crc = 0;
        test::BuildEntry e = coreEntry("");
        e.compressed = deflateOfRepeated(' ', 300, &crc);
        e.crc = crc;
        e.statedSize = 300ull << 20;
        std::string bytes = packageWith(e);
        EXPECT_LT(bytes.size(), 400'000u);
        checkHostile(dir, "real_300m.xlsx", bytes, Expect::Refused);
    }
    // A well-formed part of 8 MiB that packs beyond 1000:1.
    {
        std::string xml = kCoreOpen + std::string(8 << 20, ' ') + "<dc:title>t</dc:title>" + kCoreClose;
        test::BuildEntry e = coreEntry(xml);
        e.compressed = zip::DeflateRaw(xml, 9)->bytes;
        ASSERT_GT(xml.size() / e.compressed->size(), 1000u) << "not a 1000:1 part";
        checkHostile(dir, "ratio_1000.xlsx", packageWith(e), Expect::Refused);
    }
    // The data longer than stated (a lying size).
    {
        test::BuildEntry e = coreEntry(kCoreOpen + std::string(100000, ' ') + kCoreClose);
        e.statedSize = 100;
        checkHostile(dir, "longer_than_stated.xlsx", packageWith(e), Expect::Refused);
    }
}

TEST_F(Hostile, EntityAndNestingBombsInXmlAreRefused) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    laughs += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&lol" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]>" + kCoreOpen.substr(kCoreOpen.find("<cp:")) + "<dc:title>&lol9;</dc:title>" + kCoreClose;
    checkHostile(dir, "billion_laughs.xlsx", packageWith(coreEntry(laughs)), Expect::Refused);

    // An external entity must not be fetched either.
    std::string external = "<?xml version=\"1.0\"?><!DOCTYPE t [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
                           kCoreOpen.substr(kCoreOpen.find("<cp:")) + "<dc:title>&x;</dc:title>" + kCoreClose;
    checkHostile(dir, "external_entity.xlsx", packageWith(coreEntry(external)), Expect::Refused);

    // A million levels, stored (no compression ratio to refuse it by).
    std::string deep = kCoreOpen;
    for (int i = 0; i < 1'000'000; ++i)
        deep += "<a>";
    for (int i = 0; i < 1'000'000; ++i)
        deep += "</a>";
    deep += kCoreClose;
    checkHostile(dir, "deep_1e6.xlsx", packageWith(coreEntry(deep, zip::kMethodStored)), Expect::Either);
    // As deep as the largest part that is loaded at all allows.
    std::string nearLimit = kCoreOpen;
    while (nearLimit.size() + 7 + kCoreClose.size() + 7 * (nearLimit.size() / 3) < (1u << 20))
        nearLimit += "<a>";
    std::size_t levels = (nearLimit.size() - kCoreOpen.size()) / 3;
    for (std::size_t i = 0; i < levels; ++i)
        nearLimit += "</a>";
    nearLimit += "<dc:title>deep</dc:title>" + kCoreClose;
    ASSERT_LE(nearLimit.size(), 1u << 20);
    checkHostile(dir, "deep_1mib.xlsx", packageWith(coreEntry(nearLimit, zip::kMethodStored)), Expect::Either);
    // Without the closing tags: not well-formed.
    std::string unclosed = kCoreOpen;
    for (int i = 0; i < 1'000'000; ++i)
        unclosed += "<a>";
    checkHostile(dir, "deep_unclosed.xlsx", packageWith(coreEntry(unclosed, zip::kMethodStored)), Expect::Refused);
}

TEST_F(Hostile, ArchivesWithAbsurdDirectoriesAndNamesStayBounded) {
    std::string good = packageWith(coreEntry(kCoreOpen + "<dc:title>t</dc:title>" + kCoreClose));
    // An end record that claims 65535 entries in a tiny central directory.
    {
        std::string bytes = good;
        std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
        ASSERT_NE(end, std::string::npos);
        bytes[end + 8] = bytes[end + 9] = bytes[end + 10] = bytes[end + 11] = '\xFF';
        checkHostile(dir, "count_65535.xlsx", bytes, Expect::Either);
    }
    // A central directory said to start past the end, and to be 4 GB long.
    {
        std::string bytes = good;
        std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
        for (int i = 12; i < 20; ++i)
            bytes[end + static_cast<std::size_t>(i)] = '\xF0';
        checkHostile(dir, "cd_outside.xlsx", bytes, Expect::Either);
    }
    // Names of 64 KiB: an ordinary part's and the core part's own (its
    // relationship target as long).
    {
        test::BuildEntry longName;
        longName.name = "xl/" + std::string(65535 - 3, 'n');
        longName.data = "x";
        checkHostile(dir, "name_64k_other.xlsx",
                     packageWith(coreEntry(kCoreOpen + "<dc:title>t</dc:title>" + kCoreClose), {longName}),
                     Expect::Either);
        std::string target(65535 - 9, 'c');
        test::ZipBuilder zb;
        std::string rels = kRels;
        rels.replace(rels.find("docProps/core.xml"), 17, "docProps/" + target);
        zb.add("_rels/.rels", rels).add("docProps/app.xml", kApp).add("docProps/" + target,
                                                                         kCoreOpen + kCoreClose);
        checkHostile(dir, "name_64k_core.xlsx", zb.build(), Expect::Either);
    }
    // Ten thousand empty entries in front of the parts.
    {
        test::ZipBuilder zb;
        for (int i = 0; i < 10000; ++i)
            zb.add("e/" + std::to_string(i), "", zip::kMethodStored);
        zb.add("_rels/.rels", kRels).add("docProps/app.xml", kApp).add("docProps/core.xml", kCoreOpen + kCoreClose);
        checkHostile(dir, "many_entries.xlsx", zb.build(), Expect::Either);
    }
}

// ---------------------------------------------------------------------------
// Compound files

namespace {

std::string summaryStream() {
    return test::buildPropertySet({{"{F29F85E0-4FF9-1068-AB91-08002B27B3D9}",
                                    test::buildSection({{1, test::vtI2(1252)}, {2, test::vtLpstr("Title")},
                                                        {4, test::vtLpstr("Author")}})}});
}

std::string compoundWith(std::string summary, bool bigWorkbook = false) {
    test::CfbLayout layout;
    layout.streams.push_back({u"Workbook", std::string(bigWorkbook ? 20000 : 600, 'w')});
    layout.streams.push_back({u"\u0005SummaryInformation", std::move(summary)});
    return test::buildCfb(layout);
}

void put32(std::string& s, std::uint64_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[static_cast<std::size_t>(at) + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Where the parts of a built compound file are, by the reader.
struct Layout {
    std::uint32_t ss = 512;
    std::vector<std::uint32_t> fatSectors, dirChain;
    std::vector<cfb::DirectoryEntry> entries;
    std::uint64_t sectorOffset(std::uint32_t s) const { return (static_cast<std::uint64_t>(s) + 1) * ss; }
    std::uint64_t fatEntryOffset(std::uint32_t s) const {
        return sectorOffset(fatSectors[s / (ss / 4)]) + 4 * (s % (ss / 4));
    }
    std::uint64_t entryOffset(std::uint32_t i) const {
        return sectorOffset(dirChain[i / (ss / 128)]) + 128 * (i % (ss / 128));
    }
    std::uint32_t find(std::u16string_view name) const {
        for (std::uint32_t i = 0; i < entries.size(); ++i)
            if (entries[i].name == name)
                return i;
        return 0;
    }
};

Layout layoutOf(const std::string& bytes) {
    cfb::MemorySource src(bytes);
    auto cf = cfb::CompoundFile::open(src);
    EXPECT_TRUE(cf.ok());
    Layout l;
    if (!cf)
        return l;
    l.ss = cf->sectorSize();
    l.fatSectors = cf->fatSectors();
    l.dirChain = cf->directoryChain();
    l.entries = cf->entries();
    return l;
}

}  // namespace

TEST_F(Hostile, CompoundFilesWithLoopsAndCyclesAreRefused) {
    std::string good = compoundWith(summaryStream(), true);
    Layout l = layoutOf(good);
    ASSERT_FALSE(l.dirChain.empty());
    // The directory's chain points back to itself.
    {
        std::string b = good;
        put32(b, l.fatEntryOffset(l.dirChain[0]), l.dirChain[0]);
        if (l.dirChain.size() == 1)  // make the loop longer than one sector too
            checkHostile(dir, "fat_dir_self_loop.xls", b, Expect::Refused);
    }
    // A large stream's chain runs back to its start after some sectors.
    {
        std::string b = good;
        std::uint32_t wb = l.find(u"Workbook");
        std::uint32_t start = l.entries[wb].startSector;
        put32(b, l.fatEntryOffset(start + 5), start);
        checkHostile(dir, "fat_stream_loop.xls", b, Expect::Either);
    }
    // The directory tree is a cycle: an entry is its own right sibling, and
    // two entries point at each other.
    {
        std::string b = good;
        std::uint32_t k = l.entries[0].child;
        put32(b, l.entryOffset(k) + 0x48, k);
        checkHostile(dir, "dir_self_cycle.xls", b, Expect::Refused);
        b = good;
        std::uint32_t a = l.find(u"Workbook"), s = l.find(u"\u0005SummaryInformation");
        put32(b, l.entryOffset(a) + 0x44, s);
        put32(b, l.entryOffset(a) + 0x48, s);
        put32(b, l.entryOffset(s) + 0x44, a);
        put32(b, l.entryOffset(s) + 0x48, a);
        checkHostile(dir, "dir_two_cycle.xls", b, Expect::Refused);
    }
    // A child link outside the directory.
    {
        std::string b = good;
        put32(b, l.entryOffset(0) + 0x4C, 0x7FFFFFF0);
        checkHostile(dir, "dir_link_outside.xls", b, Expect::Refused);
    }
    // Absurd counts in the header: FAT sectors, and a DIFAT chain that loops.
    {
        std::string b = good;
        put32(b, 0x2C, 0xFFFFFFF0);
        checkHostile(dir, "fat_count_absurd.xls", b, Expect::Refused);
        b = good;
        put32(b, 0x2C, 200);       // more FAT sectors than the header lists
        put32(b, 0x44, 1);         // DIFAT chain starts at sector 1...
        put32(b, 0x48, 0xFFFFFF);  // ...and is said to be long
        std::string loop(l.ss, '\xFF');
        put32(loop, l.ss - 4, 1);  // ...and points to itself
        b.replace(static_cast<std::size_t>(l.sectorOffset(1)), l.ss, loop);
        checkHostile(dir, "difat_loop.xls", b, Expect::Refused);
    }
    // A stream size far beyond the file.
    {
        std::string b = good;
        std::uint32_t s = l.find(u"\u0005SummaryInformation");
        put32(b, l.entryOffset(s) + 0x78, 0xFFFFFFF0);
        checkHostile(dir, "stream_size_absurd.xls", b, Expect::Refused);
    }
}

TEST_F(Hostile, PropertySetsWithAbsurdCountsAndOffsetsAreRefused) {
    const std::string set = summaryStream();
    // The set's header: 28 bytes, then (format id, offset) per section; the
    // section: size, count, then (id, offset) pairs.
    const std::size_t sectionOffsetAt = 28 + 16, sectionAt = 48;
    struct Patch {
        const char* name;
        std::function<void(std::string&)> apply;
    };
    std::vector<Patch> patches = {
        {"section_count.xls", [](std::string& s) { put32(s, 24, 0xFFFFFFFF); }},
        {"section_offset.xls", [&](std::string& s) { put32(s, sectionOffsetAt, 0x7FFFFFF0); }},
        {"section_size.xls", [&](std::string& s) { put32(s, sectionAt, 0xFFFFFFF0); }},
        {"property_count.xls", [&](std::string& s) { put32(s, sectionAt + 4, 0x7FFFFFFF); }},
        {"property_offset.xls", [&](std::string& s) { put32(s, sectionAt + 8 + 12, 0xFFFFFF00); }},
        {"string_length.xls",
         [&](std::string& s) {
             // The title's VT_LPSTR: its length field follows the type.
             std::size_t at = s.find("Title");
             put32(s, at - 4, 0xFFFFFFF0);
         }},
    };
    for (const Patch& p : patches) {
        std::string s = set;
        p.apply(s);
        checkHostile(dir, p.name, compoundWith(s), Expect::Either);
    }
    // A vector of variants with a count of a quarter billion in the
    // document summary's heading pairs.
    std::string vec = test::le32(0x100C) + test::le32(0x10000000) + test::le32(0x1E);
    std::string dsi = test::buildPropertySet(
        {{"{D5CDD502-2E9C-101B-9397-08002B2CF9AE}", test::buildSection({{1, test::vtI2(1252)}, {12, vec}})}});
    test::CfbLayout layout;
    layout.streams.push_back({u"Workbook", std::string(600, 'w')});
    layout.streams.push_back({u"\u0005DocumentSummaryInformation", dsi});
    checkHostile(dir, "vector_count.xls", test::buildCfb(layout), Expect::Either);
}

// The inputs fuzzing found, kept as named files.
TEST_F(Hostile, FuzzFindingsStayFixed) {
    std::string folder = test::dataPath("hostile");
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        std::string bytes = test::readFile(entry.path().string());
        if (text::endsWith(name, ".xml")) {
            // A property part on its own: it must load so that what is saved
            // loads again, or not at all; and inside a package as either part.
            if (auto part = package::XmlPart::Load(bytes)) {
                EXPECT_TRUE(package::XmlPart::Load(part->Save()).ok()) << name;
                for (int row : package::kCoreRows)
                    package::ApplyElementValue(*part, package::ElementOf(row), "x");
                EXPECT_TRUE(package::XmlPart::Load(part->Save()).ok()) << name << " after a change";
            }
            checkHostile(dir, name + ".core.xlsx", packageWith(coreEntry(bytes)), Expect::Either);
            test::ZipBuilder zb;
            zb.add("_rels/.rels", bytes).add("docProps/app.xml", kApp).add("docProps/core.xml", kCoreOpen + kCoreClose);
            checkHostile(dir, name + ".rels.xlsx", zb.build(), Expect::Either);
            continue;
        }
        checkHostile(dir, name, bytes, Expect::Either);
    }
}

// ---------------------------------------------------------------------------
// File names

TEST_F(Hostile, FileNamesWithLineBreaksAndInvalidUtf8WorkEverywhere) {
    const std::vector<std::pair<std::string, const char*>> names = {
        {"line\nbreak.xls", "lo_japanese.xls"},
        {"line\r\nbreak.xlsx", "lo_ascii.xlsx"},
        {"bad\xFF\xFEutf8.xls", "lo_ascii.xls"},
        {"bad\xC3(utf8.xlsx", "sheetjs_japanese.xlsx"},
    };
    std::vector<std::string> paths;
    for (const auto& [name, data] : names)
        paths.push_back(dir.copyData(data, name));

    // The engine changes them like any other.
    engine::BatchSettings s = titleOnly();
    s.backup = true;
    engine::BatchReport report = engine::RunBatch(paths, s);
    EXPECT_TRUE(report.allChanged());
    for (const std::string& p : paths) {
        EXPECT_TRUE(test::fileExists(engine::BackupPathFor(p)));
        auto rows = ReadRows(p);
        ASSERT_TRUE(rows.ok()) << p;
        EXPECT_EQ(textsOf(*rows)[kRowTitle], "hostile");
    }

    // The command line: JSON stays valid UTF-8 with the line breaks escaped,
    // and set prints one line per file.
    std::vector<std::string> args = {"show", "--json"};
    args.insert(args.end(), paths.begin(), paths.end());
    ChildRun show = runCli(args);
    ASSERT_TRUE(show.exited);
    EXPECT_EQ(show.status, 0) << show.out;
    EXPECT_TRUE(text::isValidUtf8(show.out));
    EXPECT_NE(show.out.find("line\\nbreak.xls"), std::string::npos) << show.out.substr(0, 400);
    EXPECT_NE(show.out.find("line\\r\\nbreak.xlsx"), std::string::npos);
    EXPECT_EQ(show.out.find("line\nbreak"), std::string::npos) << "a raw line break inside a JSON string";

    args = {"set", "--set", "author=via cli"};
    args.insert(args.end(), paths.begin(), paths.end());
    ChildRun set = runCli(args);
    ASSERT_TRUE(set.exited);
    EXPECT_EQ(set.status, 0) << set.out;
    for (const std::string& p : paths) {
        auto rows = ReadRows(p);
        ASSERT_TRUE(rows.ok());
        EXPECT_EQ(textsOf(*rows)[kRowAuthor], "via cli") << p;
    }
    for (const std::string& n : platform::listFiles(dir.path()).valueOr({}))
        for (const std::string& p : paths)
            EXPECT_FALSE(platform::isTemporaryNameFor(p, n) || platform::isTemporaryNameFor(p + ".bak", n)) << n;
}
