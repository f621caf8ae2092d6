// What a document gives away of the people, organisations and places behind
// it, and the scrub that takes a chosen set of it away before a delivery.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "props/metadata.h"

namespace qv::engine {

// One finding: a row's key ("author"), or one of "template",
// "hyperlinkbase", "custom" (with the property's name), "thumbnail",
// "application", "appVersion"; and its value as text.
struct AuditItem {
    std::string key;
    std::string name;   // the user-defined property's name
    std::string value;  // the thumbnail's part (a package) and size
    friend bool operator==(const AuditItem&, const AuditItem&) = default;
};

// The findings of a document's metadata, in a fixed order: the rows, the
// template, the hyperlink base, the user-defined properties, the thumbnail,
// the program and its version. What is empty is no finding.
std::vector<AuditItem> AuditItems(const DocumentMetadata& metadata);

struct FileAudit {
    std::string path;
    bool ok = false;  // read as an Office document
    Error error;      // why not
    std::vector<AuditItem> items;
};

// Reads one file as the single view does (its times put back).
FileAudit AuditFile(const std::string& path);

// The audit as CSV lines (UTF-8, no line ends), as the export writes
// them: a head line, then one line per finding, or one for a file with
// none ("none") or that could not be read ("error" and the reason).
std::vector<std::string> AuditCsvLines(const std::vector<FileAudit>& audits);

// The keys a scrub may be given: every row key, and the extras'.
inline constexpr std::string_view kScrubExtraKeys[] = {"template", "hyperlinkbase", "thumbnail", "custom",
                                                       "application"};

// What a scrub takes away, and what it writes instead.
struct ScrubSelection {
    bool rows[kRowCount] = {};
    bool templateName = false;
    bool hyperlinkBase = false;
    bool thumbnail = false;
    bool custom = false;
    bool application = false;  // the program and its version
    // User-defined properties that stay, by name without regard to case;
    // a trailing "*" keeps every name that starts so (MSIP_Label_*).
    std::vector<std::string> keepCustom;
    // Written in place of the author's and the company's value.
    std::optional<std::string> author, company;
    // The revision becomes 1 and the editing time 0.
    bool resetRevision = false;
    // Also a user-defined property shown read-only (linked to content, or
    // of another type); without it such a property stays, and is said.
    bool forceReadOnly = false;

    // The default: author, last saved by, manager, company, comments,
    // template, hyperlink base, thumbnail and every user-defined property.
    static ScrubSelection Default();
    // Exactly the given keys (comma-separated); InvalidArgument names an
    // unknown one.
    static Result<ScrubSelection> FromKeys(std::string_view keys);
};

// Whether a user-defined property of that name stays.
bool KeepsCustom(const ScrubSelection& selection, std::string_view name);

// What a scrub does to one document: its edits, and the findings they take
// away (or replace). Nothing when the document holds nothing of the set.
struct ScrubPlan {
    MetadataEdits edits;
    std::vector<AuditItem> removed;
    std::vector<AuditItem> keptReadOnly;  // user-defined properties left without forceReadOnly
    bool any() const { return edits.any(); }
};
ScrubPlan PlanScrub(const DocumentMetadata& metadata, const ScrubSelection& selection);

}  // namespace qv::engine
