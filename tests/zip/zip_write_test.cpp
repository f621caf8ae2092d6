// Rewriting archives: replaced entries in place, copies byte for byte,
// descriptors and ZIP64 kept conformant, and failures that leave nothing behind.
#include <gtest/gtest.h>

#include <ctime>

#include "base/text.h"
#include "platform/faults.h"
#include "platform/platform.h"
#include "support/testsupport.h"
#include "zip/archive.h"
#include "zip/directory.h"
#include "zip/extract.h"
#include "zip_builder.h"
#include "external_tools.h"

using namespace qv;
using namespace qv::zip;
using qv::test::BuildEntry;
using qv::test::ZipBuilder;

namespace {

ZipDirectory readDir(const std::string& bytes) {
    MemorySource src(bytes);
    auto dir = ReadDirectory(src);
    EXPECT_TRUE(dir.ok()) << (dir.ok() ? "" : dir.error().message);
    return dir.ok() ? *dir : ZipDirectory{};
}

// The compressed bytes of an entry, found through its local header.
std::string rawData(const std::string& bytes, const ZipEntry& e) {
    std::size_t off = static_cast<std::size_t>(e.localHeaderOffset);
    std::size_t start = off + 30 + loadU16(bytes.data() + off + 26) + loadU16(bytes.data() + off + 28);
    return bytes.substr(start, static_cast<std::size_t>(e.compressedSize));
}

std::string extractOf(const std::string& bytes, const ZipEntry& e) {
    MemorySource src(bytes);
    auto r = ExtractEntry(src, e);
    EXPECT_TRUE(r.ok()) << e.name << ": " << (r.ok() ? "" : r.error().message);
    return r.ok() ? *r : std::string();
}

Status store(const std::string& path, const std::vector<StreamToStore>& streams) {
    ZipArchive zip;
    zip.setZipName(path);
    return zip.storeFromStreams(streams);
}

bool noTemporariesBeside(const std::string& path) {
    auto names = platform::listFiles(text::directoryPart(path));
    if (!names)
        return false;
    for (const std::string& n : *names) {
        if (platform::isTemporaryNameFor(path, n))
            return false;
    }
    return true;
}

// Every entry of the old archive is in the new one at the same place; those
// not replaced have the same name bytes, flags, central fields and compressed
// bytes.
void expectCopiedExactly(const std::string& oldBytes, const std::string& newBytes,
                         const std::vector<std::size_t>& replaced) {
    ZipDirectory a = readDir(oldBytes), b = readDir(newBytes);
    ASSERT_EQ(a.entries.size(), b.entries.size());
    EXPECT_EQ(a.comment, b.comment);
    for (std::size_t i = 0; i < a.entries.size(); ++i) {
        const ZipEntry& x = a.entries[i];
        const ZipEntry& y = b.entries[i];
        SCOPED_TRACE(x.name);
        EXPECT_TRUE(text::equalsIgnoreAsciiCase(x.name, y.name));
        if (std::find(replaced.begin(), replaced.end(), i) != replaced.end())
            continue;
        EXPECT_EQ(x.rawName, y.rawName);
        EXPECT_EQ(x.header.flags, y.header.flags);
        EXPECT_EQ(x.header.versionMadeBy, y.header.versionMadeBy);
        EXPECT_EQ(x.header.method, y.header.method);
        EXPECT_EQ(x.header.dosDateTime, y.header.dosDateTime);
        EXPECT_EQ(x.header.crc32, y.header.crc32);
        EXPECT_EQ(x.header.externalAttributes, y.header.externalAttributes);
        // The ZIP64 block holds the new offset where the old one had it there.
        EXPECT_EQ(replaceExtraBlock(x.centralExtra, kZip64ExtraId, std::nullopt),
                  replaceExtraBlock(y.centralExtra, kZip64ExtraId, std::nullopt));
        EXPECT_EQ(findExtraBlock(x.centralExtra, kZip64ExtraId).has_value(),
                  findExtraBlock(y.centralExtra, kZip64ExtraId).has_value());
        EXPECT_EQ(x.compressedSize, y.compressedSize);
        EXPECT_EQ(x.uncompressedSize, y.uncompressedSize);
        EXPECT_EQ(rawData(oldBytes, x), rawData(newBytes, y));
    }
}

void expectStrictReadersAccept(const std::string& path) {
    if (test::haveTool("unzip")) {
        EXPECT_TRUE(test::unzipTestPasses(path)) << "unzip -t " << path;
    }
    EXPECT_TRUE(test::pythonTestzipPasses(path)) << "zipfile testzip " << path;
}

}  // namespace

