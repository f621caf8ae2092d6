#include "props/package/package_custom.h"

#include "base/text.h"
#include "props/custom_edits.h"
#include "props/datetime.h"
#include "props/package/properties.h"

namespace qv {

namespace {

using package::XmlPart;

constexpr const char* kUserDefinedFmtid = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

bool isProperty(pugi::xml_node n) { return n.type() == pugi::node_element && XmlPart::LocalName(n) == "property"; }

pugi::xml_node valueElement(pugi::xml_node property) {
    for (pugi::xml_node c = property.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            return c;
    return {};
}

bool hasElementChildren(pugi::xml_node n) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            return true;
    return false;
}

CustomValue valueOf(pugi::xml_node property) {
    pugi::xml_node e = valueElement(property);
    if (!e)
        return OtherValue{"empty", {}};
    std::string type(XmlPart::LocalName(e));
    if (hasElementChildren(e))
        return OtherValue{type, {}};
    std::string raw = XmlPart::TextOf(e);
    std::string t = text::trim(raw);
    if (type == "lpwstr" || type == "lpstr")
        return raw;
    if (type == "i4")
        if (auto n = text::parseInt32(t))
            return std::int64_t{*n};
    if (type == "r8")
        if (auto r = text::parseReal(t))
            return *r;
    if (type == "bool") {
        if (t == "true" || t == "1")
            return true;
        if (t == "false" || t == "0")
            return false;
    }
    if (type == "filetime")
        if (auto utc = ParseW3cdtf(t))
            return Instant{*utc};
    return OtherValue{type, raw};
}

// The part's side of ApplyCustomEdits: the property elements in list order.
class PartStore {
public:
    PartStore(XmlPart& part, std::vector<pugi::xml_node> nodes) : m_part(part), m_nodes(std::move(nodes)) {}

    Status replace(std::size_t index, const CustomValue& value) {
        pugi::xml_node p = m_nodes[index];
        pugi::xml_node old = valueElement(p);
        bool eightBit = old && XmlPart::LocalName(old) == "lpstr";
        while (p.first_child())
            p.remove_child(p.first_child());
        return writeValue(p, value, eightBit);
    }

    Status add(const std::string& name, const CustomValue& value) {
        if (!package::IsXmlWritable(name))
            return Error(ErrorCode::ConversionFailed,
                         "the name of the user-defined property \"" + text::sanitizeUtf8(name) +
                             "\" holds a character that XML can't hold");
        pugi::xml_node root = m_part.DocumentElement();
        long pid = 1;
        for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling())
            if (isProperty(n))
                if (auto v = text::parseInt32(text::trim(XmlPart::AttributeOf(n, "pid").value_or(""))))
                    pid = std::max<long>(pid, *v);
        if (pid >= INT32_MAX)
            return Error(ErrorCode::Unsupported, "the custom-properties part has no free pid");
        pugi::xml_node p = package::AppendToDocumentElement(m_part, "property");
        XmlPart::AddAttribute(p, "fmtid", kUserDefinedFmtid);
        XmlPart::AddAttribute(p, "pid", std::to_string(pid + 1));
        XmlPart::AddAttribute(p, "name", name);
        m_nodes.push_back(p);
        return writeValue(p, value, false);
    }

    void remove(std::size_t index) {
        m_part.DocumentElement().remove_child(m_nodes[index]);
        m_nodes.erase(m_nodes.begin() + static_cast<std::ptrdiff_t>(index));
    }

private:
    Status writeValue(pugi::xml_node p, const CustomValue& value, bool eightBit) {
        std::string type, text;
        if (auto s = std::get_if<std::string>(&value)) {
            if (!package::IsXmlWritable(*s))
                return Error(ErrorCode::ConversionFailed,
                             "the value of the user-defined property \"" +
                                 text::sanitizeUtf8(XmlPart::AttributeOf(p, "name").value_or("")) +
                                 "\" holds a character that XML can't hold");
            type = eightBit ? "lpstr" : "lpwstr";
            text = *s;
        } else if (auto b = std::get_if<bool>(&value)) {
            type = "bool";
            text = *b ? "true" : "false";
        } else if (auto t = std::get_if<Instant>(&value)) {
            type = "filetime";
            text = FormatW3cdtf(t->utc);
        } else {
            StoredNumber n = StoreNumber(value);
            type = n.whole ? "i4" : "r8";
            text = n.whole ? std::to_string(n.i4) : text::formatReal(n.r8);
        }
        pugi::xml_node root = m_part.DocumentElement();
        bool strict = XmlPart::NamespaceOf(root) == package::kNamespaceCustomStrict;
        std::string prefix = m_part.PrefixOnDocumentElement(package::kNamespaceVariantTypes).has_value() || !strict
                                 ? package::BindPrefix(m_part, package::kNamespaceVariantTypes, "vt")
                                 : package::BindPrefix(m_part, package::kNamespaceVariantTypesStrict, "vt");
        std::string qname = prefix.empty() ? type : prefix + ":" + type;
        pugi::xml_node e = p.append_child(qname.c_str());
        XmlPart::SetText(e, text);
        return {};
    }

    XmlPart& m_part;
    std::vector<pugi::xml_node> m_nodes;
};

}  // namespace

namespace {

struct Listed {
    std::vector<CustomProperty> list;
    std::vector<pugi::xml_node> nodes;
};

Listed listPart(const XmlPart& part) {
    Listed out;
    for (pugi::xml_node n = part.DocumentElement().first_child(); n; n = n.next_sibling()) {
        if (!isProperty(n))
            continue;
        auto name = XmlPart::AttributeOf(n, "name");
        if (!name)
            continue;
        out.list.push_back(CustomProperty{*name, valueOf(n), XmlPart::AttributeOf(n, "linkTarget").has_value()});
        out.nodes.push_back(n);
    }
    return out;
}

}  // namespace

std::vector<CustomProperty> ReadCustomPart(const XmlPart& part) { return listPart(part).list; }

Status EditCustomPart(XmlPart& part, const std::vector<CustomEdit>& edits) {
    Listed listed = listPart(part);
    PartStore store(part, std::move(listed.nodes));
    return ApplyCustomEdits(listed.list, edits, false, store);
}

}  // namespace qv
