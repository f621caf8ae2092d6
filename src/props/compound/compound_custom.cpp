#include "props/compound/compound_custom.h"

#include <algorithm>

#include "platform/platform.h"
#include "props/custom_edits.h"
#include "props/compound/propset/dictionary.h"

namespace qv {

namespace {

// A user-defined property linked to content has its link source stored
// under its own identifier with this bit set.
constexpr std::uint32_t kLinkBit = 0x01000000;
// Identifiers from here on are the format's own (locale, behaviour).
constexpr std::uint32_t kFirstReservedId = 0x80000000;
// Its value 1 says the names are compared with regard to case.
constexpr std::uint32_t kPidBehavior = 0x80000003;

bool isUserId(std::uint32_t id) { return id >= 2 && id < kFirstReservedId && !(id & kLinkBit); }

int codePageOf(const propset::Section& s) { return s.codePage().value_or(platform::ansiCodePage()); }

Result<std::vector<propset::DictionaryEntry>> dictionaryOf(const propset::Section& s) {
    const propset::StoredProperty* d = s.find(propset::kPidDictionary);
    if (!d)
        return std::vector<propset::DictionaryEntry>();
    return propset::parseDictionary(d->bytes, codePageOf(s));
}

bool namesAreCaseSensitive(const propset::Section& s) {
    auto v = s.value(kPidBehavior);
    return v && v->type == propset::kVtUi4 && v->unsignedInteger == 1;
}

CustomValue valueOf(const propset::StoredProperty& p, int codePage) {
    auto v = propset::decodeValue(p.bytes, codePage);
    std::uint16_t type = p.bytes.size() >= 2 ? static_cast<std::uint16_t>(static_cast<unsigned char>(p.bytes[0]) |
                                                                           static_cast<unsigned char>(p.bytes[1]) << 8)
                                             : propset::kVtEmpty;
    if (!v)
        return OtherValue{propset::TypeName(type), {}};
    switch (v->type) {
    case propset::kVtLpstr:
    case propset::kVtLpwstr:
        return v->text;
    case propset::kVtI4:
        return v->integer;
    case propset::kVtR8:
        return v->real;
    case propset::kVtBool:
        return v->integer != 0;
    case propset::kVtFiletime:
        return Instant{v->unsignedInteger};
    default:
        return OtherValue{propset::TypeName(v->type), propset::FormatPropertyValue(*v)};
    }
}

// The section's side of ApplyCustomEdits: the identifiers in list order,
// the dictionary as UTF-8 names, stored again only when a name comes or goes.
class SectionStore {
public:
    SectionStore(propset::Section& section, std::vector<std::uint32_t> ids,
                 std::vector<propset::DictionaryEntry> dictionary)
        : m_section(section), m_ids(std::move(ids)), m_dictionary(std::move(dictionary)) {}

    Status replace(std::size_t index, const CustomValue& value) { return store(m_ids[index], value); }

    Status add(const std::string& name, const CustomValue& value) {
        std::uint32_t id = 1;
        for (const propset::StoredProperty& p : m_section.properties())
            if (isUserId(p.id))
                id = std::max(id, p.id);
        for (const propset::DictionaryEntry& e : m_dictionary)
            if (isUserId(e.id))
                id = std::max(id, e.id);
        if (id + 1 >= kLinkBit)
            return Error(ErrorCode::Unsupported, "the section has no free property identifier");
        ++id;
        m_dictionary.push_back(propset::DictionaryEntry{id, name});
        QV_TRY(storeDictionary());
        m_ids.push_back(id);
        return store(id, value);
    }

    void remove(std::size_t index) {
        std::uint32_t id = m_ids[index];
        m_section.remove(id);
        m_section.remove(id | kLinkBit);
        std::erase_if(m_dictionary, [id](const propset::DictionaryEntry& e) { return e.id == id; });
        m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(index));
        m_dictionaryChanged = true;
    }

    // A removal stores the dictionary once, after all edits.
    Status finish() { return m_dictionaryChanged ? storeDictionary() : Status{}; }

private:
    Status storeDictionary() {
        if (!m_section.codePage())
            m_section.setStored(propset::kPidCodePage,
                                propset::encodeI2(static_cast<std::uint16_t>(platform::ansiCodePage())));
        auto bytes = propset::encodeDictionary(m_dictionary, *m_section.codePage());
        if (!bytes) {
            // A name the code page lacks: the whole section moves to UTF-16,
            // where every name fits.
            QV_TRY(m_section.convertToUnicode());
            bytes = propset::encodeDictionary(m_dictionary, propset::kCodePageUnicode);
            if (!bytes)
                return bytes.error();
        }
        m_section.setStored(propset::kPidDictionary, std::move(*bytes));
        m_dictionaryChanged = false;
        return {};
    }

