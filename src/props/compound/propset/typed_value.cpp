#include "props/compound/propset/typed_value.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/text.h"
#include "platform/platform.h"

namespace qv::propset {

namespace {

Error bad(const std::string& what) { return Error(ErrorCode::BadPropertySet, "damaged property set: " + what); }

std::size_t pad4(std::size_t n) { return (4 - n % 4) % 4; }

// The text of a stored string up to its first null character.
std::string_view cutAtNull(std::string_view chars, bool wide) {
    if (!wide) {
        std::size_t z = chars.find('\0');
        return z == std::string_view::npos ? chars : chars.substr(0, z);
    }
    for (std::size_t i = 0; i + 1 < chars.size(); i += 2)
        if (chars[i] == '\0' && chars[i + 1] == '\0')
            return chars.substr(0, i);
    return chars.substr(0, chars.size() & ~std::size_t{1});
}

Result<std::string> decodeString(std::string_view chars, int codePage) {
    return platform::decodeCodePage(codePage, cutAtNull(chars, codePage == kCodePageUnicode));
}

std::string utf16Bytes(std::string_view utf8) {
    std::u16string u = text::utf8ToUtf16(utf8);
    std::string out;
    out.reserve(u.size() * 2);
    for (char16_t c : u) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

// Delphi-like general number form: fixed notation for 1E-5 <= |v| < 1E15,
// scientific otherwise, up to 15 significant digits.
std::string formatReal(double v) {
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    if (v == 0)
        return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    std::string s = buf;
    std::size_t e = s.find('e');
    int exponent = std::atoi(s.c_str() + e + 1);
    std::string mantissa = s.substr(0, e);
    auto trim = [](std::string m) {
        if (m.find('.') != std::string::npos) {
            while (!m.empty() && m.back() == '0')
                m.pop_back();
            if (!m.empty() && m.back() == '.')
                m.pop_back();
        }
        return m;
    };
    if (exponent >= 15 || exponent < -5)
        return trim(mantissa) + "E" + std::to_string(exponent);
    std::snprintf(buf, sizeof buf, "%.*f", 14 - exponent, v);
    return trim(buf);
}

// One element of a vector or variant: where its parser stands.
struct Cursor {
    ByteReader r;
    bool aligned;  // 8-bit strings padded to 4 bytes (the published form)
};

// Reads a CodePageString; in aligned form its padding must be zeros, which is
// what tells the two forms apart.
std::optional<std::string_view> readCps(Cursor& c) {
    std::uint32_t size = c.r.u32();
    if (!c.r.ok() || size > c.r.remaining())
        return std::nullopt;
    std::string_view chars = c.r.bytes(size);
    if (c.aligned) {
        std::string_view padding = c.r.bytes(pad4(size));
        if (!c.r.ok() || padding.find_first_not_of('\0') != std::string_view::npos)
            return std::nullopt;
    }
    return chars;
}

// A Unicode string is always padded to 4 bytes: the unaligned form some
// writers use holds only 8-bit strings, and readers of a Unicode set find the
// next element after the padding.
void writeCps(std::string& out, std::string_view utf16) {
    std::string chars(utf16);
    chars.append(2, '\0');
    ByteWriter w;
    w.u32(static_cast<std::uint32_t>(chars.size()));
    out += w.buffer();
    out += chars;
    out.append(pad4(chars.size()), '\0');
}

// The size of a fixed-size scalar, or -1 for types of variable size.
int scalarSize(std::uint16_t type) {
    switch (type) {
    case kVtEmpty:
    case kVtNull:
        return 0;
    case kVtI1:
    case kVtUi1:
        return 1;
    case kVtI2:
    case kVtUi2:
    case kVtBool:
        return 2;
    case kVtI4:
    case kVtUi4:
    case kVtInt:
    case kVtUint:
    case kVtR4:
    case kVtError:
        return 4;
    case kVtI8:
    case kVtUi8:
    case kVtR8:
    case kVtCy:
    case kVtDate:
    case kVtFiletime:
        return 8;
    case kVtClsid:
        return 16;
    default:
        return -1;
    }
}

bool isCodePageString(std::uint16_t type) { return type == kVtLpstr || type == kVtBstr; }

// Transcodes one variant (type, padding, value) at the cursor into out.
bool transcodeVariant(Cursor& c, int cp, std::string& out) {
    std::size_t start = c.r.pos();
    std::uint16_t type = c.r.u16();
    c.r.u16();
    if (!c.r.ok())
        return false;
    if (isCodePageString(type)) {
        auto chars = readCps(c);
        if (!chars)
            return false;
        auto utf8 = decodeString(*chars, cp);
        if (!utf8)
            return false;
        out.append(reinterpret_cast<const char*>(c.r.data()) + start, 4);
        writeCps(out, utf16Bytes(*utf8));
        return true;
    }
    int fixed = scalarSize(type);
    std::size_t n;
    if (fixed >= 0) {
        n = static_cast<std::size_t>(fixed) + pad4(static_cast<std::size_t>(fixed));
    } else if (type == kVtLpwstr) {
        std::uint32_t chars = c.r.u32();
        if (!c.r.ok() || chars > c.r.remaining() / 2)
            return false;
        n = chars * 2 + pad4(chars * 2);
    } else if (type == kVtBlob || type == kVtCf) {
        std::uint32_t size = c.r.u32();
        if (!c.r.ok() || size > c.r.remaining())
            return false;
        n = size + pad4(size);
    } else {
        return false;
    }
    c.r.skip(n);
    if (!c.r.ok())
        return false;
    out.append(reinterpret_cast<const char*>(c.r.data()) + start, c.r.pos() - start);
    return true;
}

// Transcodes a vector of 8-bit strings or of variants in one of the two forms.
std::optional<std::string> transcodeVector(std::string_view bytes, std::uint16_t element, int cp, bool aligned) {
    Cursor c{ByteReader(bytes), aligned};
    std::string out(bytes.substr(0, 4));
    c.r.skip(4);
    std::uint32_t count = c.r.u32();
    if (!c.r.ok() || count > c.r.remaining() / 4)
        return std::nullopt;
    ByteWriter w;
    w.u32(count);
    out += w.buffer();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (element == kVtVariant) {
            if (!transcodeVariant(c, cp, out))
                return std::nullopt;
        } else {
            auto chars = readCps(c);
            if (!chars)
                return std::nullopt;
            auto utf8 = decodeString(*chars, cp);
            if (!utf8)
                return std::nullopt;
            writeCps(out, utf16Bytes(*utf8));
        }
    }
    out.append(pad4(out.size()), '\0');
    return out;
}

}  // namespace

std::string formatGuid(const Clsid& id) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", loadU32(id.data()),
                  loadU16(id.data() + 4), loadU16(id.data() + 6), id[8], id[9], id[10], id[11], id[12], id[13], id[14],
                  id[15]);
    return buf;
}

