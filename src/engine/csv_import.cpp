#include "engine/csv_import.h"

#include <algorithm>
#include <unordered_map>

#include "base/text.h"
#include "engine/csv.h"
#include "engine/csv_names.h"
#include "engine/parallel.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "localtext/rowtext.h"
#include "platform/platform.h"
#include "props/backend.h"
#include "props/datetime.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

std::string timeText(LocalDateTime t) { return FormatDateTimeText(t); }

bool isDateRow(int row) { return row == kRowCreated || row == kRowLastSaved || row == kRowLastPrinted; }

// For each user-defined name, the first file's editable property of that
// name: a new property of that name takes its type.
class TypeHints {
public:
    void add(const CustomProperty& p) {
        if (p.editable() && !m_names.add(p.name, m_list.size()))
            m_list.push_back(p);
    }
    const CustomProperty* find(const std::string& name) const {
        auto i = m_names.find(name);
        return i ? &m_list[*i] : nullptr;
    }

private:
    NameSet m_names;
    std::vector<CustomProperty> m_list;
};

// A file's user-defined property by a column's name: without regard to
// case, and in a Shift-JIS CSV also by the name as that CSV holds it.
class FileCustom {
public:
    FileCustom(const std::vector<CustomProperty>& list, bool shiftJis) : m_list(list), m_shiftJis(shiftJis) {
        for (std::size_t i = 0; i < list.size(); ++i)
            m_names.add(list[i].name, i);
    }
    const CustomProperty* find(const std::string& name) const {
        if (auto i = m_names.find(name))
            return &m_list[*i];
        if (m_shiftJis && name.find('?') != std::string::npos)
            for (const CustomProperty& p : m_list)
                if (!isAscii(p.name) && ShiftJisForm(p.name) == name)
                    return &p;
        return nullptr;
    }

private:
    const std::vector<CustomProperty>& m_list;
    bool m_shiftJis;
    NameSet m_names;
};

ImportIssue lineIssue(const ImportRow& row, std::size_t column, const std::string& head, const std::string& what,
                      IssueKind kind, const std::string& value) {
    return {row.line, column, head, what, kind, value};
}

// A user-defined cell against the file's property: an emptied cell removes
// it, another text sets it in its own type (a new one in the type the name
// has elsewhere, else as text).
void compareCustom(const ImportRow& row, const FileView& view, const TypeHints& hints, bool shiftJis,
                   FileImport& f) {
    if (row.custom.empty())
        return;
    const FileCustom custom(view.metadata.custom, shiftJis);
    for (const auto& [name, cell] : row.custom) {
        const CustomProperty* had = custom.find(name);
        const std::string before = had ? CustomValueText(had->value) : std::string();
        const std::string head = std::string(kCustomColumnPrefix) + name;
        const bool date = had && std::holds_alternative<Instant>(had->value);
        const CellVerdict verdict = CompareCell(cell, before, date ? CellKind::DateTime : CellKind::Text, shiftJis);
        if (!verdict.changed)
            continue;
        ItemChange item{head, head, before, {}, verdict.doubt, verdict.doubt == Doubt::None, {}};
        if (had && !had->editable()) {
            f.errors.push_back(lineIssue(row, 0, head, "the property is linked or of a type this tool doesn't change",
                                         IssueKind::ReadOnlyProperty, name));
            continue;
        }
        if (cell.empty()) {
            item.part.edits.custom.push_back(CustomEdit::remove(had->name));
            f.changes.push_back(std::move(item));
            continue;
        }
        const CustomProperty* like = had ? had : hints.find(name);
        CustomType type = like ? *CustomTypeOf(like->value) : CustomType::Text;
        Result<CustomValue> value = Error(ErrorCode::ConversionFailed, {});
        if (type == CustomType::Date) {
            if (auto d = ParseCellDateTime(cell))
                value = CustomValue(Instant{LocalToFileTime(d->value)});
        }
        if (!value)
            value = ParseCustomValue(type, cell);
        if (!value) {
            f.errors.push_back(lineIssue(row, 0, head, value.error().message, IssueKind::NotAValue, cell));
            continue;
        }
        item.after = CustomValueText(*value);
        item.part.edits.custom.push_back(CustomEdit::set(had ? had->name : name, std::move(*value)));
        f.changes.push_back(std::move(item));
    }
}

