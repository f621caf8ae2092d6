// What the POSIX file operations and the POSIX replacement share: error
// texts, time conversions, the DOSATTRIB record and the open file's parts.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/dosattrib.h"
#include "platform/platform.h"

namespace qv::platform {

struct File::Impl {
    int fd = -1;
    std::string path;
    std::uint64_t writePos = 0;
    // What the file was when it was opened: what a replacement checks.
    FileIdentity identity;
    FileVersion opened;

    ~Impl();
};

namespace posix {

constexpr std::uint32_t kStoredBitsMask = ~(kAttrReadOnly | kAttrDirectory);

Error errnoError(int err, const std::string& what, const std::string& path);

RawFileTime fromTimespec(const struct timespec& ts);
RawFileTime fromStatxTimestamp(const struct statx_timestamp& ts);
struct timespec toTimespec(const RawFileTime& t);

bool nameLooksHidden(const std::string& path);

struct Inspected {
    struct statx sx;
    std::optional<dosattrib::Info> dos;
};
// A path (links followed) or, with fd, an open file.
Result<Inspected> inspect(const std::string& path, int fd = -1);
std::uint32_t attributesOf(const std::string& path, const Inspected& in);
RawFileTime creationOf(const Inspected& in);

// Sets what is given of the times and attributes on an open file. The name
// decides only whether the file reads as hidden by its dot.
Status applyMetadataToFd(int fd, const std::string& path, const FinalMetadata& wanted);

// Opens an existing file as a File; noFollow refuses a link at the path.
Result<File> openFile(const std::string& path, OpenMode mode, bool noFollow);

void syncFolder(const std::string& folder);

}  // namespace posix
}  // namespace qv::platform
