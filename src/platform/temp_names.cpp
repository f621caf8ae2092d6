#include "platform/temp_names.h"

#include <random>

#include "base/text.h"
#include "platform/platform.h"

namespace qv::platform {

namespace {

constexpr std::size_t kRandomLength = 6;
constexpr const char* kMark = ".QVZ";
constexpr const char* kSuffix = ".tmp";

// The leading part of a file name that temporary names start with: short
// enough that the temporary name stays within the file system's limit.
std::string temporaryStem(const std::string& target) {
    std::string base = text::fileNamePart(target);
    std::size_t limit = 200;
    if (base.size() > limit) {
        // Cut at a UTF-8 character boundary.
        while (limit > 0 && (static_cast<unsigned char>(base[limit]) & 0xC0) == 0x80)
            --limit;
        base.resize(limit);
    }
    return base + kMark;
}

}  // namespace

bool isTemporaryNameFor(const std::string& target, const std::string& candidateName) {
    std::string stem = temporaryStem(target);
    return candidateName.size() == stem.size() + kRandomLength + 4 && text::startsWith(candidateName, stem) &&
           text::endsWith(candidateName, kSuffix);
}

namespace detail {

std::string newTemporaryName(const std::string& target) {
    static thread_local std::mt19937_64 rng{(static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
                                            std::random_device{}()};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = temporaryStem(target);
    for (std::size_t i = 0; i < kRandomLength; ++i)
        name += kChars[rng() % 36];
    return name + kSuffix;
}

bool mayBeTemporaryName(const std::string& name) {
    return name.find(kMark) != std::string::npos && text::endsWith(name, kSuffix);
}

std::string folderOf(const std::string& path) {
    std::string dir = text::directoryPart(path);
    return dir.empty() ? std::string(".") : dir;
}

Error changedMeanwhile(const std::string& target, const char* how) {
    return Error(ErrorCode::ChangedMeanwhile, target + " was changed by another program while it was being changed (" +
                                                  how + "); that program's version is kept");
}

}  // namespace detail

}  // namespace qv::platform
