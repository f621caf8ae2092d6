#include "props/odf/meta.h"

#include <array>
#include <cstdio>
#include <set>
#include <vector>

#include "base/text.h"
#include "props/custom_edits.h"
#include "props/datetime.h"

namespace qv::odf {

namespace {

using package::XmlPart;

// The rows that have an element of their own in office:meta.
struct RowElement {
    int row;
    std::string_view ns, local, prefix;
};
constexpr std::array<RowElement, 10> kRowElements = {{
    {kRowTitle, kNamespaceDublinCore, "title", "dc"},
    {kRowSubject, kNamespaceDublinCore, "subject", "dc"},
    {kRowAuthor, kNamespaceMeta, "initial-creator", "meta"},
    {kRowComments, kNamespaceDublinCore, "description", "dc"},
    {kRowLastSavedBy, kNamespaceDublinCore, "creator", "dc"},
    {kRowRevision, kNamespaceMeta, "editing-cycles", "meta"},
    {kRowCreated, kNamespaceMeta, "creation-date", "meta"},
    {kRowLastSaved, kNamespaceDublinCore, "date", "dc"},
    {kRowEditTime, kNamespaceMeta, "editing-duration", "meta"},
    {kRowLastPrinted, kNamespaceMeta, "print-date", "meta"},
}};

bool isElement(pugi::xml_node n, std::string_view ns, std::string_view local) {
    return n.type() == pugi::node_element && XmlPart::LocalName(n) == local && XmlPart::NamespaceOf(n) == ns;
}

pugi::xml_node firstChild(pugi::xml_node parent, std::string_view ns, std::string_view local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (isElement(c, ns, local))
            return c;
    return {};
}

// An attribute by namespace and local name, whatever prefix it is written
// with (an unprefixed attribute is in no namespace).
pugi::xml_attribute findAttribute(pugi::xml_node element, std::string_view ns, std::string_view local) {
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        std::size_t colon = name.find(':');
        if (colon == std::string_view::npos || name.substr(colon + 1) != local)
            continue;
        std::string decl = "xmlns:" + std::string(name.substr(0, colon));
        for (pugi::xml_node n = element; n && n.type() == pugi::node_element; n = n.parent()) {
            if (pugi::xml_attribute d = n.attribute(decl.c_str())) {
                if (package::DecodeXmlAttribute(d.value()) == ns)
                    return a;
                break;
            }
        }
    }
    return {};
}

std::optional<std::string> attributeOf(pugi::xml_node element, std::string_view ns, std::string_view local) {
    pugi::xml_attribute a = findAttribute(element, ns, local);
    if (!a)
        return std::nullopt;
    return text::sanitizeUtf8(package::DecodeXmlAttribute(a.value()));
}

// A declared prefix that is no XML name ("1p", "a:b") can't name an element.
bool isNcName(std::string_view p) {
    for (std::size_t i = 0; i < p.size(); ++i) {
        auto c = static_cast<unsigned char>(p[i]);
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
        if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '.' || c == '-')))
            return false;
    }
    return !p.empty();
}

// A prefix for attributes in a namespace: one the document element binds to
// it, else a free one declared there (an attribute can't use a default
// namespace).
std::string attributePrefix(XmlPart& part, std::string_view ns, std::string_view standard) {
    pugi::xml_node root = part.DocumentElement();
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (name.starts_with("xmlns:") && isNcName(name.substr(6)) && package::DecodeXmlAttribute(a.value()) == ns)
            return std::string(name.substr(6));
    }
    // Not one the part writes anywhere, bound or not: declared here, it would
    // put those names into this namespace.
    std::set<std::string, std::less<>> used;
    auto note = [&used](std::string_view name) {
        if (std::size_t colon = name.find(':'); colon != std::string_view::npos)
            used.emplace(name.substr(0, colon));
    };
    pugi::xml_node top = part.DocumentElement();
    for (pugi::xml_node n = top; n;) {
        if (n.type() == pugi::node_element) {
            note(n.name());
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
                note(a.name());
                if (std::string_view(a.name()).starts_with("xmlns:"))
                    used.emplace(std::string_view(a.name()).substr(6));
            }
        }
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (n && n != top && !n.next_sibling())
            n = n.parent();
        n = n && n != top ? n.next_sibling() : pugi::xml_node();
    }
    std::string p(standard);
    for (int n = 1; used.count(p); ++n)
        p = std::string(standard) + std::to_string(n);
    XmlPart::AddAttribute(root, ("xmlns:" + p).c_str(), ns);
    return p;
}

