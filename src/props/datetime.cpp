#include "props/datetime.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "base/text.h"

namespace qv {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// 1970-01-01 in days since 1899-12-30.
constexpr std::int64_t kUnixEpochDay = 25569;

}  // namespace

// ---------------------------------------------------------------------------
// Local date-time values

double WholeDays(LocalDateTime value) { return std::trunc(value); }

double TimeOfDay(LocalDateTime value) { return std::fabs(value - std::trunc(value)); }

LocalDateTime ComposeDateTime(double wholeDays, double timeOfDay) {
    return wholeDays >= 0 ? wholeDays + timeOfDay : wholeDays - timeOfDay;
}

bool IsValidDateTime(const DateTimeFields& f) {
    return f.year >= 1 && f.year <= 30827 + 1 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= daysInMonth(f.year, f.month) && f.hour <= 23 && f.minute <= 59 && f.second <= 59 &&
           f.millisecond <= 999;
}

LocalDateTime EncodeLocal(const DateTimeFields& f) {
    double days = static_cast<double>(daysFromCivil(f.year, f.month, f.day) + kUnixEpochDay);
    double ms = static_cast<double>(f.hour * 3'600'000u + f.minute * 60'000u + f.second * 1'000u + f.millisecond);
    return ComposeDateTime(days, ms / kMsPerDay);
}

namespace {
// Splits a value into whole days since 1899-12-30 and milliseconds of the day.
void splitMs(LocalDateTime value, std::int64_t& days, std::int64_t& msOfDay) {
    double whole = WholeDays(value);
    days = static_cast<std::int64_t>(whole);
    msOfDay = std::llround(TimeOfDay(value) * kMsPerDay);
    if (msOfDay >= kMsPerDay) {
        msOfDay -= kMsPerDay;
        days += value < 0 ? -1 : 1;
    }
}
}  // namespace

DateTimeFields DecodeLocal(LocalDateTime value) {
    std::int64_t days, ms;
    splitMs(value, days, ms);
    CivilDate c = civilFromDays(days - kUnixEpochDay);
    DateTimeFields f;
    f.year = c.year;
    f.month = c.month;
    f.day = c.day;
    f.hour = static_cast<unsigned>(ms / 3'600'000);
    f.minute = static_cast<unsigned>(ms / 60'000 % 60);
    f.second = static_cast<unsigned>(ms / 1000 % 60);
    f.millisecond = static_cast<unsigned>(ms % 1000);
    return f;
}

LocalDateTime FileTimeToLocal(FileTime utc) {
    std::int64_t secs = static_cast<std::int64_t>(utc / kTicksPerSecond) - kSecondsFrom1601To1970;
    std::int64_t ms = static_cast<std::int64_t>(utc % kTicksPerSecond) / kTicksPerMillisecond;
    std::int64_t local = secs + platform::utcOffsetSecondsAt(secs);
    std::int64_t day = floorDiv(local, 86400);
    std::int64_t sod = floorMod(local, 86400);
    return ComposeDateTime(static_cast<double>(day + kUnixEpochDay),
                           static_cast<double>(sod * 1000 + ms) / kMsPerDay);
}

FileTime LocalToFileTime(LocalDateTime local) {
    if (!std::isfinite(local))
        return 0;
    // Beyond the file-time range the value is clamped rather than wrapped.
    if (local < -109206.0)
        return 0;
    if (local > 10'000'000.0)
        local = 10'000'000.0;
    std::int64_t days, ms;
    splitMs(local, days, ms);
    std::int64_t localSecs = (days - kUnixEpochDay) * 86400 + ms / 1000;
    std::int64_t utc = platform::localToUtcSeconds(localSecs) + kSecondsFrom1601To1970;
    if (utc < 0)
        return 0;
    return static_cast<FileTime>(utc) * kTicksPerSecond + static_cast<FileTime>(ms % 1000) * kTicksPerMillisecond;
}

LocalDateTime NowLocal() { return FileTimeToLocal(platform::currentFileTime()); }

// ---------------------------------------------------------------------------
// W3CDTF

namespace {

bool digitsAt(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size())
        return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

FileTime utcFileTime(const DateTimeFields& f, std::int64_t offsetSeconds, std::uint32_t fractionTicks) {
    std::int64_t secs = daysFromCivil(f.year, f.month, f.day) * 86400 + f.hour * 3600 + f.minute * 60 + f.second -
                        offsetSeconds + kSecondsFrom1601To1970;
    if (secs < 0)
        return 0;
    return static_cast<FileTime>(secs) * kTicksPerSecond + fractionTicks;
}

// Reads ".fff" (any number of digits) as 100-ns ticks.
bool readFraction(std::string_view s, std::size_t& pos, std::uint32_t& ticks) {
    ticks = 0;
    if (pos >= s.size() || s[pos] != '.')
        return true;
    ++pos;
    std::size_t start = pos;
    std::uint32_t scale = 1'000'000;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        ticks += static_cast<std::uint32_t>(s[pos] - '0') * scale;
        scale /= 10;
        ++pos;
    }
    return pos > start;
}

// Reads "Z", "+hh:mm" or "-hh:mm" at the end of the text.
bool readZone(std::string_view s, std::size_t pos, std::int64_t& offsetSeconds, bool allowCompact) {
    if (pos + 1 == s.size() && s[pos] == 'Z') {
        offsetSeconds = 0;
        return true;
    }
    if (pos >= s.size() || (s[pos] != '+' && s[pos] != '-'))
        return false;
    int hh, mm;
    std::size_t rest = s.size() - pos - 1;
    if (rest == 5 && s[pos + 3] == ':' && digitsAt(s, pos + 1, 2, hh) && digitsAt(s, pos + 4, 2, mm)) {
    } else if (allowCompact && rest == 4 && digitsAt(s, pos + 1, 2, hh) && digitsAt(s, pos + 3, 2, mm)) {
    } else if (allowCompact && rest == 2 && digitsAt(s, pos + 1, 2, hh)) {
        mm = 0;
    } else {
        return false;
    }
    if (hh > 23 || mm > 59)
        return false;
    offsetSeconds = (hh * 3600 + mm * 60) * (s[pos] == '-' ? -1 : 1);
    return true;
}

// Parses "yyyy-mm-dd" followed by an optional time; the time's own zone is
// required unless localWithoutZone. No value for anything else.
std::optional<FileTime> parseStamp(std::string_view s, bool iso) {
    DateTimeFields f;
    int y, mo = 1, d = 1;
    if (!digitsAt(s, 0, 4, y))
        return std::nullopt;
    f.year = y;
    std::size_t pos = 4;
    bool dateOnly = true;
    if (pos < s.size()) {
        if (s[pos] != '-' || !digitsAt(s, pos + 1, 2, mo))
            return std::nullopt;
        pos += 3;
        if (pos < s.size()) {
            if (s[pos] != '-' || !digitsAt(s, pos + 1, 2, d))
                return std::nullopt;
            pos += 3;
        } else if (iso) {
            return std::nullopt;
        }
    } else if (iso) {
        return std::nullopt;
    }
    f.month = static_cast<unsigned>(mo);
    f.day = static_cast<unsigned>(d);
    std::uint32_t fraction = 0;
    std::int64_t offset = 0;
    bool haveZone = false;
    if (pos < s.size()) {
        if (!(s[pos] == 'T' || (iso && s[pos] == ' ')) || pos != 10)
            return std::nullopt;
        dateOnly = false;
        int hh, mm, ss = 0;
        if (!digitsAt(s, pos + 1, 2, hh) || pos + 3 >= s.size() || s[pos + 3] != ':' || !digitsAt(s, pos + 4, 2, mm))
            return std::nullopt;
        pos += 6;
        if (pos < s.size() && s[pos] == ':') {
            if (!digitsAt(s, pos + 1, 2, ss))
                return std::nullopt;
            pos += 3;
            if (!readFraction(s, pos, fraction))
                return std::nullopt;
        }
        f.hour = static_cast<unsigned>(hh);
        f.minute = static_cast<unsigned>(mm);
        f.second = static_cast<unsigned>(ss);
        if (pos < s.size()) {
            if (!readZone(s, pos, offset, iso))
                return std::nullopt;
            haveZone = true;
        } else if (!iso) {
            // Not W3CDTF, but some writers leave the zone out; readers of
            // packages take such a time for UTC.
            haveZone = true;
        }
    }
    if (!IsValidDateTime(f))
        return std::nullopt;
    if (dateOnly || !haveZone) {
        // A calendar date, or a time without a zone: local wall-clock time.
        FileTime t = LocalToFileTime(EncodeLocal(f));
        return t + fraction;
    }
    return utcFileTime(f, offset, fraction);
}

}  // namespace

