#include "engine/change.h"

#include <map>

#include "base/text.h"
#include "engine/view.h"
#include "localtext/customtext.h"
#include "localtext/datetext.h"
#include "props/backend.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

// A file time as the change leaves it: the local time to the millisecond,
// as the pickers hold it.
RawFileTime chosenTime(LocalDateTime wanted) { return RawFileTime{LocalToFileTime(wanted), 0}; }

RawFileTime applyChoice(const RawFileTime& had, const BatchTimeChoice& c) {
    LocalDateTime value = FileTimeToLocal(had.ticks);
    if (c.replaceDate)
        value = ReplaceDatePart(value, c.date);
    if (c.replaceTime)
        value = ReplaceTimePart(value, c.time);
    return chosenTime(value);
}

// The file a change rewrites: the one a link leads to, so the link stays.
Result<std::string> fileToChange(const std::string& path) { return platform::resolveLinks(path); }

// Writes the properties through the back end the content calls for; the new
// file takes its final times and attributes before it replaces the old one,
// which is never touched itself, so a failure leaves it exactly as it was.
// With no property to write, the times and attributes are set on the file
// itself, whatever it holds.
Status applyChange(const std::string& real, const MetadataEdits& edits, const platform::FinalMetadata& final) {
    if (!edits.any())
        return platform::applyFileMetadata(real, final);
    auto backend = backendFor(real);
    if (!backend)
        return backend.error();
    return (*backend)->write(real, edits, final);
}

}  // namespace

Status ApplyBatchToFile(const std::string& path, const BatchSettings& settings) {
    auto change = ToBatchChange(settings);
    if (!change)
        return change.error();
    return ApplyBatchToFile(path, *change);
}

namespace {

// The change of the file a path leads to, with the final times and
// attributes made from its stamp as found.
Status changeFromStamp(const std::string& path, const MetadataEdits& edits,
                       const std::function<platform::FileTimes(const FileStamp&)>& times,
                       const AttributeChoices& attributes) {
    auto real = fileToChange(path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    platform::FinalMetadata final;
    final.times = times(*stamp);
    final.attributes = attributes.applyTo(stamp->Attributes);
    return applyChange(*real, edits, final);
}

}  // namespace

Status ApplyBatchToFile(const std::string& path, const BatchChange& s) {
    return changeFromStamp(
        path, s.edits,
        [&](const FileStamp& stamp) {
            return platform::FileTimes{applyChoice(stamp.Creation, s.creation),
                                       applyChoice(stamp.LastAccess, s.lastAccess),
                                       applyChoice(stamp.LastWrite, s.lastWrite)};
        },
        s.attributes);
}

Status ApplySingleToFile(const std::string& path, const SingleSettings& s) {
    auto edits = EditsFromTexts(s.values, allRows());
    if (!edits)
        return edits.error();
    edits->allowUnsigning = s.allowUnsigning;
    auto custom = CustomEditsFromGrid(s.customShown, s.custom);
    if (!custom)
        return custom.error();
    edits->custom = std::move(*custom);
    return changeFromStamp(
        path, *edits,
        [&](const FileStamp&) {
            return platform::FileTimes{chosenTime(ReplaceTimePart(s.creationDate, s.creationTime)),
                                       chosenTime(ReplaceTimePart(s.lastAccessDate, s.lastAccessTime)),
                                       chosenTime(ReplaceTimePart(s.lastWriteDate, s.lastWriteTime))};
        },
        s.attributes);
}

Status ApplyFileChange(const std::string& path, const FileChange& c) {
    auto timeOf = [](const RawFileTime& had, const std::optional<LocalDateTime>& wanted) {
        return wanted ? chosenTime(*wanted) : had;
    };
    return changeFromStamp(
        path, c.edits,
        [&](const FileStamp& stamp) {
            return platform::FileTimes{timeOf(stamp.Creation, c.creation), timeOf(stamp.LastAccess, c.lastAccess),
                                       timeOf(stamp.LastWrite, c.lastWrite)};
        },
        c.attributes);
}

Status CheckChange(const std::string& path, const MetadataEdits& edits, bool anyFile) {
    auto real = fileToChange(path);
    if (!real)
        return real.error();
    QV_TRY(platform::checkMayReplace(*real));
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    // The check reads the file: a time the read moved (every read does on
    // Windows) is put back, so the change starts from the file as found.
    const std::uint64_t movingOpens = platform::readOpensMovingAccessTime();
    auto backend = backendFor(*real);
    Status st;
    if (!backend)
        st = backend.error().code == ErrorCode::NotAnOfficeDocument && anyFile && !edits.any() ? Status{}
                                                                                               : backend.error();
    else if (edits.any())
        st = (*backend)->check(*real, edits);
    if (platform::readOpensMovingAccessTime() != movingOpens)
        (void)PutBackAfterRead(*real, *stamp);
    return st;
}

std::vector<std::size_t> FirstOfEachFile(const std::vector<std::string>& paths) {
    std::vector<std::size_t> first(paths.size());
    std::map<platform::FileIdentity, std::size_t> seen;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        first[i] = i;
        auto id = platform::fileIdentity(paths[i]);
        if (!id)
            continue;  // a file that is not there fails on its own
        auto [it, inserted] = seen.emplace(*id, i);
        if (!inserted)
            first[i] = it->second;
    }
    return first;
}