void setAttribute(XmlPart& part, pugi::xml_node element, std::string_view ns, std::string_view local,
                  std::string_view value) {
    if (pugi::xml_attribute a = findAttribute(element, ns, local)) {
        a.set_value(package::EscapeXmlAttribute(value).c_str());
        return;
    }
    std::string name = attributePrefix(part, ns, "meta") + ":" + std::string(local);
    XmlPart::AddAttribute(element, name.c_str(), value);
}

// A new element in a namespace, with the prefix the part binds to it.
pugi::xml_node newElement(XmlPart& part, pugi::xml_node parent, std::string_view ns, std::string_view local,
                          std::string_view standardPrefix, pugi::xml_node after = {}) {
    std::string prefix = BindPrefix(part, ns, standardPrefix);
    std::string qname = prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
    return after ? parent.insert_child_after(qname.c_str(), after) : parent.append_child(qname.c_str());
}

Result<pugi::xml_node> documentMeta(const XmlPart& part) {
    pugi::xml_node root = part.DocumentElement();
    // meta.xml, or a flat file's document (cut down to its office:meta).
    if (!isElement(root, kNamespaceOffice, "document-meta") && !isElement(root, kNamespaceOffice, "document"))
        return Error(ErrorCode::BadXml, "meta.xml holds no office:document-meta");
    return root;
}

bool isUserDefined(pugi::xml_node n) { return isElement(n, kNamespaceMeta, "user-defined"); }

std::optional<std::string> userDefinedName(pugi::xml_node n) { return attributeOf(n, kNamespaceMeta, "name"); }

// The first user-defined property of a row's name.
pugi::xml_node rowUserDefined(pugi::xml_node meta, int row) {
    for (pugi::xml_node c = meta.first_child(); c; c = c.next_sibling())
        if (isUserDefined(c))
            if (auto name = userDefinedName(c); name && RowOfUserDefinedName(*name) == row)
                return c;
    return {};
}

std::string_view nameOfRow(int row) {
    return row == kRowCategory ? kCategoryName : row == kRowManager ? kManagerName : kCompanyName;
}

StoredProperty storedValue(int row, std::string text) {
    StoredProperty p;
    p.present = true;
    if (isDateRow(row)) {
        auto t = ParseDate(text);
        p.value = t ? PropertyValue(Instant{*t}) : PropertyValue(std::string());
    } else if (row == kRowEditTime) {
        auto d = ParseDuration(text);
        p.value = d ? PropertyValue(Duration{*d}) : PropertyValue(std::move(text));
    } else if (row == kRowRevision) {
        auto n = ExactWholeNumber(text);
        p.value = n ? PropertyValue(*n) : PropertyValue(std::move(text));
    } else {
        p.value = std::move(text);
    }
    return p;
}

CustomValue userDefinedValue(pugi::xml_node n) {
    std::string raw = XmlPart::TextOf(n);
    std::string type = attributeOf(n, kNamespaceMeta, "value-type").value_or("string");
    std::string t = text::trim(raw);
    if (type == "string")
        return raw;
    if (type == "float" || type == "percentage" || type == "currency") {
        if (auto whole = ExactWholeNumber(t))
            return *whole;
        if (auto r = text::parseReal(t))
            return *r;
    } else if (type == "boolean") {
        if (t == "true")
            return true;
        if (t == "false")
            return false;
    } else if (type == "date") {
        if (auto d = ParseDate(t))
            return Instant{*d};
    }
    return OtherValue{type, raw};
}

Error cannotHold(int row, const char* what) {
    return Error(ErrorCode::ConversionFailed,
                 std::string("the value of ") + kCatalogue[static_cast<std::size_t>(row)].Key + " is not " + what);
}

