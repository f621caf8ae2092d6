// Win32 implementation of the time zone, clock and locale formats.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace qv::platform {

namespace {

bool toSystemTime(std::int64_t seconds1970, SYSTEMTIME& st) {
    std::int64_t s = seconds1970 + kSecondsFrom1601To1970;
    if (s < 0)
        return false;
    std::uint64_t ticks = static_cast<std::uint64_t>(s) * kTicksPerSecond;
    FILETIME ft{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    return FileTimeToSystemTime(&ft, &st) != 0;
}

bool toSeconds(const SYSTEMTIME& st, std::int64_t& seconds1970) {
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    seconds1970 = static_cast<std::int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
    return true;
}

}  // namespace

// The Ex conversions take the dynamic zone, whose rules change over the
// years; where the system lacks them (Wine), the zone's rules for the year
// of the instant give the same.
using ToLocalEx = BOOL(WINAPI*)(const DYNAMIC_TIME_ZONE_INFORMATION*, const SYSTEMTIME*, LPSYSTEMTIME);
using ToUtcEx = BOOL(WINAPI*)(const DYNAMIC_TIME_ZONE_INFORMATION*, const SYSTEMTIME*, LPSYSTEMTIME);

struct ZoneApi {
    ToLocalEx toLocal = nullptr;
    ToUtcEx toUtc = nullptr;
    ZoneApi() {
        if (HMODULE k = GetModuleHandleW(L"kernel32.dll")) {
            toLocal = reinterpret_cast<ToLocalEx>(
                reinterpret_cast<void*>(GetProcAddress(k, "SystemTimeToTzSpecificLocalTimeEx")));
            toUtc = reinterpret_cast<ToUtcEx>(
                reinterpret_cast<void*>(GetProcAddress(k, "TzSpecificLocalTimeToSystemTimeEx")));
        }
    }
};

const ZoneApi& zoneApi() {
    static const ZoneApi api;
    return api;
}

// The zone is read on every call: nothing is cached.
bool convert(bool toLocal, const SYSTEMTIME& in, SYSTEMTIME& out) {
    const ZoneApi& api = zoneApi();
    if (api.toLocal && api.toUtc) {
        DYNAMIC_TIME_ZONE_INFORMATION dtzi;
        if (GetDynamicTimeZoneInformation(&dtzi) == TIME_ZONE_ID_INVALID)
            return false;
        return (toLocal ? api.toLocal(&dtzi, &in, &out) : api.toUtc(&dtzi, &in, &out)) != 0;
    }
    TIME_ZONE_INFORMATION tzi;
    if (!GetTimeZoneInformationForYear(in.wYear, nullptr, &tzi))
        return false;
    return (toLocal ? SystemTimeToTzSpecificLocalTime(&tzi, &in, &out)
                    : TzSpecificLocalTimeToSystemTime(&tzi, &in, &out)) != 0;
}

std::int64_t utcOffsetSecondsAt(std::int64_t utcSeconds) {
    SYSTEMTIME utc, local;
    std::int64_t localSeconds;
    if (!toSystemTime(utcSeconds, utc) || !convert(true, utc, local) || !toSeconds(local, localSeconds))
        return 0;
    return localSeconds - utcSeconds;
}

std::int64_t localToUtcSeconds(std::int64_t localSeconds) {
    SYSTEMTIME local, utc;
    std::int64_t utcSeconds;
    if (!toSystemTime(localSeconds, local) || !convert(false, local, utc) || !toSeconds(utc, utcSeconds))
        return localSeconds;
    return utcSeconds;
}

FileTime currentFileTime() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    return (static_cast<FileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

namespace {
std::string localeText(LCTYPE type) {
    wchar_t buf[128];
    int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf, 128);
    if (n <= 1)
        return {};
    return narrow(std::wstring(buf, static_cast<std::size_t>(n - 1)));
}
}  // namespace

LocaleFormats readUserLocaleFormats() {
    LocaleFormats f;
    std::string date = localeText(LOCALE_SSHORTDATE);
    std::string time = localeText(LOCALE_STIMEFORMAT);
    if (!date.empty())
        f.shortDate = date;
    if (!time.empty())
        f.longTime = time;
    std::string am = localeText(LOCALE_S1159), pm = localeText(LOCALE_S2359);
    if (!am.empty() && !pm.empty()) {
        f.am = am;
        f.pm = pm;
    }
    for (int i = 0; i < 12; ++i) {
        f.monthAbbrev[static_cast<std::size_t>(i)] = localeText(static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + i));
        f.monthFull[static_cast<std::size_t>(i)] = localeText(static_cast<LCTYPE>(LOCALE_SMONTHNAME1 + i));
    }
    // The locale numbers days from Monday; the formats from Sunday.
    for (int i = 0; i < 7; ++i) {
        int k = (i + 6) % 7;
        f.dayAbbrev[static_cast<std::size_t>(i)] = localeText(static_cast<LCTYPE>(LOCALE_SABBREVDAYNAME1 + k));
        f.dayFull[static_cast<std::size_t>(i)] = localeText(static_cast<LCTYPE>(LOCALE_SDAYNAME1 + k));
    }
    return f;
}

std::vector<std::string> programArguments(int, char**) {
    std::vector<std::string> args;
    int n = 0;
    LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wargv)
        return args;
    for (int i = 1; i < n; ++i)
        args.push_back(narrow(wargv[i]));
    LocalFree(wargv);
    return args;
}

void prepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace qv::platform
