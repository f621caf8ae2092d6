#include "engine/settings.h"

namespace qv::engine {

namespace {

bool anyTimeOrAttribute(const auto& s) {
    for (const BatchTimeChoice* t : {&s.creation, &s.lastWrite, &s.lastAccess})
        if (t->replaceDate || t->replaceTime)
            return true;
    return s.attributes.anyChange();
}

}  // namespace

bool HasBatchWork(const BatchSettings& s) { return anyTimeOrAttribute(s) || s.ticked.any(); }
bool HasBatchWork(const BatchChange& c) { return anyTimeOrAttribute(c) || c.edits.any(); }

Result<BatchChange> ToBatchChange(const BatchSettings& s) {
    auto edits = EditsFromTexts(s.values, s.ticked);
    if (!edits)
        return edits.error();
    BatchChange c;
    c.edits = std::move(*edits);
    c.creation = s.creation;
    c.lastWrite = s.lastWrite;
    c.lastAccess = s.lastAccess;
    c.attributes = s.attributes;
    c.backup = s.backup;
    c.edits.allowUnsigning = s.allowUnsigning;
    return c;
}

}  // namespace qv::engine
