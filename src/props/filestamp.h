// A file's times and attributes: taken before a document is touched, set
// after a change, and put back after a document was only read.
#pragma once

#include <cstdint>
#include <string>

#include "base/filetime.h"
#include "base/result.h"
#include "platform/platform.h"
#include "props/datetime.h"

namespace qv {

using platform::kAttrArchive;
using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrSystem;

// A three-state attribute box: unchecked clears the bit, checked sets it,
// grayed leaves it as the file has it.
enum class AttributeChoice { Unchecked = 0, Checked = 1, Grayed = 2 };

struct FileStamp {
    std::uint32_t Attributes = 0;
    RawFileTime Creation;
    RawFileTime LastAccess;
    RawFileTime LastWrite;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The directory search (times, any file but a folder) and the attribute query.
Result<FileStamp> ReadFileStamp(const std::string& path);

// Sets the three times, converted from local date-times to the millisecond.
// Fails when the file can't be opened without sharing.
Status SetFileTimes(const std::string& path, LocalDateTime creation, LocalDateTime lastWrite,
                    LocalDateTime lastAccess);

Status SetFileAttributeValue(const std::string& path, std::uint32_t attributes);

std::uint32_t ApplyAttributeChoices(std::uint32_t value, AttributeChoice readOnly, AttributeChoice archive,
                                    AttributeChoice hidden, AttributeChoice system);

// The whole days of the picked date plus the time of day of the value.
LocalDateTime ReplaceDatePart(LocalDateTime value, LocalDateTime pickedDate);
// The whole days of the value plus the time of day of the picked time.
LocalDateTime ReplaceTimePart(LocalDateTime value, LocalDateTime pickedTime);

// The stamp's exact times and attributes, for a copy that is to look like
// the file it was taken from (a backup, a restored document).
inline platform::FinalMetadata FinalAsFound(const FileStamp& stamp) {
    platform::FinalMetadata final;
    final.times = platform::FileTimes{stamp.Creation, stamp.LastAccess, stamp.LastWrite};
    final.attributes = stamp.Attributes;
    return final;
}

// After a read: puts back the times that reading moved, and only those
// (reading changes no attribute), without opening the file for writing. An
// error says that they moved and could not be put back: a note for the
// reader, not a failure of the read.
Status PutBackAfterRead(const std::string& path, const FileStamp& stamp);

// Puts back the times (exactly, as raw file times) and the attributes taken
// before a file was read. Fails when the times could not be put back; the
// attributes are put back in any case.
Status PutBackFileStamp(const std::string& path, const FileStamp& stamp);

}  // namespace qv
