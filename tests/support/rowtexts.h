// The fourteen rows in the grid's form, as the window reads and writes them:
// the typed back ends seen through the locale text, so that tests can state
// what a person sees and types.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "base/filetime.h"
#include "base/result.h"
#include "engine/view.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "props/compound/compound_props.h"
#include "props/package/package_props.h"

namespace qv::test {

// One row as shown: its text, and for an instant the point in time itself.
struct RowValue {
    std::string text;
    std::optional<FileTime> utc;
    bool present = false;

    friend bool operator==(const RowValue&, const RowValue&) = default;
};
using RowValues = std::array<RowValue, kRowCount>;

inline RowValues shownRows(const DocumentMetadata& m) {
    RowValues out;
    for (int row = 0; row < kRowCount; ++row) {
        RowValue& v = out[static_cast<std::size_t>(row)];
        v.text = DisplayText(m[row]);
        v.present = m[row].present;
        if (auto t = std::get_if<Instant>(&m[row].value); t && m[row].present)
            v.utc = t->utc;
    }
    return out;
}

inline Result<RowValues> shownRows(const Result<DocumentMetadata>& m) {
    if (!m)
        return m.error();
    return shownRows(*m);
}

inline RowTexts textsOf(const RowValues& values) {
    RowTexts t;
    for (std::size_t i = 0; i < values.size(); ++i)
        t[i] = values[i].text;
    return t;
}

inline Result<RowValues> ReadCompoundRows(const std::string& path) { return shownRows(ReadCompoundMetadata(path)); }
inline Result<RowValues> ReadPackageRows(const std::string& path) { return shownRows(ReadPackageMetadata(path)); }
inline Result<RowValues> ReadRows(const std::string& path) { return shownRows(engine::ReadMetadata(path)); }

// The ticked texts written as the batch page writes them.
template <typename Write>
Status writeTexts(Write write, const std::string& path, const RowTexts& texts, const RowMask& rows,
                  const platform::FinalMetadata& final) {
    auto edits = EditsFromTexts(texts, rows);
    if (!edits)
        return edits.error();
    return write(path, *edits, final);
}
inline Status WriteCompoundRows(const std::string& path, const RowTexts& texts, const RowMask& rows,
                                const platform::FinalMetadata& final = {}) {
    return writeTexts([](const std::string& p, const MetadataEdits& e, const platform::FinalMetadata& f) {
        return WriteCompoundMetadata(p, e, f);
    }, path, texts, rows, final);
}
inline Status WritePackageRows(const std::string& path, const RowTexts& texts, const RowMask& rows,
                               const platform::FinalMetadata& final = {}) {
    return writeTexts([](const std::string& p, const MetadataEdits& e, const platform::FinalMetadata& f) {
        return WritePackageMetadata(p, e, f);
    }, path, texts, rows, final);
}

}  // namespace qv::test
