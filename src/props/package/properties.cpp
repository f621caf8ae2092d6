#include "props/package/properties.h"

#include <algorithm>
#include <set>

#include "base/text.h"

namespace qv::package {

namespace {

bool isDateTerm(const ElementName& e) {
    return e.ns == kNamespaceDublinCoreTerms && (e.local == "created" || e.local == "modified");
}

Error layout(const std::string& what) { return Error(ErrorCode::PackageLayout, what); }

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

template <std::size_t N>
bool isOneOf(std::string_view type, const std::array<std::string_view, N>& types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

// Whether a bound prefix can name an element: the parser accepts
// declarations of prefixes that are no XML names ("1p"), and an element
// written with one would not load again.
bool isNcName(std::string_view p) {
    if (p.empty())
        return false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        auto c = static_cast<unsigned char>(p[i]);
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
        bool other = (c >= '0' && c <= '9') || c == '.' || c == '-';
        if (!letter && !(i > 0 && other))
            return false;
    }
    return true;
}

// The prefix the document element binds to a namespace, when an element can
// be written with it.
std::optional<std::string> usablePrefix(const XmlPart& part, std::string_view ns) {
    std::optional<std::string> bound = part.PrefixOnDocumentElement(ns);
    if (bound && (bound->empty() || isNcName(*bound)))
        return bound;
    return std::nullopt;
}

// A prefix not declared on the document element, for a namespace the part
// binds to no prefix: the standard one unless the part uses it otherwise.
std::string freePrefix(pugi::xml_node root, std::string_view standard) {
    std::string p(standard);
    for (int n = 1; root.attribute(("xmlns:" + p).c_str()); ++n)
        p = std::string(standard) + std::to_string(n);
    return p;
}

Result<std::string> extractBytes(const zip::ZipEntry& entry, const EntryExtractor& extract, const std::string& what) {
    if (entry.uncompressedSize > kMaxPartSize)
        return Error(ErrorCode::TooLarge, "the " + what + " part is larger than a property part can be");
    auto bytes = extract(entry);
    if (!bytes) {
        Error e = bytes.error();
        e.message = "the " + what + " part " + text::sanitizeUtf8(entry.name) + ": " + e.message;
        return e;
    }
    return bytes;
}

Result<XmlPart> loadPart(const std::string& bytes, const std::string& name, const std::string& what) {
    auto part = XmlPart::Load(bytes);
    if (!part) {
        Error e = part.error();
        e.message = "the " + what + " part " + text::sanitizeUtf8(name) + ": " + e.message;
        return e;
    }
    return part;
}

// Loads the part a relationship names, when it is there and not empty.
Status loadPropertyPart(PropertyPart& part, const zip::ZipDirectory& directory, const EntryExtractor& extract,
                        const std::string& what, std::string_view rootName) {
    const zip::ZipEntry* entry = zip::FindEntry(directory, part.entryName);
    if (!entry)
        return {};
    // The entry's own spelling, so a store replaces it where it stands.
    part.entryName = entry->name;
    auto bytes = extractBytes(*entry, extract, what);
    if (!bytes)
        return bytes.error();
    if (bytes->empty())
        return {};
    auto xml = loadPart(*bytes, entry->name, what);
    if (!xml)
        return xml.error();
    // A relationship that names another kind of part (the workbook, the
    // content types) must not have property elements written into it.
    if (XmlPart::LocalName(xml->DocumentElement()) != rootName)
        return layout("the " + what + " relationship names " + text::sanitizeUtf8(entry->name) +
                      ", which holds no " + what);
    part.xml = std::move(*xml);
    return {};
}

// The entry name a created part takes when no relationship names one: the
// usual name, or a free one beside it when an entry that no relationship
// names holds that name (its bytes stay as they are).
std::string freeEntryName(const zip::ZipDirectory& directory, std::string_view stem) {
    std::string name = "docProps\\" + std::string(stem) + ".xml";
    for (int n = 2; zip::FindEntry(directory, name); ++n)
        name = "docProps\\" + std::string(stem) + std::to_string(n) + ".xml";
    return name;
}

// The part name as content types and relationships write it.
std::string partNameOf(std::string_view entryName) {
    std::string s(1, '/');
    s.append(entryName);
    text::replaceAll(s, "\\", "/");
    return s;
}

// The document element of the content types, which must be a list of types.
Result<pugi::xml_node> typesRoot(const XmlPart& contentTypes) {
    pugi::xml_node root = contentTypes.DocumentElement();
    if (XmlPart::LocalName(root) != "Types")
        return layout("the content types of the package are not a list of types");
    return root;
}

// A part built from a text of ours, which always loads.
XmlPart builtIn(const std::string& xml) {
    auto part = XmlPart::Load(xml);
    return std::move(*part);
}

}  // namespace

ElementName ElementOf(int row, std::string_view extendedNs) {
    std::string_view qname = kCatalogue[static_cast<std::size_t>(row)].PackageElement;
    std::size_t colon = qname.find(':');
    if (colon == std::string_view::npos)
        return {extendedNs, qname, ""};
    std::string_view prefix = qname.substr(0, colon), local = qname.substr(colon + 1);
    std::string_view ns = prefix == "dc" ? kNamespaceDublinCore
                        : prefix == "dcterms" ? kNamespaceDublinCoreTerms
                                              : kNamespaceCoreProperties;
    return {ns, local, prefix};
}

std::optional<std::string> ResolveTarget(std::string_view sourceFolder, std::string_view target) {
    // A fragment or a query names no part of its own; a scheme ("http:",
    // "file:") makes the target a URI outside the package. Both are found
    // before the percent-encoding is decoded.
    target = target.substr(0, std::min(target.find_first_of("#?"), target.size()));
    if (std::size_t colon = target.find(':'); colon != std::string_view::npos && target.find_first_of("/\\") > colon)
        return std::nullopt;
    std::string t;
    t.reserve(target.size());
    for (std::size_t i = 0; i < target.size(); ++i) {
        char c = target[i];
        if (c == '%' && i + 2 < target.size() && hexDigit(target[i + 1]) >= 0 && hexDigit(target[i + 2]) >= 0) {
            t += static_cast<char>(hexDigit(target[i + 1]) * 16 + hexDigit(target[i + 2]));
            i += 2;
        } else {
            t += c == '\\' ? '/' : c;
        }
    }
    // Control characters name no part.
    if (std::any_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return std::nullopt;
    std::string path = t.starts_with('/') ? t : std::string(sourceFolder) + "/" + t;
    text::replaceAll(path, "\\", "/");
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        std::string seg = path.substr(start, end - start);
        if (seg == "..") {
            if (segments.empty())
                return std::nullopt;
            segments.pop_back();
        } else if (!seg.empty() && seg != ".") {
            segments.push_back(std::move(seg));
        }
        start = end + 1;
    }
    if (segments.empty())
        return std::nullopt;
    std::string name;
    for (const std::string& s : segments)
        name += (name.empty() ? "" : "\\") + s;
    return name;
}

PropertyPartNames FindPropertyParts(const XmlPart& relationships) {
    PropertyPartNames names;
    bool mainStrict = false, extendedStrict = false;
    for (pugi::xml_node n = relationships.DocumentElement().first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || XmlPart::LocalName(n) != "Relationship")
            continue;
        auto mode = XmlPart::AttributeOf(n, "TargetMode");
        if (mode && text::equalsIgnoreAsciiCase(text::trim(*mode), "External"))
            continue;
        std::string type = text::trim(XmlPart::AttributeOf(n, "Type").value_or(""));
        auto target = ResolveTarget("", text::trim(XmlPart::AttributeOf(n, "Target").value_or("")));
        if (type.starts_with(kStrictTypePrefix) && type.ends_with("/officeDocument"))
            mainStrict = true;
        if (!target)
            continue;
        if (names.extended.empty() && isOneOf(type, kExtendedPropertiesTypes)) {
            names.extended = *target;
            extendedStrict = type.starts_with(kStrictTypePrefix);
        } else if (names.core.empty() && isOneOf(type, kCorePropertiesTypes)) {
            names.core = *target;
        } else if (names.custom.empty() && isOneOf(type, kCustomPropertiesTypes)) {
            names.custom = *target;
        }
    }
    names.strict = mainStrict || extendedStrict;
    return names;
}

