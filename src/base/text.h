// Small text helpers shared by every layer. Texts are UTF-8 std::string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::text {

// Removes blanks and control characters (every byte up to 0x20) from both ends.
std::string trim(std::string_view s);

std::string toUpperAscii(std::string_view s);
std::string toLowerAscii(std::string_view s);
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);
bool startsWith(std::string_view s, std::string_view prefix);
bool endsWith(std::string_view s, std::string_view suffix);
void replaceAll(std::string& s, std::string_view from, std::string_view to);

// A signed 32-bit decimal integer with an optional sign, nothing else; no
// value for anything that is not one (the empty text included).
std::optional<std::int32_t> parseInt32(std::string_view s);
std::optional<std::int64_t> parseInt64(std::string_view s);

// A finite real in the C locale's form ("2.5", "-1e+20"), the whole text and
// nothing else; and the shortest text that reads back as the same real.
std::optional<double> parseReal(std::string_view s);
std::string formatReal(double v);

bool isValidUtf8(std::string_view s);
// Replaces every invalid sequence by U+FFFD, so that a text can be shown or
// put into JSON without breaking it.
std::string sanitizeUtf8(std::string_view s);

// UTF-16 little-endian code units <-> UTF-8. Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view s);
std::u16string utf8ToUtf16(std::string_view s);
// The code points of UTF-8 text, each invalid byte as U+FFFD; offsets gets
// where each starts, and the text's length after the last.
std::u32string utf8ToCodePoints(std::string_view s, std::vector<std::size_t>& offsets);

// Path pieces, with both "/" and "\" counting as separators (and ":" after a
// drive letter), so they work for the paths of either platform.
std::string fileNamePart(std::string_view path);
// The text from the last "." of the file name, or empty when it has none.
std::string extensionOf(std::string_view path);
std::string directoryPart(std::string_view path);

// Whether a path names a package workbook: its extension, upper-cased in ASCII,
// is exactly ".XLSX". Every other path is treated as a compound file.
bool isPackagePath(std::string_view path);

}  // namespace qv::text
