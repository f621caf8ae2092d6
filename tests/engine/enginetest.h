// Shared pieces of the engine tests.
#pragma once

#include <string>
#include <vector>

#include "engine/change.h"
#include "props/datetime.h"
#include "props/rows.h"
#include "support/testsupport.h"

namespace qv::test {

// Sets Asia/Tokyo and the plain "yyyy/MM/dd H:mm:ss" formats for a test.
class EngineEnvironment {
public:
    EngineEnvironment();
    ~EngineEnvironment();

private:
    ScopedTimeZone m_tz;
};

// Gives a file known times (to the nanosecond) and attributes.
void setKnownStamp(const std::string& path, std::uint32_t attributes = 0);
RawFileTime knownTime(int which);

// Reads a file's fourteen row texts by its route (fails the test when the
// file can't be read).
RowTexts readTexts(const std::string& path);

bool xattrsSupported(const std::string& path);

}  // namespace qv::test
