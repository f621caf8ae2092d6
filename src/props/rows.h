// The fourteen row values as the back-ends exchange them with the engine.
#pragma once

#include <array>
#include <bitset>
#include <optional>
#include <string>

#include "base/filetime.h"
#include "props/catalogue.h"

namespace qv {

// One row's value as read: the text in the grid's form (dates as the locale's
// date-time text, the editing time as minutes), and for a date row that holds
// a date the point in time itself.
struct RowValue {
    std::string text;
    std::optional<FileTime> utc;

    friend bool operator==(const RowValue&, const RowValue&) = default;
};

using RowValues = std::array<RowValue, kRowCount>;
// Texts to write, one per row, in the grid's form.
using RowTexts = std::array<std::string, kRowCount>;
// Which rows to write.
using RowMask = std::bitset<kRowCount>;

inline RowMask allRows() { return RowMask().set(); }

inline RowTexts textsOf(const RowValues& values) {
    RowTexts t;
    for (int i = 0; i < kRowCount; ++i)
        t[static_cast<std::size_t>(i)] = values[static_cast<std::size_t>(i)].text;
    return t;
}

}  // namespace qv
