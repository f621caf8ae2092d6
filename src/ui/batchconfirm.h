// The question asked before a batch change writes anything: what the run
// will do to how many files, from the page's plain settings.
#pragma once

#include <QString>
#include <cstddef>

#include "engine/settings.h"

namespace qv::ui {

QString BatchConfirmText(const engine::BatchSettings& settings, std::size_t fileCount);

}  // namespace qv::ui