// ---------------------------------------------------------------------------

TEST(ZipStore, BothPropertyPartsReplacedInEveryPackage) {
    const std::string core = "<core>new core \xE6\x97\xA5\xE6\x9C\xAC</core>";
    const std::string app = "<app>new app</app>";
    for (const char* name : {"crafted_plain.xlsx", "lo_ascii.xlsx", "lo_japanese.xlsx", "exceljs_ascii.xlsx",
                             "exceljs_nonsjis.xlsx", "sheetjs_japanese.xlsx", "zip_data_descriptor.xlsx",
                             "zip_stored_entries.xlsx", "zip_comment_65535.xlsx", "zip_backslash_names.xlsx",
                             "zip_method12_core.xlsx"}) {
        SCOPED_TRACE(name);
        test::TempDir dir;
        std::string path = dir.copyData(name);
        std::string before = test::readFile(path);
        ZipDirectory old = readDir(before);
        const ZipEntry* oldCore = FindEntry(old, "docProps\\core.xml");
        const ZipEntry* oldApp = FindEntry(old, "docProps\\app.xml");
        ASSERT_TRUE(oldCore && oldApp);
        std::size_t coreIndex = static_cast<std::size_t>(oldCore - old.entries.data());
        std::size_t appIndex = static_cast<std::size_t>(oldApp - old.entries.data());

        auto st = store(path, {{"docProps\\app.xml", app}, {"docProps\\core.xml", core}});
        ASSERT_TRUE(st.ok()) << st.error().message;
        std::string after = test::readFile(path);
        expectCopiedExactly(before, after, {coreIndex, appIndex});
        ZipDirectory now = readDir(after);
        EXPECT_EQ(extractOf(after, now.entries[coreIndex]), core);
        EXPECT_EQ(extractOf(after, now.entries[appIndex]), app);
        EXPECT_EQ(now.entries[coreIndex].rawName, "docProps/core.xml");
        EXPECT_FALSE(now.zip64);
        EXPECT_TRUE(noTemporariesBeside(path));
        expectStrictReadersAccept(path);
    }
}