std::optional<Clsid> parseGuid(std::string_view t) {
    if (t.size() != 38 || t.front() != '{' || t.back() != '}')
        return std::nullopt;
    std::string hex;
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (t[i] != '-')
                return std::nullopt;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(t[i])))
            return std::nullopt;
        hex += t[i];
    }
    auto byteAt = [&](std::size_t i) { return static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16)); };
    Clsid id{};
    // Data1, Data2 and Data3 are stored little-endian, Data4 as written.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        id[static_cast<std::size_t>(i)] = byteAt(static_cast<std::size_t>(order[i]));
    return id;
}

Result<Value> decodeValue(std::string_view bytes, int codePage) {
    ByteReader r(bytes);
    Value v;
    v.type = r.u16();
    r.u16();
    switch (v.type) {
    case kVtI2:
        v.integer = r.i16();
        break;
    case kVtI4:
    case kVtInt:
    case kVtError:
        v.integer = r.i32();
        break;
    case kVtBool:
        v.integer = r.i16();
        break;
    case kVtUi1:
        v.unsignedInteger = r.u8();
        break;
    case kVtUi2:
        v.unsignedInteger = r.u16();
        break;
    case kVtUi4:
    case kVtUint:
        v.unsignedInteger = r.u32();
        break;
    case kVtI8:
    case kVtUi8:
        v.integer = r.i64();
        break;
    case kVtR4: {
        std::uint32_t bits = r.u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        v.real = f;
        break;
    }
    case kVtR8: {
        std::uint64_t bits = r.u64();
        std::memcpy(&v.real, &bits, sizeof v.real);
        break;
    }
    case kVtFiletime:
        v.unsignedInteger = r.u64();
        break;
    case kVtClsid: {
        std::string_view id = r.bytes(16);
        if (r.ok())
            std::memcpy(v.clsid.data(), id.data(), 16);
        break;
    }
    case kVtLpstr:
    case kVtBstr: {
        std::uint32_t size = r.u32();
        if (size > r.remaining())
            return bad("a string runs past its property");
        auto t = decodeString(r.bytes(size), codePage);
        if (!t)
            return t.error();
        v.text = std::move(*t);
        break;
    }
    case kVtLpwstr: {
        std::uint32_t chars = r.u32();
        if (chars > r.remaining() / 2)
            return bad("a string runs past its property");
        v.text = *platform::decodeCodePage(kCodePageUnicode, cutAtNull(r.bytes(std::size_t{chars} * 2), true));
        break;
    }
    default:
        break;
    }
    if (!r.ok())
        return bad("a value is cut short");
    return v;
}

