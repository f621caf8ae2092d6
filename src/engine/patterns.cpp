#include "engine/patterns.h"

#include <algorithm>

#include "base/text.h"
#include "engine/backup.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "props/catalogue.h"

namespace qv::engine {

namespace {


// ---------------------------------------------------------------------------
// Fields

struct FieldName {
    const char* japanese;
    const char* ascii;
    ValuePattern::Field field;
};
constexpr FieldName kFields[] = {
    {"ファイル名", "name", ValuePattern::Field::Name},     {"拡張子", "ext", ValuePattern::Field::Ext},
    {"フォルダー名", "folder", ValuePattern::Field::Folder}, {"親フォルダー名", "parent", ValuePattern::Field::Parent},
    {"元の値", "value", ValuePattern::Field::Value},        {"連番", "n", ValuePattern::Field::Number},
    {"更新日時", "mtime", ValuePattern::Field::MTime},      {"作成日時", "ctime", ValuePattern::Field::CTime},
};

// A row by its key or its Japanese label.
int rowNamed(std::string_view name) {
    if (int row = rowForKey(name); row >= 0)
        return row;
    for (const PropertyRow& r : kCatalogue)
        if (name == r.Label)
            return r.Index;
    return -1;
}

Result<ValuePattern::Part> fieldPart(std::string_view inner, std::size_t position) {
    const std::size_t colon = inner.find(':');
    const std::string_view head = inner.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? std::string_view() : inner.substr(colon + 1);
    ValuePattern::Part p;
    if (head == "row") {
        p.field = ValuePattern::Field::Row;
        p.row = rowNamed(rest);
        if (p.row < 0)
            return PatternFault(position, "unknown row '" + std::string(rest) + "'");
        return p;
    }
    // The file's two times go first: 作成日時 is also a row's label, and the
    // row is still reached as {row:created}.
    for (const FieldName& f : kFields) {
        if (head != f.japanese && head != f.ascii)
            continue;
        p.field = f.field;
        if (f.field == ValuePattern::Field::MTime || f.field == ValuePattern::Field::CTime) {
            p.text = std::string(rest);
        } else if (f.field == ValuePattern::Field::Number) {
            if (colon != std::string_view::npos) {
                const std::size_t second = rest.find(':');
                auto start = text::parseInt64(rest.substr(0, second));
                auto width = second == std::string_view::npos ? std::optional<std::int32_t>(1)
                                                              : text::parseInt32(rest.substr(second + 1));
                if (!start || !width || *width < 1 || *width > 20 || *start < 0 || *start > 999'999'999'999LL)
                    return PatternFault(position, "a sequence number takes {n:START:WIDTH}");
                p.start = *start;
                p.width = *width;
            }
        } else if (colon != std::string_view::npos) {
            return PatternFault(position, "the field '" + std::string(head) + "' takes no argument");
        }
        return p;
    }
    if (colon == std::string_view::npos)
        if (int row = rowNamed(head); row >= 0) {
            p.field = ValuePattern::Field::Row;
            p.row = row;
            return p;
        }
    return PatternFault(position, "unknown field '" + std::string(head) + "'");
}

std::string folderName(const std::string& dir) {
    std::string d = dir;
    while (!d.empty() && (d.back() == '/' || d.back() == '\\'))
        d.pop_back();
    return text::fileNamePart(d);
}

}  // namespace

Error PatternFault(std::size_t position, const std::string& what) {
    return Error(ErrorCode::ConversionFailed, what + " at character " + std::to_string(position + 1));
}

bool ValuePattern::looksLikePattern(std::string_view text) {
    return text.find('{') != std::string_view::npos || text.find('}') != std::string_view::npos;
}

Result<ValuePattern> ValuePattern::parse(std::string_view text) {
    std::vector<std::size_t> offsets;
    const std::u32string chars = text::utf8ToCodePoints(text, offsets);
    ValuePattern out;
    std::string literal;
    auto flush = [&] {
        if (!literal.empty())
            out.m_parts.push_back(Part{Field::Literal, std::move(literal), -1, 1, 1});
        literal.clear();
    };
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        const std::string_view piece = text.substr(offsets[i], offsets[i + 1] - offsets[i]);
        if (c == U'}') {
            if (i + 1 < chars.size() && chars[i + 1] == U'}') {
                literal += '}';
                ++i;
                continue;
            }
            return PatternFault(i, "a '}' without its '{' (write '}}' for a brace)");
        }
        if (c != U'{') {
            literal += piece;
            continue;
        }
        if (i + 1 < chars.size() && chars[i + 1] == U'{') {
            literal += '{';
            ++i;
            continue;
        }
        std::size_t close = i + 1;
        while (close < chars.size() && chars[close] != U'}' && chars[close] != U'{')
            ++close;
        if (close >= chars.size() || chars[close] != U'}')
            return PatternFault(i, "a '{' left open (write '{{' for a brace)");
        auto part = fieldPart(text.substr(offsets[i + 1], offsets[close] - offsets[i + 1]), i + 1);
        if (!part)
            return part.error();
        flush();
        out.m_parts.push_back(std::move(*part));
        i = close;
    }
    flush();
    return out;
}

std::string ValuePattern::evaluate(const FileFacts& f, int row) const {
    std::string out;
    const std::string whole = WholePath(f.path);
    const std::string dir = text::directoryPart(whole);
    auto rowText = [&](int r) {
        return f.metadata && r >= 0 ? DisplayText((*f.metadata)[r]) : std::string();
    };
    auto time = [&](LocalDateTime t, const std::string& format) {
        return format.empty() ? FormatDateTimeText(t) : FormatWithPattern(DecodeLocal(t), format, CurrentFormats());
    };
    for (const Part& p : m_parts) {
        switch (p.field) {
        case Field::Literal: out += p.text; break;
        case Field::Name: {
            const std::string name = text::fileNamePart(whole);
            out += name.substr(0, name.size() - text::extensionOf(whole).size());
            break;
        }
        case Field::Ext: {
            const std::string ext = text::extensionOf(whole);
            out += ext.empty() ? ext : ext.substr(1);
            break;
        }
        case Field::Folder: out += folderName(dir); break;
        case Field::Parent: out += folderName(text::directoryPart(dir.empty() ? dir : dir.substr(0, dir.size() - 1))); break;
        case Field::Value: out += rowText(row); break;
        case Field::Row: out += rowText(p.row); break;
        case Field::Number: {
            std::string n = std::to_string(p.start + static_cast<long long>(f.index));
            if (n.size() < static_cast<std::size_t>(p.width))
                n.insert(0, static_cast<std::size_t>(p.width) - n.size(), '0');
            out += n;
            break;
        }
        case Field::MTime: out += time(f.lastWrite, p.text); break;
        case Field::CTime: out += time(f.creation, p.text); break;
        }
    }
    return out;
}

}  // namespace qv::engine
