// Extracting one entry into memory, checked against its stated size and CRC.
#pragma once

#include <string>

#include "base/result.h"
#include "zip/directory.h"
#include "zip/source.h"

namespace qv::zip {

// The entry's uncompressed bytes. Methods other than 0 (stored) and 8
// (Deflate) fail with ErrorCode::UnsupportedMethod ("Unknown Compression
// Method"); data longer or shorter than stated with ErrorCode::SizeMismatch; a
// wrong CRC-32 with ErrorCode::CrcMismatch; an entry beyond the limits of
// zip/limits.h with ErrorCode::TooLarge.
Result<std::string> ExtractEntry(const ByteSource& source, const ZipEntry& entry);

}  // namespace qv::zip
