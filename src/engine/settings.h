// What the two pages hold, as plain values: the GUI reads its controls into
// these and the command line fills them from its flags.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/patterns.h"
#include "base/result.h"
#include "localtext/customtext.h"
#include "localtext/rowtext.h"
#include "props/datetime.h"
#include "props/filestamp.h"
#include "props/metadata.h"

namespace qv::engine {

// One file time on the batch page: a date and a time picker, each with the
// box that says whether its part replaces the file's.
struct BatchTimeChoice {
    bool replaceDate = false;
    bool replaceTime = false;
    LocalDateTime date = 0;  // only its whole days count
    LocalDateTime time = 0;  // only its time of day counts

    friend bool operator==(const BatchTimeChoice&, const BatchTimeChoice&) = default;
};

// The four three-state attribute boxes.
struct AttributeChoices {
    AttributeChoice readOnly = AttributeChoice::Grayed;
    AttributeChoice archive = AttributeChoice::Grayed;
    AttributeChoice hidden = AttributeChoice::Grayed;
    AttributeChoice system = AttributeChoice::Grayed;

    std::uint32_t applyTo(std::uint32_t attributes) const {
        return ApplyAttributeChoices(attributes, readOnly, archive, hidden, system);
    }
    bool anyChange() const {
        return readOnly != AttributeChoice::Grayed || archive != AttributeChoice::Grayed ||
               hidden != AttributeChoice::Grayed || system != AttributeChoice::Grayed;
    }
    friend bool operator==(const AttributeChoices&, const AttributeChoices&) = default;
};

// A user-defined property to set or remove in every listed file, as typed
// on the batch page (the form the saved defaults keep).
struct CustomEditText {
    std::string name;
    CustomType type = CustomType::Text;
    std::string value;
    bool remove = false;

    friend bool operator==(const CustomEditText&, const CustomEditText&) = default;
};

// The typed edit; a value that is no value of its type fails with
// ErrorCode::ConversionFailed, naming the property.
Result<CustomEdit> ToCustomEdit(const CustomEditText& text);

// The batch page: ticked rows with their values (as typed, the form the
// saved defaults keep), the six date and time boxes with their pickers, the
// attribute boxes and the backup box.
struct BatchSettings {
    RowTexts values{};
    RowMask ticked;
    BatchTimeChoice creation, lastWrite, lastAccess;
    AttributeChoices attributes;
    bool backup = false;
    BackupPolicy backupPolicy;
    // The user accepted that signed packages lose their signature's validity.
    bool allowUnsigning = false;
    std::vector<CustomEditText> custom;
    // Find-and-replace in chosen rows, after the rows' own values.
    std::vector<ReplaceRule> replaces;

    friend bool operator==(const BatchSettings&, const BatchSettings&) = default;
};

// True when the batch page asks for anything at all.
bool HasBatchWork(const BatchSettings& s);

// A batch change as the engine applies it: typed edits of the properties,
// and the page's time, attribute and backup choices.
struct BatchChange {
    MetadataEdits edits;
    BatchTimeChoice creation, lastWrite, lastAccess;
    AttributeChoices attributes;
    bool backup = false;
    BackupPolicy backupPolicy;
    // Times and attributes of files that are no Office document change too.
    bool anyFile = false;
    // Values made for each file (patterns, replaces): each file gets edits
    // of its own, and one whose values would stay as they are is left alone.
    PerFileChange perFile;
};

// The page's ticked texts read as edits; a date or an editing time that
// doesn't parse fails with ErrorCode::ConversionFailed. A text with a field
// in braces is a pattern, made for each file; a pattern or a replace with a
// fault fails naming the row and the fault's position.
Result<BatchChange> ToBatchChange(const BatchSettings& s);
bool HasBatchWork(const BatchChange& c);

// The single page: all fourteen values (all written), the three times as date picker plus
// time picker, the attribute boxes and the backup box.
// A row of the single page's user-defined grid: its name, its type and its
// value as typed; a row without a type is one shown read-only, kept as the
// file holds it.
struct CustomRowText {
    std::string name;
    std::optional<CustomType> type;
    std::string value;
};

// What the grid's rows do to the properties the file showed: a property
// whose name no row has any more is removed; a row whose name the file
// holds sets it when its type or value differs; a new name is added. Two
// rows of one name (without regard to case), a row without a name, or a
// value that is no value of its type fail with ErrorCode::ConversionFailed.
Result<std::vector<CustomEdit>> CustomEditsFromGrid(const std::vector<CustomProperty>& shown,
                                                    const std::vector<CustomRowText>& rows);

struct SingleSettings {
    RowTexts values{};
    LocalDateTime creationDate = 0, creationTime = 0;
    LocalDateTime lastWriteDate = 0, lastWriteTime = 0;
    LocalDateTime lastAccessDate = 0, lastAccessTime = 0;
    AttributeChoices attributes;
    bool backup = true;
    BackupPolicy backupPolicy;
    bool allowUnsigning = false;
    // The user-defined properties as the file showed them, and the grid.
    std::vector<CustomProperty> customShown;
    std::vector<CustomRowText> custom;
};

}  // namespace qv::engine