std::vector<std::string> UniqueFiles(const std::vector<std::string>& paths) {
    std::vector<std::size_t> first = FirstOfEachFile(paths);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (first[i] == i)
            out.push_back(paths[i]);
    return out;
}

int ProgressPercent(std::size_t k, std::size_t n) {
    if (n == 0)
        return 100;
    std::size_t num = k * 100, q = num / n, r = num % n;
    if (2 * r > n || (2 * r == n && q % 2 == 1))
        ++q;
    return static_cast<int>(q);
}

bool BatchReport::allChanged() const {
    // A file left out with a note (one of our own backups) is no failure.
    for (const FileResult& f : files)
        if (f.state != FileState::Changed && f.note.empty())
            return false;
    return true;
}

namespace {

// The items a file's two readings differ in, as the journal keeps them.
std::vector<JournalEntry::Item> differences(const FileView& before, const FileView& after) {
    std::vector<JournalEntry::Item> out;
    auto add = [&](std::string key, std::string was, std::string now) {
        if (was != now)
            out.push_back({std::move(key), std::move(was), std::move(now)});
    };
    for (const PropertyRow& r : kCatalogue)
        add(r.Key, DisplayText(before.metadata[r.Index]), DisplayText(after.metadata[r.Index]));
    auto customText = [](const FileView& v, const std::string& name) {
        auto i = FindCustom(v.metadata.custom, name);
        return i ? CustomValueText(v.metadata.custom[*i].value) : std::string();
    };
    for (const CustomProperty& p : before.metadata.custom)
        add("custom:" + p.name, CustomValueText(p.value), customText(after, p.name));
    for (const CustomProperty& p : after.metadata.custom)
        if (!FindCustom(before.metadata.custom, p.name))
            add("custom:" + p.name, {}, CustomValueText(p.value));
    const DocumentExtras &xb = before.metadata.extras, &xa = after.metadata.extras;
    add("template", xb.templateName.value_or(""), xa.templateName.value_or(""));
    add("hyperlinkbase", xb.hyperlinkBase.value_or(""), xa.hyperlinkBase.value_or(""));
    add("thumbnail", xb.thumbnail ? "Y" : "", xa.thumbnail ? "Y" : "");
    add("application", xb.application.value_or(""), xa.application.value_or(""));
    add("appVersion", xb.appVersion.value_or(""), xa.appVersion.value_or(""));
    add("creationTime", FormatDateTimeText(before.creation), FormatDateTimeText(after.creation));
    add("lastWriteTime", FormatDateTimeText(before.lastWrite), FormatDateTimeText(after.lastWrite));
    const std::uint32_t was = before.stamp ? before.stamp->Attributes : 0, now = after.stamp ? after.stamp->Attributes : 0;
    const std::pair<const char*, std::uint32_t> bits[] = {
        {"readOnly", kAttrReadOnly}, {"archive", kAttrArchive}, {"hidden", kAttrHidden}, {"system", kAttrSystem}};
    for (const auto& [key, bit] : bits)
        add(key, (was & bit) ? "Y" : "", (now & bit) ? "Y" : "");
    return out;
}

// The journal of a run that makes backups: made with its first line.
class RunJournal {
public:
    RunJournal(const BackupPolicy& policy, std::string kind) : m_folder(JournalFolder(policy)), m_kind(std::move(kind)) {}
    void add(const std::string& path, const std::string& backup, const FileView& before) {
        if (!m_journal && !m_failed) {
            auto j = Journal::create(m_folder, m_kind);
            m_failed = !j;
            if (j)
                m_journal = std::move(*j);
        }
        if (!m_journal)
            return;
        JournalEntry e;
        e.path = WholePath(path);
        e.backup = WholePath(backup);
        e.changes = differences(before, LoadSingleFileView(path));
        if (auto real = platform::resolveLinks(path))
            if (auto print = FingerprintOf(*real)) {
                e.size = print->size;
                e.lastWrite = print->lastWrite;
                e.sha256 = print->sha256;
            }
        (void)m_journal->add(e);
    }
    std::string path() const { return m_journal ? m_journal->path() : std::string(); }

private:
    std::string m_folder, m_kind;
    std::optional<Journal> m_journal;
    bool m_failed = false;
};

}  // namespace

