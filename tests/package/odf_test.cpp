// OpenDocument files: reading meta.xml as LibreOffice wrote it, writing
// each row and user-defined type back in the form the file used, and the
// refusals short of writing.
#include <gtest/gtest.h>

#include "../zip/zip_builder.h"
#include "props/backend.h"
#include "props/datetime.h"
#include "props/odf/flat.h"
#include "props/odf/meta.h"
#include "props/odf/odf_props.h"
#include "../cfb/manifest.h"
#include "support/testsupport.h"
#include "zip/directory.h"
#include "zip/extract.h"

using namespace qv;
using namespace qv::test;

namespace {

const std::string kMetaOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "office:version=\"1.3\"><office:meta>";
const std::string kMetaClose = "</office:meta></office:document-meta>";
const std::string kManifest =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest "
    "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.3\">\n"
    " <manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>\n"
    " <manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>\n"
    "</manifest:manifest>";

struct Odf {
    std::string meta = kMetaOpen + kMetaClose;  // left out when empty
    std::string manifest = kManifest;
    std::string signatures;                     // META-INF/documentsignatures.xml when not empty
};

Odf withMeta(std::string meta) {
    Odf o;
    o.meta = std::move(meta);
    return o;
}

std::string build(const Odf& o) {
    ZipBuilder zb;
    zb.add("mimetype", "application/vnd.oasis.opendocument.text", zip::kMethodStored);
    zb.add("content.xml", "<office:document-content/>");
    if (!o.meta.empty())
        zb.add("meta.xml", o.meta);
    zb.add("META-INF/manifest.xml", o.manifest);
    if (!o.signatures.empty())
        zb.add("META-INF/documentsignatures.xml", o.signatures);
    return zb.build();
}

// Every entry as name -> (method, stored bytes), in archive order.
std::vector<std::pair<std::string, std::string>> entries(const std::string& archive) {
    zip::MemorySource src(archive);
    auto dir = zip::ReadDirectory(src);
    std::vector<std::pair<std::string, std::string>> out;
    if (!dir.ok())
        return out;
    for (const zip::ZipEntry& e : dir->entries) {
        auto data = zip::ExtractEntry(src, e);
        out.emplace_back(e.name, std::to_string(e.header.method) + ":" + (data.ok() ? *data : "<damaged>"));
    }
    return out;
}

std::string entry(const std::string& archive, std::string_view name) {
    for (auto& [n, data] : entries(archive))
        if (n == name)
            return data.substr(data.find(':') + 1);
    return "<missing>";
}

FileTime at(const char* iso) { return *ParseIso8601(iso); }

MetadataEdits setRow(int row, PropertyValue v) {
    MetadataEdits e;
    e[row] = PropertyEdit::set(std::move(v));
    return e;
}

}  // namespace

// The fixtures LibreOffice wrote read as their manifest says, in any zone
// (the dates are local wall-clock times).
TEST(OdfRead, LibreOfficeFilesOfEachKind) {
    ScopedTimeZone tz("Asia/Tokyo");
    Json manifest = parseJson(readFile(dataPath("manifest.json")));
    const char* keys[kRowCount] = {"title", "subject", "author", "keywords", "comments", "category", "revision",
                                   "last_saved_by", "manager", "company", "created_local", "modified_local",
                                   "edit_minutes", "last_printed_local"};
    for (const char* name : {"lo_spreadsheet.ods", "lo_text.odt", "lo_presentation.odp"}) {
        SCOPED_TRACE(name);
        auto backend = backendFor(dataPath(name));
        ASSERT_TRUE(backend.ok());
        EXPECT_EQ((*backend)->kind(), ContainerKind::OpenDocument);
        auto m = (*backend)->read(dataPath(name));
        ASSERT_TRUE(m.ok()) << m.error().message;
        const Json& props = manifest["files"][name]["expected"]["props"];
        for (int row = 0; row < kRowCount; ++row) {
            const Json& want = props[keys[row]];
            const PropertyValue& got = (*m)[row].value;
            if (isDateRow(row))
                EXPECT_EQ(std::get<Instant>(got).utc, at(want.string.c_str())) << keys[row];
            else if (row == kRowEditTime)
                EXPECT_EQ(MinutesFromDuration(std::get<Duration>(got).ticks), std::to_string(static_cast<int>(want.number)));
            else if (row == kRowRevision)
                EXPECT_EQ(std::to_string(std::get<std::int64_t>(got)), want.string);
            else
                EXPECT_EQ(std::get<std::string>(got), want.string) << keys[row];
        }
        // Category, manager and company are rows, not listed again.
        std::vector<std::string> names;
        for (const CustomProperty& p : m->custom)
            names.push_back(p.name);
        EXPECT_EQ(names, (std::vector<std::string>{"Amount", "Approved", "Client", "Due", "Spent"}));
        EXPECT_EQ(m->custom[0].value, CustomValue(12.5));
        EXPECT_EQ(m->custom[1].value, CustomValue(true));
        EXPECT_EQ(m->custom[3].value, CustomValue(Instant{at("2023-01-02T03:04:05")}));
        EXPECT_FALSE(m->custom[4].editable());
    }
}