Status writableText(std::string_view text, const std::string& what) {
    if (!package::IsXmlWritable(text))
        return Error(ErrorCode::ConversionFailed, what + " holds a character that XML can't hold");
    return {};
}

// A row's value as the text its element takes, checked before anything is
// changed; dates are kept as instants, their form depends on the element.
struct Planned {
    std::string text;
    std::optional<FileTime> date;
};

Result<Planned> plan(int row, const PropertyEdit& edit) {
    Planned p;
    if (edit.action == PropertyEdit::Action::Erase)
        return p;
    const PropertyValue& v = edit.value;
    if (isDateRow(row)) {
        auto t = std::get_if<Instant>(&v);
        if (!t)
            return cannotHold(row, "a date");
        p.date = t->utc;
        return p;
    }
    if (row == kRowEditTime) {
        auto d = std::get_if<Duration>(&v);
        if (!d)
            return cannotHold(row, "a length of time");
        p.text = FormatDuration(d->ticks);
        return p;
    }
    if (auto n = std::get_if<std::int64_t>(&v))
        p.text = std::to_string(*n);
    else if (auto s = std::get_if<std::string>(&v))
        p.text = *s;
    else
        return cannotHold(row, "a text");
    // The number of editing cycles is a count.
    if (row == kRowRevision && (!ExactWholeNumber(p.text) || p.text.starts_with('-')))
        return cannotHold(row, "a whole number of 0 or more");
    QV_TRY(writableText(p.text, std::string("the value of ") + kCatalogue[static_cast<std::size_t>(row)].Key));
    return p;
}

void setText(pugi::xml_node e, std::string_view value) { XmlPart::SetText(e, value); }

// The keywords: one element each, reusing the elements there are in order.
void writeKeywords(XmlPart& part, pugi::xml_node meta, const std::string& joined) {
    std::vector<std::string> words;
    for (std::size_t start = 0; start <= joined.size();) {
        std::size_t end = joined.find(kKeywordSeparator, start);
        if (end == std::string::npos)
            end = joined.size();
        if (end > start)
            words.push_back(joined.substr(start, end - start));
        start = end + kKeywordSeparator.size();
    }
    std::vector<pugi::xml_node> existing;
    for (pugi::xml_node c = meta.first_child(); c; c = c.next_sibling())
        if (isElement(c, kNamespaceMeta, "keyword"))
            existing.push_back(c);
    pugi::xml_node last = existing.empty() ? pugi::xml_node() : existing.back();
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i < existing.size()) {
            setText(existing[i], words[i]);
            continue;
        }
        last = newElement(part, meta, kNamespaceMeta, "keyword", "meta", last);
        setText(last, words[i]);
    }
    for (std::size_t i = words.size(); i < existing.size(); ++i)
        meta.remove_child(existing[i]);
}

void writeRow(XmlPart& part, pugi::xml_node meta, int row, const PropertyEdit& edit, const Planned& value) {
    const bool erase = edit.action == PropertyEdit::Action::Erase;
    if (row == kRowKeywords)
        return writeKeywords(part, meta, erase ? std::string() : value.text);
    if (row == kRowCategory || row == kRowManager || row == kRowCompany) {
        pugi::xml_node e = rowUserDefined(meta, row);
        if (erase) {
            if (e)
                meta.remove_child(e);
            return;
        }
        if (!e) {
            e = newElement(part, meta, kNamespaceMeta, "user-defined", "meta");
            setAttribute(part, e, kNamespaceMeta, "name", nameOfRow(row));
        } else if (auto type = attributeOf(e, kNamespaceMeta, "value-type"); type && *type != "string") {
            setAttribute(part, e, kNamespaceMeta, "value-type", "string");
        }
        setText(e, value.text);
        return;
    }
    for (const RowElement& re : kRowElements) {
        if (re.row != row)
            continue;
        pugi::xml_node e = firstChild(meta, re.ns, re.local);
        if (erase) {
            // A text keeps its element, empty; a date, a count or a length
            // of time can't be empty, so its element goes.
            if (e && (isDateRow(row) || row == kRowEditTime || row == kRowRevision))
                meta.remove_child(e);
            else if (e)
                setText(e, "");
            return;
        }
        std::string text = value.text;
        if (value.date)
            text = FormatDate(*value.date, e ? DateFormOf(XmlPart::TextOf(e)) : DateForm{});
        if (!e)
            e = newElement(part, meta, re.ns, re.local, re.prefix);
        setText(e, text);
        return;
    }
}

