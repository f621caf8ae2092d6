#include "props/odf/flat.h"

#include <cstring>

#include "base/text.h"
#include "props/odf/meta.h"
#include "props/odf/odf_props.h"

namespace qv {

namespace {

using package::XmlPart;

// The whole document is parsed to find office:meta; this bounds the memory
// that costs.
constexpr std::uint64_t kMaxFlatSize = 64u << 20;
constexpr std::size_t npos = std::string_view::npos;

Error withVerb(const char* verb, Error e) {
    e.message = std::string(verb) + ": " + e.message;
    return e;
}

Error damaged(const std::string& what) {
    return Error(ErrorCode::BadXml, "the flat OpenDocument file is not well-formed XML (" + what + ")");
}

// The '>' that ends the tag starting at `at`, quoted values skipped.
std::size_t tagEnd(std::string_view s, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return npos;
}

std::string_view prefixOf(std::string_view qname) {
    std::size_t colon = qname.find(':');
    return colon == npos ? std::string_view() : qname.substr(0, colon);
}

// Where the root's start tag and office:meta are in the bytes, and the cut
// down document (prolog, root start tag, office:meta) the properties are
// read and changed in.
struct Layout {
    std::size_t rootEnd = 0;  // the '>' of the root's start tag
    std::string rootName;
    std::size_t metaBegin = npos, metaEnd = npos;
    std::string cut;
};

Result<Layout> locate(std::string_view s) {
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(s.data(), s.size(), pugi::parse_minimal, pugi::encoding_utf8);
    if (!parsed)
        return damaged(std::string(parsed.description()) + " at offset " + std::to_string(parsed.offset));
    pugi::xml_node root = doc.document_element();
    Layout l;
    std::ptrdiff_t rootAt = root.offset_debug() - 1;
    l.rootName = root.name();
    if (rootAt < 0 || s[static_cast<std::size_t>(rootAt)] != '<')
        return damaged("no document element");
    l.rootEnd = tagEnd(s, static_cast<std::size_t>(rootAt));
    if (l.rootEnd == npos || s[l.rootEnd - 1] == '/')
        return damaged("an empty document");
    const std::string meta = prefixOf(l.rootName).empty() ? "meta" : std::string(prefixOf(l.rootName)) + ":meta";
    for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element || meta != c.name())
            continue;
        std::ptrdiff_t at = c.offset_debug() - 1;
        if (at < 0 || s[static_cast<std::size_t>(at)] != '<')
            return damaged("office:meta not found where it stands");
        l.metaBegin = static_cast<std::size_t>(at);
        std::size_t end = tagEnd(s, l.metaBegin);
        if (end == npos)
            return damaged("office:meta is not closed");
        if (s[end - 1] == '/') {
            l.metaEnd = end + 1;
        } else {
            // Its content is meta elements: the first end tag of its name is its own.
            std::size_t close = s.find("</" + meta, end);
            std::size_t k = close == npos ? npos : close + 2 + meta.size();
            while (k < s.size() && (s[k] == ' ' || s[k] == '\t' || s[k] == '\r' || s[k] == '\n'))
                ++k;
            if (k >= s.size() || s[k] != '>')
                return damaged("office:meta is not closed");
            l.metaEnd = k + 1;
        }
        break;
    }
    l.cut = std::string(s.substr(0, l.rootEnd + 1));
    if (l.metaBegin != npos)
        l.cut += s.substr(l.metaBegin, l.metaEnd - l.metaBegin);
    l.cut += "</" + l.rootName + ">";
    return l;
}

Result<XmlPart> loadCut(const Layout& l) {
    auto part = XmlPart::Load(l.cut);
    if (!part)
        return Error(part.error().code, "the flat OpenDocument file's office:meta: " + part.error().message);
    return part;
}

Result<std::string> readAll(const platform::File& file) {
    auto size = file.size();
    if (!size)
        return size.error();
    if (*size > kMaxFlatSize)
        return Error(ErrorCode::TooLarge, "the flat OpenDocument file is larger than this tool reads");
    std::string bytes(static_cast<std::size_t>(*size), '\0');
    QV_TRY(file.readExactAt(0, bytes.data(), bytes.size()));
    return bytes;
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

}  // namespace

