#include "engine/csv_cells.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "base/text.h"
#include "localtext/datetext.h"
#include "platform/platform.h"

namespace qv::engine {

namespace {

constexpr int kShiftJis = 932;

// A decimal number exactly as written: 0.digits × 10^exponent, the digits
// without leading or trailing zeros (none for zero).
struct Decimal {
    bool negative = false;
    std::string digits;
    std::int64_t exponent = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A number as spreadsheets read one: a sign, digits (grouped by "," in
// threes, or not), a fraction, an exponent. "007", "1e5" and "1,234" are
// numbers; "1,23", "0x1F" and "" are not.
std::optional<Decimal> parseNumber(std::string_view s) {
    const std::string trimmed = text::trim(s);
    s = trimmed;
    Decimal d;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        d.negative = s[i++] == '-';
    std::string all;
    std::int64_t intDigits = 0;
    std::size_t group = 0;
    bool grouped = false, any = false;
    for (; i < s.size() && (isDigit(s[i]) || s[i] == ','); ++i) {
        if (s[i] == ',') {
            // Groups of three after the first: "1,234", never "1,23" or ",1".
            if (!any || (grouped && group != 3) || (!grouped && group > 3))
                return std::nullopt;
            grouped = true;
            group = 0;
            continue;
        }
        all += s[i];
        ++intDigits;
        ++group;
        any = true;
    }
    if (grouped && group != 3)
        return std::nullopt;
    if (i < s.size() && s[i] == '.') {
        ++i;
        for (; i < s.size() && isDigit(s[i]); ++i) {
            all += s[i];
            any = true;
        }
    }
    if (!any)
        return std::nullopt;
    std::int64_t exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negativeExponent = s[i++] == '-';
        if (i >= s.size())
            return std::nullopt;
        for (; i < s.size() && isDigit(s[i]); ++i) {
            if (exponent > 100000)
                return std::nullopt;
            exponent = exponent * 10 + (s[i] - '0');
        }
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != s.size())
        return std::nullopt;
    std::size_t lead = all.find_first_not_of('0');
    if (lead == std::string::npos)
        return Decimal{};  // zero, whatever its sign
    std::size_t trail = all.find_last_not_of('0');
    d.digits = all.substr(lead, trail - lead + 1);
    d.exponent = intDigits - static_cast<std::int64_t>(lead) + exponent;
    return d;
}

// The number rounded to n significant digits, halves away from zero, as
// spreadsheets show them.
Decimal rounded(Decimal d, std::size_t n) {
    if (d.digits.size() <= n || n == 0)
        return d;
    const bool up = d.digits[n] >= '5';
    d.digits.resize(n);
    if (up) {
        std::size_t k = n;
        while (k > 0 && d.digits[k - 1] == '9')
            d.digits[--k] = '0';
        if (k == 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[k - 1];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

double toDouble(const Decimal& d) {
    std::string t = std::string(d.negative ? "-" : "") + "0." + (d.digits.empty() ? "0" : d.digits) + "e" +
                    std::to_string(d.exponent);
    return std::strtod(t.c_str(), nullptr);
}

// A formula of numbers, + - * / ^ and parentheses, as a spreadsheet works it
// out; nothing for anything else (a function, a reference). Bounded, since
// the text is the file's.
class Formula {
public:
    explicit Formula(std::string_view s) : m_s(s) {}

    std::optional<double> value() {
        auto v = sum();
        skipBlanks();
        if (!v || m_i != m_s.size())
            return std::nullopt;
        return v;
    }

private:
    void skipBlanks() {
        while (m_i < m_s.size() && m_s[m_i] == ' ')
            ++m_i;
    }
    bool take(char c) {
        skipBlanks();
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }
    std::optional<double> sum() {
        auto v = product();
        while (v) {
            if (take('+')) {
                auto r = product();
                v = r ? std::optional<double>(*v + *r) : std::nullopt;
            } else if (take('-')) {
                auto r = product();
                v = r ? std::optional<double>(*v - *r) : std::nullopt;
            } else {
                break;
            }
        }
        return v;
    }
    std::optional<double> product() {
        auto v = power();
        while (v) {
            if (take('*')) {
                auto r = power();
                v = r ? std::optional<double>(*v * *r) : std::nullopt;
            } else if (take('/')) {
                auto r = power();
                v = r && *r != 0 ? std::optional<double>(*v / *r) : std::nullopt;
            } else {
                break;
            }
        }
        return v;
    }
    std::optional<double> power() {
        auto v = unary();
        if (v && take('^')) {
            auto r = unary();
            v = r ? std::optional<double>(std::pow(*v, *r)) : std::nullopt;
        }
        return v;
    }
    std::optional<double> unary() {
        if (++m_depth > 64)
            return std::nullopt;
        std::optional<double> v;
        if (take('-')) {
            v = unary();
            if (v)
                v = -*v;
        } else if (take('+')) {
            v = unary();
        } else if (take('(')) {
            v = sum();
            if (!take(')'))
                v.reset();
        } else {
            skipBlanks();
            std::size_t start = m_i;
            while (m_i < m_s.size() && (isDigit(m_s[m_i]) || m_s[m_i] == '.'))
                ++m_i;
            auto d = parseNumber(m_s.substr(start, m_i - start));
            if (d)
                v = toDouble(*d);
        }
        --m_depth;
        return v;
    }

    std::string_view m_s;
    std::size_t m_i = 0;
    int m_depth = 0;
};

bool sameNumber(double a, double b) { return a == b || std::fabs(a - b) <= 1e-12 * std::fmax(std::fabs(a), std::fabs(b)); }

// CR LF and lone CR as LF: spreadsheets write line breaks inside a cell so.
std::string lineEndsAsLf(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The cell against one form of the exported text.
CellVerdict compareWith(std::string_view cell, const std::string& exported, CellKind kind) {
    if (cell == exported || lineEndsAsLf(cell) == lineEndsAsLf(exported))
        return {};
    // Yes and no in the spreadsheet's capitals.
    if ((equalsIgnoringAsciiCase(exported, "true") || equalsIgnoringAsciiCase(exported, "false")) &&
        equalsIgnoringAsciiCase(cell, exported))
        return {};
    const auto cellDate = ParseCellDateTime(cell);
    std::optional<CellDateTime> fileDate;
    if (!exported.empty())
        fileDate = ParseCellDateTime(exported);
    if (kind == CellKind::DateTime && cellDate && fileDate)
        return {!SameToPrecision(cellDate->value, fileDate->value,
                                 std::min(cellDate->precision, fileDate->precision)),
                Doubt::None};
    const auto cellNumber = parseNumber(cell);
    if (cellNumber) {
        if (auto fileNumber = parseNumber(exported)) {
            if (*cellNumber == *fileNumber)
                return {};
            if (rounded(*fileNumber, cellNumber->digits.size()) == *cellNumber &&
                cellNumber->digits.size() < fileNumber->digits.size())
                return {true, Doubt::RoundedNumber};
        }
        if (exported.size() > 1 && exported[0] == '=') {
            auto result = Formula(std::string_view(exported).substr(1)).value();
            if (result && sameNumber(*result, toDouble(*cellNumber)))
                return {};
        }
    }
    if (exported.size() > 1 && exported[0] == '=' && !cell.empty() && cell[0] != '=')
        return {true, Doubt::FormulaResult};
    if (kind == CellKind::Text && cellDate && fileDate &&
        SameToPrecision(cellDate->value, fileDate->value, std::min(cellDate->precision, fileDate->precision)))
        return {true, Doubt::DateForm};
    return {true, Doubt::None};
}

}  // namespace

const char* DoubtText(Doubt doubt) {
    switch (doubt) {
    case Doubt::None:
        return "";
    case Doubt::FormulaResult:
        return "the file holds a formula's text and the cell may be what a spreadsheet worked out from it";
    case Doubt::RoundedNumber:
        return "the cell is the file's number rounded, as a spreadsheet shows it";
    case Doubt::DateForm:
        return "the cell is the file's date written another way, as a spreadsheet saves it";
    }
    return "";
}

std::string ShiftJisForm(const std::string& utf8) {
    if (isAscii(utf8))
        return utf8;
    auto bytes = platform::encodeCodePage(kShiftJis, utf8, true);
    if (!bytes)
        return utf8;
    auto back = platform::decodeCodePage(kShiftJis, *bytes);
    return back ? std::move(*back) : utf8;
}

CellVerdict CompareCell(std::string_view cell, const std::string& exported, CellKind kind, bool shiftJis) {
    CellVerdict v = compareWith(cell, exported, kind);
    if (v.changed && shiftJis && !isAscii(exported)) {
        CellVerdict lossy = compareWith(cell, ShiftJisForm(exported), kind);
        if (!lossy.changed || v.doubt == Doubt::None)
            v = lossy;
    }
    return v;
}

}  // namespace qv::engine
