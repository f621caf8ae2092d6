// Reading archives: the directory, names, dates, ZIP64, extraction and the
// handling of damaged or hostile input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include "support/testsupport.h"
#include "zip/archive.h"
#include "zip/directory.h"
#include "zip/extract.h"
#include "zip/messages.h"
#include "zip_builder.h"
#include "external_tools.h"

using namespace qv;
using namespace qv::zip;
using qv::test::BuildEntry;
using qv::test::ZipBuilder;

namespace {

ZipDirectory readOk(const std::string& bytes) {
    MemorySource src(bytes);
    auto dir = ReadDirectory(src);
    EXPECT_TRUE(dir.ok()) << (dir.ok() ? "" : dir.error().message);
    return dir.ok() ? *dir : ZipDirectory{};
}

Result<std::string> extract(const std::string& bytes, std::string_view name) {
    MemorySource src(bytes);
    auto dir = ReadDirectory(src);
    if (!dir)
        return dir.error();
    const ZipEntry* e = FindEntry(*dir, name);
    if (!e)
        return Error(ErrorCode::NotFound, "no entry");
    return ExtractEntry(src, *e);
}

std::vector<std::string> namesOf(const ZipDirectory& dir) {
    std::vector<std::string> names;
    for (const ZipEntry& e : dir.entries)
        names.push_back(e.name);
    return names;
}

ErrorCode codeOf(const Result<std::string>& r) { return r.ok() ? ErrorCode::Internal : r.error().code; }

// The error of reading the directory (Internal when it reads).
ErrorCode readCode(const std::string& bytes) {
    MemorySource src(bytes);
    auto d = ReadDirectory(src);
    return d.ok() ? ErrorCode::Internal : d.error().code;
}

std::string fixture(const char* name) { return test::readFile(test::dataPath(name)); }

}  // namespace

// ---------------------------------------------------------------------------
// The packages of the fixture corpus

TEST(ZipFixtures, CraftedPackageNamesSplitIntoDirectoryAndFileName) {
    ZipDirectory dir = readOk(fixture("crafted_plain.xlsx"));
    ASSERT_EQ(dir.entries.size(), 10u);
    const ZipEntry& rels = dir.entries[7];
    EXPECT_EQ(rels.name, "_rels\\.rels");
    EXPECT_EQ(rels.directory, "_rels\\");
    EXPECT_EQ(rels.fileName, ".rels");
    EXPECT_EQ(rels.rawName, "_rels/.rels");
    EXPECT_EQ(dir.entries[0].directory, "");
    EXPECT_EQ(dir.entries[0].fileName, "[Content_Types].xml");
    EXPECT_EQ(dir.entries[1].directory, "xl\\_rels\\");
}

TEST(ZipFixtures, BackslashNamesReadLikeSlashNames) {
    ZipDirectory slash = readOk(fixture("crafted_plain.xlsx"));
    ZipDirectory back = readOk(fixture("zip_backslash_names.xlsx"));
    EXPECT_EQ(namesOf(back), namesOf(slash));
    EXPECT_EQ(back.entries[8].rawName, "docProps\\core.xml");
    auto a = extract(fixture("zip_backslash_names.xlsx"), "docProps/core.xml");
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(*a, *extract(fixture("crafted_plain.xlsx"), "docProps\\core.xml"));
}

TEST(ZipFixtures, MaximalCommentStillFindsTheEndRecord) {
    std::string bytes = fixture("zip_comment_65535.xlsx");
    ZipDirectory dir = readOk(bytes);
    EXPECT_EQ(dir.entries.size(), 10u);
    EXPECT_EQ(dir.comment.size(), 65535u);
    EXPECT_EQ(dir.endPosition, bytes.size() - 65557);
    EXPECT_TRUE(extract(bytes, "docProps\\app.xml").ok());
}

TEST(ZipFixtures, EveryEntryOfEveryPackageExtractsWithItsCrc) {
    for (const char* name : {"crafted_plain.xlsx", "lo_ascii.xlsx", "lo_japanese.xlsx", "exceljs_ascii.xlsx",
                             "exceljs_nonsjis.xlsx", "sheetjs_japanese.xlsx", "zip_data_descriptor.xlsx",
                             "zip_stored_entries.xlsx", "zip_comment_65535.xlsx", "zip_backslash_names.xlsx"}) {
        SCOPED_TRACE(name);
        std::string bytes = fixture(name);
        MemorySource src(bytes);
        ZipDirectory dir = readOk(bytes);
        EXPECT_FALSE(dir.rebuilt);
        for (const ZipEntry& e : dir.entries) {
            auto data = ExtractEntry(src, e);
            ASSERT_TRUE(data.ok()) << e.name << ": " << data.error().message;
            EXPECT_EQ(data->size(), e.uncompressedSize);
        }
    }
}