bool IsFlatOpenDocument(std::string_view head) {
    std::size_t i = head.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (i < head.size()) {
        char c = head[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (head.substr(i, 2) == "<?") {
            std::size_t end = head.find("?>", i);
            if (end == npos)
                return false;
            i = end + 2;
        } else if (head.substr(i, 4) == "<!--") {
            std::size_t end = head.find("-->", i + 4);
            if (end == npos)
                return false;
            i = end + 3;
        } else {
            break;
        }
    }
    if (i >= head.size() || head[i] != '<')
        return false;
    std::size_t end = tagEnd(head, i);
    if (end == npos)
        return false;
    std::string_view tag = head.substr(i + 1, end - i - 1);
    std::string_view name = tag.substr(0, std::min(tag.find_first_of(" \t\r\n/"), tag.size()));
    std::string_view local = prefixOf(name).empty() ? name : name.substr(prefixOf(name).size() + 1);
    if (local != "document")
        return false;
    for (char quote : {'"', '\''}) {
        std::string attr = ":mimetype=" + std::string(1, quote) + std::string(kOpenDocumentMediaTypePrefix);
        if (tag.find(attr) != npos)
            return true;
    }
    return false;
}

Result<DocumentMetadata> ReadFlatMetadata(const std::string& path) {
    auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    if (!file)
        return withVerb("can't read", file.error());
    return ReadFlatMetadata(path, std::move(*file));
}

Result<DocumentMetadata> ReadFlatMetadata(const std::string&, platform::File&& opened) {
    auto read = [&]() -> Result<DocumentMetadata> {
        auto bytes = readAll(opened);
        if (!bytes)
            return bytes.error();
        auto layout = locate(*bytes);
        if (!layout)
            return layout.error();
        auto cut = loadCut(*layout);
        if (!cut)
            return cut.error();
        return odf::ReadMeta(*cut);
    };
    auto values = read();
    (void)opened.close();
    if (!values)
        return withVerb("can't read", values.error());
    return values;
}

Status WriteFlatMetadata(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                         bool checkOnly, const WriteDestination& dest) {
    auto run = [&]() -> Status {
        // A copy elsewhere only reads the source.
        auto file = platform::File::open(path, checkOnly || !dest.inPlace() ? platform::OpenMode::ReadDenyWrite
                                                                          : platform::OpenMode::ReadExclusive);
        if (!file)
            return file.error();
        auto bytes = readAll(*file);
        if (!bytes)
            return bytes.error();
        const std::string& s = *bytes;
        auto layout = locate(s);
        if (!layout)
            return layout.error();
        auto cut = loadCut(*layout);
        if (!cut)
            return cut.error();
        pugi::xml_node root = cut->DocumentElement();
        std::size_t attributesBefore = 0;
        for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute())
            ++attributesBefore;
        QV_TRY(odf::EditMeta(*cut, edits));

        // The namespaces the edits declared go at the end of the root's start tag.
        std::string added;
        std::size_t n = 0;
        for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute(), ++n)
            if (n >= attributesBefore)
                added += std::string(" ") + a.name() + "=\"" + a.value() + "\"";
        StringWriter meta;
        for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling())
            if (c.type() == pugi::node_element && XmlPart::LocalName(c) == "meta" &&
                XmlPart::NamespaceOf(c) == odf::kNamespaceOffice)
                c.print(meta, "", pugi::format_raw | pugi::format_no_escapes, pugi::encoding_utf8);
        const std::size_t from = layout->metaBegin != npos ? layout->metaBegin : layout->rootEnd + 1;
        const std::size_t to = layout->metaEnd != npos ? layout->metaEnd : layout->rootEnd + 1;
        std::string result = s.substr(0, layout->rootEnd) + added + s.substr(layout->rootEnd, from - layout->rootEnd) +
                             meta.out + s.substr(to);
        if (result == s) {
            (void)file->close();
            if (checkOnly)
                return {};
            if (dest.inPlace())
                return platform::applyFileMetadata(path, final);
            return dest.overwrite ? platform::copyFile(path, dest.path, final)
                                  : platform::copyFileNew(path, dest.path, final);
        }
        // The changed file must read back as the changed part reads.
        auto again = locate(result);
        auto againCut = again ? loadCut(*again) : Result<XmlPart>(again.error());
        auto want = odf::ReadMeta(*cut);
        auto got = againCut ? odf::ReadMeta(*againCut) : Result<DocumentMetadata>(againCut.error());
        if (!want || !got || !(*want == *got))
            return Error(ErrorCode::Internal, "the changed flat OpenDocument file of " + path + " does not read back");
        if (checkOnly)
            return {};
        auto replacement = platform::ReplacementFile::create(dest.inPlace() ? path : dest.path);
        if (!replacement)
            return replacement.error();
        QV_TRY(replacement->file().write(result));
        platform::ReplacementFile::CommitOptions options;
        if (dest.inPlace())
            options.original = &*file;
        else
            options.looksLike = &*file;
        options.keepExisting = !dest.inPlace() && !dest.overwrite;
        options.final = final;
        return replacement->commit(options);
    };
    Status st = run();
    if (!st)
        return withVerb("can't write", st.error());
    return {};
}

}  // namespace qv
