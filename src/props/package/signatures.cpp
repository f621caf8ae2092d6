#include "props/package/signatures.h"

#include <algorithm>
#include <set>

#include "base/text.h"

namespace qv::package {

namespace {

std::string folderOf(std::string_view entryName) {
    std::size_t sep = entryName.rfind('\\');
    return sep == std::string_view::npos ? std::string() : std::string(entryName.substr(0, sep));
}

std::string fileOf(std::string_view entryName) {
    std::size_t sep = entryName.rfind('\\');
    return std::string(sep == std::string_view::npos ? entryName : entryName.substr(sep + 1));
}

// The non-external targets of one type in a relationships part, resolved
// against the source part's folder.
std::vector<std::string> targetsOfType(const XmlPart& rels, std::string_view sourceFolder, std::string_view type) {
    std::vector<std::string> out;
    for (pugi::xml_node n = rels.DocumentElement().first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || XmlPart::LocalName(n) != "Relationship")
            continue;
        auto mode = XmlPart::AttributeOf(n, "TargetMode");
        if (mode && text::equalsIgnoreAsciiCase(text::trim(*mode), "External"))
            continue;
        if (text::trim(XmlPart::AttributeOf(n, "Type").value_or("")) != type)
            continue;
        if (auto t = ResolveTarget(sourceFolder, text::trim(XmlPart::AttributeOf(n, "Target").value_or(""))))
            out.push_back(std::move(*t));
    }
    return out;
}

std::optional<XmlPart> loadEntry(const zip::ZipDirectory& directory, const EntryExtractor& extract,
                                 std::string_view name) {
    const zip::ZipEntry* e = zip::FindEntry(directory, name);
    if (!e || e->uncompressedSize > kMaxPartSize)
        return std::nullopt;
    auto bytes = extract(*e);
    if (!bytes)
        return std::nullopt;
    auto xml = XmlPart::Load(*bytes);
    if (!xml)
        return std::nullopt;
    return std::move(*xml);
}

// Every Reference URI that names a part (a "#id" names an element of the
// signature itself). Walked without recursion: a hostile signature may nest
// deeper than the stack reaches.
void collectReferences(pugi::xml_node root, std::vector<std::string>& out) {
    for (pugi::xml_node n = root; n;) {
        if (n.type() == pugi::node_element && XmlPart::LocalName(n) == "Reference") {
            std::string uri = text::trim(XmlPart::AttributeOf(n, "URI").value_or(""));
            if (!uri.empty() && uri[0] != '#')
                if (auto name = ResolveTarget("", uri))
                    out.push_back(std::move(*name));
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != root && !n.next_sibling())
            n = n.parent();
        n = n && n != root ? n.next_sibling() : pugi::xml_node();
    }
}

}  // namespace

bool SignedParts::covers(std::string_view entryName) const {
    if (coversEverything)
        return true;
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return text::equalsIgnoreAsciiCase(n, entryName); });
}

SignedParts FindSignedParts(const zip::ZipDirectory& directory, const EntryExtractor& extract,
                            const std::optional<XmlPart>& packageRelationships) {
    std::vector<std::string> signatureParts;
    if (packageRelationships) {
        for (const std::string& origin : targetsOfType(*packageRelationships, "", kSignatureOriginType)) {
            std::string folder = folderOf(origin);
            std::string relsName = (folder.empty() ? "" : folder + "\\") + "_rels\\" + fileOf(origin) + ".rels";
            if (auto rels = loadEntry(directory, extract, relsName))
                for (std::string& s : targetsOfType(*rels, folder, kSignatureType))
                    signatureParts.push_back(std::move(s));
        }
    }
    for (const zip::ZipEntry& e : directory.entries) {
        const std::string upper = text::toUpperAscii(e.name);
        if (upper.starts_with(text::toUpperAscii(kSignatureFolder)) && upper.ends_with(".XML") &&
            upper.find("\\_RELS\\") == std::string::npos)
            signatureParts.push_back(e.name);
    }
    SignedParts out;
    std::set<std::string> seen;
    for (const std::string& name : signatureParts) {
        if (!seen.insert(text::toUpperAscii(name)).second)
            continue;
        if (!zip::FindEntry(directory, name))
            continue;
        out.signedPackage = true;
        auto xml = loadEntry(directory, extract, name);
        // A signature that can't be read may cover anything.
        if (!xml) {
            out.coversEverything = true;
            continue;
        }
        collectReferences(xml->DocumentElement(), out.names);
    }
    return out;
}

}  // namespace qv::package
