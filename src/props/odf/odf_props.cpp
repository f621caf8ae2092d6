#include "props/odf/odf_props.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "props/odf/meta.h"
#include "props/package/xml_part.h"
#include "zip/archive.h"
#include "zip/extract.h"
#include "zip/source.h"

namespace qv {

namespace {

using package::XmlPart;

constexpr std::string_view kMetaEntry = "meta.xml";
constexpr std::string_view kManifestEntry = "META-INF\\manifest.xml";
constexpr std::string_view kSignaturesEntry = "META-INF\\documentsignatures.xml";
// The picture of the first page the office suite saves beside the content.
constexpr std::string_view kThumbnailEntry = "Thumbnails\\thumbnail.png";
constexpr std::string_view kThumbnailPath = "Thumbnails/thumbnail.png";
constexpr std::string_view kNamespaceManifest = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
// The manifest is only searched, never loaded, unless an entry must be
// added to it; this bounds what is read of it.
constexpr std::uint64_t kMaxManifestSize = 16u << 20;

std::uint16_t le16(std::string_view s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}
std::uint32_t le32(std::string_view s, std::size_t at) {
    return static_cast<std::uint32_t>(le16(s, at)) | static_cast<std::uint32_t>(le16(s, at + 2)) << 16;
}

Error withVerb(const char* verb, Error e) {
    e.message = std::string(verb) + ": " + e.message;
    return e;
}

Result<std::string> extractNamed(zip::ZipArchive& zip, const zip::ZipEntry& e, std::uint64_t limit) {
    if (e.uncompressedSize > limit)
        return Error(ErrorCode::TooLarge, text::sanitizeUtf8(e.name) + " is larger than this tool reads");
    auto bytes = zip.extractEntry(e);
    if (!bytes) {
        Error err = bytes.error();
        err.message = text::sanitizeUtf8(e.name) + ": " + err.message;
        return err;
    }
    return bytes;
}

// What a change needs to know of the archive: meta.xml and the manifest.
struct Layout {
    const zip::ZipEntry* meta = nullptr;
    const zip::ZipEntry* manifest = nullptr;
    const zip::ZipEntry* thumbnail = nullptr;
    std::string manifestBytes;
};

// Finds meta.xml and reads the manifest; an encrypted file is refused, since
// its properties are encrypted too (or a written meta.xml would stand in
// the clear beside encrypted content).
Result<Layout> readLayout(zip::ZipArchive& zip) {
    const zip::ZipDirectory& dir = *zip.directory();
    Layout layout;
    layout.meta = zip::FindEntry(dir, kMetaEntry);
    layout.manifest = zip::FindEntry(dir, kManifestEntry);
    layout.thumbnail = zip::FindEntry(dir, kThumbnailEntry);
    bool encrypted = layout.meta && layout.meta->isEncrypted();
    if (layout.manifest) {
        auto bytes = extractNamed(zip, *layout.manifest, kMaxManifestSize);
        if (!bytes)
            return bytes.error();
        layout.manifestBytes = std::move(*bytes);
        // Found under any prefix: the element's local name is searched for.
        encrypted = encrypted || layout.manifestBytes.find(":encryption-data") != std::string::npos ||
                    layout.manifestBytes.find("<encryption-data") != std::string::npos;
    }
    if (encrypted)
        return Error(ErrorCode::PasswordProtected,
                     "the document is password-protected: its entries, meta.xml with them, are encrypted");
    return layout;
}

Result<XmlPart> loadMeta(zip::ZipArchive& zip, const zip::ZipEntry& entry) {
    auto bytes = extractNamed(zip, entry, package::kMaxPartSize);
    if (!bytes)
        return bytes.error();
    auto part = XmlPart::Load(*bytes);
    if (!part)
        return Error(part.error().code, "meta.xml: " + part.error().message);
    return part;
}

std::string percentDecoded(std::string_view s) {
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i] == '/' ? '\\' : s[i];
        }
    }
    while (out.starts_with(".\\"))
        out.erase(0, 2);
    while (out.starts_with('\\'))
        out.erase(0, 1);
    return out;
}

// Whether the document's signatures cover an entry: every Reference URI of
// META-INF/documentsignatures.xml names an entry it signs; a signature part
// that can't be read may cover anything.
Result<bool> signatureCovers(zip::ZipArchive& zip, const std::vector<std::string>& names) {
    const zip::ZipEntry* e = zip::FindEntry(*zip.directory(), kSignaturesEntry);
    if (!e)
        return false;
    auto bytes = e->uncompressedSize <= package::kMaxPartSize ? zip.extractEntry(*e) : Result<std::string>(std::string());
    auto xml = bytes && !bytes->empty() ? XmlPart::Load(*bytes) : Result<XmlPart>(Error());
    if (!xml)
        return true;
    pugi::xml_node root = xml->DocumentElement();
    for (pugi::xml_node n = root; n;) {
        if (n.type() == pugi::node_element && XmlPart::LocalName(n) == "Reference") {
            std::string uri = text::trim(XmlPart::AttributeOf(n, "URI").value_or(""));
            if (!uri.empty() && uri[0] != '#')
                for (const std::string& name : names)
                    if (text::equalsIgnoreAsciiCase(percentDecoded(uri), name))
                        return true;
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != root && !n.next_sibling())
            n = n.parent();
        n = n && n != root ? n.next_sibling() : pugi::xml_node();
    }
    return false;
}

