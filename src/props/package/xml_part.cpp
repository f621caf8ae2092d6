#include "props/package/xml_part.h"

#include <cstring>
#include <set>
#include <vector>

#include "base/text.h"

namespace qv::package {

namespace {

// Parsed without resolving references, line ends or attribute whitespace, so
// that every text and attribute is held exactly as written and is written
// back so (saved with format_no_escapes). Readers of values decode them with
// the functions below; written values are escaped by SetText.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_comments | pugi::parse_declaration |
                                   pugi::parse_doctype | pugi::parse_pi | pugi::parse_ws_pcdata;
constexpr unsigned kFormatOptions = pugi::format_raw | pugi::format_no_escapes | pugi::format_no_declaration;

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character of a reference between "&" and ";", if it is one.
std::optional<std::string> resolveReference(std::string_view ref) {
    if (ref == "lt")
        return "<";
    if (ref == "gt")
        return ">";
    if (ref == "amp")
        return "&";
    if (ref == "apos")
        return "'";
    if (ref == "quot")
        return "\"";
    if (ref.size() < 2 || ref[0] != '#')
        return std::nullopt;
    bool hex = ref[1] == 'x';
    std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t cp = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    std::string s;
    appendUtf8(s, cp);
    return s;
}

std::string normaliseLineEnds(std::string_view raw) {
    std::string s;
    s.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            s += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        } else {
            s += raw[i];
        }
    }
    return s;
}

std::string resolveReferences(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            std::size_t semi = s.find(';', i + 1);
            if (semi != std::string_view::npos && semi - i <= 12) {
                if (auto r = resolveReference(s.substr(i + 1, semi - i - 1))) {
                    out += *r;
                    i = semi;
                    continue;
                }
            }
        }
        out += s[i];
    }
    return out;
}

// The next node in document order below start, without recursion, so that
// deeply nested parts can't exhaust the stack.
pugi::xml_node nextInside(pugi::xml_node node, pugi::xml_node start) {
    if (node.first_child())
        return node.first_child();
    while (node && node != start) {
        if (node.next_sibling())
            return node.next_sibling();
        node = node.parent();
    }
    return pugi::xml_node();
}

}  // namespace

std::string DecodeXmlText(std::string_view raw) { return resolveReferences(normaliseLineEnds(raw)); }

std::string DecodeXmlAttribute(std::string_view raw) {
    std::string s = normaliseLineEnds(raw);
    for (char& c : s) {
        if (c == '\n' || c == '\t')
            c = ' ';
    }
    return resolveReferences(s);
}

std::string EscapeXmlText(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        // Kept as a reference: a reader would turn a written CR into a line feed.
        case '\r': out += "&#13;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string EscapeXmlAttribute(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '"': out += "&quot;"; break;
        case '\r': out += "&#13;"; break;
        case '\n': out += "&#10;"; break;
        case '\t': out += "&#9;"; break;
        default: out += c; break;
        }
    }
    return out;
}