// A property cell as the edit it asks for: dates also in the forms
// spreadsheets save them in.
Result<PropertyEdit> editOfCell(int row, const std::string& cell) {
    if (isDateRow(row))
        if (auto d = ParseCellDateTime(cell))
            return PropertyEdit::set(Instant{LocalToFileTime(d->value)});
    return EditFromText(row, cell);
}

void addPart(FileChange& into, const FileChange& part) {
    for (int r = 0; r < kRowCount; ++r)
        if (part.edits[r].changes())
            into.edits[r] = part.edits[r];
    into.edits.custom.insert(into.edits.custom.end(), part.edits.custom.begin(), part.edits.custom.end());
    for (auto member : {&FileChange::creation, &FileChange::lastWrite, &FileChange::lastAccess})
        if (part.*member)
            into.*member = part.*member;
    for (auto member : {&AttributeChoices::readOnly, &AttributeChoices::archive, &AttributeChoices::hidden,
                        &AttributeChoices::system})
        if (part.attributes.*member != AttributeChoice::Grayed)
            into.attributes.*member = part.attributes.*member;
}

FileChange appliedChange(const std::vector<ItemChange>& items) {
    FileChange change;
    for (const ItemChange& c : items)
        if (c.applied)
            addPart(change, c.part);
    return change;
}

// What a line asks of its file, against what the file holds.
FileImport compare(const ImportRow& row, const FileView& view, const TypeHints& hints, bool shiftJis) {
    FileImport f;
    f.line = row.line;
    f.path = row.path;
    for (const PropertyRow& r : kCatalogue) {
        const auto& cell = row.properties[static_cast<std::size_t>(r.Index)];
        if (!cell)
            continue;
        const std::size_t column = row.propertyColumns[static_cast<std::size_t>(r.Index)];
        const std::string before = DisplayText(view.metadata[r.Index]);
        const CellVerdict verdict =
            CompareCell(*cell, before, isDateRow(r.Index) ? CellKind::DateTime : CellKind::Text, shiftJis);
        if (!verdict.changed)
            continue;
        auto edit = editOfCell(r.Index, *cell);
        if (!edit) {
            f.errors.push_back(lineIssue(row, column, r.Label, edit.error().message,
                                         isDateRow(r.Index) ? IssueKind::NotADate : IssueKind::NotAValue, *cell));
            continue;
        }
        const std::string after =
            edit->action == PropertyEdit::Action::Set ? DisplayText(StoredProperty{true, edit->value}) : std::string();
        if (before == after)
            continue;
        if (r.Index == kRowRevision && edit->action == PropertyEdit::Action::Set &&
            !std::holds_alternative<std::int64_t>(edit->value)) {
            f.errors.push_back(lineIssue(row, column, r.Label, "the revision '" + after + "' is not a whole number",
                                         IssueKind::NotAValue, *cell));
            continue;
        }
        ItemChange item{r.Label, r.Key, before, after, verdict.doubt, verdict.doubt == Doubt::None, {}};
        item.part.edits[r.Index] = *edit;
        f.changes.push_back(std::move(item));
    }
    compareCustom(row, view, hints, shiftJis, f);
    const LocalDateTime had[3] = {view.creation, view.lastWrite, view.lastAccess};
    std::optional<LocalDateTime> FileChange::*wanted[3] = {&FileChange::creation, &FileChange::lastWrite,
                                                            &FileChange::lastAccess};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!row.times[i])
            continue;
        const std::string before = i == 2 && !view.lastAccessShown ? std::string() : timeText(had[i]);
        const CellVerdict verdict = CompareCell(*row.times[i], before, CellKind::DateTime, shiftJis);
        if (!verdict.changed)
            continue;
        std::optional<LocalDateTime> local;
        if (auto d = ParseCellDateTime(*row.times[i]))
            local = d->value;
        else if (auto utc = ParseIso8601(*row.times[i]))
            local = FileTimeToLocal(*utc);
        if (!local) {
            f.errors.push_back(lineIssue(row, row.timeColumns[i], kFileInfoNames[i],
                                         "'" + *row.times[i] + "' is not a date and time", IssueKind::NotADate,
                                         *row.times[i]));
            continue;
        }
        ItemChange item{kFileInfoNames[i], kFileColumnKeys[i], before, timeText(*local), verdict.doubt,
                        verdict.doubt == Doubt::None, {}};
        item.part.*wanted[i] = *local;
        f.changes.push_back(std::move(item));
    }
    constexpr std::uint32_t kBits[4] = {kAttrReadOnly, kAttrArchive, kAttrHidden, kAttrSystem};
    AttributeChoice AttributeChoices::*choices[4] = {&AttributeChoices::readOnly, &AttributeChoices::archive,
                                                    &AttributeChoices::hidden, &AttributeChoices::system};
    const std::uint32_t attributes = view.stamp ? view.stamp->Attributes : 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!row.attributes[i] || ((attributes & kBits[i]) != 0) == *row.attributes[i])
            continue;
        ItemChange item{kFileInfoNames[3 + i], kFileColumnKeys[3 + i], *row.attributes[i] ? "" : "Y",
                        *row.attributes[i] ? "Y" : "", Doubt::None, true, {}};
        item.part.attributes.*choices[i] = *row.attributes[i] ? AttributeChoice::Checked : AttributeChoice::Unchecked;
        f.changes.push_back(std::move(item));
    }
    f.change = appliedChange(f.changes);
    return f;
}

