// A fault-injection seam for tests: every operation of the platform layer
// that changes the disk (create, write, sync, rename, delete, setting times
// or attributes) passes a numbered fault point. A test can make the n-th of
// them fail, to prove that a failure at any step loses nothing.
#pragma once

#include "base/result.h"

namespace qv::platform::faults {

// Makes the n-th fault point from now (1-based) fail with the given code.
void failAt(int n, ErrorCode code = ErrorCode::IoError);
// Makes every fault point from the n-th on fail (a full disk stays full).
void failFrom(int n, ErrorCode code = ErrorCode::DiskFull);
// Stops injecting and resets the counter.
void reset();
// The number of fault points passed since the last reset.
int count();

// Called by the implementations before each change to the disk.
Status check(const char* operation);

// Where a test may hold a real process still, to widen the window between two
// processes without sleeping: with QV_TEST_PAUSE="OPERATION:FOLDER" in the
// environment, the first time the process reaches that operation it creates
// FOLDER/paused and waits (at most a minute) until FOLDER/resume exists.
// check() passes one with its operation; a point that changes nothing (such
// as "renamed", just after a replacement took its place) calls this alone.
void pausePoint(const char* operation);

}  // namespace qv::platform::faults
