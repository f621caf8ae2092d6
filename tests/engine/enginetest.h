// Shared pieces of the engine tests.
#pragma once

#include <string>
#include <vector>

#include "engine/change.h"
#include "props/datetime.h"
#include "support/rowtexts.h"
#include "support/rowtexts.h"
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

// What the file system under test holds: an emulator may keep no creation
// time of its own (it reports the last-write time) or never clear the
// archive bit. Checks of those two are made only where they can hold.
bool creationTimeIsStored();
bool archiveIsClearable();
// The attribute bits a check can rely on here.
std::uint32_t reliableAttributes(std::uint32_t attributes);

// Keeps a file open the way an office program does, for the object's
// lifetime: an exclusive lock from another process on POSIX, a handle
// without sharing on Windows.
class HeldByAnotherProgram {
public:
    explicit HeldByAnotherProgram(const std::string& path);
    ~HeldByAnotherProgram();
    HeldByAnotherProgram(const HeldByAnotherProgram&) = delete;
    HeldByAnotherProgram& operator=(const HeldByAnotherProgram&) = delete;

private:
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_pid = -1;
    int m_release = -1;
#endif
};

}  // namespace qv::test
