// Win32 implementation of code-page conversion.
#include <windows.h>

#include "base/text.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace qv::platform {

namespace {

// Code pages whose conversions take no flags.
bool flaglessCodePage(int cp) {
    return cp == 50220 || cp == 50221 || cp == 50222 || cp == 50225 || cp == 50227 || cp == 50229 || cp == 52936 ||
           cp == 54936 || (cp >= 57002 && cp <= 57011) || cp == 65000 || cp == 42;
}

}  // namespace

int ansiCodePage() { return static_cast<int>(GetACP()); }

bool isSupportedCodePage(int cp) { return cp == 1200 || cp == 65001 || (cp > 0 && IsValidCodePage(cp)); }

Result<std::string> decodeCodePage(int cp, std::string_view bytes) {
    if (cp == 65001)
        return text::sanitizeUtf8(bytes);
    if (cp == 1200) {
        std::u16string u;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text::utf16ToUtf8(u);
    }
    if (!isSupportedCodePage(cp))
        return Error(ErrorCode::Unsupported, "code page " + std::to_string(cp) + " is not supported");
    if (bytes.empty())
        return std::string();
    UINT page = static_cast<UINT>(cp);
    DWORD strict = flaglessCodePage(cp) ? 0 : MB_ERR_INVALID_CHARS;
    int n = MultiByteToWideChar(page, strict, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n > 0) {
        std::wstring w(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(page, strict, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
        return narrow(w);
    }
    // Invalid bytes: decode character by character and mark the bad ones,
    // rather than let the system substitute a lookalike.
    std::wstring w;
    for (std::size_t i = 0; i < bytes.size();) {
        int len = (i + 1 < bytes.size() && IsDBCSLeadByteEx(page, static_cast<BYTE>(bytes[i]))) ? 2 : 1;
        wchar_t out[4];
        int got = MultiByteToWideChar(page, strict, bytes.data() + i, len, out, 4);
        if (got > 0)
            w.append(out, static_cast<std::size_t>(got));
        else
            w += L'\xFFFD';
        i += static_cast<std::size_t>(len);
    }
    return narrow(w);
}

Result<std::string> encodeCodePage(int cp, std::string_view utf8, bool substitute) {
    if (cp == 65001)
        return text::sanitizeUtf8(utf8);
    if (cp == 1200) {
        std::u16string u = text::utf8ToUtf16(utf8);
        std::string out;
        for (char16_t c : u) {
            out.push_back(static_cast<char>(c & 0xFF));
            out.push_back(static_cast<char>(c >> 8));
        }
        return out;
    }
    if (!isSupportedCodePage(cp))
        return Error(ErrorCode::Unsupported, "code page " + std::to_string(cp) + " is not supported");
    std::wstring w = widen(std::string(utf8));
    if (w.empty())
        return std::string();
    // A character outside the basic plane is one character: one "?" when the
    // code page lacks it, not one per surrogate.
    if (cp != 54936) {
        std::wstring single;
        for (std::size_t i = 0; i < w.size(); ++i) {
            if (w[i] >= 0xD800 && w[i] <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
                if (!substitute)
                    return Error(ErrorCode::ConversionFailed,
                                 "a character can't be written in code page " + std::to_string(cp));
                single += L'?';
                ++i;
            } else {
                single += w[i];
            }
        }
        w.swap(single);
    }
    bool flagless = flaglessCodePage(cp);
    DWORD flags = flagless ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    LPBOOL used = flagless ? nullptr : &usedDefault;
    const char* fallback = flagless ? nullptr : "?";
    int n = WideCharToMultiByte(static_cast<UINT>(cp), flags, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                fallback, used);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(static_cast<UINT>(cp), flags, w.data(), static_cast<int>(w.size()), out.data(), n, fallback,
                        used);
    if (usedDefault && !substitute)
        return Error(ErrorCode::ConversionFailed, "a character can't be written in code page " + std::to_string(cp));
    return out;
}

bool canEncode(int cp, std::string_view utf8) {
    if (cp == 65001 || cp == 1200)
        return true;
    return encodeCodePage(cp, utf8, false).ok();
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    std::wstring wa = widen(std::string(a)), wb = widen(std::string(b));
    return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()),
                                TRUE) == CSTR_EQUAL;
}

}  // namespace qv::platform