std::vector<std::optional<std::string>> ReadElementTexts(const XmlPart& part, const std::vector<ElementName>& names) {
    std::vector<std::optional<std::string>> texts;
    texts.reserve(names.size());
    for (const ElementName& name : names) {
        pugi::xml_node e = part.FirstChild(name.ns, name.local);
        texts.push_back(e ? std::optional<std::string>(XmlPart::TextOf(e)) : std::nullopt);
    }
    return texts;
}

void ApplyElementValue(XmlPart& part, const ElementName& name, std::string_view value, bool removeWhenEmpty) {
    pugi::xml_node root = part.DocumentElement();
    pugi::xml_node existing = part.FirstChild(name.ns, name.local);
    if (value.empty() && removeWhenEmpty) {
        if (existing)
            root.remove_child(existing);
        return;
    }
    if (existing) {
        XmlPart::SetText(existing, value);
        return;
    }

    // A new element, written with the prefix the part already uses for its
    // namespace so that it never stands beside one of the same name.
    const bool declareDefault = !usablePrefix(part, name.ns) && name.standardPrefix.empty();
    const std::string prefix = declareDefault ? std::string() : BindPrefix(part, name.ns, name.standardPrefix);
    std::string qname = prefix.empty() ? std::string(name.local) : prefix + ":" + std::string(name.local);
    pugi::xml_node created = root.append_child(qname.c_str());
    if (declareDefault)
        XmlPart::AddAttribute(created, "xmlns", name.ns);
    if (isDateTerm(name)) {
        // Without the type a reader of the core properties takes the part
        // for damaged. The type's own prefix must name the terms namespace.
        std::optional<std::string> xsi = part.PrefixOnDocumentElement(kNamespaceXsi);
        if (!xsi || !isNcName(*xsi)) {
            xsi = freePrefix(root, "xsi");
            XmlPart::AddAttribute(root, ("xmlns:" + *xsi).c_str(), kNamespaceXsi);
        }
        XmlPart::AddAttribute(created, (*xsi + ":type").c_str(), prefix.empty() ? "W3CDTF" : prefix + ":W3CDTF");
    }
    XmlPart::SetText(created, value);
}