bool IsXmlWritable(std::string_view value) {
    if (!text::isValidUtf8(value))
        return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        auto c = static_cast<unsigned char>(value[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
        // U+FFFE and U+FFFF are no characters of XML.
        if (c == 0xEF && i + 2 < value.size() && static_cast<unsigned char>(value[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(value[i + 2]) & 0xFE) == 0xBE)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

XmlPart::XmlPart(XmlPart&&) noexcept = default;
XmlPart& XmlPart::operator=(XmlPart&&) noexcept = default;
XmlPart::~XmlPart() = default;

Result<XmlPart> XmlPart::Load(std::string_view bytes) {
    if (bytes.size() > kMaxPartSize)
        return Error(ErrorCode::TooLarge, "the part is larger than a property part can be");
    XmlPart part;
    part.m_doc = std::make_unique<pugi::xml_document>();
    pugi::xml_parse_result r = part.m_doc->load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_auto);
    if (!r)
        return Error(ErrorCode::BadXml, std::string("the XML is not well-formed (") + r.description() +
                                            " at offset " + std::to_string(r.offset) + ")");
    for (pugi::xml_node n = part.m_doc->first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_doctype)
            return Error(ErrorCode::BadXml, "the XML has a document type declaration, which a package part may not have");
        // The parser takes "<?xml" anywhere at the top as a declaration; only
        // the first node may be one, and elsewhere it would not be written
        // back so that it loads again.
        if (n.type() == pugi::node_declaration && n != part.m_doc->first_child())
            return Error(ErrorCode::BadXml, "the XML is not well-formed (an XML declaration that is not at the start)");
    }
    if (!part.m_doc->document_element())
        return Error(ErrorCode::BadXml, "the XML has no document element");
    // The parser accepts a second top-level element or text beside the
    // document element; neither is well-formed, and neither could be
    // written back so that it loads again.
    for (pugi::xml_node n = part.m_doc->document_element().next_sibling(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element || n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            return Error(ErrorCode::BadXml, "the XML is not well-formed (more than one document element)");
    }
    part.m_bom = bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0;

    // The part is written back in UTF-8: its declaration must say so.
    bool declaredUtf8 = true;
    for (pugi::xml_node n = part.m_doc->first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_declaration)
            continue;
        pugi::xml_attribute enc = n.attribute("encoding");
        if (enc && !text::equalsIgnoreAsciiCase(enc.value(), "UTF-8")) {
            enc.set_value("UTF-8");
            declaredUtf8 = false;
        }
    }
    // A UTF-8 part keeps its prolog byte for byte (the DOM drops the
    // whitespace between the declaration and the document element).
    if (r.encoding == pugi::encoding_utf8 && declaredUtf8) {
        pugi::xml_node root = part.m_doc->document_element();
        std::ptrdiff_t nameAt = root.offset_debug();
        std::string_view name = root.name();
        if (nameAt >= 1 && static_cast<std::size_t>(nameAt) + name.size() <= bytes.size() &&
            bytes[static_cast<std::size_t>(nameAt) - 1] == '<' &&
            bytes.substr(static_cast<std::size_t>(nameAt), name.size()) == name) {
            std::string prolog(bytes.substr(0, static_cast<std::size_t>(nameAt) - 1));
            // The parser lets a declaration end at a later "?>" (one closed by
            // "/>" runs on into the element); such a prolog, written back in
            // front of the element, no longer parses. It must parse on its own.
            std::string probeText = prolog + "<r/>";
            pugi::xml_document probe;
            if (!probe.load_buffer(probeText.data(), probeText.size(), kParseOptions, pugi::encoding_utf8))
                return Error(ErrorCode::BadXml,
                             "the XML is not well-formed (its declaration or a processing instruction is not closed)");
            part.m_prolog = std::move(prolog);
        }
    }
    // Attribute values are written between double quotes; one that was
    // between single quotes may hold a double quote, which then needs its
    // reference.
    pugi::xml_node root = part.m_doc->root();
    for (pugi::xml_node n = root.first_child(); n; n = nextInside(n, root)) {
        // The parser keeps a repeated attribute; XML forbids one, and a
        // repeated declaration would let a reader and a writer of names
        // disagree on their namespace.
        if (n.first_attribute() && n.first_attribute().next_attribute()) {
            std::set<std::string_view> names;
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
                if (!names.insert(a.name()).second)
                    return Error(ErrorCode::BadXml,
                                 std::string("the XML is not well-formed (an element repeats the attribute ") +
                                     text::sanitizeUtf8(a.name()) + ")");
        }
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            if (std::strchr(a.value(), '"')) {
                std::string v = a.value();
                text::replaceAll(v, "\"", "&quot;");
                a.set_value(v.c_str());
            }
        }
    }
    return part;
}

pugi::xml_node XmlPart::DocumentElement() const { return m_doc->document_element(); }

std::string XmlPart::Save() const {
    struct Writer : pugi::xml_writer {
        std::string out;
        void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
    } w;
    if (m_prolog) {
        w.out = *m_prolog;
        for (pugi::xml_node n = m_doc->document_element(); n; n = n.next_sibling())
            n.print(w, "", kFormatOptions, pugi::encoding_utf8);
        return std::move(w.out);
    }
    m_doc->save(w, "", kFormatOptions | (m_bom ? pugi::format_write_bom : 0u), pugi::encoding_utf8);
    return std::move(w.out);
}

std::optional<std::string> XmlPart::NamespaceOnDocumentElement(std::string_view prefix) const {
    std::string name = prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    return AttributeOf(DocumentElement(), name.c_str());
}

std::string XmlPart::TextOf(pugi::xml_node element) {
    std::string out;
    for (pugi::xml_node n = element.first_child(); n; n = nextInside(n, element)) {
        if (n.type() == pugi::node_pcdata)
            out += DecodeXmlText(n.value());
        else if (n.type() == pugi::node_cdata)
            out += normaliseLineEnds(n.value());
    }
    // The parser passes bytes through as they are; a damaged sequence must
    // not reach the front ends.
    return text::sanitizeUtf8(out);
}

void XmlPart::SetText(pugi::xml_node element, std::string_view value) {
    while (pugi::xml_node c = element.first_child())
        element.remove_child(c);
    if (!value.empty())
        element.append_child(pugi::node_pcdata).set_value(EscapeXmlText(value).c_str());
}

std::optional<std::string> XmlPart::AttributeOf(pugi::xml_node element, const char* name) {
    pugi::xml_attribute a = element.attribute(name);
    if (!a)
        return std::nullopt;
    return DecodeXmlAttribute(a.value());
}

void XmlPart::AddAttribute(pugi::xml_node element, const char* name, std::string_view value) {
    element.append_attribute(name).set_value(EscapeXmlAttribute(value).c_str());
}

std::string XmlPart::NamespaceOf(pugi::xml_node element) {
    std::string_view name = element.name();
    std::size_t colon = name.find(':');
    std::string attr = colon == std::string_view::npos ? std::string("xmlns")
                                                        : "xmlns:" + std::string(name.substr(0, colon));
    if (attr == "xmlns:xml")
        return "http://www.w3.org/XML/1998/namespace";
    for (pugi::xml_node n = element; n && n.type() == pugi::node_element; n = n.parent()) {
        if (pugi::xml_attribute a = n.attribute(attr.c_str()))
            return DecodeXmlAttribute(a.value());
    }
    return std::string();
}

std::string_view XmlPart::LocalName(pugi::xml_node element) {
    std::string_view name = element.name();
    std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node XmlPart::FirstChild(std::string_view ns, std::string_view local) const {
    for (pugi::xml_node c = DocumentElement().first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && LocalName(c) == local && NamespaceOf(c) == ns)
            return c;
    }
    return pugi::xml_node();
}

std::optional<std::string> XmlPart::PrefixOnDocumentElement(std::string_view ns) const {
    pugi::xml_node root = DocumentElement();
    // The document element's own prefix first: its elements are written so.
    if (NamespaceOf(root) == ns) {
        std::string_view name = root.name();
        std::size_t colon = name.find(':');
        return colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon));
    }
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (name == "xmlns" && DecodeXmlAttribute(a.value()) == ns)
            return std::string();
        // "xmlns:" with no prefix binds nothing.
        if (text::startsWith(name, "xmlns:") && name.size() > 6 && DecodeXmlAttribute(a.value()) == ns)
            return std::string(name.substr(6));
    }
    return std::nullopt;
}

}  // namespace qv::package
