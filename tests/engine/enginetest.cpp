#include "enginetest.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include "engine/view.h"
#include "platform/platform.h"

namespace qv::test {

EngineEnvironment::EngineEnvironment() : m_tz("Asia/Tokyo") { SetFormatsForTesting(platform::LocaleFormats{}); }

EngineEnvironment::~EngineEnvironment() { SetFormatsForTesting(std::nullopt); }

RawFileTime knownTime(int which) {
    // 2015-06-0x 01:02:03.4567891 UTC plus a few nanoseconds.
    FileTime base = 130'775'941'234'567'891ull;
    return RawFileTime{base + static_cast<FileTime>(which) * 864'000'000'000ull, static_cast<std::uint32_t>(which * 7)};
}

void setKnownStamp(const std::string& path, std::uint32_t attributes) {
    ASSERT_TRUE(platform::setFileAttributes(path, 0).ok() || true);
    platform::FileTimes t{knownTime(0), knownTime(1), knownTime(2)};
    ASSERT_TRUE(platform::setFileTimes(path, t).ok()) << path;
    Status st = platform::setFileAttributes(path, attributes);
    ASSERT_TRUE(st.ok() || st.error().code == ErrorCode::Unsupported) << st.error().message;
}

RowTexts readTexts(const std::string& path) {
    auto rows = engine::ReadRows(path);
    EXPECT_TRUE(rows.ok()) << path << ": " << (rows ? "" : rows.error().message);
    return rows ? textsOf(*rows) : RowTexts{};
}

bool xattrsSupported(const std::string& path) {
    if (setxattr(path.c_str(), "user.qvprobe", "1", 1, 0) != 0)
        return false;
    removexattr(path.c_str(), "user.qvprobe");
    return true;
}

}  // namespace qv::test
