// Date and time conversions between file times, W3CDTF texts, editing-time
// durations and local date-times. Their text form in the user's locale is in
// localtext/datetext.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/filetime.h"
#include "platform/platform.h"

namespace qv {

// Days since 30 December 1899, 00:00 local time; the fraction is the time of
// day. Before that day the fraction counts forward from the day's start
// (-1.25 is 29 December 1899, 06:00).
using LocalDateTime = double;

struct DateTimeFields {
    std::int64_t year = 1899;
    unsigned month = 12, day = 30;
    unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalDateTime EncodeLocal(const DateTimeFields& f);
// The fields of a value, rounded to the nearest millisecond.
DateTimeFields DecodeLocal(LocalDateTime value);
bool IsValidDateTime(const DateTimeFields& f);

double WholeDays(LocalDateTime value);
double TimeOfDay(LocalDateTime value);
LocalDateTime ComposeDateTime(double wholeDays, double timeOfDay);

// UTC file time <-> local date-time, under the zone rules in effect at the
// instant converted. The round trip keeps milliseconds.
LocalDateTime FileTimeToLocal(FileTime utc);
FileTime LocalToFileTime(LocalDateTime local);
LocalDateTime NowLocal();

// W3CDTF: the whole profile is read (date only, minutes without seconds,
// fractions, "Z" or an offset); a time without a zone, which some writers
// store, is taken for UTC.
std::optional<FileTime> ParseW3cdtf(std::string_view text);
// "yyyy-mm-ddThh:nn:ssZ".
std::string FormatW3cdtf(FileTime utc);

// Editing time: 100-ns units <-> whole minutes, halves to even.
std::string MinutesFromDuration(std::uint64_t duration);

// ISO-8601 for the command line and JSON: local time with its offset,
// "2010-04-01T12:30:00+09:00", with up to 7 fractional digits when asked.
std::string FormatIso8601Local(FileTime utc, bool withFraction = false);
// Reads "yyyy-mm-dd", optionally followed by "T" or a blank and a time
// (hh:mm, hh:mm:ss, fractions) and "Z" or an offset; no zone means local time.
std::optional<FileTime> ParseIso8601(std::string_view text);

}  // namespace qv