TEST(ZipFixtures, WriterSpecificLayouts) {
    // LibreOffice: descriptors and the UTF-8 flag on every entry.
    ZipDirectory lo = readOk(fixture("lo_ascii.xlsx"));
    ASSERT_EQ(lo.entries.size(), 10u);
    for (const ZipEntry& e : lo.entries)
        EXPECT_EQ(e.header.flags, 0x0808);
    // exceljs: folder entries have no file name and are never matched.
    ZipDirectory ej = readOk(fixture("exceljs_ascii.xlsx"));
    EXPECT_EQ(ej.entries[1].name, "_rels\\");
    EXPECT_EQ(ej.entries[1].fileName, "");
    EXPECT_EQ(FindEntry(ej, "_rels\\"), nullptr);
    // Stored entries come out byte for byte.
    std::string stored = fixture("zip_stored_entries.xlsx");
    ZipDirectory st = readOk(stored);
    const ZipEntry* core = FindEntry(st, "docProps\\core.xml");
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(core->header.method, kMethodStored);
    auto data = extract(stored, "docProps\\core.xml");
    ASSERT_TRUE(data.ok());
    EXPECT_EQ(*data, stored.substr(core->localHeaderOffset + 30 + core->rawName.size(), core->compressedSize));
}

TEST(ZipFixtures, MethodTwelveIsAnUnknownMethodAndOtherEntriesStillExtract) {
    std::string bytes = fixture("zip_method12_core.xlsx");
    auto core = extract(bytes, "docProps\\core.xml");
    ASSERT_FALSE(core.ok());
    EXPECT_EQ(core.error().code, ErrorCode::UnsupportedMethod);
    EXPECT_EQ(core.error().message, "Unknown Compression Method");
    EXPECT_TRUE(extract(bytes, "docProps\\app.xml").ok());
}

TEST(ZipFixtures, EmptyFileIsAnEmptyArchiveAndTextIsNotAZip) {
    EXPECT_TRUE(readOk("").entries.empty());
    std::string notZip = fixture("not_a_zip.xlsx");
    MemorySource text(notZip);
    auto dir = ReadDirectory(text);
    ASSERT_FALSE(dir.ok());
    EXPECT_EQ(dir.error().code, ErrorCode::NotAZip);
    EXPECT_TRUE(dir.error().message.starts_with("Not a valid zip file!"));
}

// ---------------------------------------------------------------------------
// Archives made by other tools, at run time

