// The ZIP layer's own message texts (English; front ends show them as the
// reason of a failure).
#pragma once

namespace qv::zip {

inline constexpr const char* kMsgNotAZip = "Not a valid zip file!";
inline constexpr const char* kMsgIndexOutOfRange = "Index %d is out of range";
inline constexpr const char* kMsgUnknownMethod = "Unknown Compression Method";
inline constexpr const char* kMsgLargerThanUncompressed = "File is larger than uncompressed size!";
inline constexpr const char* kMsgInflateOutOfMemory = "*** inflate out of memory ***";
inline constexpr const char* kMsgNotEnoughRoom = "Not enough room to write archive";

}  // namespace qv::zip