BatchReport RunBatch(const std::vector<std::string>& paths, const BatchSettings& settings,
                     const RunCallbacks& callbacks) {
    auto change = ToBatchChange(settings);
    if (change)
        return RunBatch(paths, *change, callbacks);
    BatchReport report;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        report.files.push_back(FileResult{paths[i], FileState::ChangeFailed, false, change.error(), {}, {}});
        if (callbacks.fileFinished)
            callbacks.fileFinished(i, report.files.back(), ProgressPercent(i + 1, paths.size()));
    }
    return report;
}

namespace {

// The edits a change with values made per file has for one file, from its
// times and values as found (a time the read moved is put back).
Result<MetadataEdits> editsOfFile(const std::string& path, std::size_t index, const BatchChange& c,
                                  std::vector<ValueChange>* changes) {
    auto real = fileToChange(path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    const std::uint64_t movingOpens = platform::readOpensMovingAccessTime();
    auto metadata = ReadMetadata(*real);
    if (platform::readOpensMovingAccessTime() != movingOpens)
        (void)PutBackAfterRead(*real, *stamp);
    if (!metadata)
        return metadata.error();
    const FileFacts facts{path, index, FileTimeToLocal(stamp->LastWrite.ticks), FileTimeToLocal(stamp->Creation.ticks),
                          &*metadata};
    return EditsForFile(c.edits, c.perFile, facts, changes);
}

}  // namespace

std::vector<FilePreview> PreviewBatch(const std::vector<std::string>& paths, const BatchChange& change,
                                      std::size_t limit) {
    std::vector<FilePreview> out;
    for (std::size_t i = 0; i < paths.size() && out.size() < limit; ++i) {
        FilePreview p{paths[i], {}, {}};
        if (auto edits = editsOfFile(paths[i], i, change, &p.changes); !edits)
            p.error = edits.error();
        out.push_back(std::move(p));
    }
    return out;
}

BatchReport RunBatch(const std::vector<std::string>& paths, const BatchChange& settings,
                     const RunCallbacks& callbacks) {
    RunOptions options{settings.backup, settings.backupPolicy,
                       [&](std::size_t i) { return CheckChange(paths[i], settings.edits, settings.anyFile); }};
    if (!settings.perFile.any())
        return RunEachFile(
            paths, options, [&](std::size_t i) { return ApplyBatchToFile(paths[i], settings); }, callbacks);
    // Each file its own edits, made once and checked before its backup.
    std::vector<BatchChange> own(paths.size());
    options.check = [&](std::size_t i) -> Status {
        auto edits = editsOfFile(paths[i], i, settings, nullptr);
        if (!edits)
            return edits.error();
        own[i] = settings;
        own[i].perFile = {};
        own[i].edits = std::move(*edits);
        return CheckChange(paths[i], own[i].edits, own[i].anyFile);
    };
    options.leaveAlone = [&](std::size_t i) -> std::optional<std::string> {
        if (HasBatchWork(own[i]))
            return std::nullopt;
        return std::string(kNothingToChangeNote);
    };
    return RunEachFile(
        paths, options, [&](std::size_t i) { return ApplyBatchToFile(paths[i], own[i]); }, callbacks);
}

BatchReport RunEachFile(const std::vector<std::string>& paths, bool backup,
                        const std::function<Status(std::size_t index)>& change, const RunCallbacks& callbacks) {
    return RunEachFile(paths, RunOptions{backup, {}, {}}, change, callbacks);
}

BatchReport RunEachFile(const std::vector<std::string>& paths, const RunOptions& options,
                        const std::function<Status(std::size_t index)>& change, const RunCallbacks& callbacks) {
    // The run's files (and backups) are made durable together at its end.
    platform::ReplacementBatch batch;
    BatchReport report;
    for (const std::string& p : paths)
        report.files.push_back(FileResult{p, FileState::Unchanged, false, {}, {}, {}});
    const bool backup = options.backup;
    BackupRun backups(options.policy);
    RunJournal journal(options.policy, options.kind);
    const std::vector<std::size_t> first = FirstOfEachFile(paths);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (callbacks.cancelRequested && callbacks.cancelRequested()) {
            report.cancelled = true;
            break;
        }
        if (callbacks.fileStarted)
            callbacks.fileStarted(i, paths[i]);
        FileResult& r = report.files[i];
        if (first[i] != i) {
            // Another name of a file already done: changing it again would
            // let its backup take the changed file in place of the original.
            FileResult done = report.files[first[i]];
            r.state = done.state;
            r.error = done.error;
            if (callbacks.fileFinished)
                callbacks.fileFinished(i, r, ProgressPercent(i + 1, paths.size()));
            continue;
        }
        auto finished = [&] {
            if (callbacks.fileFinished)
                callbacks.fileFinished(i, r, ProgressPercent(i + 1, paths.size()));
        };
        // A backup of ours given as an input would take the place of the
        // document's own history: left alone, and said.
        if (backup && IsBackupName(paths[i])) {
            r.note = "left out: it is a backup, and this run makes backups";
            finished();
            continue;
        }
        // A change that would be refused gets no backup.
        if (options.check) {
            if (Status st = options.check(i); !st) {
                r.state = FileState::ChangeFailed;
                r.error = st.error();
                finished();
                continue;
            }
        }
        if (options.leaveAlone) {
            if (auto why = options.leaveAlone(i)) {
                r.note = std::move(*why);
                finished();
                continue;
            }
        }
        std::optional<FileView> before;
        if (backup) {
            before = LoadSingleFileView(paths[i]);
            auto made = backups.backup(paths[i]);
            if (!made) {
                r.state = FileState::ChangeFailed;
                r.backupFailed = true;
                r.error = Error(made.error().code, "backup failed: " + made.error().message);
                report.stoppedByBackupFailure = true;
                finished();
                break;
            }
            r.backup = *made;
        }
        Status st = change(i);
        r.state = st ? FileState::Changed : FileState::ChangeFailed;
        if (!st)
            r.error = st.error();
        if (st && backup)
            journal.add(paths[i], r.backup, *before);
        finished();
    }
    report.journal = journal.path();
    return report;
}

SingleOutcome RunSingleChange(const std::string& path, const SingleSettings& settings) {
    SingleOutcome out;
    RunOptions options{settings.backup, settings.backupPolicy, [&](std::size_t) -> Status {
                           auto edits = EditsFromTexts(settings.values, allRows());
                           if (!edits)
                               return edits.error();
                           edits->allowUnsigning = settings.allowUnsigning;
                           return CheckChange(path, *edits);
                       }, "single"};
    const BatchReport report =
        RunEachFile({path}, options, [&](std::size_t) { return ApplySingleToFile(path, settings); });
    const FileResult& r = report.files[0];
    out.state = r.backupFailed ? FileState::Unchanged : r.state;
    out.backupFailed = r.backupFailed;
    out.error = r.error;
    out.journal = report.journal;
    return out;
}

}  // namespace qv::engine
