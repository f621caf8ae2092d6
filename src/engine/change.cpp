#include "engine/change.h"

#include <map>

#include "base/text.h"
#include "props/backend.h"
#include "props/filestamp.h"

namespace qv::engine {

std::string BackupPathFor(const std::string& path) { return path + ".bak"; }

Status backupoldfile(const std::string& path) {
    std::string backup = BackupPathFor(path);
    auto real = platform::resolveLinks(path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    // Whatever stands at the backup's name is replaced, never written
    // through: a link or a second hard link planted there gets nothing of
    // the document, and nothing there is given a mode.
    // The copy is closed to everyone the document is closed to from its
    // first byte, and looks like the document: its times exactly, its
    // attributes.
    platform::FinalMetadata final;
    final.times = platform::FileTimes{stamp->Creation, stamp->LastAccess, stamp->LastWrite};
    final.attributes = stamp->Attributes;
    return platform::copyFile(*real, backup, final);
}

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
    for (const FileResult& f : files)
        if (f.state != FileState::Changed)
            return false;
    return true;
}

BatchReport RunBatch(const std::vector<std::string>& paths, const BatchSettings& settings,
                     const RunCallbacks& callbacks) {
    auto change = ToBatchChange(settings);
    if (change)
        return RunBatch(paths, *change, callbacks);
    BatchReport report;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        report.files.push_back(FileResult{paths[i], FileState::ChangeFailed, false, change.error()});
        if (callbacks.fileFinished)
            callbacks.fileFinished(i, report.files.back(), ProgressPercent(i + 1, paths.size()));
    }
    return report;
}

BatchReport RunBatch(const std::vector<std::string>& paths, const BatchChange& settings,
                     const RunCallbacks& callbacks) {
    return RunEachFile(
        paths, settings.backup, [&](std::size_t i) { return ApplyBatchToFile(paths[i], settings); }, callbacks);
}

BatchReport RunEachFile(const std::vector<std::string>& paths, bool backup,
                        const std::function<Status(std::size_t index)>& change, const RunCallbacks& callbacks) {
    // The run's files (and backups) are made durable together at its end.
    platform::ReplacementBatch batch;
    BatchReport report;
    for (const std::string& p : paths)
        report.files.push_back(FileResult{p, FileState::Unchanged, false, {}});
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
        if (backup) {
            Status b = backupoldfile(paths[i]);
            if (!b) {
                r.state = FileState::ChangeFailed;
                r.backupFailed = true;
                r.error = Error(b.error().code, "backup failed: " + b.error().message);
                report.stoppedByBackupFailure = true;
                if (callbacks.fileFinished)
                    callbacks.fileFinished(i, r, ProgressPercent(i + 1, paths.size()));
                break;
            }
        }
        Status st = change(i);
        r.state = st ? FileState::Changed : FileState::ChangeFailed;
        if (!st)
            r.error = st.error();
        if (callbacks.fileFinished)
            callbacks.fileFinished(i, r, ProgressPercent(i + 1, paths.size()));
    }
    return report;
}

SingleOutcome RunSingleChange(const std::string& path, const SingleSettings& settings) {
    SingleOutcome out;
    if (settings.backup) {
        Status b = backupoldfile(path);
        if (!b) {
            out.backupFailed = true;
            out.error = b.error();
            return out;
        }
    }
    Status st = ApplySingleToFile(path, settings);
    out.state = st ? FileState::Changed : FileState::ChangeFailed;
    if (!st)
        out.error = st.error();
    return out;
}

}  // namespace qv::engine
