// What the two pages hold, as plain values: the GUI reads its controls into
// these and the command line fills them from its flags.
#pragma once

#include "base/result.h"
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

// The batch page: ticked rows with their values (as typed, the form the
// saved defaults keep), the six date and time boxes with their pickers, the
// attribute boxes and the backup box.
struct BatchSettings {
    RowTexts values{};
    RowMask ticked;
    BatchTimeChoice creation, lastWrite, lastAccess;
    AttributeChoices attributes;
    bool backup = false;
    // The user accepted that signed packages lose their signature's validity.
    bool allowUnsigning = false;

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
};

// The page's ticked texts read as edits; a date or an editing time that
// doesn't parse fails with ErrorCode::ConversionFailed.
Result<BatchChange> ToBatchChange(const BatchSettings& s);
bool HasBatchWork(const BatchChange& c);

// The single page: all fourteen values (all written), the three times as date picker plus
// time picker, the attribute boxes and the backup box.
struct SingleSettings {
    RowTexts values{};
    LocalDateTime creationDate = 0, creationTime = 0;
    LocalDateTime lastWriteDate = 0, lastWriteTime = 0;
    LocalDateTime lastAccessDate = 0, lastAccessTime = 0;
    AttributeChoices attributes;
    bool backup = true;
    bool allowUnsigning = false;
};

}  // namespace qv::engine
