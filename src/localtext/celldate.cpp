// Date-times as spreadsheets save them in a CSV, with how much of the time
// each holds.
#include <algorithm>

#include "base/text.h"
#include "localtext/datetext.h"

namespace qv {

namespace {

// Digits at the scanner's place, at most maxDigits of them.
std::optional<unsigned> digitsAt(std::string_view s, std::size_t& i, std::size_t maxDigits) {
    std::size_t start = i;
    unsigned v = 0;
    while (i < s.size() && i - start < maxDigits && s[i] >= '0' && s[i] <= '9')
        v = v * 10 + static_cast<unsigned>(s[i++] - '0');
    if (i == start)
        return std::nullopt;
    return v;
}

bool takeAt(std::string_view s, std::size_t& i, std::string_view what) {
    if (s.substr(i).starts_with(what)) {
        i += what.size();
        return true;
    }
    return false;
}

// Year-first forms, with their precision; no value for anything else.
std::optional<CellDateTime> parseYearFirst(std::string_view s) {
    std::size_t i = 0;
    DateTimeFields f;
    auto year = digitsAt(s, i, 4);
    if (!year || i != 4)
        return std::nullopt;
    f.year = *year;
    const bool kanji = takeAt(s, i, "年");
    char sep = 0;
    if (!kanji) {
        if (i >= s.size() || (s[i] != '/' && s[i] != '-' && s[i] != '.'))
            return std::nullopt;
        sep = s[i++];
    }
    auto month = digitsAt(s, i, 2);
    if (!month || !(kanji ? takeAt(s, i, "月") : i < s.size() && s[i++] == sep))
        return std::nullopt;
    auto day = digitsAt(s, i, 2);
    if (!day || (kanji && !takeAt(s, i, "日")))
        return std::nullopt;
    f.month = *month;
    f.day = *day;
    CellDateTime out;
    out.precision = DatePrecision::Day;
    // An ISO-8601 text with a zone is an instant: read as one.
    if (sep == '-' && i < s.size() && s[i] == 'T') {
        auto utc = ParseIso8601(s);
        if (!utc)
            return std::nullopt;
        std::string_view time = s.substr(i + 1);
        time = time.substr(0, time.find_first_of("Z+-"));
        const auto colons = std::count(time.begin(), time.end(), ':');
        const bool fraction = time.find('.') != std::string_view::npos;
        out.value = FileTimeToLocal(*utc);
        out.precision = fraction ? DatePrecision::Millisecond : colons >= 2 ? DatePrecision::Second : DatePrecision::Minute;
        return out;
    }
    while (i < s.size() && s[i] == ' ')
        ++i;
    if (i < s.size()) {
        auto hour = digitsAt(s, i, 2);
        const bool kanjiTime = hour && takeAt(s, i, "時");
        if (!hour || (!kanjiTime && !(i < s.size() && s[i++] == ':')))
            return std::nullopt;
        auto minute = digitsAt(s, i, 2);
        if (!minute || (kanjiTime && !takeAt(s, i, "分")))
            return std::nullopt;
        f.hour = *hour;
        f.minute = *minute;
        out.precision = DatePrecision::Minute;
        if (i < s.size() && (kanjiTime || s[i] == ':')) {
            if (!kanjiTime)
                ++i;
            auto second = digitsAt(s, i, 2);
            if (!second || (kanjiTime && !takeAt(s, i, "秒")))
                return std::nullopt;
            f.second = *second;
            out.precision = DatePrecision::Second;
            if (!kanjiTime && i < s.size() && s[i] == '.') {
                ++i;
                std::size_t start = i;
                auto fraction = digitsAt(s, i, 3);
                if (!fraction)
                    return std::nullopt;
                for (std::size_t n = i - start; n < 3; ++n)
                    *fraction *= 10;
                while (i < s.size() && s[i] >= '0' && s[i] <= '9')
                    ++i;
                f.millisecond = *fraction;
                out.precision = DatePrecision::Millisecond;
            }
        }
        if (i != s.size())
            return std::nullopt;
    }
    if (!IsValidDateTime(f))
        return std::nullopt;
    out.value = EncodeLocal(f);
    return out;
}

}  // namespace

std::optional<CellDateTime> ParseCellDateTime(std::string_view textIn) {
    const std::string t = text::trim(textIn);
    if (auto y = parseYearFirst(t))
        return y;
    // The locale's own text: to the second, or the day when it has no time.
    if (auto local = ParseDateTimeText(t)) {
        const bool timeless = t.find(':') == std::string::npos && TimeOfDay(*local) == 0;
        return CellDateTime{*local, timeless ? DatePrecision::Day : DatePrecision::Second};
    }
    return std::nullopt;
}

bool SameToPrecision(LocalDateTime a, LocalDateTime b, DatePrecision precision) {
    const DateTimeFields x = DecodeLocal(a), y = DecodeLocal(b);
    if (x.year != y.year || x.month != y.month || x.day != y.day)
        return false;
    if (precision == DatePrecision::Day)
        return true;
    if (x.hour != y.hour || x.minute != y.minute)
        return false;
    if (precision == DatePrecision::Minute)
        return true;
    if (x.second != y.second)
        return false;
    return precision == DatePrecision::Second || x.millisecond == y.millisecond;
}

}  // namespace qv
