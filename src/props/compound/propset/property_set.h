// Property-set streams (MS-OLEPS) on bytes: the PropertySetHeader with its
// sections, and a section's properties, each kept as the bytes it is stored
// in, so that everything the tool doesn't change is written back as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "props/compound/propset/typed_value.h"

namespace qv::propset {

constexpr std::uint32_t kPidDictionary = 0;
constexpr std::uint32_t kPidCodePage = 1;

// One property as stored: its identifier and its bytes (type, value and
// padding; for the dictionary the dictionary itself).
struct StoredProperty {
    std::uint32_t id = 0;
    std::string bytes;

    friend bool operator==(const StoredProperty&, const StoredProperty&) = default;
};

class Section {
public:
    // A new section with only its CodePage property.
    static Section create(int codePage);
    // Reads a section from its bytes (its size field first). Property
    // offsets outside the section and impossible counts are errors.
    static Result<Section> parse(std::string_view bytes);
    std::string serialize() const;

    const std::vector<StoredProperty>& properties() const { return m_properties; }
    const StoredProperty* find(std::uint32_t id) const;
    // The CodePage property, read as unsigned; empty when missing.
    std::optional<int> codePage() const;

    // The decoded value; NotFound when the section doesn't hold it.
    Result<Value> value(std::uint32_t id) const;

    // Replaces a property's bytes or adds the property at the end.
    void setStored(std::uint32_t id, std::string bytes);
    // Stores a text as VT_LPSTR in the section's code page when that code
    // page holds every character; otherwise converts the whole section to
    // code page 1200 first.
    Status setText(std::uint32_t id, std::string_view utf8);
    void setFileTime(std::uint32_t id, FileTime value) { setStored(id, encodeFileTime(value)); }
    void setNull(std::uint32_t id) { setStored(id, encodeNull()); }
    void remove(std::uint32_t id);
    // Moves every 8-bit string of the section, the dictionary included, to
    // UTF-16 and sets the CodePage property to 1200.
    Status convertToUnicode();

    friend bool operator==(const Section&, const Section&) = default;

private:
    std::vector<StoredProperty> m_properties;
};

class PropertySet {
public:
    struct SectionBytes {
        Clsid fmtid{};
        std::string bytes;  // the section as stored
    };

    std::uint16_t version = 0;
    std::uint32_t systemIdentifier = 0x00020006;
    Clsid clsid{};
    std::vector<SectionBytes> sections;

    // A new set with one section for fmtid; the class id is the format id.
    static PropertySet create(const Clsid& fmtid, int codePage);
    static Result<PropertySet> parse(std::string_view stream);
    std::string serialize() const;

    // The index of the section with that format id, or -1. A Macintosh
    // writer stores the first three fields of the id big-endian: that form
    // names the same format, and is found when the exact one is not there.
    int findSection(const Clsid& fmtid) const;
};

}  // namespace qv::propset
