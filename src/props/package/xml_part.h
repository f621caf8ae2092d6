// One XML part of a package, loaded so that it is written back as it was:
// declaration, comments, processing instructions, whitespace, attribute
// values and character references stay as they were written; only the
// elements a value is written to change.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "base/result.h"

namespace qv::package {

// A property part larger than this is not loaded. Parsed, a part costs
// tens of bytes per element, so this bounds memory too: 1 MiB of nested or
// empty elements stays far below 64 MB, where 16 MiB did not.
inline constexpr std::size_t kMaxPartSize = 1u << 20;

class XmlPart {
public:
    // Loads a part (UTF-8 or UTF-16, with or without a byte order mark).
    // Fails with ErrorCode::BadXml for XML that is not well-formed, has no
    // document element or carries a document type declaration (whose
    // entities could expand without bound).
    static Result<XmlPart> Load(std::string_view bytes);

    XmlPart(XmlPart&&) noexcept;
    XmlPart& operator=(XmlPart&&) noexcept;
    ~XmlPart();

    pugi::xml_node DocumentElement() const;

    // The part as UTF-8, with its own declaration (its encoding named UTF-8).
    std::string Save() const;

    // The namespace a prefix is bound to by a declaration on the document
    // element ("" for the default namespace); no value when none is.
    std::optional<std::string> NamespaceOnDocumentElement(std::string_view prefix) const;

    // The text of an element: its text and CDATA descendants, joined, with
    // line ends and references resolved as an XML reader sees them.
    static std::string TextOf(pugi::xml_node element);
    // Replaces everything inside an element by one text (nothing when empty).
    static void SetText(pugi::xml_node element, std::string_view value);
    // An attribute's value as an XML reader sees it; no value when absent.
    static std::optional<std::string> AttributeOf(pugi::xml_node element, const char* name);
    static void AddAttribute(pugi::xml_node element, const char* name, std::string_view value);

    // The namespace an element's name is in, through the declarations on it
    // and its ancestors ("" when none applies), and its name without prefix.
    static std::string NamespaceOf(pugi::xml_node element);
    static std::string_view LocalName(pugi::xml_node element);

    // The first child element of the document element with that namespace
    // and local name, whatever prefix the part writes; an empty node when
    // none is.
    pugi::xml_node FirstChild(std::string_view ns, std::string_view local) const;

    // A prefix that the document element binds to a namespace ("" when it
    // is the default namespace there); no value when none is.
    std::optional<std::string> PrefixOnDocumentElement(std::string_view ns) const;

private:
    XmlPart() = default;
    std::unique_ptr<pugi::xml_document> m_doc;
    bool m_bom = false;
    // The bytes before the document element as they were (declaration,
    // processing instructions, comments and the whitespace between them),
    // for a part that was UTF-8 already.
    std::optional<std::string> m_prolog;
};

// Texts as they appear in the part and back.
std::string DecodeXmlText(std::string_view raw);
std::string DecodeXmlAttribute(std::string_view raw);
std::string EscapeXmlText(std::string_view value);
std::string EscapeXmlAttribute(std::string_view value);

// Whether a text can be written into XML 1.0: valid UTF-8 with no control
// character other than tab, line feed and carriage return.
bool IsXmlWritable(std::string_view value);

}  // namespace qv::package
