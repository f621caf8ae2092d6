// POSIX implementation of code-page conversion, through iconv.
#include <iconv.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "base/text.h"
#include "platform/platform.h"

namespace qv::platform {

namespace {

const char* iconvName(int cp) {
    switch (cp) {
    case 437: return "CP437";
    case 850: return "CP850";
    case 852: return "CP852";
    case 866: return "CP866";
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 10000: return "MACINTOSH";
    // Mac Simplified Chinese is GB 2312 in its EUC form.
    case 10008: return "GB2312";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 20932: return "EUC-JP";
    case 51932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28593: return "ISO-8859-3";
    case 28594: return "ISO-8859-4";
    case 28595: return "ISO-8859-5";
    case 28596: return "ISO-8859-6";
    case 28597: return "ISO-8859-7";
    case 28598: return "ISO-8859-8";
    case 28599: return "ISO-8859-9";
    case 28605: return "ISO-8859-15";
    case 54936: return "GB18030";
    case 1201: return "UTF-16BE";
    default: return nullptr;
    }
}

// One converter per code page and direction, kept for the thread's life:
// exporting a thousand workbooks must not open a thousand converters.
struct ConverterCache {
    std::map<std::pair<int, bool>, iconv_t> converters;
    ~ConverterCache() {
        for (auto& entry : converters)
            iconv_close(entry.second);
    }
};

iconv_t converter(int cp, bool toUtf8) {
    thread_local ConverterCache cacheHolder;
    auto& cache = cacheHolder.converters;
    auto key = std::make_pair(cp, toUtf8);
    auto it = cache.find(key);
    if (it != cache.end()) {
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
        return it->second;
    }
    const char* name = iconvName(cp);
    if (!name)
        return reinterpret_cast<iconv_t>(-1);
    iconv_t cd = toUtf8 ? iconv_open("UTF-8", name) : iconv_open(name, "UTF-8");
    if (cd != reinterpret_cast<iconv_t>(-1))
        cache.emplace(key, cd);
    return cd;
}

constexpr std::size_t kEncodePiece = 256;

// Code pages that keep ASCII as it is and carry no shift state, so ASCII
// text needs no conversion (the stateful ones, and those that compose
// characters, excepted).
bool asciiPassesThrough(int cp) {
    switch (cp) {
    case 1201:   // UTF-16BE
    case 50220:  // ISO-2022-JP
    case 1255:
    case 1258:
        return false;
    default:
        return true;
    }
}

// The result of a conversion, written in place by iconv: next and left are
// its output cursor and the room after it.
struct OutputText {
    std::string bytes;
    char* next;
    std::size_t left;

    explicit OutputText(std::size_t room) : bytes(room, '\0'), next(bytes.data()), left(room) {}
    std::size_t used() const { return static_cast<std::size_t>(next - bytes.data()); }
    // Makes sure at least room bytes are free after the cursor.
    void grow(std::size_t room) {
        if (left >= room)
            return;
        std::size_t u = used();
        bytes.resize(u + room);
        next = bytes.data() + u;
        left = room;
    }
    void append(std::string_view s) {
        grow(s.size());
        std::copy(s.begin(), s.end(), next);
        next += s.size();
        left -= s.size();
    }
    std::string take() {
        bytes.resize(used());
        return std::move(bytes);
    }
};

// Some decoders (code pages 1255 and 1258) hold a letter back until they
// know no combining mark follows: without a flush the text's last letter is
// lost.
void flushDecoder(iconv_t cd, OutputText& out) {
    out.grow(16);
    iconv(cd, nullptr, nullptr, &out.next, &out.left);
}

Error unsupported(int cp) {
    return Error(ErrorCode::Unsupported, "code page " + std::to_string(cp) + " is not supported");
}

}  // namespace

int ansiCodePage() { return 932; }

bool isSupportedCodePage(int cp) {
    return cp == 1200 || cp == 65001 || converter(cp, true) != reinterpret_cast<iconv_t>(-1);
}

Result<std::string> decodeCodePage(int cp, std::string_view bytes) {
    if (cp == 65001)
        return text::sanitizeUtf8(bytes);
    if (cp == 1200) {
        std::u16string u;
        u.reserve(bytes.size() / 2);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text::utf16ToUtf8(u);
    }
    iconv_t cd = converter(cp, true);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return unsupported(cp);
    // Converted straight into the result, sized for the whole text: iconv
    // handed a small buffer converts much of the input again on each call.
    OutputText out(bytes.size() * 3 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        std::size_t rc = iconv(cd, &in, &inLeft, &out.next, &out.left);
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.grow(inLeft * 3 + 16);
                continue;
            }
            // An invalid or cut-off byte sequence: mark it and go on, after
            // what the converter still holds.
            flushDecoder(cd, out);
            out.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
        }
    }
    flushDecoder(cd, out);
    return out.take();
}