TEST(ZipOtherWriters, InfoZipArchiveWithFoldersStoredEntriesAndComment) {
    if (!test::haveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    test::TempDir dir;
    std::string text(5000, 'a');
    for (int i = 0; i < 5000; ++i)
        text[static_cast<std::size_t>(i)] = static_cast<char>('a' + i % 23);
    ::mkdir(dir.file("sub").c_str(), 0755);
    test::writeFile(dir.file("sub/text.txt"), text);
    test::writeFile(dir.file("stored.bin"), std::string("\x01\x02\x03", 3));
    std::string zipPath = dir.file("made.zip");
    ASSERT_EQ(test::runQuiet("cd " + test::shellQuote(dir.path()) + " && zip -q -r made.zip sub && zip -q -0 made.zip stored.bin && echo 'the comment' | zip -q -z made.zip"), 0);
    std::string bytes = test::readFile(zipPath);
    ZipDirectory z = readOk(bytes);
    ASSERT_EQ(z.entries.size(), 3u);
    EXPECT_EQ(z.entries[0].name, "sub\\");
    EXPECT_EQ(z.entries[1].name, "sub\\text.txt");
    EXPECT_EQ(z.comment, "the comment");
    EXPECT_EQ(*extract(bytes, "SUB/TEXT.TXT"), text);
    EXPECT_EQ(*extract(bytes, "stored.bin"), std::string("\x01\x02\x03", 3));
}

TEST(ZipOtherWriters, PythonArchiveWithUtf8NamesStoredEntriesAndComment) {
    test::TempDir dir;
    ASSERT_EQ(test::runPython("import sys, zipfile\n"
                              "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                              "    z.writestr('docProps/core.xml', 'core ' * 300)\n"
                              "    z.writestr('\\u540d\\u524d/\\u65e5\\u672c.txt', 'japanese name')\n"
                              "    z.writestr('stored.txt', 'kept as is', compress_type=zipfile.ZIP_STORED)\n"
                              "    z.comment = b'python comment'\n",
                              test::shellQuote(dir.file("plain.zip"))),
              0);
    std::string plain = test::readFile(dir.file("plain.zip"));
    ZipDirectory p = readOk(plain);
    ASSERT_EQ(p.entries.size(), 3u);
    EXPECT_EQ(p.entries[1].name, "名前\\日本.txt");
    EXPECT_EQ(p.entries[1].directory, "名前\\");
    EXPECT_EQ(p.comment, "python comment");
    EXPECT_EQ(*extract(plain, "名前\\日本.txt"), "japanese name");
    EXPECT_EQ(*extract(plain, "stored.txt"), "kept as is");
}

// ---------------------------------------------------------------------------
// ZIP64

TEST(ZipZip64, EndRecordsExtraFieldsAnd24ByteDescriptorsAreRead) {
    BuildEntry a;
    a.name = "a.xml";
    a.data = std::string(3000, 'a');
    a.zip64 = true;
    BuildEntry b;
    b.name = "b.xml";
    b.data = "bee";
    b.zip64 = true;
    b.descriptor = true;
    ZipBuilder zb;
    zb.add(a).add(b).zip64End();
    std::string bytes = zb.build();
    ZipDirectory dir = readOk(bytes);
    EXPECT_TRUE(dir.zip64);
    ASSERT_EQ(dir.entries.size(), 2u);
    EXPECT_EQ(dir.entries[1].localHeaderOffset, zb.offsets()[1]);
    EXPECT_EQ(dir.entries[0].uncompressedSize, 3000u);
    EXPECT_EQ(*extract(bytes, "a.xml"), a.data);
    EXPECT_EQ(*extract(bytes, "b.xml"), "bee");
}

TEST(ZipZip64, SaturatedFieldsWithoutZip64RecordsAreRejected) {
    ZipBuilder zb;
    zb.add("a", "a").zip64End();
    std::string bytes = zb.build();
    // Cut the ZIP64 end record and locator out: the saturated end record alone
    // says nothing about where the central directory is.
    std::size_t endPos = bytes.size() - 22;
    std::string cut = bytes.substr(0, endPos - 76) + bytes.substr(endPos);
    MemorySource src(cut);
    auto dir = ReadDirectory(src);
    ASSERT_FALSE(dir.ok());
    EXPECT_EQ(dir.error().code, ErrorCode::NotAZip);
}

// ---------------------------------------------------------------------------
// The end-record search

TEST(ZipEndRecord, SignatureInsideTheCommentIsPassedOver) {
    // A comment that holds a complete fake end record, pointing nowhere.
    ByteWriter fake;
    EndOfCentralDirectory e;
    e.totalEntries = e.entriesOnDisk = 1;
    e.centralDirectorySize = 46;
    e.centralDirectoryOffset = 0x7FFFFF00;
    e.commentLength = 0;
    e.write(fake);
    ZipBuilder zb;
    zb.add("x.txt", "x").comment("before " + fake.buffer());
    std::string bytes = zb.build();
    ZipDirectory dir = readOk(bytes);
    ASSERT_EQ(dir.entries.size(), 1u);
    EXPECT_EQ(dir.comment, "before " + fake.buffer());
}

TEST(ZipEndRecord, CandidatesThatDoNotFitTheFileAreRejected) {
    ZipBuilder zb;
    zb.add("x.txt", "xyz");
    std::string good = zb.build();
    std::size_t end = good.size() - 22;
    // Bytes after the end record: its comment does not end at the end of file.
    EXPECT_EQ(readCode(good + "junk"), ErrorCode::NotAZip);
    // A central directory beyond the end record.
    std::string outside = good;
    storeU32(&outside[end + 16], static_cast<std::uint32_t>(good.size()));
    EXPECT_EQ(readCode(outside), ErrorCode::NotAZip);
    // A size that runs past the end record.
    std::string tooBig = good;
    storeU32(&tooBig[end + 12], 0x10000);
    EXPECT_EQ(readCode(tooBig), ErrorCode::NotAZip);
    // An absurd entry count for the directory's size.
    std::string absurd = good;
    storeU16(&absurd[end + 8], 0xFFFE);
    storeU16(&absurd[end + 10], 0xFFFE);
    EXPECT_EQ(readCode(absurd), ErrorCode::NotAZip);
    // Too short to hold any end record.
    EXPECT_EQ(readCode(good.substr(0, 21)), ErrorCode::NotAZip);
    EXPECT_EQ(readCode(std::string(21, 'P')), ErrorCode::NotAZip);
}

// ---------------------------------------------------------------------------
// Names and dates

TEST(ZipNames, Utf8FlagCodePage437AndUnicodePathField) {
    BuildEntry utf8;
    utf8.name = "docs/\xE6\x97\xA5\xE6\x9C\xAC.xml";  // 日本
    utf8.flags = kFlagUtf8Name;
    utf8.data = "1";
    BuildEntry oem;
    oem.name = "M\x81ller.txt";  // ü in code page 437
    oem.data = "2";
    BuildEntry unicodePath;
    unicodePath.name = "caf\x82.txt";  // é in code page 437...
    ByteWriter up;
    up.u16(kUnicodePathExtraId);
    std::string utf8Name = "caf\xC3\xA9-unicode.txt";
    up.u16(static_cast<std::uint16_t>(5 + utf8Name.size()));
    up.u8(1);
    up.u32(Crc32(unicodePath.name));
    up.bytes(utf8Name);
    unicodePath.centralExtra = up.buffer();  // ...named in UTF-8 by its extra field
    unicodePath.data = "3";
    ZipBuilder zb;
    zb.add(utf8).add(oem).add(unicodePath);
    std::string bytes = zb.build();
    ZipDirectory dir = readOk(bytes);
    ASSERT_EQ(dir.entries.size(), 3u);
    EXPECT_EQ(dir.entries[0].name, "docs\\日本.xml");
    EXPECT_EQ(dir.entries[0].fileName, "日本.xml");
    EXPECT_EQ(dir.entries[1].name, "Müller.txt");
    EXPECT_EQ(dir.entries[1].rawName, "M\x81ller.txt");
    EXPECT_EQ(dir.entries[2].name, "café-unicode.txt");
    EXPECT_EQ(*extract(bytes, "DOCS/日本.XML"), "1");
}

TEST(ZipNames, MaximalNameLengthIsRead) {
    std::string longName(0xFFFF, 'n');
    longName[100] = '/';
    ZipBuilder zb;
    zb.add(longName, "long");
    std::string bytes = zb.build();
    ZipDirectory dir = readOk(bytes);
    ASSERT_EQ(dir.entries.size(), 1u);
    EXPECT_EQ(dir.entries[0].directory.size(), 101u);
    EXPECT_EQ(*extract(bytes, longName), "long");
}

TEST(ZipDates, OutOfRangeFieldsAreClamped) {
    // hour 31, minute 63, seconds 62; year 2000, month 15, day 0.
    std::uint32_t time = (31u << 11) | (63u << 5) | 31u;
    std::uint32_t date = (20u << 9) | (15u << 5) | 0u;
    DosDateTime t = decodeDosDateTime((date << 16) | time);
    EXPECT_EQ(std::vector<unsigned>({t.year, t.month, t.day, t.hour, t.minute, t.second}),
              std::vector<unsigned>({2000, 12, 1, 23, 59, 58}));
    DosDateTime back = decodeDosDateTime(encodeDosDateTime({2010, 4, 1, 12, 30, 44}));
    EXPECT_EQ(std::vector<unsigned>({back.year, back.month, back.day, back.hour, back.minute, back.second}),
              std::vector<unsigned>({2010, 4, 1, 12, 30, 44}));
}

// ---------------------------------------------------------------------------
// Extraction checks

TEST(ZipExtract, WrongCrcAndWrongSizesAreErrors) {
    BuildEntry badCrc;
    badCrc.name = "crc";
    badCrc.data = "payload";
    badCrc.crc = 0x12345678;
    BuildEntry longer;  // the data is longer than the stated size
    longer.name = "longer";
    longer.data = "0123456789";
    longer.statedSize = 4;
    BuildEntry shorter;
    shorter.name = "shorter";
    shorter.data = "0123456789";
    shorter.statedSize = 40;
    BuildEntry storedMismatch;
    storedMismatch.name = "stored";
    storedMismatch.method = kMethodStored;
    storedMismatch.data = "abc";
    storedMismatch.statedSize = 2;
    ZipBuilder zb;
    zb.add(badCrc).add(longer).add(shorter).add(storedMismatch);
    std::string bytes = zb.build();
    auto crc = extract(bytes, "crc");
    EXPECT_EQ(codeOf(crc), ErrorCode::CrcMismatch);
    auto lng = extract(bytes, "longer");
    EXPECT_EQ(codeOf(lng), ErrorCode::SizeMismatch);
    EXPECT_EQ(lng.error().message, kMsgLargerThanUncompressed);
    EXPECT_EQ(codeOf(extract(bytes, "shorter")), ErrorCode::SizeMismatch);
    EXPECT_EQ(codeOf(extract(bytes, "stored")), ErrorCode::SizeMismatch);
}

TEST(ZipExtract, CorruptDeflateAndUnsupportedEntriesAreErrors) {
    BuildEntry corrupt;
    corrupt.name = "corrupt";
    corrupt.data = "hello hello hello";
    corrupt.compressed = std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6);  // an invalid block type
    BuildEntry truncated;
    truncated.name = "truncated";
    truncated.data = std::string(2000, 'q') + "tail";
    std::string full = DeflateRaw(truncated.data, 6)->bytes;
    truncated.compressed = full.substr(0, full.size() - 3);
    BuildEntry encrypted;
    encrypted.name = "secret";
    encrypted.data = "x";
    encrypted.flags = kFlagEncrypted;
    ZipBuilder zb;
    zb.add(corrupt).add(truncated).add(encrypted).add("bzip", "x", 12);
    std::string bytes = zb.build();
    EXPECT_EQ(codeOf(extract(bytes, "corrupt")), ErrorCode::BadZip);
    EXPECT_EQ(codeOf(extract(bytes, "truncated")), ErrorCode::BadZip);
    EXPECT_EQ(codeOf(extract(bytes, "secret")), ErrorCode::Unsupported);
    EXPECT_EQ(codeOf(extract(bytes, "bzip")), ErrorCode::UnsupportedMethod);
}

