// What the two back ends share about user-defined properties: finding one by
// its name, checking an edit before any file is touched, how a number is
// stored, and the order in which a list of edits applies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "props/metadata.h"

namespace qv {

// A name is not empty, has at most 255 characters and no control character;
// a value is no OtherValue, a real is finite, a whole number is held exactly
// by a 32-bit integer or a real, a text holds no null character. Both back
// ends check every edit so before the file is touched.
Status CheckCustomEdit(const CustomEdit& edit);
Status CheckCustomEdits(const std::vector<CustomEdit>& edits);

// A number as it is stored: a 32-bit whole number, else a real.
struct StoredNumber {
    bool whole = true;
    std::int32_t i4 = 0;
    double r8 = 0;
};
// For a value CustomTypeOf calls a number, checked by CheckCustomEdit.
StoredNumber StoreNumber(const CustomValue& value);

// Applies checked edits in order to a file's list through its back end's store,
// which keeps its own handles in the same order:
//   Status replace(std::size_t index, const CustomValue&);
//   Status add(const std::string& name, const CustomValue&);
//   void remove(std::size_t index);
// A linked property, or one of a type this system doesn't change, is not
// changed: setting it fails, and so does removing it unless forced.
template <class Store>
Status ApplyCustomEdits(std::vector<CustomProperty>& list, const std::vector<CustomEdit>& edits, bool caseSensitive,
                        Store& store) {
    for (const CustomEdit& e : edits) {
        auto index = FindCustom(list, e.name, caseSensitive);
        if (e.action == CustomEdit::Action::Remove) {
            if (index && !list[*index].editable() && !e.force)
                return Error(ErrorCode::Unsupported, "the user-defined property \"" + list[*index].name +
                                                         "\" is linked or of a type this tool doesn't change, so "
                                                         "it is kept");
            if (index) {
                store.remove(*index);
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(*index));
            }
            continue;
        }
        if (!index) {
            QV_TRY(store.add(e.name, e.value));
            list.push_back(CustomProperty{e.name, e.value, false});
            continue;
        }
        CustomProperty& p = list[*index];
        if (p.linked)
            return Error(ErrorCode::Unsupported, "the user-defined property \"" + p.name +
                                                     "\" is linked to the document's content, so it is not changed");
        if (auto other = std::get_if<OtherValue>(&p.value))
            return Error(ErrorCode::Unsupported, "the user-defined property \"" + p.name + "\" is of type " +
                                                     other->type + ", which this tool doesn't change");
        QV_TRY(store.replace(*index, e.value));
        p.value = e.value;
    }
    return {};
}

}  // namespace qv
