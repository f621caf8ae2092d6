// User-defined properties as a person reads and types them: the names of
// their types, their values' text (dates in the locale's date-time text,
// yes and no as はい and いいえ) and typed text read back into values.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "props/metadata.h"

namespace qv {

// The command line's and the saved defaults' names of the four types:
// "text", "number", "date", "bool".
const char* CustomTypeKey(CustomType type);
std::optional<CustomType> CustomTypeFromKey(std::string_view key);
// A value's type by that name; a value of another type by its stored type.
std::string CustomTypeKeyOf(const CustomValue& value);

// The window's names of the types: "テキスト", "数値", "日付", "はい/いいえ".
const char* CustomTypeLabel(CustomType type);
std::string CustomTypeLabelOf(const CustomValue& value);

// A value's text: a real to the digits that give it back, a point in time in
// the locale's date-time text, yes or no as はい or いいえ, another type's
// value as the file holds it.
std::string CustomValueText(const CustomValue& value);

// A typed text as a value of the chosen type: a number as a whole number or
// a real ("." before the fraction); a date in the locale's date-time text or
// ISO-8601; yes or no as はい/いいえ, yes/no, true/false or 1/0. A text that is
// no value of its type fails with ErrorCode::ConversionFailed.
Result<CustomValue> ParseCustomValue(CustomType type, std::string_view text);

}  // namespace qv
