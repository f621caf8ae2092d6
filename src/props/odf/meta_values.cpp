// The values of meta.xml that are not plain text: ISO-8601 durations and
// dates, with or without a zone.
#include <cstdio>

#include "base/text.h"
#include "props/datetime.h"
#include "props/odf/meta.h"

namespace qv::odf {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;

}  // namespace

std::optional<std::uint64_t> ParseDuration(std::string_view textIn) {
    std::string s = text::trim(textIn);
    if (s.size() < 3 || s[0] != 'P')
        return std::nullopt;
    // 100-ns units per unit of each designator; years and months only as 0.
    std::uint64_t total = 0;
    bool inTime = false, any = false;
    std::size_t i = 1;
    while (i < s.size()) {
        if (s[i] == 'T') {
            if (inTime)
                return std::nullopt;
            inTime = true;
            ++i;
            continue;
        }
        std::size_t start = i;
        std::uint64_t whole = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (i - start >= 15)
                return std::nullopt;
            whole = whole * 10 + static_cast<std::uint64_t>(s[i] - '0');
            ++i;
        }
        if (i == start)
            return std::nullopt;
        std::uint64_t fraction = 0;  // in 100-ns units of a second
        if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
            std::size_t f = ++i;
            std::uint64_t scale = kTicksPerSecond / 10;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
                fraction += static_cast<std::uint64_t>(s[i] - '0') * scale;
                scale /= 10;
                ++i;
            }
            if (i == f || i >= s.size() || s[i] != 'S' || !inTime)
                return std::nullopt;
        }
        if (i >= s.size())
            return std::nullopt;
        char d = s[i++];
        std::uint64_t unit;
        if (!inTime && (d == 'Y' || d == 'M')) {
            if (whole != 0)
                return std::nullopt;
            unit = 0;
        } else if (!inTime && d == 'W') {
            unit = 7 * 86400 * kTicksPerSecond;
        } else if (!inTime && d == 'D') {
            unit = 86400 * kTicksPerSecond;
        } else if (inTime && d == 'H') {
            unit = 3600 * kTicksPerSecond;
        } else if (inTime && d == 'M') {
            unit = 60 * kTicksPerSecond;
        } else if (inTime && d == 'S') {
            unit = kTicksPerSecond;
        } else {
            return std::nullopt;
        }
        if (unit != 0 && whole > (UINT64_MAX - total - fraction) / unit)
            return std::nullopt;
        total += whole * unit + fraction;
        any = true;
    }
    if (!any || s.back() == 'T')
        return std::nullopt;
    return total;
}

std::string FormatDuration(std::uint64_t ticks) {
    std::uint64_t secs = ticks / kTicksPerSecond, frac = ticks % kTicksPerSecond;
    std::uint64_t days = secs / 86400, h = secs / 3600 % 24, m = secs / 60 % 60, sec = secs % 60;
    std::string out = "P";
    if (days)
        out += std::to_string(days) + "D";
    out += "T";
    if (h)
        out += std::to_string(h) + "H";
    if (m)
        out += std::to_string(m) + "M";
    if (sec || frac || (!days && !h && !m)) {
        out += std::to_string(sec);
        if (frac) {
            char buf[16];
            std::snprintf(buf, sizeof buf, ".%07llu", static_cast<unsigned long long>(frac));
            std::string f = buf;
            while (f.back() == '0')
                f.pop_back();
            out += f;
        }
        out += "S";
    }
    if (out.back() == 'T')
        out.pop_back();
    return out;
}

DateForm DateFormOf(std::string_view textIn) {
    std::string s = text::trim(textIn);
    DateForm form;
    if (s.size() <= 10)
        return form;
    std::string_view time = std::string_view(s).substr(11);
    if (time.ends_with('Z')) {
        form.kind = DateForm::Utc;
        return form;
    }
    std::size_t sign = time.find_last_of("+-");
    if (sign == std::string_view::npos)
        return form;
    std::string_view zone = time.substr(sign + 1);
    int hh = 0, mm = 0;
    if (zone.size() == 5 && zone[2] == ':' && std::sscanf(std::string(zone).c_str(), "%2d:%2d", &hh, &mm) == 2) {
        form.kind = DateForm::Offset;
        form.offsetMinutes = (hh * 60 + mm) * (time[sign] == '-' ? -1 : 1);
    }
    return form;
}

std::optional<FileTime> ParseDate(std::string_view text) { return ParseIso8601(text); }

std::string FormatDate(FileTime utc, DateForm form) {
    if (form.kind == DateForm::Offset) {
        std::int64_t shift = static_cast<std::int64_t>(form.offsetMinutes) * 60 * static_cast<std::int64_t>(kTicksPerSecond);
        if (shift < 0 && utc < static_cast<FileTime>(-shift))
            return FormatW3cdtf(utc);
        std::string s = FormatW3cdtf(static_cast<FileTime>(static_cast<std::int64_t>(utc) + shift));
        int a = form.offsetMinutes < 0 ? -form.offsetMinutes : form.offsetMinutes;
        char buf[8];
        std::snprintf(buf, sizeof buf, "%c%02d:%02d", form.offsetMinutes < 0 ? '-' : '+', a / 60 % 100, a % 60);
        s.pop_back();
        return s + buf;
    }
    if (form.kind == DateForm::Utc)
        return FormatW3cdtf(utc);
    // Local wall-clock time without a zone, as the office suite writes it.
    std::string s = FormatIso8601Local(utc);
    return s.substr(0, s.size() - 6);
}

}  // namespace qv::odf
