// Batch values made per file: patterns such as "{ファイル名}" or "{name}" in
// a row's value, and find-and-replace in chosen rows. Parsed once before a
// run (a fault is refused with its position), evaluated for each file from
// its path, its times, its place in the list and its current values.
#pragma once

#include <cstddef>
#include <optional>
#include <regex>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "props/datetime.h"
#include "props/metadata.h"

namespace qv::engine {

// A fault of a pattern or a replacement, with the character (counted from
// one) where it stands.
Error PatternFault(std::size_t position, const std::string& what);

// What one file offers a pattern.
struct FileFacts {
    std::string path;
    std::size_t index = 0;  // its place in the list, from 0
    LocalDateTime lastWrite = 0, creation = 0;
    const DocumentMetadata* metadata = nullptr;  // its current values
};

// A value with fields in braces; "{{" and "}}" write a brace.
class ValuePattern {
public:
    // Fails with ErrorCode::ConversionFailed naming the character (counted
    // from 1) where the fault is: an unknown field, a brace left open.
    static Result<ValuePattern> parse(std::string_view text);
    // Whether the text holds anything that makes it a pattern.
    static bool looksLikePattern(std::string_view text);
    // row: the row whose value is made ({元の値} is its current value), -1
    // for none.
    std::string evaluate(const FileFacts& facts, int row) const;

    enum class Field { Literal, Name, Ext, Folder, Parent, Value, Row, Number, MTime, CTime };
    struct Part {
        Field field = Field::Literal;
        std::string text;  // the literal, or a date format
        int row = -1;      // for Row
        long long start = 1;
        int width = 1;  // for Number
    };

private:
    std::vector<Part> m_parts;
};

// A find-and-replace as the page or the command line gives it. target is a
// row's key (or its Japanese label), "custom:NAME" for a user-defined text
// property, or "custom:*" for all of them.
struct ReplaceRule {
    std::string target;
    std::string find;
    std::string with;
    bool regex = false;
    bool ignoreCase = false;
    bool widthInsensitive = false;  // full-width and half-width forms match each other

    friend bool operator==(const ReplaceRule&, const ReplaceRule&) = default;
};

// A rule made ready: the text to find, folded as the rule asks, or the
// expression compiled.
class Replacer {
public:
    // A bad expression, an empty text to find or an unknown target fails
    // with ErrorCode::ConversionFailed, with the fault's position.
    static Result<Replacer> make(const ReplaceRule& rule);
    // An expression is not run on a value of more than a few thousand
    // characters (the standard matcher recurses per character): that fails.
    Result<std::string> apply(std::string_view text) const;
    const ReplaceRule& rule() const { return m_rule; }
    int row() const { return m_row; }  // -1 for a user-defined property
    // For a user-defined property: the name, empty for all of them.
    const std::string& customName() const { return m_custom; }

private:
    ReplaceRule m_rule;
    int m_row = -1;
    std::string m_custom;
    std::wstring m_find;  // folded
    std::optional<std::wregex> m_regex;
};

// One value a file's change makes, as the preview shows it.
struct ValueChange {
    std::string label;  // the row's label, or the user-defined property's name
    std::string key;    // the row's key, or "custom:NAME"
    std::string was, now;
};

// The per-file part of a batch change: rows made by patterns, and the
// replaces, applied after the row's value is made.
struct PerFileChange {
    std::vector<std::pair<int, ValuePattern>> rows;
    std::vector<Replacer> replaces;
    bool any() const { return !rows.empty() || !replaces.empty(); }
};

// The edits for one file: the fixed ones, and those its values make. A row
// or property whose value would stay as it is is left out. A made value
// that its row can't take (a date that isn't one) fails naming the row.
Result<MetadataEdits> EditsForFile(const MetadataEdits& fixed, const PerFileChange& perFile, const FileFacts& facts,
                                   std::vector<ValueChange>* changes = nullptr);

}  // namespace qv::engine
