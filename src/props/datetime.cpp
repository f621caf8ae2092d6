#include "props/datetime.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <vector>

#include "base/text.h"

namespace qv {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// 1970-01-01 in days since 1899-12-30.
constexpr std::int64_t kUnixEpochDay = 25569;

// Two-digit years in a format are widened, so no text loses its century.
std::string widenYears(const std::string& pattern) {
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '\'') {
            quoted = !quoted;
            out += c;
            continue;
        }
        if (!quoted && c == 'y') {
            std::size_t j = i;
            while (j < pattern.size() && pattern[j] == 'y')
                ++j;
            std::size_t n = j - i;
            out.append(n < 4 ? 4 : n, 'y');
            i = j - 1;
            continue;
        }
        out += c;
    }
    return out;
}

platform::LocaleFormats normalized(platform::LocaleFormats f) {
    f.shortDate = widenYears(f.shortDate);
    return f;
}

std::mutex g_formatsMutex;
std::optional<platform::LocaleFormats> g_formats;

}  // namespace

namespace {
// QUORVIX_DATETIME_FORMAT="<short date>|<long time>" replaces the locale's
// two patterns, for scripts that need the same text on every machine.
void applyOverride(platform::LocaleFormats& f) {
    const char* v = std::getenv("QUORVIX_DATETIME_FORMAT");
    if (!v)
        return;
    std::string s = v;
    std::size_t bar = s.find('|');
    if (bar == std::string::npos || bar == 0 || bar + 1 == s.size())
        return;
    f.shortDate = s.substr(0, bar);
    f.longTime = s.substr(bar + 1);
}
}  // namespace

const platform::LocaleFormats& CurrentFormats() {
    std::lock_guard<std::mutex> lock(g_formatsMutex);
    if (!g_formats) {
        platform::LocaleFormats f = platform::readUserLocaleFormats();
        applyOverride(f);
        g_formats = normalized(f);
    }
    return *g_formats;
}

void SetFormatsForTesting(const std::optional<platform::LocaleFormats>& formats) {
    std::lock_guard<std::mutex> lock(g_formatsMutex);
    if (formats)
        g_formats = normalized(*formats);
    else
        g_formats.reset();
}

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
// Patterns

