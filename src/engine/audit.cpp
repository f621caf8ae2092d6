#include "engine/audit.h"

#include <algorithm>

#include "base/text.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/rowtext.h"
#include "platform/platform.h"
#include "props/catalogue.h"

namespace qv::engine {

namespace {

// The rows that name people and organisations, in the order shown.
constexpr int kIdentifyingRows[] = {kRowAuthor, kRowLastSavedBy, kRowManager, kRowCompany, kRowComments};

bool isLinkBase(std::string_view name) { return platform::sameIgnoringCase(name, kLinkBaseName); }

std::string thumbnailText(const DocumentExtras& x) {
    std::string size = std::to_string(x.thumbnailSize) + " bytes";
    return x.thumbnailPart.empty() ? size : x.thumbnailPart + " (" + size + ")";
}

std::string csvField(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

bool present(const std::optional<std::string>& s) { return s && !text::trim(*s).empty(); }

}  // namespace

std::vector<AuditItem> AuditItems(const DocumentMetadata& m) {
    std::vector<AuditItem> items;
    for (int row : kIdentifyingRows) {
        std::string v = DisplayText(m[row]);
        if (!text::trim(v).empty())
            items.push_back({kCatalogue[static_cast<std::size_t>(row)].Key, {}, std::move(v)});
    }
    const DocumentExtras& x = m.extras;
    if (present(x.templateName))
        items.push_back({"template", {}, *x.templateName});
    if (present(x.hyperlinkBase))
        items.push_back({"hyperlinkbase", {}, *x.hyperlinkBase});
    for (const CustomProperty& p : m.custom)
        if (!isLinkBase(p.name))
            items.push_back({"custom", p.name, CustomValueText(p.value)});
    if (x.thumbnail)
        items.push_back({"thumbnail", {}, thumbnailText(x)});
    if (present(x.application))
        items.push_back({"application", {}, *x.application});
    if (present(x.appVersion))
        items.push_back({"appVersion", {}, *x.appVersion});
    return items;
}

FileAudit AuditFile(const std::string& path) {
    FileAudit a;
    a.path = path;
    FileView v = LoadSingleFileView(path);
    if (!v.found) {
        a.error = v.error;
        return a;
    }
    if (v.propertyError) {
        a.error = *v.propertyError;
        return a;
    }
    a.ok = true;
    a.items = AuditItems(v.metadata);
    return a;
}

std::vector<std::string> AuditCsvLines(const std::vector<FileAudit>& audits) {
    std::vector<std::string> lines{"\"Path\",\"Item\",\"Name\",\"Value\""};
    auto line = [&](const std::string& path, std::string_view item, std::string_view name, std::string_view value) {
        lines.push_back(csvField(path) + "," + csvField(item) + "," + csvField(name) + "," + csvField(value));
    };
    for (const FileAudit& a : audits) {
        if (!a.ok)
            line(a.path, "error", {}, a.error.message);
        else if (a.items.empty())
            line(a.path, "none", {}, {});
        for (const AuditItem& i : a.items)
            line(a.path, i.key, i.name, i.value);
    }
    return lines;
}

ScrubSelection ScrubSelection::Default() {
    ScrubSelection s;
    for (int row : kIdentifyingRows)
        s.rows[row] = true;
    s.templateName = s.hyperlinkBase = s.thumbnail = s.custom = true;
    return s;
}

Result<ScrubSelection> ScrubSelection::FromKeys(std::string_view keys) {
    ScrubSelection s;
    bool any = false;
    for (std::size_t start = 0; start <= keys.size();) {
        std::size_t comma = std::min(keys.find(',', start), keys.size());
        std::string key = text::trim(keys.substr(start, comma - start));
        start = comma + 1;
        if (key.empty())
            continue;
        any = true;
        if (int row = rowForKey(key); row >= 0)
            s.rows[row] = true;
        else if (key == "template")
            s.templateName = true;
        else if (key == "hyperlinkbase")
            s.hyperlinkBase = true;
        else if (key == "thumbnail")
            s.thumbnail = true;
        else if (key == "custom")
            s.custom = true;
        else if (key == "application")
            s.application = true;
        else
            return Error(ErrorCode::InvalidArgument, "unknown key '" + key + "'");
    }
    if (!any)
        return Error(ErrorCode::InvalidArgument, "no key given");
    return s;
}

bool KeepsCustom(const ScrubSelection& s, std::string_view name) {
    for (const std::string& k : s.keepCustom) {
        if (!k.empty() && k.back() == '*') {
            std::string_view prefix(k.data(), k.size() - 1);
            if (name.size() >= prefix.size() && platform::sameIgnoringCase(name.substr(0, prefix.size()), prefix))
                return true;
        } else if (platform::sameIgnoringCase(name, k)) {
            return true;
        }
    }
    return false;
}

ScrubPlan PlanScrub(const DocumentMetadata& m, const ScrubSelection& s) {
    ScrubPlan plan;
    auto note = [&](std::string key, std::string name, std::string value) {
        plan.removed.push_back({std::move(key), std::move(name), std::move(value)});
    };
    for (int row = 0; row < kRowCount; ++row) {
        const std::optional<std::string>& instead = row == kRowAuthor ? s.author : row == kRowCompany ? s.company
                                                                                                    : std::nullopt;
        const bool resets = s.resetRevision && (row == kRowRevision || row == kRowEditTime);
        if (!s.rows[row] && !instead && !resets)
            continue;
        const StoredProperty& p = m[row];
        std::string shown = DisplayText(p);
        PropertyEdit edit;
        if (resets)
            edit = PropertyEdit::set(row == kRowRevision ? PropertyValue(std::int64_t{1}) : PropertyValue(Duration{0}));
        else if (instead)
            edit = PropertyEdit::set(*instead);
        else if (p.present && !shown.empty())
            edit = PropertyEdit::erase();
        // Only what changes the file counts: the value it holds already is
        // no change, and an empty one is nothing to remove.
        if (!edit.changes() || (p.present && edit.action == PropertyEdit::Action::Set && p.value == edit.value))
            continue;
        if (edit.action == PropertyEdit::Action::Erase && shown.empty())
            continue;
        plan.edits[row] = edit;
        note(kCatalogue[static_cast<std::size_t>(row)].Key, {}, shown);
    }
    const DocumentExtras& x = m.extras;
    if (s.templateName && present(x.templateName)) {
        plan.edits.remove.templateName = true;
        note("template", {}, *x.templateName);
    }
    if (s.hyperlinkBase && present(x.hyperlinkBase)) {
        plan.edits.remove.hyperlinkBase = true;
        note("hyperlinkbase", {}, *x.hyperlinkBase);
    }
    if (s.custom)
        for (const CustomProperty& p : m.custom)
            if (!isLinkBase(p.name) && !KeepsCustom(s, p.name)) {
                if (!p.editable() && !s.forceReadOnly) {
                    plan.keptReadOnly.push_back({"custom", p.name, CustomValueText(p.value)});
                    continue;
                }
                plan.edits.custom.push_back(CustomEdit::remove(p.name, true));
                note("custom", p.name, CustomValueText(p.value));
            }
    if (s.thumbnail && x.thumbnail) {
        plan.edits.remove.thumbnail = true;
        note("thumbnail", {}, thumbnailText(x));
    }
    if (s.application && (present(x.application) || present(x.appVersion))) {
        plan.edits.remove.application = true;
        if (x.application)
            note("application", {}, *x.application);
        if (x.appVersion)
            note("appVersion", {}, *x.appVersion);
    }
    return plan;
}

}  // namespace qv::engine
