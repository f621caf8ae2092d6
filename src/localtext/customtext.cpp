#include "localtext/customtext.h"

#include "base/text.h"
#include "localtext/datetext.h"
#include "props/datetime.h"

namespace qv {

namespace {

struct TypeNames {
    CustomType type;
    const char* key;
    const char* label;
};

constexpr TypeNames kTypes[] = {
    {CustomType::Text, "text", "テキスト"},
    {CustomType::Number, "number", "数値"},
    {CustomType::Date, "date", "日付"},
    {CustomType::Bool, "bool", "はい/いいえ"},
};

const TypeNames& namesOf(CustomType type) {
    for (const TypeNames& t : kTypes)
        if (t.type == type)
            return t;
    return kTypes[0];
}

Error notA(const char* what, std::string_view text) {
    // Built piece by piece: g++ 12 warns falsely on "'" + std::string.
    std::string message(1, '\'');
    message += text;
    message += "' is not ";
    message += what;
    return Error(ErrorCode::ConversionFailed, std::move(message));
}

}  // namespace

const char* CustomTypeKey(CustomType type) { return namesOf(type).key; }

std::optional<CustomType> CustomTypeFromKey(std::string_view key) {
    for (const TypeNames& t : kTypes)
        if (key == t.key)
            return t.type;
    return std::nullopt;
}

std::string CustomTypeKeyOf(const CustomValue& value) {
    if (auto type = CustomTypeOf(value))
        return CustomTypeKey(*type);
    return std::get<OtherValue>(value).type;
}

const char* CustomTypeLabel(CustomType type) { return namesOf(type).label; }

std::string CustomTypeLabelOf(const CustomValue& value) {
    if (auto type = CustomTypeOf(value))
        return CustomTypeLabel(*type);
    return std::get<OtherValue>(value).type;
}

std::string CustomValueText(const CustomValue& value) {
    struct Visitor {
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(std::int64_t n) const { return std::to_string(n); }
        std::string operator()(double r) const { return text::formatReal(r); }
        std::string operator()(bool b) const { return b ? "はい" : "いいえ"; }
        std::string operator()(const Instant& t) const { return FormatDateTimeText(FileTimeToLocal(t.utc)); }
        std::string operator()(const OtherValue& o) const { return o.text; }
    };
    return std::visit(Visitor{}, value);
}

Result<CustomValue> ParseCustomValue(CustomType type, std::string_view raw) {
    std::string t = text::trim(raw);
    switch (type) {
    case CustomType::Text:
        return CustomValue(std::string(raw));
    case CustomType::Number: {
        if (auto n = text::parseInt64(t); n && std::to_string(*n) == t)
            return CustomValue(*n);
        if (auto r = text::parseReal(t))
            return CustomValue(*r);
        return notA("a number", raw);
    }
    case CustomType::Date:
        if (auto local = ParseDateTimeText(t))
            return CustomValue(Instant{LocalToFileTime(*local)});
        if (auto utc = ParseIso8601(t))
            return CustomValue(Instant{*utc});
        return notA("a date (use ISO-8601 such as 2010-04-01T12:30:00+09:00 or your locale's date and time)", raw);
    case CustomType::Bool: {
        std::string lower = text::toLowerAscii(t);
        if (t == "はい" || lower == "yes" || lower == "true" || lower == "1")
            return CustomValue(true);
        if (t == "いいえ" || lower == "no" || lower == "false" || lower == "0")
            return CustomValue(false);
        return notA("yes or no (はい/いいえ, true/false)", raw);
    }
    }
    return notA("a value", raw);
}

}  // namespace qv
