// POSIX implementation of the time zone, clock and locale formats.
#include <langinfo.h>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/locale_pattern.h"
#include "platform/platform.h"

namespace qv::platform {

namespace {

// What a tzset() was last made for: the value of TZ and the second.
struct ZoneRead {
    bool primed = false;
    bool hadTz = false;
    std::string tz;
    time_t second = 0;

    bool covers(const char* nowTz, time_t now) const {
        return primed && (nowTz != nullptr) == hadTz && (!nowTz || tz == nowTz) && second == now;
    }
    void set(const char* nowTz, time_t now) {
        primed = true;
        hadTz = nowTz != nullptr;
        tz = nowTz ? nowTz : "";
        second = now;
    }
};

std::mutex g_zoneMutex;
ZoneRead g_zoneRead;  // the process's last tzset(), under g_zoneMutex

// Reads the zone rules again when TZ changed, and otherwise at most once a
// second: tzset() looks the zone file up on every call, and an export asks
// for offsets several times per workbook. Reads on several threads share
// one tzset() per second, made by one of them at a time (without TZ each
// call replaces the C library's copy of the zone name); each thread asks
// the shared state only when its own second or TZ moved on.
void refreshZone() {
    thread_local ZoneRead seen;
    const char* tz = std::getenv("TZ");
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    if (seen.covers(tz, now.tv_sec))
        return;
    {
        std::lock_guard<std::mutex> lock(g_zoneMutex);
        if (!g_zoneRead.covers(tz, now.tv_sec)) {
            tzset();
            g_zoneRead.set(tz, now.tv_sec);
        }
    }
    seen.set(tz, now.tv_sec);
}

}  // namespace

std::int64_t utcOffsetSecondsAt(std::int64_t utcSeconds) {
    // A change of TZ counts at once, one of the system's zone within a second.
    refreshZone();
    time_t t = static_cast<time_t>(utcSeconds);
    struct tm tm;
    if (!localtime_r(&t, &tm))
        return 0;
    return tm.tm_gmtoff;
}

std::int64_t localToUtcSeconds(std::int64_t localSeconds) {
    // Offsets a day before and after bracket any single change of the rules.
    std::int64_t before = utcOffsetSecondsAt(localSeconds - 86400);
    std::int64_t after = utcOffsetSecondsAt(localSeconds + 86400);
    std::int64_t u1 = localSeconds - before;
    std::int64_t u2 = localSeconds - after;
    bool v1 = utcOffsetSecondsAt(u1) == before;
    bool v2 = utcOffsetSecondsAt(u2) == after;
    if (v1 && v2)
        return u1 < u2 ? u1 : u2;  // repeated hour: the first occurrence
    if (v2)
        return u2;
    if (v1)
        return u1;
    // Neither bracket fits: a change within the day itself, or a skipped time.
    std::int64_t off = utcOffsetSecondsAt(localSeconds);
    std::int64_t u = localSeconds - off;
    if (utcOffsetSecondsAt(u) == off)
        return u;
    return localSeconds - before;
}

FileTime currentFileTime() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<FileTime>(ts.tv_sec + kSecondsFrom1601To1970) * kTicksPerSecond +
           static_cast<FileTime>(ts.tv_nsec / 100);
}

namespace {

std::string localeNameFromEnvironment() {
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return v;
    }
    return "C";
}

bool isPlainCLocale(const std::string& name) {
    return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

bool hasDateFields(const std::string& p) {
    return p.find('y') != std::string::npos && p.find('M') != std::string::npos && p.find('d') != std::string::npos;
}

struct CldrFormats {
    std::string date, time;
};

// The locale name without its code set or modifier: "ja_JP.UTF-8" is "ja_JP".
CldrFormats cldrFormats(const std::string& localeName) {
    CldrFormats out;
    const std::string id = localeName.substr(0, localeName.find_first_of(".@"));
    const icu::Locale locale(id.c_str());
    if (locale.isBogus())
        return out;
    auto patternOf = [](icu::DateFormat* format) {
        std::string pattern;
        std::unique_ptr<icu::DateFormat> owned(format);
        if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(owned.get())) {
            icu::UnicodeString p;
            simple->toPattern(p);
            p.toUTF8String(pattern);
        }
        return cldrToPattern(pattern);
    };
    out.date = patternOf(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
    out.time = patternOf(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale));
    return out;
}

bool hasTimeFields(const std::string& p) {
    return (p.find('H') != std::string::npos || p.find('h') != std::string::npos) && p.find('m') != std::string::npos;
}

}  // namespace

LocaleFormats readUserLocaleFormats() {
    LocaleFormats f;
    static const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};
    static const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    for (int i = 0; i < 12; ++i) {
        f.monthFull[static_cast<std::size_t>(i)] = kMonths[i];
        f.monthAbbrev[static_cast<std::size_t>(i)] = std::string(kMonths[i]).substr(0, 3);
    }
    for (int i = 0; i < 7; ++i) {
        f.dayFull[static_cast<std::size_t>(i)] = kDays[i];
        f.dayAbbrev[static_cast<std::size_t>(i)] = std::string(kDays[i]).substr(0, 3);
    }
    std::string name = localeNameFromEnvironment();
    if (isPlainCLocale(name))
        return f;
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc)
        return f;
    std::string ampm = nl_langinfo_l(T_FMT_AMPM, loc);
    // The short date and medium time of the locale's CLDR data, as Windows
    // shows them and spreadsheets read them ("yyyy/MM/dd H:mm:ss" for
    // Japanese); the C library's own formats where ICU has none.
    const CldrFormats cldr = cldrFormats(name);
    std::string date = !cldr.date.empty() ? cldr.date : strftimeToPattern(nl_langinfo_l(D_FMT, loc), ampm);
    std::string time = !cldr.time.empty() ? cldr.time : strftimeToPattern(nl_langinfo_l(T_FMT, loc), ampm);
    if (hasDateFields(date))
        f.shortDate = date;
    if (hasTimeFields(time))
        f.longTime = time;
    std::string am = nl_langinfo_l(AM_STR, loc);
    std::string pm = nl_langinfo_l(PM_STR, loc);
    if (!am.empty() && !pm.empty()) {
        f.am = am;
        f.pm = pm;
    }
    for (int i = 0; i < 12; ++i) {
        f.monthAbbrev[static_cast<std::size_t>(i)] = nl_langinfo_l(static_cast<nl_item>(ABMON_1 + i), loc);
        f.monthFull[static_cast<std::size_t>(i)] = nl_langinfo_l(static_cast<nl_item>(MON_1 + i), loc);
    }
    for (int i = 0; i < 7; ++i) {
        f.dayAbbrev[static_cast<std::size_t>(i)] = nl_langinfo_l(static_cast<nl_item>(ABDAY_1 + i), loc);
        f.dayFull[static_cast<std::size_t>(i)] = nl_langinfo_l(static_cast<nl_item>(DAY_1 + i), loc);
    }
    freelocale(loc);
    return f;
}

std::vector<std::string> programArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void prepareStandardStreams() {}

}  // namespace qv::platform
