// The question asked before a batch change writes anything: what the run
// will do to how many files, from the page's plain settings.
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/settings.h"

namespace qv::ui {

// With the listed paths, values made per file (patterns, replacements) are
// shown for the first files: each value's old and new text.
QString BatchConfirmText(const engine::BatchSettings& settings, std::size_t fileCount,
                         const std::vector<std::string>& paths = {});

// A fault of a pattern or a replacement as the person reads it: the
// engine's English (for the command line) in Japanese, its position kept.
QString PatternFaultText(const std::string& message);

// How many files the question shows the made values of.
constexpr std::size_t kPreviewFiles = 10;

}  // namespace qv::ui
