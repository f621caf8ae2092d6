// Turns a locale's own format (a POSIX locale's D_FMT or T_FMT, or a CLDR
// pattern) into a pattern in Windows pattern letters, the form the
// date-time text is made from.
#pragma once

#include <string>
#include <string_view>

namespace qv::platform {

// ampmFormat is the locale's T_FMT_AMPM, which "%r" stands for. Two-digit
// years are widened to four digits; time-zone fields are dropped.
std::string strftimeToPattern(std::string_view format, std::string_view ampmFormat);

// Turns a CLDR (ICU) date or time pattern into Windows pattern letters.
// Years are given four digits, as above; eras, zones and fractions of a
// second are dropped. Quoted text stays quoted.
std::string cldrToPattern(std::string_view pattern);

}  // namespace qv::platform
