#include "props/package/extras.h"

#include <algorithm>

#include "base/text.h"
#include "props/package/properties.h"

namespace qv::package {

namespace {

bool isThumbnailType(std::string_view type) {
    return std::find(kThumbnailTypes.begin(), kThumbnailTypes.end(), type) != kThumbnailTypes.end();
}

bool isExternal(pugi::xml_node n) {
    auto mode = XmlPart::AttributeOf(n, "TargetMode");
    return mode && text::equalsIgnoreAsciiCase(text::trim(*mode), "External");
}

std::optional<std::string> targetOf(pugi::xml_node n) {
    if (isExternal(n))
        return std::nullopt;
    return ResolveTarget("", text::trim(XmlPart::AttributeOf(n, "Target").value_or("")));
}

// Removes the children of the document element that match; true when any.
template <typename Match>
bool removeChildren(XmlPart& part, Match match) {
    pugi::xml_node root = part.DocumentElement();
    bool any = false;
    for (pugi::xml_node n = root.first_child(); n;) {
        pugi::xml_node next = n.next_sibling();
        if (n.type() == pugi::node_element && match(n)) {
            root.remove_child(n);
            any = true;
        }
        n = next;
    }
    return any;
}

}  // namespace

std::optional<std::string> FindThumbnail(const XmlPart& relationships) {
    for (pugi::xml_node n = relationships.DocumentElement().first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || XmlPart::LocalName(n) != "Relationship")
            continue;
        if (!isThumbnailType(text::trim(XmlPart::AttributeOf(n, "Type").value_or(""))))
            continue;
        if (auto target = targetOf(n))
            return target;
    }
    return std::nullopt;
}

bool RemoveRelationshipsTo(XmlPart& relationships, std::string_view entryName) {
    return removeChildren(relationships, [&](pugi::xml_node n) {
        if (XmlPart::LocalName(n) != "Relationship")
            return false;
        auto target = targetOf(n);
        return target && text::equalsIgnoreAsciiCase(*target, entryName);
    });
}

bool RemoveOverride(XmlPart& contentTypes, std::string_view entryName) {
    if (XmlPart::LocalName(contentTypes.DocumentElement()) != "Types")
        return false;
    // Built piece by piece: mingw's g++ 12 warns falsely on "x" + string.
    std::string partName(1, '/');
    partName += entryName;
    text::replaceAll(partName, "\\", "/");
    return removeChildren(contentTypes, [&](pugi::xml_node n) {
        if (XmlPart::LocalName(n) != "Override")
            return false;
        auto name = XmlPart::AttributeOf(n, "PartName");
        return name && text::equalsIgnoreAsciiCase(text::trim(*name), partName);
    });
}

bool RemoveElements(XmlPart& part, std::string_view ns, std::string_view local) {
    return removeChildren(part, [&](pugi::xml_node n) {
        return XmlPart::LocalName(n) == local && XmlPart::NamespaceOf(n) == ns;
    });
}

}  // namespace qv::package