TEST(OdfValues, DurationsAndDateForms) {
    struct D { const char* text; std::optional<std::uint64_t> seconds; const char* written; };
    for (const D& d : std::initializer_list<D>{{"PT2H5M30S", 7530, "PT2H5M30S"}, {"PT00H00M56S", 56, "PT56S"},
                                               {"P1DT1H", 90000, "P1DT1H"}, {"P0Y0M0DT0H3M42S", 222, "PT3M42S"},
                                               {"PT0S", 0, "PT0S"}, {"P1Y", std::nullopt, ""}, {"PT", std::nullopt, ""},
                                               {"2H", std::nullopt, ""}, {"PT1.5M", std::nullopt, ""}}) {
        auto ticks = odf::ParseDuration(d.text);
        ASSERT_EQ(ticks.has_value(), d.seconds.has_value()) << d.text;
        if (ticks) {
            EXPECT_EQ(*ticks, *d.seconds * 10'000'000) << d.text;
            EXPECT_EQ(odf::FormatDuration(*ticks), d.written);
        }
    }
    EXPECT_EQ(odf::FormatDuration(15'000'000), "PT1.5S");

    ScopedTimeZone tz("Asia/Tokyo");
    const FileTime t = at("2020-01-02T03:04:05Z");
    struct F { const char* stored; const char* written; };
    for (const F& f : std::initializer_list<F>{{"2019-05-05T10:00:00", "2020-01-02T12:04:05"},
                                               {"2019-05-05T10:00:00.123456789", "2020-01-02T12:04:05"},
                                               {"2019-05-05T10:00:00Z", "2020-01-02T03:04:05Z"},
                                               {"2019-05-05T10:00:00-05:00", "2020-01-01T22:04:05-05:00"},
                                               {"2019-05-05", "2020-01-02T12:04:05"}})
        EXPECT_EQ(odf::FormatDate(t, odf::DateFormOf(f.stored)), f.written) << f.stored;
}