// The part's side of ApplyCustomEdits: the user-defined elements other than
// the three that hold rows, in list order.
class UserDefinedStore {
public:
    UserDefinedStore(XmlPart& part, pugi::xml_node meta, std::vector<pugi::xml_node> nodes)
        : m_part(part), m_meta(meta), m_nodes(std::move(nodes)) {}

    Status replace(std::size_t index, const CustomValue& value) { return write(m_nodes[index], value); }

    Status add(const std::string& name, const CustomValue& value) {
        if (int row = RowOfUserDefinedName(name); row >= 0)
            return Error(ErrorCode::ConversionFailed, "the user-defined property \"" + name + "\" holds the " +
                                                          kCatalogue[static_cast<std::size_t>(row)].Key +
                                                          " row of an OpenDocument file; set that row instead");
        QV_TRY(writableText(name, "the name of the user-defined property \"" + text::sanitizeUtf8(name) + "\""));
        pugi::xml_node e = newElement(m_part, m_meta, kNamespaceMeta, "user-defined", "meta");
        setAttribute(m_part, e, kNamespaceMeta, "name", name);
        m_nodes.push_back(e);
        return write(e, value);
    }

    void remove(std::size_t index) {
        m_meta.remove_child(m_nodes[index]);
        m_nodes.erase(m_nodes.begin() + static_cast<std::ptrdiff_t>(index));
    }

private:
    Status write(pugi::xml_node e, const CustomValue& value) {
        std::string old = attributeOf(e, kNamespaceMeta, "value-type").value_or("string");
        std::string type, text;
        if (auto s = std::get_if<std::string>(&value)) {
            QV_TRY(writableText(*s, "the value of the user-defined property \"" +
                                        userDefinedName(e).value_or("") + "\""));
            type = "string";
            text = *s;
        } else if (auto b = std::get_if<bool>(&value)) {
            type = "boolean";
            text = *b ? "true" : "false";
        } else if (auto t = std::get_if<Instant>(&value)) {
            type = "date";
            text = FormatDate(t->utc, old == "date" ? DateFormOf(text::trim(XmlPart::TextOf(e))) : DateForm{});
        } else if (auto n = std::get_if<std::int64_t>(&value)) {
            text = std::to_string(*n);
        } else if (auto r = std::get_if<double>(&value)) {
            text = text::formatReal(*r);
        } else {
            return Error(ErrorCode::Unsupported, "a value of another type is not written");
        }
        // A number stays a percentage or a currency amount when it was one.
        if (type.empty())
            type = old == "percentage" || old == "currency" ? old : "float";
        if (type != old || findAttribute(e, kNamespaceMeta, "value-type"))
            setAttribute(m_part, e, kNamespaceMeta, "value-type", type);
        setText(e, text);
        return {};
    }

    XmlPart& m_part;
    pugi::xml_node m_meta;
    std::vector<pugi::xml_node> m_nodes;
};

struct Listed {
    std::vector<CustomProperty> list;
    std::vector<pugi::xml_node> nodes;
};

Listed listUserDefined(pugi::xml_node meta) {
    Listed out;
    if (!meta)
        return out;
    for (pugi::xml_node c = meta.first_child(); c; c = c.next_sibling()) {
        if (!isUserDefined(c))
            continue;
        auto name = userDefinedName(c);
        if (!name || RowOfUserDefinedName(*name) >= 0)
            continue;
        out.list.push_back(CustomProperty{*name, userDefinedValue(c), false});
        out.nodes.push_back(c);
    }
    return out;
}

}  // namespace

std::string BindPrefix(XmlPart& part, std::string_view ns, std::string_view standardPrefix) {
    if (auto bound = part.PrefixOnDocumentElement(ns); bound && (bound->empty() || isNcName(*bound)))
        return *bound;
    return attributePrefix(part, ns, standardPrefix);
}