// The values' refusals of a write are the CSV's errors; the file's own
// (damaged, encrypted, no Office document) skip its line.
bool refusesValue(ErrorCode code) {
    return code == ErrorCode::ConversionFailed || code == ErrorCode::TooLarge || code == ErrorCode::InvalidArgument ||
           code == ErrorCode::Unsupported;
}

// Every item of the file tried short of writing, as a change checks it.
Status checkWrite(const std::string& path, const std::vector<ItemChange>& items) {
    FileChange all;
    for (const ItemChange& c : items)
        addPart(all, c.part);
    if (!all.edits.any())
        return {};
    // A signature is the run's question, asked after the preview.
    all.edits.allowUnsigning = true;
    return CheckChange(path, all.edits);
}

}  // namespace

std::size_t ImportPlan::itemCount() const {
    std::size_t n = 0;
    for (const FileImport& f : files)
        for (const ItemChange& c : f.changes)
            n += c.applied;
    return n;
}

std::size_t ImportPlan::doubtCount() const {
    std::size_t n = 0;
    for (const FileImport& f : files)
        for (const ItemChange& c : f.changes)
            n += !c.applied;
    return n;
}

ImportPlan PlanImport(const ImportTable& table) {
    ImportPlan plan;
    plan.skipped = table.skipped;
    // Two lines for one file under two names (a link, another hard link)
    // would let the second line's changes pass for done.
    std::vector<std::string> paths;
    for (const ImportRow& row : table.rows)
        paths.push_back(row.path);
    const std::vector<std::size_t> first = FirstOfEachFile(paths);
    for (std::size_t i = 0; i < first.size(); ++i)
        if (first[i] != i)
            plan.errors.push_back({table.rows[i].line, 0, {},
                                   table.rows[i].path + " is the same file as " + table.rows[first[i]].path +
                                       " (line " + std::to_string(table.rows[first[i]].line) + ")",
                                   IssueKind::SameFile, table.rows[i].path});
    if (!plan.errors.empty())
        return plan;
    // Read on every core, then compared in the CSV's order: a new
    // user-defined property's type comes from the files that hold it.
    std::vector<FileView> views(table.rows.size());
    ForEachOrdered(
        table.rows.size(), [&](std::size_t i) { return LoadSingleFileView(table.rows[i].path); },
        [](std::size_t) { return true; }, [&](std::size_t i, FileView view) { views[i] = std::move(view); });
    TypeHints hints;
    for (const FileView& v : views)
        for (const CustomProperty& p : v.metadata.custom)
            hints.add(p);
    std::vector<FileImport> candidates;
    for (std::size_t i = 0; i < views.size(); ++i) {
        const FileView& view = views[i];
        const ImportRow& row = table.rows[i];
        if (!view.found) {
            plan.skipped.push_back({row.line, 0, {}, row.path + ": the file is not there", IssueKind::Missing, row.path});
        } else if (!view.ok || !view.stamp) {
            plan.skipped.push_back({row.line, 0, {}, row.path + ": " + view.error.message, IssueKind::Unreadable,
                                    row.path, view.error.code});
        } else if (FileImport f = compare(row, view, hints, table.shiftJis); !f.errors.empty()) {
            plan.errors.insert(plan.errors.end(), f.errors.begin(), f.errors.end());
        } else if (f.changes.empty()) {
            ++plan.unchanged;
        } else {
            f.seen.metadata = view.metadata;
            candidates.push_back(std::move(f));
        }
    }
    // Each change tried on its file, on every core, and what the run must
    // find again taken after it.
    std::vector<Status> checked(candidates.size());
    ForEachOrdered(
        candidates.size(),
        [&](std::size_t c) {
            const FileImport& f = candidates[c];
            return checkWrite(f.path, f.changes);
        },
        [](std::size_t) { return true; }, [&](std::size_t c, Status st) { checked[c] = std::move(st); });
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        FileImport& f = candidates[c];
        if (!checked[c]) {
            const Error& e = checked[c].error();
            (refusesValue(e.code) ? plan.errors : plan.skipped)
                .push_back({f.line, 0, {}, f.path + ": " + e.message,
                            refusesValue(e.code) ? IssueKind::CannotStore : IssueKind::Unreadable, f.path, e.code});
            continue;
        }
        if (auto entry = platform::findFile(f.path)) {
            f.seen.size = entry->size;
            f.seen.lastWrite = entry->times.lastWrite.ticks;
        }
        plan.files.push_back(std::move(f));
    }
    std::sort(plan.skipped.begin(), plan.skipped.end(),
              [](const ImportIssue& a, const ImportIssue& b) { return a.line < b.line; });
    return plan;
}