TEST(ZipStore, NewEntryHeaderValuesAndNames) {
    test::TempDir dir;
    std::string path = dir.file("a.zip");
    ZipBuilder zb;
    zb.add("docProps/app.xml", "<old/>").add("keep.bin", std::string("\0\1\2", 3));
    test::writeFile(path, zb.build());

    std::time_t before = std::time(nullptr);
    ASSERT_TRUE(store(path, {{"DOCPROPS\\APP.XML", "<Properties>text</Properties>"},
                             {"\\new\\part.xml", "<part/>"},
                             {"C:\\drive\\x.xml", "x"},
                             {"\xE6\x97\xA5/\xE6\x9C\xAC.xml", "utf8"}})
                    .ok());
    std::string bytes = test::readFile(path);
    ZipDirectory d = readDir(bytes);
    ASSERT_EQ(d.entries.size(), 5u);
    // The replaced entry stays first, under the name as given.
    const ZipEntry& app = d.entries[0];
    EXPECT_EQ(app.rawName, "DOCPROPS/APP.XML");
    EXPECT_EQ(app.header.versionMadeBy, 20);
    EXPECT_EQ(app.header.versionNeeded, 20);
    EXPECT_EQ(app.header.flags, 0);
    EXPECT_EQ(app.header.method, kMethodDeflated);
    EXPECT_EQ(app.header.extraLength, 0);
    EXPECT_EQ(app.header.commentLength, 0);
    EXPECT_EQ(app.header.diskNumberStart, 0);
    EXPECT_EQ(app.header.internalAttributes, 1);  // judged to be text
    EXPECT_EQ(app.header.externalAttributes, 32u);
    DosDateTime t = app.modified();
    std::tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(static_cast<int>(t.year), local.tm_year + 1900);
    EXPECT_EQ(static_cast<int>(t.day), local.tm_mday);
    // The local header agrees and has no descriptor.
    std::size_t off = static_cast<std::size_t>(app.localHeaderOffset);
    EXPECT_EQ(loadU16(bytes.data() + off + 6), 0);
    EXPECT_EQ(loadU32(bytes.data() + off + 14), app.header.crc32);
    EXPECT_EQ(loadU32(bytes.data() + off + 18), app.compressedSize);
    EXPECT_EQ(loadU32(bytes.data() + off + 22), app.uncompressedSize);
    // New names go last, with "/" separators, without a drive or a leading one.
    EXPECT_EQ(d.entries[1].rawName, "keep.bin");
    EXPECT_EQ(d.entries[2].rawName, "new/part.xml");
    EXPECT_EQ(d.entries[3].rawName, "drive/x.xml");
    EXPECT_EQ(d.entries[4].rawName, "\xE6\x97\xA5/\xE6\x9C\xAC.xml");
    EXPECT_EQ(d.entries[4].header.flags, kFlagUtf8Name);
    EXPECT_EQ(extractOf(bytes, d.entries[4]), "utf8");
    expectStrictReadersAccept(path);
}

