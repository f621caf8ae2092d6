#include "props/custom_edits.h"

#include <cmath>

#include "base/text.h"

namespace qv {

namespace {

// Every whole number up to 2^53 is a real exactly.
constexpr std::int64_t kExactInReal = std::int64_t{1} << 53;

Error refused(const CustomEdit& e, const std::string& why) {
    return Error(ErrorCode::ConversionFailed, "the user-defined property \"" + text::sanitizeUtf8(e.name) + "\" " + why);
}

}  // namespace

Status CheckCustomEdit(const CustomEdit& e) {
    if (e.name.empty())
        return Error(ErrorCode::ConversionFailed, "a user-defined property needs a name");
    if (!text::isValidUtf8(e.name))
        return refused(e, "has a name that is no valid text");
    if (text::utf8ToUtf16(e.name).size() > kMaxCustomNameLength)
        return refused(e, "has a name longer than " + std::to_string(kMaxCustomNameLength) + " characters");
    for (unsigned char c : e.name)
        if (c < 0x20 || c == 0x7F)
            return refused(e, "has a control character in its name");
    if (e.action == CustomEdit::Action::Remove)
        return {};
    if (std::holds_alternative<OtherValue>(e.value))
        return refused(e, "can only be given a text, a number, a date or yes or no");
    if (auto s = std::get_if<std::string>(&e.value)) {
        if (!text::isValidUtf8(*s))
            return refused(e, "is given a value that is no valid text");
        if (s->find('\0') != std::string::npos)
            return refused(e, "can't hold a null character");
    }
    if (auto r = std::get_if<double>(&e.value); r && !std::isfinite(*r))
        return refused(e, "can't hold an infinite number");
    if (auto n = std::get_if<std::int64_t>(&e.value);
        n && (*n < INT32_MIN || *n > INT32_MAX) && (*n > kExactInReal || *n < -kExactInReal))
        return refused(e, "can't hold the number " + std::to_string(*n) + " exactly");
    return {};
}

Status CheckCustomEdits(const std::vector<CustomEdit>& edits) {
    for (const CustomEdit& e : edits)
        QV_TRY(CheckCustomEdit(e));
    return {};
}

StoredNumber StoreNumber(const CustomValue& value) {
    StoredNumber out;
    if (auto n = std::get_if<std::int64_t>(&value)) {
        if (*n >= INT32_MIN && *n <= INT32_MAX) {
            out.i4 = static_cast<std::int32_t>(*n);
            return out;
        }
        out.whole = false;
        out.r8 = static_cast<double>(*n);
        return out;
    }
    out.whole = false;
    out.r8 = std::get<double>(value);
    return out;
}

}  // namespace qv