namespace {

struct Token {
    char letter = 0;  // 0 for a literal
    int count = 0;
    std::string literal;
};

std::vector<Token> tokenize(std::string_view pattern) {
    std::vector<Token> tokens;
    auto addLiteral = [&](std::string_view s) {
        if (s.empty())
            return;
        if (!tokens.empty() && tokens.back().letter == 0)
            tokens.back().literal += s;
        else
            tokens.push_back(Token{0, 0, std::string(s)});
    };
    for (std::size_t i = 0; i < pattern.size();) {
        char c = pattern[i];
        if (c == '\'') {
            std::size_t j = i + 1;
            std::string lit;
            while (j < pattern.size()) {
                if (pattern[j] == '\'') {
                    if (j + 1 < pattern.size() && pattern[j + 1] == '\'') {
                        lit += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                lit += pattern[j++];
            }
            if (lit.empty() && j == i + 1)
                lit.assign(1, '\'');
            addLiteral(lit);
            i = j + 1;
            continue;
        }
        if (c == 'y' || c == 'M' || c == 'd' || c == 'H' || c == 'h' || c == 'm' || c == 's' || c == 't' ||
            c == 'g') {
            std::size_t j = i;
            while (j < pattern.size() && pattern[j] == c)
                ++j;
            tokens.push_back(Token{c, static_cast<int>(j - i), {}});
            i = j;
            continue;
        }
        addLiteral(pattern.substr(i, 1));
        ++i;
    }
    return tokens;
}

// The last patterns' tokens: an export formats every workbook's dates with
// the same two patterns.
const std::vector<Token>& tokensOf(std::string_view pattern) {
    thread_local std::string patterns[2];
    thread_local std::vector<Token> tokens[2];
    thread_local bool used[2] = {false, false};
    thread_local int next = 0;
    for (int i = 0; i < 2; ++i)
        if (used[i] && patterns[i] == pattern)
            return tokens[i];
    int k = next;
    next = 1 - next;
    patterns[k] = std::string(pattern);
    tokens[k] = tokenize(pattern);
    used[k] = true;
    return tokens[k];
}

// The number in decimal, zero-padded to width characters with its sign (as
// printf's "%0*lld").
std::string padded(std::int64_t v, int width) {
    char digits[24];
    int n = 0;
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    std::string out;
    if (v < 0)
        out += '-';
    int used = n + (v < 0 ? 1 : 0);
    if (width > used)
        out.append(static_cast<std::size_t>(width - used), '0');
    while (n > 0)
        out += digits[--n];
    return out;
}

unsigned dayOfWeek(const DateTimeFields& f) {
    std::int64_t days = daysFromCivil(f.year, f.month, f.day);  // 1970-01-01 was a Thursday
    return static_cast<unsigned>(floorMod(days + 4, 7));
}

}  // namespace

std::string FormatWithPattern(const DateTimeFields& f, std::string_view pattern, const platform::LocaleFormats& names) {
    std::string out;
    for (const Token& t : tokensOf(pattern)) {
        switch (t.letter) {
        case 0: out += t.literal; break;
        case 'y': out += padded(f.year, t.count <= 2 ? 2 : t.count); break;
        case 'M':
            if (t.count >= 4)
                out += names.monthFull[f.month - 1];
            else if (t.count == 3)
                out += names.monthAbbrev[f.month - 1];
            else
                out += padded(f.month, t.count);
            break;
        case 'd':
            if (t.count >= 4)
                out += names.dayFull[dayOfWeek(f)];
            else if (t.count == 3)
                out += names.dayAbbrev[dayOfWeek(f)];
            else
                out += padded(f.day, t.count);
            break;
        case 'H': out += padded(f.hour, t.count >= 2 ? 2 : 1); break;
        case 'h': out += padded(f.hour % 12 == 0 ? 12 : f.hour % 12, t.count >= 2 ? 2 : 1); break;
        case 'm': out += padded(f.minute, t.count >= 2 ? 2 : 1); break;
        case 's': out += padded(f.second, t.count >= 2 ? 2 : 1); break;
        case 't': {
            const std::string& d = f.hour < 12 ? names.am : names.pm;
            out += t.count >= 2 ? d : d.substr(0, 1);
            break;
        }
        default: break;  // era: not shown
        }
    }
    return out;
}

std::string FormatDateTimeText(LocalDateTime value, const platform::LocaleFormats& formats) {
    DateTimeFields f = DecodeLocal(value);
    std::string s = FormatWithPattern(f, formats.shortDate, formats);
    if (f.hour != 0 || f.minute != 0 || f.second != 0) {
        s += ' ';
        s += FormatWithPattern(f, formats.longTime, formats);
    }
    return s;
}

std::string FormatDateTimeText(LocalDateTime value) { return FormatDateTimeText(value, CurrentFormats()); }

namespace {

class Scanner {
public:
    explicit Scanner(std::string_view s) : m_s(s) {}
    bool atEnd() const { return m_i >= m_s.size(); }
    void skipBlanks() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t'))
            ++m_i;
    }
    bool atEndAfterBlanks() {
        std::size_t save = m_i;
        skipBlanks();
        bool end = atEnd();
        m_i = save;
        return end;
    }
    // Reads 1 to maxDigits decimal digits.
    std::optional<int> number(int maxDigits, int* digits = nullptr) {
        int v = 0, n = 0;
        while (m_i < m_s.size() && n < maxDigits && m_s[m_i] >= '0' && m_s[m_i] <= '9') {
            v = v * 10 + (m_s[m_i] - '0');
            ++m_i;
            ++n;
        }
        if (digits)
            *digits = n;
        if (n == 0)
            return std::nullopt;
        return v;
    }
    // Matches a literal; blanks in the literal match any run of blanks.
    bool literal(std::string_view lit) {
        std::size_t save = m_i;
        for (std::size_t k = 0; k < lit.size(); ++k) {
            if (lit[k] == ' ') {
                skipBlanks();
                continue;
            }
            if (m_i >= m_s.size() || m_s[m_i] != lit[k]) {
                m_i = save;
                return false;
            }
            ++m_i;
        }
        return true;
    }
    bool matchIgnoreCase(std::string_view word) {
        if (word.empty() || m_s.size() - m_i < word.size())
            return false;
        if (!text::equalsIgnoreAsciiCase(m_s.substr(m_i, word.size()), word))
            return false;
        m_i += word.size();
        return true;
    }
    // Matches the longest of a list of names; returns its index or -1.
    template <typename Names>
    int name(const Names& names) {
        int best = -1;
        std::size_t bestLen = 0;
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& n = names[k];
            if (!n.empty() && n.size() > bestLen && m_s.size() - m_i >= n.size() &&
                text::equalsIgnoreAsciiCase(m_s.substr(m_i, n.size()), n)) {
                best = static_cast<int>(k);
                bestLen = n.size();
            }
        }
        if (best >= 0)
            m_i += bestLen;
        return best;
    }

private:
    std::string_view m_s;
    std::size_t m_i = 0;
};

struct Parsed {
    DateTimeFields f;
    bool pm = false, am = false;
};

bool parseDate(Scanner& sc, const std::vector<Token>& tokens, const platform::LocaleFormats& fm, Parsed& p) {
    bool haveY = false, haveM = false, haveD = false;
    for (const Token& t : tokens) {
        switch (t.letter) {
        case 0:
            if (!sc.literal(t.literal))
                return false;
            break;
        case 'y': {
            int digits = 0;
            auto v = sc.number(5, &digits);
            if (!v)
                return false;
            p.f.year = *v;
            if (digits <= 2)
                p.f.year += *v < 50 ? 2000 : 1900;
            haveY = true;
            break;
        }
        case 'M':
            if (auto v = sc.number(2)) {
                p.f.month = static_cast<unsigned>(*v);
            } else {
                int k = sc.name(fm.monthFull);
                if (k < 0)
                    k = sc.name(fm.monthAbbrev);
                if (k < 0)
                    return false;
                p.f.month = static_cast<unsigned>(k + 1);
            }
            haveM = true;
            break;
        case 'd':
            if (t.count >= 3) {
                // A day name says nothing the date doesn't.
                if (sc.name(fm.dayFull) < 0)
                    sc.name(fm.dayAbbrev);
            } else {
                auto v = sc.number(2);
                if (!v)
                    return false;
                p.f.day = static_cast<unsigned>(*v);
                haveD = true;
            }
            break;
        case 't':
            sc.skipBlanks();
            if (sc.matchIgnoreCase(fm.pm))
                p.pm = true;
            else if (sc.matchIgnoreCase(fm.am))
                p.am = true;
            break;
        default: break;
        }
    }
    return haveY && haveM && haveD;
}

// Seconds and what follows them are optional: once hours and minutes are read,
// the end of the text ends the time.
bool parseTime(Scanner& sc, const std::vector<Token>& tokens, const platform::LocaleFormats& fm, Parsed& p) {
    bool haveH = false, haveM = false;
    for (const Token& t : tokens) {
        if (haveH && haveM && sc.atEndAfterBlanks())
            break;
        switch (t.letter) {
        case 0:
            if (!sc.literal(t.literal))
                return false;
            break;
        case 'H':
        case 'h': {
            auto v = sc.number(2);
            if (!v)
                return false;
            p.f.hour = static_cast<unsigned>(*v);
            haveH = true;
            break;
        }
        case 'm': {
            auto v = sc.number(2);
            if (!v)
                return false;
            p.f.minute = static_cast<unsigned>(*v);
            haveM = true;
            break;
        }
        case 's': {
            auto v = sc.number(2);
            if (!v)
                return false;
            p.f.second = static_cast<unsigned>(*v);
            break;
        }
        case 't':
            sc.skipBlanks();
            if (sc.matchIgnoreCase(fm.pm))
                p.pm = true;
            else if (sc.matchIgnoreCase(fm.am))
                p.am = true;
            break;
        default: break;
        }
    }
    return haveH && haveM;
}

}  // namespace

