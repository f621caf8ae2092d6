#include "props/filestamp.h"

namespace qv {

Result<FileStamp> ReadFileStamp(const std::string& path) {
    auto query = platform::queryFile(path);
    if (!query)
        return query.error();
    if (!query->attributes)
        return query->attributesError;
    FileStamp s;
    s.Attributes = *query->attributes;
    s.Creation = query->entry.times.creation;
    s.LastAccess = query->entry.times.lastAccess;
    s.LastWrite = query->entry.times.lastWrite;
    return s;
}

Status SetFileTimes(const std::string& path, LocalDateTime creation, LocalDateTime lastWrite,
                    LocalDateTime lastAccess) {
    platform::FileTimes t;
    t.creation = RawFileTime{LocalToFileTime(creation), 0};
    t.lastWrite = RawFileTime{LocalToFileTime(lastWrite), 0};
    t.lastAccess = RawFileTime{LocalToFileTime(lastAccess), 0};
    return platform::setFileTimes(path, t);
}

Status SetFileAttributeValue(const std::string& path, std::uint32_t attributes) {
    return platform::setFileAttributes(path, attributes);
}

std::uint32_t ApplyAttributeChoices(std::uint32_t value, AttributeChoice readOnly, AttributeChoice archive,
                                    AttributeChoice hidden, AttributeChoice system) {
    auto apply = [&value](AttributeChoice choice, std::uint32_t bit) {
        if (choice == AttributeChoice::Checked)
            value |= bit;
        else if (choice == AttributeChoice::Unchecked)
            value &= ~bit;
    };
    apply(readOnly, kAttrReadOnly);
    apply(archive, kAttrArchive);
    apply(hidden, kAttrHidden);
    apply(system, kAttrSystem);
    return value;
}

LocalDateTime ReplaceDatePart(LocalDateTime value, LocalDateTime pickedDate) {
    return ComposeDateTime(WholeDays(pickedDate), TimeOfDay(value));
}

LocalDateTime ReplaceTimePart(LocalDateTime value, LocalDateTime pickedTime) {
    return ComposeDateTime(WholeDays(value), TimeOfDay(pickedTime));
}

Status PutBackAfterRead(const std::string& path, const FileStamp& stamp) {
    return platform::putBackReadTimes(path, stamp.LastAccess, stamp.LastWrite);
}

Status PutBackFileStamp(const std::string& path, const FileStamp& stamp) {
    if (stamp.Attributes & kAttrReadOnly) {
        auto cleared = platform::setFileAttributes(path, stamp.Attributes & ~kAttrReadOnly);
        if (!cleared && cleared.error().code != ErrorCode::Unsupported)
            return cleared;
    }
    platform::FileTimes t{stamp.Creation, stamp.LastAccess, stamp.LastWrite};
    Status timesSet = platform::setFileTimes(path, t);
    // Also when the times could not be set: the attributes go back regardless.
    (void)platform::setFileAttributes(path, stamp.Attributes);
    return timesSet;
}

}  // namespace qv