ImportPlan ChooseItems(const ImportPlan& plan, const std::vector<std::vector<bool>>& chosen) {
    ImportPlan out = plan;
    out.files.clear();
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        FileImport f = plan.files[i];
        if (i < chosen.size())
            for (std::size_t k = 0; k < f.changes.size() && k < chosen[i].size(); ++k)
                f.changes[k].applied = chosen[i][k];
        f.change = appliedChange(f.changes);
        if (std::any_of(f.changes.begin(), f.changes.end(), [](const ItemChange& c) { return c.applied; }))
            out.files.push_back(std::move(f));
    }
    return out;
}

namespace {

// The file as the preview read it, or the reason it no longer is.
Status stillAsSeen(const std::string& path, const SeenFile& seen) {
    auto changed = [&] {
        return Error(ErrorCode::ChangedSincePreview,
                     "changed since the preview: another program saved it after the CSV was read, so the "
                     "change is not made");
    };
    auto entry = platform::findFile(path);
    if (!entry)
        return entry.error();
    if (entry->size != seen.size || entry->times.lastWrite.ticks != seen.lastWrite)
        return changed();
    const FileView view = LoadSingleFileView(path);
    if (!view.ok || view.metadata != seen.metadata)
        return changed();
    return {};
}

}  // namespace

BatchReport RunImport(const ImportPlan& plan, bool backup, bool allowUnsigning, const RunCallbacks& callbacks,
                      const BackupPolicy& policy) {
    // Files whose every item waits to be chosen are not touched.
    std::vector<const FileImport*> files;
    for (const FileImport& f : plan.files)
        if (std::any_of(f.changes.begin(), f.changes.end(), [](const ItemChange& c) { return c.applied; }))
            files.push_back(&f);
    std::vector<std::string> paths;
    for (const FileImport* f : files)
        paths.push_back(f->path);
    auto changeOf = [&](std::size_t i) {
        FileChange change = files[i]->change;
        change.edits.allowUnsigning = allowUnsigning;
        return change;
    };
    // A file saved since the preview, or whose change would be refused, gets
    // no backup.
    RunOptions options{backup, policy,
                       [&](std::size_t i) -> Status {
                           QV_TRY(stillAsSeen(paths[i], files[i]->seen));
                           return CheckChange(paths[i], changeOf(i).edits);
                       },
                       "import"};
    return RunEachFile(
        paths, options, [&](std::size_t i) { return ApplyFileChange(paths[i], changeOf(i)); }, callbacks);
}

std::string DescribeIssue(const ImportIssue& issue) {
    std::string where;
    if (issue.line > 0)
        where = "line " + std::to_string(issue.line);
    if (issue.column > 0)
        where += ", column " + std::to_string(issue.column);
    if (!issue.head.empty())
        where += " (" + issue.head + ")";
    return where.empty() ? issue.message : where + ": " + issue.message;
}

}  // namespace qv::engine