Result<PropertyParts> LoadPropertyParts(const zip::ZipDirectory& directory, const EntryExtractor& extract) {
    PropertyParts parts;
    PropertyPartNames names;
    // An archive with neither is some other kind of ZIP file (an OpenDocument
    // file, an empty archive): it holds no Office properties to show.
    const zip::ZipEntry* rels = zip::FindEntry(directory, kRelationshipsEntry);
    if (!rels && !zip::FindEntry(directory, kContentTypesEntry))
        return layout("the archive is no Office Open XML package: it has neither [Content_Types].xml nor package "
                      "relationships");
    if (rels) {
        parts.relationshipsEntry = rels->name;
        auto bytes = extractBytes(*rels, extract, "relationships");
        if (!bytes)
            return bytes.error();
        if (!bytes->empty()) {
            auto xml = loadPart(*bytes, rels->name, "relationships");
            if (!xml)
                return xml.error();
            names = FindPropertyParts(*xml);
            parts.relationships = std::move(*xml);
        }
    }
    parts.strict = names.strict;
    parts.extended.related = !names.extended.empty();
    parts.extended.entryName = parts.extended.related ? names.extended : freeEntryName(directory, "app");
    parts.core.related = !names.core.empty();
    parts.core.entryName = parts.core.related ? names.core : freeEntryName(directory, "core");
    if (parts.extended.related)
        QV_TRY(loadPropertyPart(parts.extended, directory, extract, "extended-properties", "Properties"));
    if (parts.core.related)
        QV_TRY(loadPropertyPart(parts.core, directory, extract, "core-properties", "coreProperties"));
    parts.custom.related = !names.custom.empty();
    parts.custom.entryName = parts.custom.related ? names.custom : freeEntryName(directory, "custom");
    if (parts.custom.related)
        QV_TRY(loadPropertyPart(parts.custom, directory, extract, "custom-properties", "Properties"));
    if (parts.extended.xml) {
        // The part's own namespace, whichever class it is of.
        pugi::xml_node root = parts.extended.xml->DocumentElement();
        if (XmlPart::LocalName(root) == "Properties")
            parts.extended.extendedNs = XmlPart::NamespaceOf(root);
    } else if (parts.strict) {
        parts.extended.extendedNs = std::string(kNamespaceExtendedStrict);
    }
    return parts;
}

