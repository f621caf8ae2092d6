#include "localtext/datetext.h"

#include <atomic>
#include <cstdlib>
#include <list>
#include <mutex>
#include <vector>

#include "base/text.h"

namespace qv {

namespace {

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

// The formats in use are published once and never changed in place, so the
// readers on every core take them without a lock. A replacement (tests
// only) publishes a new object; the old ones stay alive for references
// handed out earlier.
std::mutex g_formatsMutex;  // one reading of the user's formats, one replacement at a time
std::list<platform::LocaleFormats> g_published;
std::atomic<const platform::LocaleFormats*> g_current{nullptr};

const platform::LocaleFormats* publish(platform::LocaleFormats f) {
    g_published.push_back(normalized(std::move(f)));
    const platform::LocaleFormats* p = &g_published.back();
    g_current.store(p, std::memory_order_release);
    return p;
}

}  // namespace

const platform::LocaleFormats& CurrentFormats() {
    if (const platform::LocaleFormats* p = g_current.load(std::memory_order_acquire))
        return *p;
    std::lock_guard<std::mutex> lock(g_formatsMutex);
    if (const platform::LocaleFormats* p = g_current.load(std::memory_order_acquire))
        return *p;
    platform::LocaleFormats f = platform::readUserLocaleFormats();
    applyOverride(f);
    return *publish(std::move(f));
}

void SetFormatsForTesting(const std::optional<platform::LocaleFormats>& formats) {
    std::lock_guard<std::mutex> lock(g_formatsMutex);
    if (formats)
        publish(*formats);
    else
        g_current.store(nullptr, std::memory_order_release);
}

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
// the same two patterns. Kept per thread, so readers on several cores need
// no lock.
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

// Appends the number in decimal, zero-padded to width characters with its
// sign (as printf's "%0*lld"), without a string of its own.
void appendPadded(std::string& out, std::int64_t v, int width) {
    char buf[48];
    char* end = buf + sizeof buf;
    char* p = end;
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    do {
        *--p = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    int used = static_cast<int>(end - p) + (v < 0 ? 1 : 0);
    if (v < 0)
        out += '-';
    if (width > used)
        out.append(static_cast<std::size_t>(width - used), '0');
    out.append(p, end);
}

unsigned dayOfWeek(const DateTimeFields& f) {
    std::int64_t days = daysFromCivil(f.year, f.month, f.day);  // 1970-01-01 was a Thursday
    return static_cast<unsigned>(floorMod(days + 4, 7));
}

void formatInto(std::string& out, const DateTimeFields& f, std::string_view pattern,
                const platform::LocaleFormats& names) {
    for (const Token& t : tokensOf(pattern)) {
        switch (t.letter) {
        case 0: out += t.literal; break;
        case 'y': appendPadded(out, f.year, t.count <= 2 ? 2 : t.count); break;
        case 'M':
            if (t.count >= 4)
                out += names.monthFull[f.month - 1];
            else if (t.count == 3)
                out += names.monthAbbrev[f.month - 1];
            else
                appendPadded(out, f.month, t.count);
            break;
        case 'd':
            if (t.count >= 4)
                out += names.dayFull[dayOfWeek(f)];
            else if (t.count == 3)
                out += names.dayAbbrev[dayOfWeek(f)];
            else
                appendPadded(out, f.day, t.count);
            break;
        case 'H': appendPadded(out, f.hour, t.count >= 2 ? 2 : 1); break;
        case 'h': appendPadded(out, f.hour % 12 == 0 ? 12 : f.hour % 12, t.count >= 2 ? 2 : 1); break;
        case 'm': appendPadded(out, f.minute, t.count >= 2 ? 2 : 1); break;
        case 's': appendPadded(out, f.second, t.count >= 2 ? 2 : 1); break;
        case 't': {
            const std::string& d = f.hour < 12 ? names.am : names.pm;
            out += t.count >= 2 ? d : d.substr(0, 1);
            break;
        }
        default: break;  // era: not shown
        }
    }
}

}  // namespace

std::string FormatWithPattern(const DateTimeFields& f, std::string_view pattern, const platform::LocaleFormats& names) {
    std::string out;
    formatInto(out, f, pattern, names);
    return out;
}

std::string FormatDateTimeText(LocalDateTime value, const platform::LocaleFormats& formats) {
    DateTimeFields f = DecodeLocal(value);
    std::string s;
    s.reserve(32);
    formatInto(s, f, formats.shortDate, formats);
    if (f.hour != 0 || f.minute != 0 || f.second != 0) {
        s += ' ';
        formatInto(s, f, formats.longTime, formats);
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

}  // namespace qv