TEST(ZipStore, RefusedStoresLeaveTheFileAlone) {
    test::TempDir dir;
    std::string path = dir.file("a.zip");
    ZipBuilder zb;
    zb.add("one.xml", "1").add("two.xml", "2");
    std::string good = zb.build();
    test::writeFile(path, good);
    EXPECT_EQ(store(path, {{"x.xml", "a"}, {"X.XML", "b"}}).error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(store(path, {{"folder\\", "a"}}).error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(store(path, {{" ", "a"}}).error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(test::readFile(path), good);

    // A directory found only by scanning the local headers is not rewritten:
    // what the scan missed would be lost.
    std::string damaged = good;
    damaged[loadU32(good.data() + good.size() - 6)] = 'X';
    test::writeFile(path, damaged);
    auto st = store(path, {{"one.xml", "new"}});
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::BadZip);
    EXPECT_EQ(test::readFile(path), damaged);
    EXPECT_TRUE(noTemporariesBeside(path));

    test::writeFile(path, "not an archive at all, just text");
    EXPECT_EQ(store(path, {{"one.xml", "new"}}).error().code, ErrorCode::NotAZip);
    EXPECT_EQ(store(dir.file("missing.zip"), {{"one.xml", "new"}}).error().code, ErrorCode::NotFound);
}

TEST(ZipStore, DescriptorEntriesAreCopiedWithAConformantDescriptor) {
    BuildEntry withSig;
    withSig.name = "with-signature.xml";
    withSig.data = std::string(700, 'w');
    withSig.descriptor = true;
    BuildEntry noSig;
    noSig.name = "without-signature.xml";
    noSig.data = "<no signature/>";
    noSig.descriptor = true;
    noSig.descriptorSignature = false;
    BuildEntry zip64;
    zip64.name = "zip64.xml";
    zip64.data = "<sixty-four/>";
    zip64.descriptor = true;
    zip64.zip64 = true;
    ZipBuilder zb;
    zb.add(withSig).add(noSig).add(zip64).add("replace.xml", "old");
    test::TempDir dir;
    std::string path = dir.file("d.zip");
    std::string before = zb.build();
    test::writeFile(path, before);
    ASSERT_TRUE(store(path, {{"replace.xml", "new"}}).ok());
    std::string after = test::readFile(path);
    expectCopiedExactly(before, after, {3});
    ZipDirectory d = readDir(after);
    for (std::size_t i = 0; i < 3; ++i) {
        const ZipEntry& e = d.entries[i];
        EXPECT_TRUE(e.hasDataDescriptor());
        std::size_t descriptor = static_cast<std::size_t>(e.localHeaderOffset) + 30 + e.rawName.size() +
                                 (i == 2 ? 20 : 0) + static_cast<std::size_t>(e.compressedSize);
        EXPECT_EQ(loadU32(after.data() + descriptor), kDataDescriptorSignature);
        EXPECT_EQ(loadU32(after.data() + descriptor + 4), e.header.crc32);
        // The next record follows the descriptor directly.
        std::size_t next = descriptor + (i == 2 ? 24 : 16);
        EXPECT_EQ(next, d.entries[i + 1].localHeaderOffset);
    }
    expectStrictReadersAccept(path);
}

TEST(ZipStore, Zip64ArchivesAreRewrittenWithZip64OnlyWhereNeeded) {
    BuildEntry a;
    a.name = "a.xml";
    a.data = std::string(1000, 'a');
    a.zip64 = true;
    ZipBuilder zb;
    zb.add(a).add("b.xml", "b").zip64End();
    test::TempDir dir;
    std::string path = dir.file("z.zip");
    std::string before = zb.build();
    test::writeFile(path, before);
    ASSERT_TRUE(readDir(before).zip64);
    ASSERT_TRUE(store(path, {{"b.xml", "bee"}}).ok());
    std::string after = test::readFile(path);
    ZipDirectory d = readDir(after);
    EXPECT_FALSE(d.zip64);  // a small archive needs no ZIP64 end records
    EXPECT_EQ(d.entries[0].header.localHeaderOffset, kSaturated32);  // the copied entry keeps its extra field
    EXPECT_EQ(d.entries[0].localHeaderOffset, 0u);
    expectCopiedExactly(before, after, {1});
    expectStrictReadersAccept(path);
}

TEST(ZipStore, ArchivesOfOtherWritersStayValid) {
    test::TempDir dir;
    std::string streamed = dir.file("streamed.zip");
    std::string many = dir.file("many.zip");
    // A streamed archive (descriptors, ZIP64 extras) and one with more entries
    // than the end record can count.
    const char* program =
        "import sys, zipfile\n"
        "class Pipe:\n"
        "    def __init__(self, f): self.f = f\n"
        "    def write(self, b): return self.f.write(b)\n"
        "    def flush(self): self.f.flush()\n"
        "with open(sys.argv[1], 'wb') as raw:\n"
        "    with zipfile.ZipFile(Pipe(raw), 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "        for i in range(3):\n"
        "            with z.open('part%d.xml' % i, 'w', force_zip64=True) as f:\n"
        "                f.write(b'<x/>' * 50)\n"
        "with zipfile.ZipFile(sys.argv[2], 'w') as z:\n"
        "    for i in range(65536):\n"
        "        z.writestr('f%d' % i, '')\n";
    ASSERT_EQ(test::runPython(program, test::shellQuote(streamed) + " " + test::shellQuote(many)), 0);

    std::string before = test::readFile(streamed);
    ASSERT_TRUE(store(streamed, {{"part1.xml", "<new/>"}}).ok());
    expectCopiedExactly(before, test::readFile(streamed), {1});
    expectStrictReadersAccept(streamed);

    ASSERT_TRUE(store(many, {{"f5", "five"}, {"added", "one more"}}).ok());
    ZipDirectory d = readDir(test::readFile(many));
    EXPECT_TRUE(d.zip64);
    ASSERT_EQ(d.entries.size(), 65537u);
    EXPECT_EQ(d.entries[5].rawName, "f5");
    EXPECT_EQ(d.entries[65536].rawName, "added");
    EXPECT_EQ(test::runPython("import sys, zipfile\n"
                              "z = zipfile.ZipFile(sys.argv[1])\n"
                              "assert len(z.infolist()) == 65537\n"
                              "assert z.read('f5') == b'five' and z.read('added') == b'one more'\n",
                              test::shellQuote(many)),
              0);
}

TEST(ZipStore, FailureAtEveryWriteStepLeavesTheOriginal) {
    test::TempDir dir;
    std::string path = dir.copyData("lo_ascii.xlsx", "Book.xlsx");
    const std::string original = test::readFile(path);
    int n = 1;
    for (;; ++n) {
        SCOPED_TRACE(n);
        platform::faults::failAt(n);
        auto st = store(path, {{"docProps\\core.xml", "<c/>"}, {"docProps\\app.xml", "<a/>"}});
        platform::faults::reset();
        if (st.ok())
            break;
        EXPECT_EQ(test::readFile(path), original);
        EXPECT_TRUE(noTemporariesBeside(path));
        ASSERT_LT(n, 100);
    }
    EXPECT_GE(n, 4);  // create, write, sync and rename at least
    EXPECT_NE(test::readFile(path), original);
    EXPECT_TRUE(noTemporariesBeside(path));

    // A full disk says so.
    std::string again = test::readFile(path);
    platform::faults::failFrom(2, ErrorCode::DiskFull);
    auto st = store(path, {{"docProps\\core.xml", "<c2/>"}});
    platform::faults::reset();
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.error().code, ErrorCode::DiskFull);
    EXPECT_TRUE(st.error().message.starts_with("Not enough room to write archive"));
    EXPECT_EQ(test::readFile(path), again);
}

TEST(ZipStore, LargeEntriesAreCopiedExactlyAndFailuresLeaveNothing) {
    // Entries large enough to be copied by the system rather than through
    // the buffer.
    std::string noise(600 * 1024, '\0');
    std::uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 24);
    }
    BuildEntry described;
    described.name = "xl/media/described.bin";
    described.data = noise.substr(0, 300 * 1024);
    described.method = kMethodStored;
    described.descriptor = true;
    ZipBuilder zb;
    zb.add("xl/media/image.bin", noise, kMethodStored).add(described).add("docProps/core.xml", "<old/>");
    test::TempDir dir;
    std::string path = dir.file("big.xlsx");
    const std::string before = zb.build();
    test::writeFile(path, before);
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        platform::faults::failAt(n);
        auto st = store(path, {{"docProps/core.xml", "<new/>"}});
        platform::faults::reset();
        if (st.ok())
            break;
        EXPECT_EQ(test::readFile(path), before);
        EXPECT_TRUE(noTemporariesBeside(path));
        ASSERT_LT(n, 100);
    }
    expectCopiedExactly(before, test::readFile(path), {2});
    expectStrictReadersAccept(path);
}