std::string FormatPropertyValue(const Value& v) {
    switch (v.type) {
    case kVtI2:
    case kVtI4:
    case kVtInt:
    case kVtI8:
    case kVtUi8:
        return std::to_string(v.integer);
    case kVtUi1:
    case kVtUi2:
    case kVtUi4:
    case kVtUint:
        return std::to_string(v.unsignedInteger);
    case kVtR4:
    case kVtR8:
        return formatReal(v.real);
    case kVtLpstr:
    case kVtLpwstr:
    case kVtBstr:
        return v.text;
    case kVtError:
        return "Error code: " + std::to_string(v.integer);
    case kVtBool:
        return v.integer != 0 ? "Yes" : "No";
    case kVtClsid:
        return formatGuid(v.clsid);
    default:
        return {};
    }
}

std::string encodeCodePageString(std::uint16_t type, std::string_view encoded, int codePage) {
    ByteWriter w;
    w.u16(type);
    w.u16(0);
    std::size_t terminator = codePage == kCodePageUnicode ? 2 : 1;
    w.u32(static_cast<std::uint32_t>(encoded.size() + terminator));
    w.bytes(encoded);
    w.zeros(terminator);
    w.zeros(pad4(w.size()));
    return w.buffer();
}

std::string encodeFileTime(FileTime value) {
    ByteWriter w;
    w.u16(kVtFiletime);
    w.u16(0);
    w.u64(value);
    return w.buffer();
}

std::string encodeNull() {
    ByteWriter w;
    w.u16(kVtNull);
    w.u16(0);
    return w.buffer();
}

std::string encodeI2(std::uint16_t value) {
    ByteWriter w;
    w.u16(kVtI2);
    w.u16(0);
    w.u16(value);
    w.u16(0);
    return w.buffer();
}

std::string encodeI4(std::int32_t value) {
    ByteWriter w;
    w.u16(kVtI4);
    w.u16(0);
    w.u32(static_cast<std::uint32_t>(value));
    return w.buffer();
}

std::string encodeR8(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    ByteWriter w;
    w.u16(kVtR8);
    w.u16(0);
    w.u64(bits);
    return w.buffer();
}

std::string encodeBool(bool value) {
    ByteWriter w;
    w.u16(kVtBool);
    w.u16(0);
    w.u16(value ? 0xFFFF : 0);
    w.u16(0);
    return w.buffer();
}

std::string encodeLpwstr(std::string_view utf8) {
    std::string chars = utf16Bytes(utf8);
    chars.append(2, '\0');
    ByteWriter w;
    w.u16(kVtLpwstr);
    w.u16(0);
    w.u32(static_cast<std::uint32_t>(chars.size() / 2));
    w.bytes(chars);
    w.zeros(pad4(w.size()));
    return w.buffer();
}