// Each edit on a small file: what meta.xml holds afterwards, and every
// other entry as it was, "mimetype" first and stored.
TEST(OdfWrite, EachRowAndTypeInTheFormTheFileUsed) {
    ScopedTimeZone tz("Asia/Tokyo");
    const std::string stored =
        "<dc:title>Old</dc:title><dc:title>Second</dc:title><meta:keyword>k</meta:keyword>"
        "<meta:creation-date>2001-01-01T00:00:00</meta:creation-date><dc:date>2001-01-01T00:00:00Z</dc:date>"
        "<meta:user-defined meta:name=\"Company\">Old Co</meta:user-defined>"
        "<meta:user-defined meta:name=\"Rate\" meta:value-type=\"percentage\">0.5</meta:user-defined>"
        "<meta:user-defined meta:name=\"Spent\" meta:value-type=\"time\">PT1H</meta:user-defined>";
    struct Case {
        const char* what;
        MetadataEdits edits;
        std::vector<std::string> contains;  // in meta.xml afterwards
        std::vector<std::string> lacks;
    };
    MetadataEdits custom;
    custom.custom = {CustomEdit::set("Rate", 0.25), CustomEdit::set("n", std::int64_t{3}),
                     CustomEdit::set("ok", false), CustomEdit::set("when", Instant{at("2020-01-02T03:04:05Z")}),
                     CustomEdit::set("t", std::string("<x>"))};
    MetadataEdits erase;
    erase[kRowKeywords] = PropertyEdit::erase();
    erase[kRowCompany] = PropertyEdit::erase();
    erase[kRowCreated] = PropertyEdit::erase();
    erase[kRowTitle] = PropertyEdit::erase();
    std::vector<Case> cases = {
        {"title: the first element only", setRow(kRowTitle, std::string("New")),
         {"<dc:title>New</dc:title><dc:title>Second</dc:title>"}, {"<dc:title>Old<"}},
        {"keywords split at \", \"", setRow(kRowKeywords, std::string("a, b,c")),
         {"<meta:keyword>a</meta:keyword><meta:keyword>b,c</meta:keyword>"}, {">k<"}},
        {"a zone-less date stays local", setRow(kRowCreated, Instant{at("2020-01-02T03:04:05Z")}),
         {"<meta:creation-date>2020-01-02T12:04:05</meta:creation-date>"}, {}},
        {"a UTC date stays UTC", setRow(kRowLastSaved, Instant{at("2020-01-02T03:04:05Z")}),
         {"<dc:date>2020-01-02T03:04:05Z</dc:date>"}, {}},
        {"a new date is local", setRow(kRowLastPrinted, Instant{at("2020-01-02T03:04:05Z")}),
         {"<meta:print-date>2020-01-02T12:04:05</meta:print-date>"}, {}},
        {"editing time", setRow(kRowEditTime, Duration{125 * kTicksPerMinute}),
         {"<meta:editing-duration>PT2H5M</meta:editing-duration>"}, {}},
        {"revision", setRow(kRowRevision, std::int64_t{9}), {"<meta:editing-cycles>9</meta:editing-cycles>"}, {}},
        {"company in its user-defined property", setRow(kRowCompany, std::string("New Co")),
         {"meta:name=\"Company\">New Co<"}, {"Old Co"}},
        {"category added under its name", setRow(kRowCategory, std::string("Cat")),
         {"<meta:user-defined meta:name=\"OOXMLCorePropertyCategory\">Cat</meta:user-defined>"}, {}},
        {"user-defined types", custom,
         {"meta:value-type=\"percentage\">0.25<", "meta:name=\"n\" meta:value-type=\"float\">3<",
          "meta:name=\"ok\" meta:value-type=\"boolean\">false<",
          "meta:name=\"when\" meta:value-type=\"date\">2020-01-02T12:04:05<",
          "meta:name=\"t\">&lt;x&gt;<", "PT1H"},
         {}},
        {"erased", erase, {"<dc:title/><dc:title>Second</dc:title>"},
         {"keyword", "Old Co", "creation-date"}},
    };
    TempDir dir;
    const std::string original = build(withMeta(kMetaOpen + stored + kMetaClose));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string f = dir.file("a.odt");
        writeFile(f, original);
        Status st = WriteOdfMetadata(f, c.edits);
        ASSERT_TRUE(st.ok()) << st.error().message;
        std::string after = readFile(f);
        std::string meta = entry(after, "meta.xml");
        for (const std::string& s : c.contains)
            EXPECT_NE(meta.find(s), std::string::npos) << s << "\n" << meta;
        for (const std::string& s : c.lacks)
            EXPECT_EQ(meta.find(s), std::string::npos) << s << "\n" << meta;
        auto was = entries(original), now = entries(after);
        ASSERT_EQ(was.size(), now.size());
        EXPECT_EQ(now[0], was[0]);  // "mimetype", first and stored
        for (std::size_t i = 1; i < was.size(); ++i) {
            if (was[i].first != "meta.xml") {
                EXPECT_EQ(now[i], was[i]) << was[i].first;
            }
        }
        EXPECT_TRUE(ReadOdfMetadata(f).ok());
    }
}

