// The text form of local date-times in the user's locale: its short date and
// long time patterns, written and read back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "props/datetime.h"

namespace qv {

// The locale formats the date-time text is made from: the user's, read when
// first needed and kept for the program's life. Safe on several threads.
const platform::LocaleFormats& CurrentFormats();
// Replaces the formats (tests), or restores the user's with an empty value.
// Not to be called while other threads format or parse.
void SetFormatsForTesting(const std::optional<platform::LocaleFormats>& formats);

// The user's short date, then a space and the long time unless the time is
// exactly midnight.
std::string FormatDateTimeText(LocalDateTime value);
std::string FormatDateTimeText(LocalDateTime value, const platform::LocaleFormats& formats);
// The inverse under the same formats; no value for a text that doesn't parse.
std::optional<LocalDateTime> ParseDateTimeText(std::string_view text);
std::optional<LocalDateTime> ParseDateTimeText(std::string_view text, const platform::LocaleFormats& formats);
// How much of a date-time a spreadsheet's cell holds: one may save a date
// without its seconds, or without its time.
enum class DatePrecision { Day, Minute, Second, Millisecond };
struct CellDateTime {
    LocalDateTime value = 0;
    DatePrecision precision = DatePrecision::Second;
};
// A date-time as spreadsheets save it: year first with "/", "-" or "."
// ("2024/1/2 3:04", "2024-01-02"), "2024年1月2日 3時04分", ISO-8601 with its
// zone (taken to local time), or the locale's own text.
std::optional<CellDateTime> ParseCellDateTime(std::string_view text);
// Whether two local date-times agree to that precision (fields compared, so
// no floating-point rounding decides).
bool SameToPrecision(LocalDateTime a, LocalDateTime b, DatePrecision precision);

// Formats with a pattern in Windows pattern letters.
// A W3CDTF text as the locale's date-time text and back; empty for a text
// that doesn't parse.
std::string W3cdtfToLocalText(std::string_view text);
std::string LocalTextToW3cdtf(std::string_view text);
std::string FormatWithPattern(const DateTimeFields& f, std::string_view pattern, const platform::LocaleFormats& names);

}  // namespace qv
