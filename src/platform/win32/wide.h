// UTF-8 <-> UTF-16 for the wide-character Win32 calls, and Win32 errors.
#pragma once

#include <windows.h>

#include <string>

#include "base/result.h"
#include "base/text.h"

namespace qv::platform {

inline std::wstring widen(const std::string& s) {
    std::u16string u = text::utf8ToUtf16(s);
    return std::wstring(u.begin(), u.end());
}

inline std::string narrow(const std::wstring& s) {
    std::u16string u(s.begin(), s.end());
    return text::utf16ToUtf8(u);
}

inline Error win32Error(DWORD err, const std::string& what, const std::string& path) {
    ErrorCode code;
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        code = ErrorCode::NotFound;
        break;
    case ERROR_ACCESS_DENIED:
        code = ErrorCode::AccessDenied;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        code = ErrorCode::InUse;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        code = ErrorCode::DiskFull;
        break;
    case ERROR_WRITE_PROTECT:
        code = ErrorCode::ReadOnly;
        break;
    default:
        code = ErrorCode::IoError;
        break;
    }
    std::wstring msg(512, L'\0');
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), msg.data(), static_cast<DWORD>(msg.size()),
                             nullptr);
    msg.resize(n);
    std::string text = text::trim(narrow(msg));
    if (text.empty())
        text = "error " + std::to_string(err);
    if (code == ErrorCode::InUse)
        text = "the file is in use by another program";
    return Error(code, what + " " + path + ": " + text);
}

}  // namespace qv::platform
