#include "props/compound/propset/property_set.h"

#include <algorithm>

#include "base/bytes.h"
#include "platform/platform.h"

namespace qv::propset {

namespace {

Error bad(const std::string& what) { return Error(ErrorCode::BadPropertySet, "damaged property set: " + what); }

constexpr std::size_t kSetHeaderSize = 28;
constexpr std::size_t kSectionSlotSize = 20;

}  // namespace

Section Section::create(int codePage) {
    Section s;
    s.setStored(kPidCodePage, encodeI2(static_cast<std::uint16_t>(codePage)));
    return s;
}

Result<Section> Section::parse(std::string_view bytes) {
    ByteReader r(bytes);
    std::uint32_t size = r.u32();
    std::uint32_t count = r.u32();
    if (!r.ok() || size < 8 || size > bytes.size())
        return bad("a section's size doesn't fit its stream");
    if (count > (size - 8) / 8)
        return bad("impossible property count " + std::to_string(count));
    struct Slot {
        std::uint32_t id, offset;
    };
    std::vector<Slot> slots(count);
    std::vector<std::uint32_t> offsets;
    offsets.reserve(count + 1);
    for (Slot& s : slots) {
        s.id = r.u32();
        s.offset = r.u32();
        if (s.offset < 8 + 8 * count || s.offset >= size)
            return bad("a property offset lies outside its section");
        offsets.push_back(s.offset);
    }
    offsets.push_back(size);
    std::sort(offsets.begin(), offsets.end());
    Section sec;
    sec.m_properties.reserve(count);
    // A property reaches up to the next one, or to the section's end.
    for (const Slot& s : slots) {
        std::uint32_t end = *std::upper_bound(offsets.begin(), offsets.end(), s.offset);
        if (end - s.offset < 4)
            return bad("a property is shorter than its type");
        sec.m_properties.push_back(StoredProperty{s.id, std::string(bytes.substr(s.offset, end - s.offset))});
    }
    return sec;
}

std::string Section::serialize() const {
    ByteWriter w;
    w.u32(0);
    w.u32(static_cast<std::uint32_t>(m_properties.size()));
    std::size_t offset = 8 + 8 * m_properties.size();
    for (const StoredProperty& p : m_properties) {
        w.u32(p.id);
        w.u32(static_cast<std::uint32_t>(offset));
        offset += p.bytes.size() + (4 - p.bytes.size() % 4) % 4;
    }
    for (const StoredProperty& p : m_properties) {
        w.bytes(p.bytes);
        w.zeros((4 - p.bytes.size() % 4) % 4);
    }
    w.patch32(0, static_cast<std::uint32_t>(w.size()));
    return w.buffer();
}

const StoredProperty* Section::find(std::uint32_t id) const {
    for (const StoredProperty& p : m_properties)
        if (p.id == id)
            return &p;
    return nullptr;
}

std::optional<int> Section::codePage() const {
    const StoredProperty* p = find(kPidCodePage);
    return p ? codePageOf(p->bytes) : std::nullopt;
}

Result<Value> Section::value(std::uint32_t id) const {
    const StoredProperty* p = find(id);
    if (!p || id == kPidDictionary)
        return Error(ErrorCode::NotFound, "no property " + std::to_string(id));
    return decodeValue(p->bytes, codePage().value_or(platform::ansiCodePage()));
}

void Section::setStored(std::uint32_t id, std::string bytes) {
    for (StoredProperty& p : m_properties) {
        if (p.id == id) {
            p.bytes = std::move(bytes);
            return;
        }
    }
    m_properties.push_back(StoredProperty{id, std::move(bytes)});
}

void Section::remove(std::uint32_t id) {
    std::erase_if(m_properties, [id](const StoredProperty& p) { return p.id == id; });
}

Status Section::setText(std::uint32_t id, std::string_view utf8) {
    if (!codePage())
        setStored(kPidCodePage, encodeI2(static_cast<std::uint16_t>(platform::ansiCodePage())));
    int cp = *codePage();
    if (cp != kCodePageUnicode) {
        // The text must come back exactly: a code page that lacks a
        // character, or maps two characters to one, gives way to Unicode.
        auto encoded = platform::encodeCodePage(cp, utf8, false);
        if (encoded) {
            auto back = platform::decodeCodePage(cp, *encoded);
            // A null byte would end the string early for every reader.
            if (back && *back == utf8 && encoded->find('\0') == std::string::npos) {
                setStored(id, encodeCodePageString(kVtLpstr, *encoded, cp));
                return {};
            }
        }
        QV_TRY(convertToUnicode());
    }
    auto wide = platform::encodeCodePage(kCodePageUnicode, utf8, false);
    if (!wide)
        return wide.error();
    setStored(id, encodeCodePageString(kVtLpstr, *wide, kCodePageUnicode));
    return {};
}

Status Section::convertToUnicode() {
    int cp = codePage().value_or(platform::ansiCodePage());
    if (cp == kCodePageUnicode)
        return {};
    // Everything is converted first, so a failure leaves the section as it was.
    std::vector<StoredProperty> converted = m_properties;
    for (StoredProperty& p : converted) {
        if (p.id == kPidCodePage)
            continue;
        auto bytes = p.id == kPidDictionary ? transcodeDictionary(p.bytes, cp) : transcodeValue(p.bytes, cp);
        if (!bytes)
            return bytes.error();
        p.bytes = std::move(*bytes);
    }
    m_properties = std::move(converted);
    setStored(kPidCodePage, encodeI2(kCodePageUnicode));
    return {};
}

PropertySet PropertySet::create(const Clsid& fmtid, int codePage) {
    PropertySet set;
    set.clsid = fmtid;
    set.sections.push_back(SectionBytes{fmtid, Section::create(codePage).serialize()});
    return set;
}

Result<PropertySet> PropertySet::parse(std::string_view stream) {
    ByteReader r(stream);
    std::uint16_t byteOrder = r.u16();
    PropertySet set;
    set.version = r.u16();
    set.systemIdentifier = r.u32();
    std::string_view id = r.bytes(16);
    std::uint32_t count = r.u32();
    if (!r.ok())
        return bad("the property-set header is cut short");
    if (byteOrder != 0xFFFE)
        return bad("wrong byte-order mark");
    std::copy(id.begin(), id.end(), set.clsid.begin());
    if (count == 0 || count > (stream.size() - kSetHeaderSize) / kSectionSlotSize)
        return bad("impossible section count " + std::to_string(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        SectionBytes s;
        std::string_view fmtid = r.bytes(16);
        std::uint32_t offset = r.u32();
        if (!r.ok())
            return bad("the section list is cut short");
        std::copy(fmtid.begin(), fmtid.end(), s.fmtid.begin());
        if (offset > stream.size() || stream.size() - offset < 8)
            return bad("a section lies outside its stream");
        std::uint32_t size = loadU32(stream.data() + offset);
        if (size < 8 || size > stream.size() - offset)
            return bad("a section runs past the end of its stream");
        s.bytes.assign(stream.substr(offset, size));
        set.sections.push_back(std::move(s));
    }
    return set;
}

std::string PropertySet::serialize() const {
    ByteWriter w;
    w.u16(0xFFFE);
    w.u16(version);
    w.u32(systemIdentifier);
    w.bytes(std::string_view(reinterpret_cast<const char*>(clsid.data()), clsid.size()));
    w.u32(static_cast<std::uint32_t>(sections.size()));
    std::size_t offset = kSetHeaderSize + kSectionSlotSize * sections.size();
    for (const SectionBytes& s : sections) {
        w.bytes(std::string_view(reinterpret_cast<const char*>(s.fmtid.data()), s.fmtid.size()));
        w.u32(static_cast<std::uint32_t>(offset));
        offset += s.bytes.size() + (4 - s.bytes.size() % 4) % 4;
    }
    for (const SectionBytes& s : sections) {
        w.bytes(s.bytes);
        w.zeros((4 - s.bytes.size() % 4) % 4);
    }
    return w.buffer();
}

int PropertySet::findSection(const Clsid& fmtid) const {
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (sections[i].fmtid == fmtid)
            return static_cast<int>(i);
    Clsid swapped = fmtid;
    std::reverse(swapped.begin(), swapped.begin() + 4);
    std::reverse(swapped.begin() + 4, swapped.begin() + 6);
    std::reverse(swapped.begin() + 6, swapped.begin() + 8);
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (sections[i].fmtid == swapped)
            return static_cast<int>(i);
    return -1;
}

}  // namespace qv::propset
