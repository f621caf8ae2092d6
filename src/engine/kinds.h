// The Office document kinds the tool lists, by extension: which application
// a file belongs to, for the folder search, drops, the open dialog and the
// list's icons. What a file holds is still told by its bytes when it is read.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv::engine {

// OpenDocument stands for the office suite that writes OpenDocument files:
// spreadsheets, texts and presentations, their templates and flat files.
enum class OfficeApplication { Excel, Word, PowerPoint, OpenDocument };

struct DocumentKind {
    const char* extension;  // upper case, with its dot
    OfficeApplication application;
};

// Every kind: the compound-file kinds of each application, then its packages;
// the OpenDocument kinds last.
std::span<const DocumentKind> DocumentKinds();

// The application of a path's extension in any case; none for other
// extensions and for names without one.
std::optional<OfficeApplication> ApplicationFor(std::string_view path);

// The document test of the folder search and drops: an extension of one of
// the kinds, no "~$" anywhere in the path (owner files), and not a
// ".~lock.NAME#" lock file.
bool IsDocumentCandidate(std::string_view path);

}  // namespace qv::engine