// The manifest with an entry for a created meta.xml.
Result<std::string> manifestWithMeta(const std::string& bytes) {
    auto xml = XmlPart::Load(bytes);
    if (!xml)
        return Error(xml.error().code, "META-INF/manifest.xml: " + xml.error().message);
    pugi::xml_node root = xml->DocumentElement();
    if (XmlPart::LocalName(root) != "manifest" || XmlPart::NamespaceOf(root) != kNamespaceManifest)
        return Error(ErrorCode::BadXml, "META-INF/manifest.xml holds no manifest:manifest");
    std::string prefix = odf::BindPrefix(*xml, kNamespaceManifest, "manifest");
    if (prefix.empty())
        return Error(ErrorCode::Unsupported, "META-INF/manifest.xml binds no prefix to its namespace");
    for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && XmlPart::LocalName(n) == "file-entry" &&
            XmlPart::AttributeOf(n, (prefix + ":full-path").c_str()) == std::string(kMetaEntry))
            return xml->Save();
    // Indented as the entries before it, when they are.
    pugi::xml_node last = root.last_child();
    std::string indent;
    if (last && last.type() == pugi::node_pcdata) {
        indent = last.value();
        if (pugi::xml_node prev = last.previous_sibling(); prev && prev.previous_sibling() &&
                                                           prev.previous_sibling().type() == pugi::node_pcdata)
            indent = prev.previous_sibling().value();
    }
    pugi::xml_node e = last && last.type() == pugi::node_pcdata
                           ? root.insert_child_before((prefix + ":file-entry").c_str(), last)
                           : root.append_child((prefix + ":file-entry").c_str());
    XmlPart::AddAttribute(e, (prefix + ":full-path").c_str(), kMetaEntry);
    XmlPart::AddAttribute(e, (prefix + ":media-type").c_str(), "text/xml");
    if (!indent.empty())
        root.insert_child_before(pugi::node_pcdata, e).set_value(indent.c_str());
    return xml->Save();
}

// The version the document's manifest names, for a created meta.xml.
// The manifest without the thumbnail's entry (and the folder's, when only
// the thumbnail was in it); the same bytes when it lists neither.
Result<std::string> manifestWithoutThumbnail(const std::string& bytes) {
    auto xml = XmlPart::Load(bytes);
    if (!xml)
        return Error(xml.error().code, "META-INF/manifest.xml: " + xml.error().message);
    pugi::xml_node root = xml->DocumentElement();
    std::vector<pugi::xml_node> gone;
    for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || XmlPart::LocalName(n) != "file-entry")
            continue;
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            const std::string_view name = a.name(), value = a.value();
            if ((name == "full-path" || (name.size() > 10 && name.substr(name.size() - 10) == ":full-path")) &&
                (value == kThumbnailPath || value == "Thumbnails/"))
                gone.push_back(n);
        }
    }
    if (gone.empty())
        return bytes;
    for (pugi::xml_node n : gone) {
        // The line's indent goes with it.
        if (pugi::xml_node before = n.previous_sibling(); before && before.type() == pugi::node_pcdata)
            root.remove_child(before);
        root.remove_child(n);
    }
    return xml->Save();
}

std::string manifestVersion(const std::string& bytes) {
    auto xml = XmlPart::Load(bytes.substr(0, std::min<std::size_t>(bytes.size(), package::kMaxPartSize)));
    if (!xml)
        return {};
    for (pugi::xml_attribute a = xml->DocumentElement().first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (name.ends_with(":version"))
            return package::DecodeXmlAttribute(a.value());
    }
    return {};
}

}  // namespace

std::optional<std::string> OpenDocumentMediaType(std::string_view head) {
    if (head.size() < 30 || head.substr(0, 4) != std::string_view("PK\x03\x04", 4))
        return std::nullopt;
    const std::uint16_t method = le16(head, 8), nameLength = le16(head, 26), extraLength = le16(head, 28);
    const std::uint32_t size = le32(head, 18);
    const std::size_t at = 30u + nameLength + extraLength;
    if (method != 0 || head.substr(30, nameLength) != "mimetype" || size > 255 || at + size > head.size())
        return std::nullopt;
    std::string type(head.substr(at, size));
    if (!type.starts_with(kOpenDocumentMediaTypePrefix))
        return std::nullopt;
    return type;
}

bool IsOpenDocumentArchive(const platform::File& file, std::uint64_t size) {
    zip::FileSource source(file, size);
    auto dir = zip::ReadDirectory(source);
    if (!dir || zip::FindEntry(*dir, "[Content_Types].xml"))
        return false;
    const zip::ZipEntry* e = zip::FindEntry(*dir, "mimetype");
    if (!e || e->uncompressedSize > 255 || e->isEncrypted())
        return false;
    auto type = zip::ExtractEntry(source, *e);
    return type && type->starts_with(kOpenDocumentMediaTypePrefix);
}

