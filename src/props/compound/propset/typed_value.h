// Typed property values of the OLE property-set format (MS-OLEPS): the
// variant type codes, decoding a stored value for display, building the
// values the tool writes, and re-encoding a value's strings into UTF-16
// when its section moves to code page 1200.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/filetime.h"
#include "base/result.h"

namespace qv::propset {

constexpr std::uint16_t kVtEmpty = 0;
constexpr std::uint16_t kVtNull = 1;
constexpr std::uint16_t kVtI2 = 2;
constexpr std::uint16_t kVtI4 = 3;
constexpr std::uint16_t kVtR4 = 4;
constexpr std::uint16_t kVtR8 = 5;
constexpr std::uint16_t kVtCy = 6;
constexpr std::uint16_t kVtDate = 7;
constexpr std::uint16_t kVtBstr = 8;
constexpr std::uint16_t kVtError = 10;
constexpr std::uint16_t kVtBool = 11;
constexpr std::uint16_t kVtVariant = 12;
constexpr std::uint16_t kVtI1 = 16;
constexpr std::uint16_t kVtUi1 = 17;
constexpr std::uint16_t kVtUi2 = 18;
constexpr std::uint16_t kVtUi4 = 19;
constexpr std::uint16_t kVtI8 = 20;
constexpr std::uint16_t kVtUi8 = 21;
constexpr std::uint16_t kVtInt = 22;
constexpr std::uint16_t kVtUint = 23;
constexpr std::uint16_t kVtVoid = 24;
constexpr std::uint16_t kVtLpstr = 30;
constexpr std::uint16_t kVtLpwstr = 31;
constexpr std::uint16_t kVtFiletime = 64;
constexpr std::uint16_t kVtBlob = 65;
constexpr std::uint16_t kVtCf = 71;
constexpr std::uint16_t kVtClsid = 72;
constexpr std::uint16_t kVtVector = 0x1000;
constexpr std::uint16_t kVtArray = 0x2000;

// Code page 1200: the section's 8-bit strings are UTF-16LE.
constexpr int kCodePageUnicode = 1200;

using Clsid = std::array<std::uint8_t, 16>;

// A class id or format id in its registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string formatGuid(const Clsid& id);
std::optional<Clsid> parseGuid(std::string_view text);

// A stored value, decoded. Which member holds it depends on the type.
struct Value {
    std::uint16_t type = kVtEmpty;
    std::int64_t integer = 0;  // signed integers, VT_BOOL, VT_ERROR, both 64-bit types
    std::uint64_t unsignedInteger = 0;  // unsigned integers, VT_FILETIME
    double real = 0;
    std::string text;  // strings, in UTF-8
    Clsid clsid{};
};

// Decodes a TypedPropertyValue (type, padding, value). 8-bit strings are
// decoded in codePage. Types the tool doesn't show decode to their type
// alone; a value cut short or a code page that can't be decoded fails.
Result<Value> decodeValue(std::string_view bytes, int codePage);

// The text of a value that is no point in time: numbers in their decimal
// form, strings as they are, a class id in its registry form. File times are
// left to the caller, which alone knows whether one is an instant or a
// duration; they and the types the tool doesn't show give no text.
std::string FormatPropertyValue(const Value& value);

// Stored forms of the values the tool writes, padded to 4 bytes.
std::string encodeCodePageString(std::uint16_t type, std::string_view encoded, int codePage);
std::string encodeFileTime(FileTime value);
std::string encodeNull();
std::string encodeI2(std::uint16_t value);
std::string encodeI4(std::int32_t value);
std::string encodeR8(double value);
std::string encodeBool(bool value);
// VT_LPWSTR: UTF-16 whatever the section's code page.
std::string encodeLpwstr(std::string_view utf8);

// The short name of a stored type, as shown beside a value this system
// doesn't change: "i8", "ui4", "blob", "vector", "array".
std::string TypeName(std::uint16_t type);

// The same value with every 8-bit string (VT_LPSTR, VT_BSTR, their
// vectors and the strings inside vectors of variants) moved from fromCodePage
// to UTF-16LE. Values without strings come back unchanged. Fails when the
// value can't be taken apart with certainty.
Result<std::string> transcodeValue(std::string_view bytes, int fromCodePage);
// The dictionary (property 0) moved the same way.
Result<std::string> transcodeDictionary(std::string_view bytes, int fromCodePage);

// The 16-bit CodePage value read as unsigned (65001 is stored as -535).
std::optional<int> codePageOf(std::string_view codePageValueBytes);

}  // namespace qv::propset
