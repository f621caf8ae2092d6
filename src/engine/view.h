// Reading one document for the single page, the export and the command line:
// its stamp, its fourteen properties, and its times and attributes put back.
#pragma once

#include <optional>
#include <string>

#include "base/result.h"
#include "props/datetime.h"
#include "props/filestamp.h"
#include "props/metadata.h"

namespace qv::engine {

struct FileView {
    // The directory search found the file (not a folder).
    bool found = false;
    // Times and attributes as found; empty when the attribute query failed.
    std::optional<FileStamp> stamp;
    // The three times as local date-times, for the pickers.
    LocalDateTime creation = 0, lastWrite = 0, lastAccess = 0;
    // Whether the last-access time is shown (later than 20 May 1904); the
    // pickers keep the previous file's value otherwise.
    bool lastAccessShown = false;

    // The rows hold the file's values. A compound file that can't be opened
    // still gives fourteen empty values; a package that can't be read gives
    // none, and the grid keeps what it showed.
    bool propertiesRead = false;
    DocumentMetadata metadata;
    // Why the properties could not be read (also set for a compound file
    // whose values are empty because it could not be opened).
    std::optional<Error> propertyError;

    // The whole read succeeded: properties read.
    bool ok = false;
    Error error;
    // Reading moved a time that could not be put back (a file of another
    // owner, a read-only medium): said, but the read still counts.
    std::optional<Error> note;
};

// Reads one file, opened for reading only and shared. Whatever happens, a
// file that was found gets back the times that reading moved.
FileView LoadSingleFileView(const std::string& path);

// The properties of a file through the back end its content calls for,
// without stamp handling.
Result<DocumentMetadata> ReadMetadata(const std::string& path);

// The same, with what the file's kind shows when it can't be read: fourteen
// empty values (a compound file, or no Office document at all) or nothing new
// (a package).
struct MetadataRead {
    Result<DocumentMetadata> metadata = DocumentMetadata{};
    bool showsEmptyValuesWhenUnreadable = true;
};
MetadataRead ReadDocumentMetadata(const std::string& path);

}  // namespace qv::engine
