// One back end per container kind behind one interface, chosen by what the
// file is (its first bytes), never by its name: a package saved under ".xls"
// is still a package.
#pragma once

#include <string>

#include "base/result.h"
#include "platform/platform.h"
#include "props/metadata.h"

namespace qv {

enum class ContainerKind {
    CompoundFile,  // OLE compound file: the two summary property sets
    Package,       // ZIP package: the core and extended property parts
    OpenDocument,  // ZIP archive whose first entry names an OpenDocument media type: meta.xml
    FlatOpenDocument,  // one XML office:document (.fods .fodt .fodp): its office:meta
};

class MetadataBackend {
public:
    virtual ~MetadataBackend() = default;

    virtual ContainerKind kind() const = 0;
    // The fourteen rows as the file holds them, typed.
    virtual Result<DocumentMetadata> read(const std::string& path) const = 0;
    // The same from the file already open for reading (deny-write), as
    // openDocument() gives it.
    virtual Result<DocumentMetadata> read(const std::string& path, platform::File&& opened) const = 0;
    // Applies the edits in one atomic commit; the new file takes the final
    // times and attributes before it replaces the old one. A value of the
    // wrong kind for its row fails with ErrorCode::ConversionFailed, with
    // nothing written. With a destination the result is a new file there
    // (the file itself when nothing changes) and the source is only read.
    virtual Status write(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                         const WriteDestination& destination) const = 0;
    Status write(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final) const {
        return write(path, edits, final, WriteDestination{});
    }
    // Every refusal write() would make short of writing (a value of the
    // wrong kind, a text the file can't hold, a part past its limit, a
    // damaged container, a signature without consent), from a shared read;
    // nothing is written.
    virtual Status check(const std::string& path, const MetadataEdits& edits) const = 0;
    // Whether a file of this kind that can't be read still shows (and
    // exports) fourteen empty values, or shows nothing new.
    virtual bool showsEmptyValuesWhenUnreadable() const = 0;
};

// The back end for a file's content: the compound-file signature, a ZIP
// whose "mimetype" names an OpenDocument media type (first and stored, or
// found in a directory without content types), a ZIP local header or a ZIP
// end record, or a flat OpenDocument file's root element;
// ErrorCode::NotAnOfficeDocument for anything else (an empty
// file, a text file, a web page saved as ".xls").
Result<const MetadataBackend*> backendFor(const std::string& path);

// A file opened for reading with its back end told from its bytes: what a
// read needs, with one open.
struct OpenDocument {
    platform::File file;
    const MetadataBackend* backend = nullptr;
};
Result<OpenDocument> openDocument(const std::string& path);

// The same decision from bytes already read: the first bytes of the file (up
// to kKindHeadSize), and its last bytes (up to 64 KiB + 22) when the first
// are no ZIP header.
// A flat OpenDocument file names its media type at the end of a root start
// tag that declares some forty namespaces.
inline constexpr std::size_t kKindHeadSize = 8192;
Result<ContainerKind> containerKindOf(std::string_view head, std::string_view tail);

}  // namespace qv