int RowOfUserDefinedName(std::string_view name) {
    if (text::equalsIgnoreAsciiCase(name, kCategoryName))
        return kRowCategory;
    if (text::equalsIgnoreAsciiCase(name, kManagerName))
        return kRowManager;
    if (text::equalsIgnoreAsciiCase(name, kCompanyName))
        return kRowCompany;
    return -1;
}

Result<DocumentMetadata> ReadMeta(const XmlPart& part) {
    auto root = documentMeta(part);
    if (!root)
        return root.error();
    DocumentMetadata values;
    pugi::xml_node meta = firstChild(*root, kNamespaceOffice, "meta");
    if (!meta)
        return values;
    for (const RowElement& re : kRowElements)
        if (pugi::xml_node e = firstChild(meta, re.ns, re.local))
            values[re.row] = storedValue(re.row, XmlPart::TextOf(e));
    std::string keywords;
    bool anyKeyword = false;
    for (pugi::xml_node c = meta.first_child(); c; c = c.next_sibling()) {
        if (!isElement(c, kNamespaceMeta, "keyword"))
            continue;
        keywords += (anyKeyword ? std::string(kKeywordSeparator) : std::string()) + XmlPart::TextOf(c);
        anyKeyword = true;
    }
    if (anyKeyword)
        values[kRowKeywords] = StoredProperty{true, keywords};
    for (int row : {kRowCategory, kRowManager, kRowCompany})
        if (pugi::xml_node e = rowUserDefined(meta, row))
            values[row] = StoredProperty{true, XmlPart::TextOf(e)};
    values.custom = listUserDefined(meta).list;
    // What says where the document was made: the program that saved it and
    // the template it came from (a path that often names a server and a user).
    if (pugi::xml_node g = firstChild(meta, kNamespaceMeta, "generator"); g && !XmlPart::TextOf(g).empty())
        values.extras.application = XmlPart::TextOf(g);
    if (pugi::xml_node t = firstChild(meta, kNamespaceMeta, "template"))
        for (pugi::xml_attribute a = t.first_attribute(); a; a = a.next_attribute()) {
            const std::string_view name = a.name();
            if (name == "xlink:href" || (name.size() > 5 && name.substr(name.size() - 5) == ":href"))
                values.extras.templateName = a.value();
        }
    return values;
}

Status EditMeta(XmlPart& part, const MetadataEdits& edits) {
    std::array<Planned, kRowCount> planned;
    for (int row = 0; row < kRowCount; ++row) {
        if (!edits[row].changes())
            continue;
        auto p = plan(row, edits[row]);
        if (!p)
            return p.error();
        planned[static_cast<std::size_t>(row)] = std::move(*p);
    }
    auto root = documentMeta(part);
    if (!root)
        return root.error();
    pugi::xml_node meta = firstChild(*root, kNamespaceOffice, "meta");
    if (!meta)
        meta = newElement(part, *root, kNamespaceOffice, "meta", "office");
    for (int row = 0; row < kRowCount; ++row)
        if (edits[row].changes())
            writeRow(part, meta, row, edits[row], planned[static_cast<std::size_t>(row)]);
    auto removeAll = [&meta](const char* local) {
        while (pugi::xml_node e = firstChild(meta, kNamespaceMeta, local))
            meta.remove_child(e);
    };
    if (edits.remove.application)
        removeAll("generator");
    if (edits.remove.templateName)
        removeAll("template");
    if (edits.custom.empty())
        return {};
    Listed listed = listUserDefined(meta);
    UserDefinedStore store(part, meta, std::move(listed.nodes));
    return ApplyCustomEdits(listed.list, edits.custom, false, store);
}

XmlPart NewMetaPart(std::string_view version) {
    std::string v = package::IsXmlWritable(version) && !version.empty()
                        ? " office:version=\"" + package::EscapeXmlAttribute(version) + "\""
                        : std::string();
    auto part = XmlPart::Load(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-meta xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"" +
        v + "><office:meta/></office:document-meta>");
    return std::move(*part);
}

}  // namespace qv::odf
