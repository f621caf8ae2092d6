// The "user.DOSATTRIB" extended attribute in the layout that SMB servers on
// POSIX systems use: a hex text of the attribute value ("0x22"), a NUL, and
// an NDR-encoded DosInfo record that also carries the creation time. Wine
// writes the hex text alone; that form is read too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/filetime.h"

namespace qv::platform::dosattrib {

struct Info {
    std::uint32_t attributes = 0;
    std::optional<FileTime> creation;
    // The record as read, so that fields we don't change can be kept.
    std::uint16_t version = 0;
    std::string raw;
};

// Parses the attribute value; no value when it is neither form.
std::optional<Info> decode(std::string_view blob);

// Encodes attributes and creation time, keeping the version and the other
// fields of a record that was read (versions 3 to 5); a new record is
// version 4, which every current reader takes.
std::string encode(const Info& info);

}  // namespace qv::platform::dosattrib