// A file without meta.xml, another prefix, and what is refused before
// anything is written.
TEST(OdfWrite, MissingMetaOtherPrefixesAndRefusals) {
    TempDir dir;
    std::string f = dir.file("a.odt");
    Odf noMeta;
    noMeta.meta.clear();
    writeFile(f, build(noMeta));
    ASSERT_TRUE(ReadOdfMetadata(f).ok());
    ASSERT_TRUE(WriteOdfMetadata(f, setRow(kRowTitle, std::string("T"))).ok());
    std::string after = readFile(f);
    EXPECT_NE(entry(after, "meta.xml").find("<dc:title>T</dc:title>"), std::string::npos);
    EXPECT_NE(entry(after, "META-INF\\manifest.xml")
                  .find("<manifest:file-entry manifest:full-path=\"meta.xml\" manifest:media-type=\"text/xml\"/>\n"),
              std::string::npos);
    EXPECT_EQ(std::get<std::string>((*ReadOdfMetadata(f))[kRowTitle].value), "T");

    // Any prefix bound to the namespaces.
    Odf other = withMeta("<m:document-meta xmlns:m=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
              "xmlns:x=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\"><m:meta><x:initial-creator>A"
              "</x:initial-creator></m:meta></m:document-meta>");
    writeFile(f, build(other));
    EXPECT_EQ(std::get<std::string>((*ReadOdfMetadata(f))[kRowAuthor].value), "A");
    MetadataEdits two = setRow(kRowAuthor, std::string("B"));
    two[kRowRevision] = PropertyEdit::set(std::int64_t{2});
    ASSERT_TRUE(WriteOdfMetadata(f, two).ok());
    EXPECT_NE(entry(readFile(f), "meta.xml").find("<x:initial-creator>B</x:initial-creator><x:editing-cycles>2<"),
              std::string::npos);

    struct Refusal { const char* what; Odf odf; MetadataEdits edits; ErrorCode code; bool readable; };
    Odf encrypted;
    encrypted.manifest = kManifest.substr(0, kManifest.size() - 21) +
                         "<manifest:file-entry manifest:full-path=\"meta.xml\"><manifest:encryption-data/>"
                         "</manifest:file-entry></manifest:manifest>";
    Odf signedMeta, signedContent;
    signedMeta.signatures = "<document-signatures><Signature><Reference URI=\"meta.xml\"/></Signature></document-signatures>";
    signedContent.signatures = "<document-signatures><Signature><Reference URI=\"content.xml\"/></Signature></document-signatures>";
    MetadataEdits company;
    company.custom = {CustomEdit::set("company", std::string("x"))};
    std::vector<Refusal> refusals = {
        {"encrypted", encrypted, setRow(kRowTitle, std::string("T")), ErrorCode::PasswordProtected, false},
        {"signed over meta.xml", signedMeta, setRow(kRowTitle, std::string("T")), ErrorCode::Signed, true},
        {"a date that is text", Odf{}, setRow(kRowCreated, std::string("soon")), ErrorCode::ConversionFailed, true},
        {"a revision below zero", Odf{}, setRow(kRowRevision, std::int64_t{-1}), ErrorCode::ConversionFailed, true},
        {"a user-defined name that holds a row", Odf{}, company, ErrorCode::ConversionFailed, true},
        {"meta.xml not well-formed", withMeta(kMetaOpen), setRow(kRowTitle, std::string("T")), ErrorCode::BadXml, false},
        {"a repeated namespace declaration",
         withMeta("<office:document-meta xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                  "xmlns:m=\"urn:x\" xmlns:m=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\"><office:meta/>"
                  "</office:document-meta>"),
         setRow(kRowRevision, std::int64_t{1}), ErrorCode::BadXml, false},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        const std::string bytes = build(r.odf);
        writeFile(f, bytes);
        EXPECT_EQ(ReadOdfMetadata(f).ok(), r.readable);
        for (bool checkOnly : {true, false}) {
            Status st = WriteOdfMetadata(f, r.edits, {}, checkOnly);
            ASSERT_FALSE(st.ok());
            EXPECT_EQ(st.error().code, r.code) << st.error().message;
        }
        EXPECT_EQ(readFile(f), bytes);
    }
    // The consent to unsign, and a signature over the content alone.
    for (const Odf* o : {&signedMeta, &signedContent}) {
        writeFile(f, build(*o));
        MetadataEdits e = setRow(kRowTitle, std::string("T"));
        e.allowUnsigning = o == &signedMeta;
        EXPECT_TRUE(WriteOdfMetadata(f, e).ok());
    }
}

// Told by content: "mimetype" first and stored is seen in the first bytes;
// one compressed or elsewhere is found in the directory, unless the archive
// has content types.
TEST(OdfKind, ToldByMimetypeWhateverTheName) {
    TempDir dir;
    struct K { const char* what; std::vector<std::pair<std::string, std::uint16_t>> names; ContainerKind kind; };
    for (const K& k : std::initializer_list<K>{
             {"first and stored", {{"mimetype", zip::kMethodStored}, {"meta.xml", 8}}, ContainerKind::OpenDocument},
             {"compressed", {{"mimetype", 8}, {"meta.xml", 8}}, ContainerKind::OpenDocument},
             {"not first", {{"content.xml", 8}, {"mimetype", 0}}, ContainerKind::OpenDocument},
             {"beside content types", {{"docProps/app.xml", 8}, {"mimetype", 0}, {"[Content_Types].xml", 8}},
              ContainerKind::Package}}) {
        ZipBuilder zb;
        for (const auto& [name, method] : k.names)
            zb.add(name, name == "mimetype" ? "application/vnd.oasis.opendocument.spreadsheet" : "<x/>", method);
        const std::string f = dir.file("k.xlsx");
        writeFile(f, zb.build());
        auto b = backendFor(f);
        ASSERT_TRUE(b.ok()) << k.what;
        EXPECT_EQ((*b)->kind(), k.kind) << k.what;
    }
}