namespace {

bool isAscii(char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; }

// The length of the plain ASCII at the start, eight bytes at a time.
std::size_t asciiPrefix(std::string_view s) {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        if (w & 0x8080808080808080ull)
            break;
    }
    while (i < s.size() && isAscii(s[i]))
        ++i;
    return i;
}

// Converts valid UTF-8 in pieces of whole characters: at a character the
// code page lacks, iconv converts its piece again up to there, which over a
// whole CSV file costs as much as the rest of the export.
Status convertPieces(iconv_t cd, int cp, std::string_view utf8, bool substitute, OutputText& out) {
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    while (inLeft > 0) {
        std::size_t piece = std::min(inLeft, kEncodePiece);
        while (piece < inLeft && (static_cast<unsigned char>(in[piece]) & 0xC0) == 0x80)
            --piece;
        std::size_t pieceLeft = piece;
        std::size_t rc = iconv(cd, &in, &pieceLeft, &out.next, &out.left);
        inLeft -= piece - pieceLeft;
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.grow(inLeft * 2 + 16);
                continue;
            }
            if (!substitute)
                return Error(ErrorCode::ConversionFailed,
                             "a character can't be written in code page " + std::to_string(cp));
            out.append("?");
            // Skip the whole UTF-8 character that has no place in the code page.
            std::size_t n = 1;
            while (n < inLeft && (static_cast<unsigned char>(in[n]) & 0xC0) == 0x80)
                ++n;
            in += n;
            inLeft -= n;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return {};
}

}  // namespace

Result<std::string> encodeCodePage(int cp, std::string_view utf8, bool substitute) {
    if (cp == 65001)
        return text::sanitizeUtf8(utf8);
    if (cp == 1200) {
        std::u16string u = text::utf8ToUtf16(utf8);
        std::string out;
        out.reserve(u.size() * 2);
        for (char16_t c : u) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
        return out;
    }
    iconv_t cd = converter(cp, false);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return unsupported(cp);
    OutputText out(utf8.size() + 16);
    if (!asciiPassesThrough(cp)) {
        QV_TRY(convertPieces(cd, cp, text::sanitizeUtf8(utf8), substitute, out));
    } else {
        // Plain ASCII (most of a CSV file) is copied as it is; only the
        // stretches between are checked and converted. An ASCII byte ends
        // any UTF-8 sequence, so checking a stretch alone marks the same
        // bytes as checking the whole text.
        std::size_t i = 0;
        while (i < utf8.size()) {
            std::size_t run = asciiPrefix(utf8.substr(i));
            out.append(utf8.substr(i, run));
            i += run;
            if (i == utf8.size())
                break;
            std::size_t end = i + 1;
            while (end < utf8.size() && !isAscii(utf8[end]))
                ++end;
            std::string_view stretch = utf8.substr(i, end - i);
            if (text::isValidUtf8(stretch))
                QV_TRY(convertPieces(cd, cp, stretch, substitute, out));
            else
                QV_TRY(convertPieces(cd, cp, text::sanitizeUtf8(stretch), substitute, out));
            i = end;
        }
    }
    // Flush a stateful encoding's closing sequence.
    out.grow(16);
    iconv(cd, nullptr, nullptr, &out.next, &out.left);
    return out.take();
}

bool canEncode(int cp, std::string_view utf8) {
    if (cp == 65001 || cp == 1200)
        return true;
    return encodeCodePage(cp, utf8, false).ok();
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    std::u16string wa = text::utf8ToUtf16(a), wb = text::utf8ToUtf16(b);
    UErrorCode status = U_ZERO_ERROR;
    int order = u_strCaseCompare(wa.data(), static_cast<int32_t>(wa.size()), wb.data(),
                                 static_cast<int32_t>(wb.size()), U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) && order == 0;
}

}  // namespace qv::platform
