#include "engine/settings.h"

namespace qv::engine {

bool HasBatchWork(const BatchSettings& s) {
    for (const BatchTimeChoice* t : {&s.creation, &s.lastWrite, &s.lastAccess})
        if (t->replaceDate || t->replaceTime)
            return true;
    return s.attributes.anyChange() || s.ticked.any();
}

}  // namespace qv::engine
