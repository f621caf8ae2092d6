// Find-and-replace in values: text or an ECMAScript expression, matched on
// a folded copy (case, full-width and half-width forms) while what is not
// matched keeps its own form.
#include <map>

#include "base/text.h"
#include "engine/patterns.h"
#include "localtext/customtext.h"
#include "localtext/rowtext.h"
#include "props/catalogue.h"

namespace qv::engine {

namespace {


// Half-width katakana U+FF61..U+FF9F as full-width ones.
constexpr char16_t kKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,
    0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,
    0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC,
    0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5, 0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4,
    0x30E6, 0x30E8, 0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

char32_t foldCase(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

struct Folded {
    std::wstring units;
    std::vector<std::size_t> source;  // the char each unit comes from, and the count at the end
};

// The text as matching sees it. In an expression a character that becomes
// one of its operators is escaped, and the one after a backslash keeps its
// case (\D is not \d).
Folded fold(const std::u32string& s, bool width, bool caseless, bool expression) {
    Folded f;
    auto push = [&](char32_t c, std::size_t from) {
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0x10000) {
                c -= 0x10000;
                f.units.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
                f.source.push_back(from);
                c = 0xDC00 + (c & 0x3FF);
            }
        }
        f.units.push_back(static_cast<wchar_t>(c));
        f.source.push_back(from);
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        const bool escaped = expression && i > 0 && s[i - 1] == U'\\';
        if (width) {
            if (c >= 0xFF01 && c <= 0xFF5E)
                c -= 0xFEE0;
            else if (c == 0x3000)
                c = U' ';
            else if (c >= 0xFF61 && c <= 0xFF9F) {
                c = kKana[c - 0xFF61];
                const char32_t next = i + 1 < s.size() ? s[i + 1] : 0;
                const bool voiceable = (c >= 0x30AB && c <= 0x30C8) || (c >= 0x30CF && c <= 0x30DB) || c == 0x30A6;
                if (voiceable && next == 0xFF9E) {
                    c = c == 0x30A6 ? 0x30F4 : c + 1;
                    push(c, i);
                    ++i;
                    continue;
                }
                if (c >= 0x30CF && c <= 0x30DB && next == 0xFF9F) {
                    push(c + 2, i);
                    ++i;
                    continue;
                }
            }
        }
        if (caseless && !escaped)
            c = foldCase(c);
        if (expression && s[i] >= 0x80 && c < 0x80 && std::u32string_view(U"^$\\.*+?()[]{}|/-").find(c) != std::u32string_view::npos)
            push(U'\\', i);
        push(c, i);
    }
    f.source.push_back(s.size());
    return f;
}

int rowNamed(std::string_view name) {
    if (int row = rowForKey(name); row >= 0)
        return row;
    for (const PropertyRow& r : kCatalogue)
        if (name == r.Label)
            return r.Index;
    return -1;
}


// Long values are refused: the standard matcher recurses per character.
constexpr std::size_t kMaxExpressionText = 4096;

}  // namespace

Result<Replacer> Replacer::make(const ReplaceRule& rule) {
    Replacer r;
    r.m_rule = rule;
    if (rule.target.rfind("custom:", 0) == 0) {
        r.m_custom = rule.target.substr(7);
        if (r.m_custom == "*")
            r.m_custom.clear();
        else if (r.m_custom.empty())
            return Error(ErrorCode::ConversionFailed, "custom: needs a property's name or *");
    } else {
        r.m_row = rowNamed(rule.target);
        if (r.m_row < 0)
            return Error(ErrorCode::ConversionFailed, "unknown row '" + rule.target + "' to replace in");
    }
    if (rule.find.empty())
        return Error(ErrorCode::ConversionFailed, "the text to find is empty");
    std::vector<std::size_t> offsets;
    const Folded f = fold(text::utf8ToCodePoints(rule.find, offsets), rule.widthInsensitive, rule.ignoreCase, rule.regex);
    r.m_find = f.units;
    if (!rule.regex)
        return r;
    auto flags = std::regex_constants::ECMAScript;
    if (rule.ignoreCase)
        flags |= std::regex_constants::icase;
    try {
        r.m_regex.emplace(f.units, flags);
    } catch (const std::regex_error&) {
        // The fault is where the last run of prefixes that won't compile
        // starts: "(a))" is sound up to its last ")".
        std::size_t start = f.units.size();
        for (std::size_t k = f.units.size(); k >= 1; --k) {
            try {
                std::wregex(f.units.substr(0, k), flags);
                break;
            } catch (const std::regex_error&) {
                start = k - 1;
            }
        }
        return PatternFault(f.source[start], "a regular expression that is not sound");
    }
    return r;
}

