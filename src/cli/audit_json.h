// The findings of an audit as JSON, as both audit and scrub print them.
#pragma once

#include <vector>

#include "cli/json.h"
#include "engine/audit.h"

namespace qv::cli {

// An array of {"key", "name" (a user-defined property's, else null), "value"}.
void WriteAuditItems(JsonWriter& w, const std::vector<engine::AuditItem>& items);

}  // namespace qv::cli