XmlPart NewCorePart() {
    return builtIn(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
        "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"></cp:coreProperties>");
}

XmlPart NewExtendedPart(bool strict) {
    std::string ns(strict ? kNamespaceExtendedStrict : kNamespaceExtended);
    std::string vt(strict ? kNamespaceVariantTypesStrict : kNamespaceVariantTypes);
    return builtIn("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<Properties xmlns=\"" +
                               ns + "\" xmlns:vt=\"" + vt + "\"></Properties>");
}

XmlPart NewCustomPart(bool strict) {
    std::string ns(strict ? kNamespaceCustomStrict : kNamespaceCustom);
    std::string vt(strict ? kNamespaceVariantTypesStrict : kNamespaceVariantTypes);
    return builtIn("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<Properties xmlns=\"" + ns +
                   "\" xmlns:vt=\"" + vt + "\"></Properties>");
}

pugi::xml_node AppendToDocumentElement(XmlPart& part, std::string_view local) {
    pugi::xml_node root = part.DocumentElement();
    std::string_view rootName = root.name();
    std::size_t colon = rootName.find(':');
    std::string name = colon == std::string_view::npos ? std::string(local)
                                                        : std::string(rootName.substr(0, colon + 1)) + std::string(local);
    return root.append_child(name.c_str());
}

std::string BindPrefix(XmlPart& part, std::string_view ns, std::string_view standardPrefix) {
    if (auto bound = usablePrefix(part, ns))
        return *bound;
    pugi::xml_node root = part.DocumentElement();
    std::string prefix = freePrefix(root, standardPrefix);
    XmlPart::AddAttribute(root, ("xmlns:" + prefix).c_str(), ns);
    return prefix;
}

XmlPart NewRelationshipsPart() {
    return builtIn("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                               "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                               "</Relationships>");
}

Status AddOverride(XmlPart& contentTypes, std::string_view entryName, std::string_view contentType) {
    auto root = typesRoot(contentTypes);
    if (!root)
        return root.error();
    std::string partName = partNameOf(entryName);
    for (pugi::xml_node n = root->first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || XmlPart::LocalName(n) != "Override")
            continue;
        auto name = XmlPart::AttributeOf(n, "PartName");
        if (name && text::equalsIgnoreAsciiCase(*name, partName)) {
            if (auto type = XmlPart::AttributeOf(n, "ContentType"); type && *type == contentType)
                return {};
            n.remove_attribute("ContentType");
            XmlPart::AddAttribute(n, "ContentType", contentType);
            return {};
        }
    }
    pugi::xml_node o = AppendToDocumentElement(contentTypes, "Override");
    XmlPart::AddAttribute(o, "PartName", partName);
    XmlPart::AddAttribute(o, "ContentType", contentType);
    return {};
}

Status AddRelationshipsDefault(XmlPart& contentTypes) {
    auto root = typesRoot(contentTypes);
    if (!root)
        return root.error();
    for (pugi::xml_node n = root->first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element && XmlPart::LocalName(n) == "Default") {
            auto ext = XmlPart::AttributeOf(n, "Extension");
            if (ext && text::equalsIgnoreAsciiCase(*ext, "rels"))
                return {};
        }
    }
    pugi::xml_node d = AppendToDocumentElement(contentTypes, "Default");
    XmlPart::AddAttribute(d, "Extension", "rels");
    XmlPart::AddAttribute(d, "ContentType", "application/vnd.openxmlformats-package.relationships+xml");
    return {};
}

void AddRelationship(XmlPart& relationships, std::string_view type, std::string_view entryName) {
    pugi::xml_node root = relationships.DocumentElement();
    std::set<std::string> ids;
    for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element)
            if (auto id = XmlPart::AttributeOf(n, "Id"))
                ids.insert(*id);
    }
    int k = 1;
    while (ids.count("rId" + std::to_string(k)))
        ++k;
    pugi::xml_node r = AppendToDocumentElement(relationships, "Relationship");
    XmlPart::AddAttribute(r, "Id", "rId" + std::to_string(k));
    XmlPart::AddAttribute(r, "Type", type);
    // Relative to the package root, as writers put it.
    XmlPart::AddAttribute(r, "Target", partNameOf(entryName).substr(1));
}

}  // namespace qv::package
