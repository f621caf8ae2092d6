#include "engine/change.h"

#include "base/text.h"
#include "props/compound_props.h"
#include "props/package_props.h"
#include "props/filestamp.h"

namespace qv::engine {

std::string BackupPathFor(const std::string& path) { return path + ".bak"; }

Status backupoldfile(const std::string& path) {
    std::string backup = BackupPathFor(path);
    // An old read-only, hidden or system backup must be replaceable. It is
    // only replaced once the new copy is complete, so a failed copy keeps it.
    if (platform::findFile(backup).ok()) {
        Status cleared = SetFileAttributeValue(backup, 0);
        if (!cleared && cleared.error().code != ErrorCode::Unsupported)
            return Error(cleared.error().code, "can't replace the old backup: " + cleared.error().message);
    }
    auto stamp = ReadFileStamp(path);
    if (!stamp)
        return stamp.error();
    QV_TRY(platform::copyFile(path, backup));
    // The backup looks like the workbook did: its times exactly, then its
    // attributes (read-only last, or the times could not be set).
    (void)SetFileAttributeValue(backup, 0);
    (void)platform::setFileTimes(backup, platform::FileTimes{stamp->Creation, stamp->LastAccess, stamp->LastWrite});
    (void)SetFileAttributeValue(backup, stamp->Attributes);
    return {};
}

namespace {

struct LocalTimes {
    LocalDateTime creation, lastWrite, lastAccess;
};

// Clears read-only and writes the properties by the extension's route.
Status writeProperties(const std::string& path, const FileStamp& stamp, const RowTexts& values,
                       const RowMask& rows) {
    if (stamp.Attributes & kAttrReadOnly) {
        Status cleared = SetFileAttributeValue(path, stamp.Attributes & ~kAttrReadOnly);
        if (!cleared && cleared.error().code != ErrorCode::Unsupported)
            return cleared;
    }
    Status written;
    if (text::isPackagePath(path)) {
        written = WritePackageRows(path, values, rows);
    } else if (rows.any()) {
        RowTexts trimmed;
        for (int i = 0; i < kRowCount; ++i)
            trimmed[static_cast<std::size_t>(i)] = text::trim(values[static_cast<std::size_t>(i)]);
        written = WriteCompoundRows(path, trimmed, rows);
    }
    // A failed change leaves the file as it was: attributes and times too.
    if (!written)
        (void)PutBackFileStamp(path, stamp);
    return written;
}

// Times and attributes end every change; their results don't decide it.
void finish(const std::string& path, const FileStamp& stamp, const LocalTimes& t, const AttributeChoices& a) {
    (void)SetFileTimes(path, t.creation, t.lastWrite, t.lastAccess);
    (void)SetFileAttributeValue(path, a.applyTo(stamp.Attributes));
}

LocalDateTime applyChoice(LocalDateTime value, const BatchTimeChoice& c) {
    if (c.replaceDate)
        value = ReplaceDatePart(value, c.date);
    if (c.replaceTime)
        value = ReplaceTimePart(value, c.time);
    return value;
}

}  // namespace

Status ApplyBatchToFile(const std::string& path, const BatchSettings& s) {
    auto stamp = ReadFileStamp(path);
    if (!stamp)
        return stamp.error();
    QV_TRY(writeProperties(path, *stamp, s.values, s.ticked));
    LocalTimes t;
    t.creation = applyChoice(FileTimeToLocal(stamp->Creation.ticks), s.creation);
    t.lastWrite = applyChoice(FileTimeToLocal(stamp->LastWrite.ticks), s.lastWrite);
    t.lastAccess = applyChoice(FileTimeToLocal(stamp->LastAccess.ticks), s.lastAccess);
    finish(path, *stamp, t, s.attributes);
    return {};
}

Status ApplySingleToFile(const std::string& path, const SingleSettings& s) {
    auto stamp = ReadFileStamp(path);
    if (!stamp)
        return stamp.error();
    QV_TRY(writeProperties(path, *stamp, s.values, allRows()));
    LocalTimes t;
    t.creation = ReplaceTimePart(s.creationDate, s.creationTime);
    t.lastWrite = ReplaceTimePart(s.lastWriteDate, s.lastWriteTime);
    t.lastAccess = ReplaceTimePart(s.lastAccessDate, s.lastAccessTime);
    finish(path, *stamp, t, s.attributes);
    return {};
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
    // The run's files (and backups) are made durable together at its end.
    platform::ReplacementBatch batch;
    BatchReport report;
    for (const std::string& p : paths)
        report.files.push_back(FileResult{p, FileState::Unchanged, false, {}});
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (callbacks.cancelRequested && callbacks.cancelRequested()) {
            report.cancelled = true;
            break;
        }
        if (callbacks.fileStarted)
            callbacks.fileStarted(i, paths[i]);
        FileResult& r = report.files[i];
        if (settings.backup) {
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
        Status st = ApplyBatchToFile(paths[i], settings);
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
