#include "props/package/properties.h"

#include "base/text.h"

namespace qv::package {

namespace {

std::string_view prefixOf(std::string_view qname) {
    std::size_t colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

// The namespace the tool's elements of a prefix belong to.
std::optional<std::string_view> usualNamespace(std::string_view prefix) {
    if (prefix == "cp")
        return kNamespaceCoreProperties;
    if (prefix == "dc")
        return kNamespaceDublinCore;
    if (prefix == "dcterms")
        return kNamespaceDublinCoreTerms;
    return std::nullopt;
}

// The prefix (other than skip) that the document element binds to a namespace.
std::optional<std::string> otherPrefixFor(pugi::xml_node root, std::string_view ns, std::string_view skip) {
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (!text::startsWith(name, "xmlns:"))
            continue;
        std::string_view prefix = name.substr(6);
        if (prefix != skip && DecodeXmlAttribute(a.value()) == ns)
            return std::string(prefix);
    }
    return std::nullopt;
}

bool isDateTerm(std::string_view name) { return name == "dcterms:created" || name == "dcterms:modified"; }

Error layout(const std::string& what) { return Error(ErrorCode::PackageLayout, what); }

// Extracts an entry found by name; a missing or empty part is a layout error.
Result<std::string> extractPart(const zip::ZipDirectory& directory, const EntryExtractor& extract,
                                const std::string& name, const char* what) {
    const zip::ZipEntry* entry = zip::FindEntry(directory, name);
    if (!entry)
        return layout(std::string("the ") + what + " part " + text::sanitizeUtf8(name) + " is not in the package");
    if (entry->uncompressedSize > kMaxPartSize)
        return Error(ErrorCode::TooLarge, std::string("the ") + what + " part is larger than a property part can be");
    auto bytes = extract(*entry);
    if (!bytes) {
        Error e = bytes.error();
        e.message = std::string("the ") + what + " part " + text::sanitizeUtf8(name) + ": " + e.message;
        return e;
    }
    if (bytes->empty())
        return layout(std::string("the ") + what + " part " + text::sanitizeUtf8(name) + " is empty");
    return bytes;
}

Result<XmlPart> loadPart(const std::string& bytes, const std::string& name, const char* what) {
    auto part = XmlPart::Load(bytes);
    if (!part) {
        Error e = part.error();
        e.message = std::string("the ") + what + " part " + text::sanitizeUtf8(name) + ": " + e.message;
        return e;
    }
    return part;
}

}  // namespace

PropertyPartNames FindPropertyParts(const XmlPart& relationships) {
    PropertyPartNames names;
    for (pugi::xml_node n = relationships.DocumentElement().first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || std::string_view(n.name()) != "Relationship")
            continue;
        auto type = XmlPart::AttributeOf(n, "Type");
        auto target = XmlPart::AttributeOf(n, "Target");
        if (type && *type == kExtendedPropertiesType)
            names.extended = target.value_or("");
        else if (type && *type == kCorePropertiesType)
            names.core = target.value_or("");
        if (names.complete())
            break;
    }
    text::replaceAll(names.extended, "/", "\\");
    text::replaceAll(names.core, "/", "\\");
    return names;
}

std::vector<std::optional<std::string>> ReadElementTexts(const XmlPart& part,
                                                        const std::vector<std::string_view>& names) {
    std::vector<std::optional<std::string>> texts;
    texts.reserve(names.size());
    for (std::string_view name : names) {
        pugi::xml_node e = part.FirstChild(name);
        texts.push_back(e ? std::optional<std::string>(XmlPart::TextOf(e)) : std::nullopt);
    }
    return texts;
}