TEST(ZipExtract, SizeAndRatioLimitsRefuseBombs) {
    BuildEntry huge;  // claims 300 MiB
    huge.name = "huge";
    huge.data = "x";
    huge.method = kMethodStored;
    huge.statedSize = 300u << 20;
    BuildEntry bomb;  // 4 MiB of zeros deflate to about 4 KiB
    bomb.name = "bomb";
    bomb.data = std::string(4u << 20, '\0');
    BuildEntry fine;  // highly repetitive but within the ratio
    fine.name = "fine";
    fine.data = std::string(100000, ' ');
    ZipBuilder zb;
    zb.add(huge).add(bomb).add(fine);
    std::string bytes = zb.build();
    EXPECT_EQ(codeOf(extract(bytes, "huge")), ErrorCode::TooLarge);
    EXPECT_EQ(codeOf(extract(bytes, "bomb")), ErrorCode::TooLarge);
    EXPECT_TRUE(extract(bytes, "fine").ok());
}

// ---------------------------------------------------------------------------
// Damaged directories

TEST(ZipDamage, UnreadableCentralHeaderRebuildsFromLocalHeaders) {
    BuildEntry described;
    described.name = "described.xml";
    described.data = std::string(500, 'd');
    described.descriptor = true;
    ZipBuilder zb;
    zb.add("first.txt", "first").add(described).add("last.txt", "last", kMethodStored);
    std::string bytes = zb.build();
    std::size_t cd = loadU32(bytes.data() + bytes.size() - 6);
    std::size_t second = cd + 46 + std::string("first.txt").size();
    bytes[second] = 'X';  // the second central header's signature
    ZipDirectory dir = readOk(bytes);
    EXPECT_TRUE(dir.rebuilt);
    ASSERT_EQ(dir.entries.size(), 3u);
    EXPECT_EQ(*extract(bytes, "described.xml"), described.data);
    EXPECT_EQ(*extract(bytes, "last.txt"), "last");
}