Result<std::string> Replacer::apply(std::string_view text) const {
    std::vector<std::size_t> offsets;
    const std::u32string chars = text::utf8ToCodePoints(text, offsets);
    const Folded f = fold(chars, m_rule.widthInsensitive, m_rule.ignoreCase, false);
    auto byteAt = [&](std::size_t unit) { return offsets[f.source[unit]]; };
    std::string out;
    std::size_t copied = 0;  // bytes of text already given out
    auto emit = [&](std::size_t from, std::size_t to, const std::string& with) {
        out.append(text.substr(copied, byteAt(from) - copied));
        out += with;
        copied = byteAt(to);
    };
    if (!m_regex) {
        for (std::size_t at = f.units.find(m_find); at != std::wstring::npos;
             at = f.units.find(m_find, at + m_find.size()))
            emit(at, at + m_find.size(), m_rule.with);
    } else {
        if (chars.size() > kMaxExpressionText)
            return Error(ErrorCode::ConversionFailed, "a value of " + std::to_string(chars.size()) +
                                                          " characters is too long for a regular expression (at most " +
                                                          std::to_string(kMaxExpressionText) + ")");
        for (auto it = std::wsregex_iterator(f.units.begin(), f.units.end(), *m_regex); it != std::wsregex_iterator();
             ++it) {
            const std::wsmatch& m = *it;
            auto original = [&](std::size_t g) {
                if (g >= m.size() || !m[g].matched)
                    return std::string();
                const auto a = static_cast<std::size_t>(m.position(g)), b = a + static_cast<std::size_t>(m.length(g));
                return std::string(text.substr(byteAt(a), byteAt(b) - byteAt(a)));
            };
            // $& $1..$99 $$ take the text's own form of what matched.
            std::string with;
            const std::string& w = m_rule.with;
            for (std::size_t i = 0; i < w.size(); ++i) {
                if (w[i] != '$' || i + 1 >= w.size()) {
                    with += w[i];
                } else if (w[i + 1] == '$') {
                    with += '$';
                    ++i;
                } else if (w[i + 1] == '&') {
                    with += original(0);
                    ++i;
                } else if (w[i + 1] >= '0' && w[i + 1] <= '9') {
                    std::size_t g = static_cast<std::size_t>(w[i + 1] - '0');
                    ++i;
                    if (i + 1 < w.size() && w[i + 1] >= '0' && w[i + 1] <= '9' &&
                        g * 10 + static_cast<std::size_t>(w[i + 1] - '0') < m.size())
                        g = g * 10 + static_cast<std::size_t>(w[++i] - '0');
                    with += original(g);
                } else {
                    with += '$';
                }
            }
            const auto a = static_cast<std::size_t>(m.position(0));
            emit(a, a + static_cast<std::size_t>(m.length(0)), with);
        }
    }
    out.append(text.substr(copied));
    return out;
}

Result<MetadataEdits> EditsForFile(const MetadataEdits& fixed, const PerFileChange& perFile, const FileFacts& facts,
                                   std::vector<ValueChange>* changes) {
    static const DocumentMetadata kNone;
    const DocumentMetadata& m = facts.metadata ? *facts.metadata : kNone;
    MetadataEdits out = fixed;
    std::array<std::optional<std::string>, kRowCount> made;
    for (const auto& [row, pattern] : perFile.rows)
        made[static_cast<std::size_t>(row)] = pattern.evaluate(facts, row);
    std::map<std::string, std::pair<std::string, std::string>> customMade;  // folded name -> (name, text)
    for (const Replacer& r : perFile.replaces) {
        if (r.row() >= 0) {
            auto& text = made[static_cast<std::size_t>(r.row())];
            if (!text) {
                const PropertyEdit& e = fixed[r.row()];
                text = e.action == PropertyEdit::Action::Set ? DisplayText(StoredProperty{true, e.value})
                       : e.action == PropertyEdit::Action::Erase ? std::string()
                                                                 : DisplayText(m[r.row()]);
            }
            auto replaced = r.apply(*text);
            if (!replaced)
                return Error(replaced.error().code, r.rule().target + ": " + replaced.error().message);
            *text = std::move(*replaced);
            continue;
        }
        for (const CustomProperty& p : m.custom) {
            if (!p.editable() || !std::holds_alternative<std::string>(p.value))
                continue;
            if (!r.customName().empty() && !FindCustom({p}, r.customName()))
                continue;
            auto [it, fresh] = customMade.try_emplace(p.name, p.name, std::get<std::string>(p.value));
            auto replaced = r.apply(it->second.second);
            if (!replaced)
                return Error(replaced.error().code, "custom:" + p.name + ": " + replaced.error().message);
            it->second.second = std::move(*replaced);
        }
    }
    for (int row = 0; row < kRowCount; ++row) {
        const auto& text = made[static_cast<std::size_t>(row)];
        if (!text)
            continue;
        const PropertyRow& info = kCatalogue[static_cast<std::size_t>(row)];
        auto edit = EditFromText(row, *text);
        if (!edit)
            return Error(edit.error().code, std::string(info.Key) + ": " + edit.error().message);
        const std::string was = DisplayText(m[row]);
        const std::string now = edit->action == PropertyEdit::Action::Set ? DisplayText(StoredProperty{true, edit->value})
                                                                          : std::string();
        // The same value again is no change: the file is not rewritten for
        // it (an empty value the file holds is not erased either).
        if (now == was) {
            out[row] = PropertyEdit::keep();
            continue;
        }
        out[row] = std::move(*edit);
        if (changes)
            changes->push_back({info.Label, info.Key, was, now});
    }
    for (const CustomProperty& p : m.custom) {
        auto it = customMade.find(p.name);
        if (it == customMade.end() || it->second.second == std::get<std::string>(p.value))
            continue;
        out.custom.push_back(CustomEdit::set(p.name, it->second.second));
        if (changes)
            changes->push_back({p.name, "custom:" + p.name, std::get<std::string>(p.value), it->second.second});
    }
    return out;
}

}  // namespace qv::engine