// A flat file: office:meta's bytes alone change (a namespace it lacks is
// declared at the end of the root's start tag), also where it has none.
TEST(OdfFlat, OnlyOfficeMetaChanges) {
    ScopedTimeZone tz("UTC");
    const std::string root = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document\n "
                             "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"%s "
                             "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">";
    const std::string body = "\n <office:body><!-- </office:meta> --><x a='1'/></office:body>\n</office:document>\n";
    auto withRoot = [&](const char* decl) {
        std::string r = root;
        r.replace(r.find("%s"), 2, decl);
        return r;
    };
    struct Case { const char* what; std::string before; std::string metaAfter; };
    const char* dcMeta = " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                         "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\"";
    std::vector<Case> cases = {
        {"an office:meta", withRoot(dcMeta) + "\n <office:meta><dc:title>Old</dc:title></office:meta>" + body,
         "<office:meta><dc:title>New</dc:title><meta:editing-cycles>4</meta:editing-cycles></office:meta>"},
        {"none", withRoot(dcMeta) + body,
         "<office:meta><dc:title>New</dc:title><meta:editing-cycles>4</meta:editing-cycles></office:meta>"},
        {"an empty one without the namespaces", withRoot("") + "<office:meta/>" + body,
         "<office:meta><dc:title>New</dc:title><meta:editing-cycles>4</meta:editing-cycles></office:meta>"},
    };
    TempDir dir;
    MetadataEdits edits = setRow(kRowTitle, std::string("New"));
    edits[kRowRevision] = PropertyEdit::set(std::int64_t{4});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string f = dir.file("a.fods");
        writeFile(f, c.before);
        auto backend = backendFor(f);
        ASSERT_TRUE(backend.ok());
        EXPECT_EQ((*backend)->kind(), ContainerKind::FlatOpenDocument);
        ASSERT_TRUE(ReadFlatMetadata(f).ok());
        Status st = WriteFlatMetadata(f, edits);
        ASSERT_TRUE(st.ok()) << st.error().message;
        const std::string after = readFile(f);
        std::size_t at = after.find("<office:meta>");
        ASSERT_NE(at, std::string::npos) << after;
        EXPECT_EQ(after.substr(at, c.metaAfter.size()), c.metaAfter);
        EXPECT_TRUE(after.ends_with(body)) << after;
        auto m = ReadFlatMetadata(f);
        ASSERT_TRUE(m.ok());
        EXPECT_EQ(std::get<std::string>((*m)[kRowTitle].value), "New");
        EXPECT_EQ(std::get<std::int64_t>((*m)[kRowRevision].value), 4);
    }
    // A broken one is refused and kept.
    const std::string broken = withRoot(dcMeta) + "<office:meta><dc:title>x</office:meta>" + body;
    writeFile(dir.file("b.fods"), broken);
    EXPECT_EQ(WriteFlatMetadata(dir.file("b.fods"), edits).error().code, ErrorCode::BadXml);
    EXPECT_EQ(readFile(dir.file("b.fods")), broken);
}

// What a delivery removes: the program that saved it, its template, and the
// thumbnail with its manifest line; every other entry keeps its bytes.
TEST(OdfExtras, ReadAndRemoved) {
    TempDir dir;
    const std::string f = dir.file("a.odt");
    writeFile(f, readFile(dataPath("lo_text.odt")));
    auto before = ReadOdfMetadata(f);
    ASSERT_TRUE(before.ok());
    EXPECT_TRUE(before->extras.application && before->extras.thumbnail);
    const std::string original = readFile(f);
    MetadataEdits edits;
    edits.remove = {true, true, true, true};
    ASSERT_TRUE(WriteOdfMetadata(f, edits).ok());
    auto after = ReadOdfMetadata(f);
    ASSERT_TRUE(after.ok());
    EXPECT_FALSE(after->extras.application || after->extras.templateName || after->extras.thumbnail);
    EXPECT_EQ(after->rows, before->rows);
    EXPECT_EQ(entry(readFile(f), "META-INF/manifest.xml").find("Thumbnails/thumbnail.png"), std::string::npos);
    auto now = entries(readFile(f));
    std::size_t kept = 0;
    for (const auto& was : entries(original)) {
        if (was.first == "meta.xml" || was.first.find("manifest.xml") != std::string::npos ||
            was.first.find("thumbnail.png") != std::string::npos)
            continue;
        ++kept;
        EXPECT_NE(std::find(now.begin(), now.end(), was), now.end()) << was.first;
    }
    EXPECT_EQ(now.size(), kept + 2);  // and meta.xml and the manifest
}