std::string TypeName(std::uint16_t type) {
    if (type & kVtVector)
        return "vector";
    if (type & kVtArray)
        return "array";
    static const std::pair<std::uint16_t, const char*> names[] = {
        {kVtEmpty, "empty"}, {kVtNull, "null"},   {kVtI2, "i2"},         {kVtI4, "i4"},       {kVtR4, "r4"},
        {kVtR8, "r8"},       {kVtCy, "cy"},       {kVtDate, "date"},     {kVtBstr, "bstr"},   {kVtError, "error"},
        {kVtBool, "bool"},   {kVtVariant, "variant"}, {kVtI1, "i1"},     {kVtUi1, "ui1"},     {kVtUi2, "ui2"},
        {kVtUi4, "ui4"},     {kVtI8, "i8"},       {kVtUi8, "ui8"},       {kVtInt, "int"},     {kVtUint, "uint"},
        {kVtLpstr, "lpstr"}, {kVtLpwstr, "lpwstr"}, {kVtFiletime, "filetime"}, {kVtBlob, "blob"}, {kVtCf, "cf"},
        {kVtClsid, "clsid"}};
    for (const auto& [code, name] : names)
        if (code == type)
            return name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "type %u", type);
    return buf;
}

std::optional<int> codePageOf(std::string_view bytes) {
    ByteReader r(bytes);
    std::uint16_t type = r.u16();
    r.u16();
    std::uint16_t value = r.u16();
    if (!r.ok() || type != kVtI2 || value == 0)
        return std::nullopt;
    return static_cast<int>(value);
}

Result<std::string> transcodeValue(std::string_view bytes, int cp) {
    ByteReader r(bytes);
    std::uint16_t type = r.u16();
    if (!r.ok())
        return bad("a value is cut short");
    if (isCodePageString(type)) {
        Cursor c{ByteReader(bytes), false};
        c.r.skip(4);
        auto chars = readCps(c);
        if (!chars)
            return bad("a string runs past its property");
        auto utf8 = decodeString(*chars, cp);
        if (!utf8)
            return utf8.error();
        return encodeCodePageString(type, utf16Bytes(*utf8), kCodePageUnicode);
    }
    std::uint16_t element = type & 0x0FFF;
    bool holdsStrings = isCodePageString(element) || element == kVtVariant;
    if ((type & kVtArray) && holdsStrings)
        return Error(ErrorCode::Unsupported, "an array property with strings can't be converted to Unicode");
    if (!(type & kVtVector) || !holdsStrings)
        return std::string(bytes);
    // Vectors are written aligned by the published format and unaligned by
    // some office writers; the zero padding of the aligned form tells them apart.
    if (auto out = transcodeVector(bytes, element, cp, true))
        return *out;
    if (auto out = transcodeVector(bytes, element, cp, false))
        return *out;
    return Error(ErrorCode::Unsupported, "a vector property can't be converted to Unicode");
}

Result<std::string> transcodeDictionary(std::string_view bytes, int cp) {
    ByteReader r(bytes);
    std::uint32_t count = r.u32();
    if (!r.ok() || count > r.remaining() / 8)
        return bad("impossible dictionary size");
    ByteWriter w;
    w.u32(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t id = r.u32();
        std::uint32_t length = r.u32();
        std::size_t n = cp == kCodePageUnicode ? std::size_t{length} * 2 : length;
        if (!r.ok() || n > r.remaining())
            return bad("a dictionary name runs past its property");
        std::string_view name = r.bytes(n);
        if (cp == kCodePageUnicode)
            r.skip(std::min(pad4(n), r.remaining()));
        auto utf8 = decodeString(name, cp);
        if (!utf8)
            return utf8.error();
        std::string wide = utf16Bytes(*utf8);
        wide.append(2, '\0');
        w.u32(id);
        w.u32(static_cast<std::uint32_t>(wide.size() / 2));
        w.bytes(wide);
        w.zeros(pad4(wide.size()));
    }
    w.zeros(pad4(w.size()));
    return w.buffer();
}

}  // namespace qv::propset