TEST(ZipArchiveComponent, KeptOpenArchiveServesEveryStepWithOneOpen) {
    test::TempDir dir;
    std::string path = dir.copyData("crafted_plain.xlsx", "Book.xlsx");
    ZipArchive zip;
    zip.setZipName(path);
    ASSERT_TRUE(zip.keepOpen(platform::OpenMode::ReadDenyWrite).ok());
    ASSERT_TRUE(zip.readDirectory().ok());
    EXPECT_TRUE(zip.extractAt(8).ok());
    // Kept open for reading, the archive can't be rewritten...
    EXPECT_FALSE(zip.storeFromStreams({{"docProps/core.xml", "<c/>"}}).ok());
    // ...kept open exclusively, no other program may open it meanwhile.
    ASSERT_TRUE(zip.keepOpen(platform::OpenMode::ReadWriteExclusive).ok());
    EXPECT_EQ(platform::File::open(path, platform::OpenMode::ReadDenyWrite).error().code, ErrorCode::InUse);
    EXPECT_TRUE(zip.extractToStream("docProps/app.xml").ok());
    ASSERT_TRUE(zip.storeFromStreams({{"docProps/core.xml", "<c/>"}}).ok());
    // The store closed it.
    EXPECT_TRUE(platform::File::open(path, platform::OpenMode::ReadWriteExclusive).ok());
    EXPECT_EQ(*zip.extractToStream("docProps\\core.xml"), "<c/>");
}