TEST(ZipDamage, OverlappingAndOutOfRangeEntriesAreRefused) {
    ZipBuilder zb;
    zb.add("a.txt", std::string(100, 'a')).add("b.txt", std::string(100, 'b'));
    std::string good = zb.build();
    std::size_t cd = loadU32(good.data() + good.size() - 6);
    std::size_t second = cd + 46 + 5;
    std::string overlap = good;  // both headers name the first local header
    storeU32(&overlap[second + 42], 0);
    EXPECT_EQ(readCode(overlap), ErrorCode::BadZip);
    std::string past = good;  // a local header inside the central directory
    storeU32(&past[second + 42], static_cast<std::uint32_t>(cd));
    EXPECT_EQ(readCode(past), ErrorCode::BadZip);
    std::string bigData = good;  // compressed data running into the next entry
    storeU32(&bigData[cd + 20], 5000);
    EXPECT_EQ(readCode(bigData), ErrorCode::BadZip);
}

TEST(ZipDamage, EveryTruncationAndByteFlipFailsCleanly) {
    BuildEntry described;
    described.name = "d.xml";
    described.data = "<d>described</d>";
    described.descriptor = true;
    ZipBuilder zb;
    zb.add("a.xml", "<a>some text some text</a>").add(described).add("s.bin", "stored", kMethodStored).comment("c");
    std::string good = zb.build();
    auto exercise = [](const std::string& bytes) {
        MemorySource src(bytes);
        auto dir = ReadDirectory(src);
        if (!dir)
            return;
        for (const ZipEntry& e : dir->entries)
            (void)ExtractEntry(src, e);
    };
    for (std::size_t n = 0; n < good.size(); ++n)
        exercise(good.substr(0, n));
    for (std::size_t i = 0; i < good.size(); ++i) {
        for (unsigned char x : {0x01, 0x80, 0xFF}) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ x);
            exercise(bad);
        }
    }
    SUCCEED();
}