Status ApplyElementValue(XmlPart& part, std::string_view name, std::string_view value) {
    pugi::xml_node root = part.DocumentElement();
    pugi::xml_node existing = part.FirstChild(name);
    if (value.empty() && (name == "cp:lastPrinted" || name == "TotalTime")) {
        if (existing)
            root.remove_child(existing);
        return {};
    }
    if (existing) {
        XmlPart::SetText(existing, value);
        return {};
    }

    // A new element. Its prefix must be bound on the document element; where
    // it isn't, the usual namespace is declared there, unless the part binds
    // that namespace to another prefix: the new element would then be a
    // second one of its kind, which readers take for a damaged part.
    std::string_view prefix = prefixOf(name);
    std::optional<std::string> declareDefault;
    if (!prefix.empty()) {
        if (!part.NamespaceOnDocumentElement(prefix)) {
            auto ns = usualNamespace(prefix);
            if (!ns)
                return layout("the part declares no namespace for the prefix of " + std::string(name));
            if (auto other = otherPrefixFor(root, *ns, prefix))
                return layout("the part names its " + std::string(prefix) + " elements with the prefix " + *other +
                              ", so " + std::string(name) + " can't be added");
            XmlPart::AddAttribute(root, ("xmlns:" + std::string(prefix)).c_str(), *ns);
        }
    } else {
        // Unprefixed: in the document element's namespace, declared on the
        // new element when the document element is prefixed.
        std::string_view rootPrefix = prefixOf(root.name());
        if (!rootPrefix.empty()) {
            auto ns = part.NamespaceOnDocumentElement(rootPrefix);
            auto def = part.NamespaceOnDocumentElement("");
            if (ns && def != ns)
                declareDefault = *ns;
        }
    }
    pugi::xml_node created = root.append_child(std::string(name).c_str());
    if (declareDefault)
        XmlPart::AddAttribute(created, "xmlns", *declareDefault);
    if (isDateTerm(name)) {
        // Without the type a reader of the core properties takes the part
        // for damaged.
        auto xsi = part.NamespaceOnDocumentElement("xsi");
        if (!xsi)
            XmlPart::AddAttribute(root, "xmlns:xsi", kNamespaceXsi);
        else if (*xsi != kNamespaceXsi)
            XmlPart::AddAttribute(created, "xmlns:xsi", kNamespaceXsi);
        XmlPart::AddAttribute(created, "xsi:type", "dcterms:W3CDTF");
    }
    XmlPart::SetText(created, value);
    return {};
}

Status ApplyElementList(XmlPart& part, const std::vector<std::string_view>& names,
                        const std::vector<std::string>& values, const std::vector<bool>& flags) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (flags[i])
            QV_TRY(ApplyElementValue(part, names[i], values[i]));
    }
    return {};
}

Result<PropertyParts> LoadPropertyParts(const zip::ZipDirectory& directory, const EntryExtractor& extract) {
    const zip::ZipEntry* rels = nullptr;
    for (const zip::ZipEntry& e : directory.entries) {
        if (e.fileName == kRelationshipsFileName && e.directory == kRelationshipsPath) {
            rels = &e;
            break;
        }
    }
    if (!rels)
        return layout("the package has no relationships part _rels\\.rels");
    if (rels->uncompressedSize > kMaxPartSize)
        return Error(ErrorCode::TooLarge, "the relationships part is larger than this tool reads");
    auto relsBytes = extract(*rels);
    if (!relsBytes) {
        Error e = relsBytes.error();
        e.message = "the relationships part: " + e.message;
        return e;
    }
    if (relsBytes->empty())
        return layout("the relationships part _rels\\.rels is empty");
    auto relsPart = loadPart(*relsBytes, "_rels\\.rels", "relationships");
    if (!relsPart)
        return relsPart.error();

    PropertyPartNames names = FindPropertyParts(*relsPart);
    if (names.extended.empty())
        return layout("the package has no extended-properties relationship");
    if (names.core.empty())
        return layout("the package has no core-properties relationship");

    auto extBytes = extractPart(directory, extract, names.extended, "extended-properties");
    if (!extBytes)
        return extBytes.error();
    auto ext = loadPart(*extBytes, names.extended, "extended-properties");
    if (!ext)
        return ext.error();
    auto coreBytes = extractPart(directory, extract, names.core, "core-properties");
    if (!coreBytes)
        return coreBytes.error();
    auto core = loadPart(*coreBytes, names.core, "core-properties");
    if (!core)
        return core.error();
    return PropertyParts{std::move(names), std::move(*ext), std::move(*core)};
}

}  // namespace qv::package