std::optional<LocalDateTime> ParseDateTimeText(std::string_view textIn, const platform::LocaleFormats& formats) {
    std::string trimmed = text::trim(textIn);
    Scanner sc(trimmed);
    Parsed p;
    if (!parseDate(sc, tokenize(formats.shortDate), formats, p))
        return std::nullopt;
    sc.skipBlanks();
    if (!sc.atEnd()) {
        if (!parseTime(sc, tokenize(formats.longTime), formats, p))
            return std::nullopt;
        sc.skipBlanks();
        if (!sc.atEnd())
            return std::nullopt;
        if (p.pm || p.am) {
            if (p.f.hour < 1 || p.f.hour > 12) {
                if (p.f.hour > 23)
                    return std::nullopt;
            } else if (p.pm) {
                p.f.hour = p.f.hour % 12 + 12;
            } else {
                p.f.hour = p.f.hour % 12;
            }
        }
    }
    if (p.f.year > 9999 || !IsValidDateTime(p.f))
        return std::nullopt;
    return EncodeLocal(p.f);
}

std::optional<LocalDateTime> ParseDateTimeText(std::string_view text) {
    return ParseDateTimeText(text, CurrentFormats());
}

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
            return std::nullopt;  // a time without a zone is not W3CDTF
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

std::string W3cdtfToLocalText(std::string_view text) {
    auto t = ParseW3cdtf(text);
    if (!t)
        return {};
    return FormatDateTimeText(FileTimeToLocal(*t));
}

std::string LocalTextToW3cdtf(std::string_view text) {
    auto v = ParseDateTimeText(text);
    if (!v)
        return {};
    return FormatW3cdtf(LocalToFileTime(*v));
}

// ---------------------------------------------------------------------------
// Durations

std::string MinutesFromDuration(std::int64_t duration) {
    double minutes = static_cast<double>(duration) / 600'000'000.0;
    // nearbyint rounds halves to the even neighbour in the default mode.
    double r = std::nearbyint(minutes);
    return std::to_string(static_cast<long long>(r));
}

std::int64_t DurationFromMinutes(std::string_view minutes) {
    std::size_t i = 0;
    while (i < minutes.size() && (minutes[i] == ' ' || minutes[i] == '\t'))
        ++i;
    auto v = text::parseInt32(minutes.substr(i));
    return static_cast<std::int64_t>(v.value_or(0)) * 600'000'000LL;
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