Result<DocumentMetadata> ReadOdfMetadata(const std::string& path) {
    auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    if (!file)
        return withVerb("can't read", file.error());
    return ReadOdfMetadata(path, std::move(*file));
}

Result<DocumentMetadata> ReadOdfMetadata(const std::string& path, platform::File&& opened) {
    zip::ZipArchive zip;
    zip.setZipName(path);
    zip.keepOpen(std::move(opened), platform::OpenMode::ReadDenyWrite);
    auto read = [&]() -> Result<DocumentMetadata> {
        QV_TRY(zip.readDirectory());
        auto layout = readLayout(zip);
        if (!layout)
            return layout.error();
        DocumentMetadata values;
        if (layout->meta && layout->meta->uncompressedSize > 0) {
            auto meta = loadMeta(zip, *layout->meta);
            if (!meta)
                return meta.error();
            auto read = odf::ReadMeta(*meta);
            if (!read)
                return read.error();
            values = std::move(*read);
        }
        if (layout->thumbnail) {
            values.extras.thumbnail = true;
            values.extras.thumbnailPart = std::string(kThumbnailPath);
            values.extras.thumbnailSize = layout->thumbnail->uncompressedSize;
        }
        return values;
    };
    auto values = read();
    zip.close();
    if (!values)
        return withVerb("can't read", values.error());
    return values;
}

Status WriteOdfMetadata(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                        bool checkOnly, const WriteDestination& to) {
    zip::ZipArchive zip;
    zip.setZipName(path);
    auto run = [&]() -> Status {
        // A copy elsewhere only reads the source.
        QV_TRY(zip.keepOpen(checkOnly || !to.inPlace() ? platform::OpenMode::ReadDenyWrite
                                                       : platform::OpenMode::ReadExclusive));
        QV_TRY(zip.readDirectory());
        auto layout = readLayout(zip);
        if (!layout)
            return layout.error();
        const bool created = !layout->meta || layout->meta->uncompressedSize == 0;
        std::optional<XmlPart> meta;
        if (!created) {
            auto loaded = loadMeta(zip, *layout->meta);
            if (!loaded)
                return loaded.error();
            meta = std::move(*loaded);
        } else {
            meta = odf::NewMetaPart(manifestVersion(layout->manifestBytes));
        }
        const std::string before = meta->Save();
        QV_TRY(odf::EditMeta(*meta, edits));
        std::string after = meta->Save();
        const bool dropThumbnail = edits.remove.thumbnail && layout->thumbnail;
        // A change that changes nothing (the values the file holds, a
        // removal of a property it lacks) rewrites nothing, and creates no
        // meta.xml.
        if (after == before && !dropThumbnail) {
            zip.close();
            if (checkOnly)
                return {};
            if (to.inPlace())
                return platform::applyFileMetadata(path, final);
            return to.overwrite ? platform::copyFile(path, to.path, final) : platform::copyFileNew(path, to.path, final);
        }
        if (!XmlPart::Load(after))
            return Error(ErrorCode::BadXml, "meta.xml: the changed part would not be well-formed XML");
        std::vector<std::string> names;
        if (after != before)
            names.push_back(created ? std::string(kMetaEntry) : layout->meta->name);
        std::string manifest = layout->manifestBytes;
        if (created && after != before) {
            if (!layout->manifest)
                return Error(ErrorCode::PackageLayout,
                             "the OpenDocument file has neither meta.xml nor META-INF/manifest.xml to list one in");
            auto m = manifestWithMeta(layout->manifestBytes);
            if (!m)
                return m.error();
            manifest = std::move(*m);
        }
        std::vector<std::string> dropped;
        if (dropThumbnail) {
            dropped.push_back(layout->thumbnail->name);
            if (layout->manifest) {
                auto m = manifestWithoutThumbnail(manifest);
                if (!m)
                    return m.error();
                manifest = std::move(*m);
            }
        }
        if (layout->manifest && manifest != layout->manifestBytes)
            names.push_back(layout->manifest->name);
        if (!edits.allowUnsigning) {
            std::vector<std::string> touched = names;
            touched.insert(touched.end(), dropped.begin(), dropped.end());
            auto covered = signatureCovers(zip, touched);
            if (!covered)
                return covered.error();
            if (*covered)
                return Error(ErrorCode::Signed, "the document's digital signature covers meta.xml or its manifest, "
                                                "so a change would make the signature invalid");
        }
        if (checkOnly)
            return {};
        std::vector<zip::StreamToStore> streams;
        for (const std::string& name : names)
            streams.push_back({name, layout->manifest && name == layout->manifest->name ? manifest : after});
        return zip.storeFromStreams(streams, final, {dropped, to.path, to.overwrite});
    };
    Status st = run();
    zip.close();
    if (!st)
        return withVerb("can't write", st.error());
    return {};
}

}  // namespace qv
