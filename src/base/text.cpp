#include "base/text.h"

#include <charconv>
#include <cmath>

#include <limits>

namespace qv::text {

std::string trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20)
        --e;
    return std::string(s.substr(b, e - b));
}

std::string toUpperAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

std::string toLowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

void replaceAll(std::string& s, std::string_view from, std::string_view to) {
    if (from.empty())
        return;
    std::size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
}

std::optional<std::int64_t> parseInt64(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    std::size_t i = 0;
    bool neg = false;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i == s.size())
        return std::nullopt;
    // Accumulate as a negative number so that the minimum fits.
    std::int64_t v = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        int d = c - '0';
        if (v < (kMin + d) / 10)
            return std::nullopt;
        v = v * 10 - d;
    }
    if (!neg) {
        if (v == kMin)
            return std::nullopt;
        v = -v;
    }
    return v;
}

std::optional<std::int32_t> parseInt32(std::string_view s) {
    auto v = parseInt64(s);
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

namespace {

// Decodes one code point at s[i]; returns its length, or 0 when invalid.
int decodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    int len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + static_cast<std::size_t>(len) > s.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::optional<double> parseReal(std::string_view s) {
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string formatReal(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::u32string utf8ToCodePoints(std::string_view s, std::vector<std::size_t>& offsets) {
    std::u32string out;
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        offsets.push_back(i);
        const int n = decodeUtf8(s, i, cp);
        out.push_back(n == 0 ? char32_t{0xFFFD} : cp);
        i += n == 0 ? 1 : static_cast<std::size_t>(n);
    }
    offsets.push_back(s.size());
    return out;
}

bool isValidUtf8(std::string_view s) {
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        int n = decodeUtf8(s, i, cp);
        if (n == 0)
            return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::string sanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    // Valid stretches are copied whole; only a bad byte costs a replacement.
    std::size_t run = 0;
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        if ((static_cast<unsigned char>(s[i]) & 0x80) == 0) {
            ++i;
            continue;
        }
        int n = decodeUtf8(s, i, cp);
        if (n != 0) {
            i += static_cast<std::size_t>(n);
            continue;
        }
        out.append(s.substr(run, i - run));
        appendUtf8(out, 0xFFFD);
        run = ++i;
    }
    out.append(s.substr(run));
    return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    char32_t cp;
    for (std::size_t i = 0; i < s.size();) {
        int n = decodeUtf8(s, i, cp);
        if (n == 0) {
            cp = 0xFFFD;
            n = 1;
        }
        i += static_cast<std::size_t>(n);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

namespace {
std::size_t lastSeparator(std::string_view path) {
    std::size_t pos = path.find_last_of("/\\");
    // A drive prefix such as "C:name" also ends the directory part.
    if (pos == std::string_view::npos && path.size() >= 2 && path[1] == ':')
        pos = 1;
    return pos;
}
}  // namespace

std::string fileNamePart(std::string_view path) {
    std::size_t pos = lastSeparator(path);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string directoryPart(std::string_view path) {
    std::size_t pos = lastSeparator(path);
    return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string extensionOf(std::string_view path) {
    std::string name = fileNamePart(path);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool isPackagePath(std::string_view path) { return toUpperAscii(extensionOf(path)) == ".XLSX"; }

}  // namespace qv::text