std::optional<FileTime> ParseW3cdtf(std::string_view textIn) {
    std::string s = text::trim(textIn);
    return parseStamp(s, false);
}

std::string FormatW3cdtf(FileTime utc) {
    std::int64_t secs = static_cast<std::int64_t>(utc / kTicksPerSecond) - kSecondsFrom1601To1970;
    std::int64_t day = floorDiv(secs, 86400), sod = floorMod(secs, 86400);
    CivilDate c = civilFromDays(day);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", static_cast<long long>(c.year), c.month,
                  c.day, static_cast<long long>(sod / 3600), static_cast<long long>(sod / 60 % 60),
                  static_cast<long long>(sod % 60));
    return buf;
}

// ---------------------------------------------------------------------------
// Durations

std::string MinutesFromDuration(std::uint64_t duration) {
    // In whole numbers, so that no duration loses digits; halves round to
    // the even neighbour.
    constexpr std::uint64_t kMinute = 600'000'000;
    std::uint64_t q = duration / kMinute, r = duration % kMinute;
    if (r > kMinute / 2 || (r == kMinute / 2 && q % 2 == 1))
        ++q;
    return std::to_string(q);
}

// ---------------------------------------------------------------------------
// ISO-8601

std::string FormatIso8601Local(FileTime utc, bool withFraction) {
    std::int64_t secs = static_cast<std::int64_t>(utc / kTicksPerSecond) - kSecondsFrom1601To1970;
    std::int64_t off = platform::utcOffsetSecondsAt(secs);
    std::int64_t local = secs + off;
    std::int64_t day = floorDiv(local, 86400), sod = floorMod(local, 86400);
    CivilDate c = civilFromDays(day);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", static_cast<long long>(c.year), c.month,
                  c.day, static_cast<long long>(sod / 3600), static_cast<long long>(sod / 60 % 60),
                  static_cast<long long>(sod % 60));
    std::string s = buf;
    unsigned ticks = static_cast<unsigned>(utc % kTicksPerSecond);
    if (withFraction && ticks != 0) {
        std::snprintf(buf, sizeof buf, ".%07u", ticks);
        std::string frac = buf;
        while (frac.back() == '0')
            frac.pop_back();
        s += frac;
    }
    std::int64_t a = off < 0 ? -off : off;
    std::snprintf(buf, sizeof buf, "%c%02lld:%02lld", off < 0 ? '-' : '+', static_cast<long long>(a / 3600),
                  static_cast<long long>(a / 60 % 60));
    return s + buf;
}

std::optional<FileTime> ParseIso8601(std::string_view textIn) {
    std::string s = text::trim(textIn);
    return parseStamp(s, true);
}

}  // namespace qv