    Status store(std::uint32_t id, const CustomValue& value) {
        if (auto s = std::get_if<std::string>(&value)) {
            const propset::StoredProperty* old = m_section.find(id);
            // A UTF-16 text stays one; it holds every character in any code page.
            if (old && old->bytes.size() >= 2 && static_cast<unsigned char>(old->bytes[0]) == propset::kVtLpwstr &&
                old->bytes[1] == 0) {
                m_section.setStored(id, propset::encodeLpwstr(*s));
                return {};
            }
            return m_section.setText(id, *s);
        }
        if (auto b = std::get_if<bool>(&value)) {
            m_section.setStored(id, propset::encodeBool(*b));
        } else if (auto t = std::get_if<Instant>(&value)) {
            m_section.setFileTime(id, t->utc);
        } else {
            StoredNumber n = StoreNumber(value);
            m_section.setStored(id, n.whole ? propset::encodeI4(n.i4) : propset::encodeR8(n.r8));
        }
        return {};
    }

    propset::Section& m_section;
    std::vector<std::uint32_t> m_ids;
    std::vector<propset::DictionaryEntry> m_dictionary;
    bool m_dictionaryChanged = false;
};

struct Listed {
    std::vector<CustomProperty> list;
    std::vector<std::uint32_t> ids;
    std::vector<propset::DictionaryEntry> dictionary;
};

Result<Listed> listSection(const propset::Section& section) {
    auto dictionary = dictionaryOf(section);
    if (!dictionary)
        return dictionary.error();
    Listed out;
    out.dictionary = std::move(*dictionary);
    int cp = codePageOf(section);
    for (const propset::StoredProperty& p : section.properties()) {
        if (!isUserId(p.id))
            continue;
        auto named = std::find_if(out.dictionary.begin(), out.dictionary.end(),
                                  [&p](const propset::DictionaryEntry& e) { return e.id == p.id; });
        if (named == out.dictionary.end())
            continue;
        out.list.push_back(CustomProperty{named->name, valueOf(p, cp), section.find(p.id | kLinkBit) != nullptr});
        out.ids.push_back(p.id);
    }
    return out;
}

}  // namespace

Result<std::vector<CustomProperty>> ReadUserDefinedSection(const propset::Section& section) {
    auto listed = listSection(section);
    if (!listed)
        return listed.error();
    return std::move(listed->list);
}

std::optional<std::string> ReadLinkBase(const propset::Section& section) {
    auto listed = listSection(section);
    if (!listed)
        return std::nullopt;
    auto i = FindCustom(listed->list, kLinkBaseName, namesAreCaseSensitive(section));
    if (!i)
        return std::nullopt;
    if (auto s = std::get_if<std::string>(&listed->list[*i].value))
        return *s;
    const propset::StoredProperty* p = section.find(listed->ids[*i]);
    std::string_view b = p ? std::string_view(p->bytes) : std::string_view();
    auto u32 = [&b](std::size_t at) {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k)
            v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(k)]);
        return v;
    };
    if (b.size() < 8 || (u32(0) & 0xFFFF) != propset::kVtBlob)
        return std::string();
    std::string_view data = b.substr(8, std::min<std::size_t>(u32(4), b.size() - 8));
    data = data.substr(0, data.size() & ~std::size_t{1});
    // The text ends at its first null character.
    for (std::size_t at = 0; at + 1 < data.size(); at += 2)
        if (data[at] == 0 && data[at + 1] == 0) {
            data = data.substr(0, at);
            break;
        }
    auto text = platform::decodeCodePage(propset::kCodePageUnicode, data);
    return text ? *text : std::string();
}

Status EditUserDefinedSection(propset::Section& section, const std::vector<CustomEdit>& edits) {
    auto listed = listSection(section);
    if (!listed)
        return listed.error();
    SectionStore store(section, std::move(listed->ids), std::move(listed->dictionary));
    QV_TRY(ApplyCustomEdits(listed->list, edits, namesAreCaseSensitive(section), store));
    return store.finish();
}

}  // namespace qv