// ---------------------------------------------------------------------------
// The archive component

TEST(ZipArchiveComponent, IndexesNamesInAnyCaseAndDirectoryReuse) {
    test::TempDir dir;
    std::string path = dir.copyData("crafted_plain.xlsx", "Book.xlsx");
    ZipArchive zip;
    zip.setZipName(path);
    ASSERT_TRUE(zip.readDirectory().ok());
    EXPECT_EQ(zip.entryCount(), 10u);
    EXPECT_EQ(*zip.entryFileName(7), ".rels");
    EXPECT_EQ(*zip.entryPath(7), "_rels\\");
    auto bad = zip.entryFileName(10);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().message, "Index 10 is out of range");
    EXPECT_EQ(zip.entryPath(-1).error().message, "Index -1 is out of range");
    EXPECT_TRUE(zip.extractToStream("DOCPROPS\\CORE.XML").ok());
    EXPECT_EQ(zip.extractToStream("docProps\\*.xml").error().code, ErrorCode::NotFound);  // no wildcards
    EXPECT_EQ(zip.extractToStream("  ").error().code, ErrorCode::InvalidArgument);

    // Same size and last-write time: the loaded directory is used again.
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    std::string other = fixture("zip_backslash_names.xlsx");
    ASSERT_EQ(other.size(), static_cast<std::size_t>(st.st_size));
    test::writeFile(path, other);
    struct timespec keep[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), keep, 0), 0);
    zip.setZipName(dir.file("BOOK.XLSX"));  // another spelling keeps it...
    ASSERT_NE(zip.directory(), nullptr);
    zip.setZipName(path);
    ASSERT_TRUE(zip.readDirectory().ok());
    EXPECT_EQ(zip.directory()->entries[8].rawName, "docProps/core.xml");
    // A new last-write time makes it read again.
    struct timespec later[2] = {st.st_atim, {st.st_mtim.tv_sec + 10, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    ASSERT_TRUE(zip.readDirectory().ok());
    EXPECT_EQ(zip.directory()->entries[8].rawName, "docProps\\core.xml");
    // Another name drops it; a missing file fails and leaves none loaded.
    zip.setZipName(dir.file("missing.xlsx"));
    EXPECT_EQ(zip.directory(), nullptr);
    EXPECT_EQ(zip.readDirectory().error().code, ErrorCode::NotFound);
    EXPECT_EQ(zip.entryCount(), 0u);
}
