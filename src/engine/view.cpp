#include "engine/view.h"

#include "props/backend.h"

namespace qv::engine {

MetadataRead ReadDocumentMetadata(const std::string& path) {
    MetadataRead r;
    auto doc = openDocument(path);
    if (!doc) {
        r.metadata = doc.error();
        return r;
    }
    r.showsEmptyValuesWhenUnreadable = doc->backend->showsEmptyValuesWhenUnreadable();
    r.metadata = doc->backend->read(path, std::move(doc->file));
    return r;
}

Result<DocumentMetadata> ReadMetadata(const std::string& path) { return ReadDocumentMetadata(path).metadata; }

FileView LoadSingleFileView(const std::string& path) {
    FileView v;
    auto query = platform::queryFile(path);
    if (!query) {
        v.error = query.error();
        return v;
    }
    v.found = true;
    FileStamp stamp;
    stamp.Creation = query->entry.times.creation;
    stamp.LastAccess = query->entry.times.lastAccess;
    stamp.LastWrite = query->entry.times.lastWrite;
    const std::optional<std::uint32_t>& attributes = query->attributes;
    // Without the attribute query, what the search reported is put back.
    stamp.Attributes = attributes ? *attributes : query->entry.attributes;
    if (attributes) {
        v.stamp = stamp;
        v.creation = FileTimeToLocal(stamp.Creation.ticks);
        v.lastWrite = FileTimeToLocal(stamp.LastWrite.ticks);
        v.lastAccess = FileTimeToLocal(stamp.LastAccess.ticks);
        v.lastAccessShown = v.lastAccess > 1602.0;
    }

    MetadataRead read = ReadDocumentMetadata(path);
    if (read.metadata) {
        v.metadata = std::move(*read.metadata);
        v.propertiesRead = true;
    } else {
        v.propertyError = read.metadata.error();
        // A compound file that can't be opened shows fourteen empty values;
        // a package that can't be read shows nothing new.
        if (read.showsEmptyValuesWhenUnreadable)
            v.propertiesRead = true;
    }

    // Reading must leave the file as it was found, also when it failed.
    Status putBack = PutBackAfterRead(path, stamp);
    if (!putBack)
        v.note = putBack.error();
    // Empty values shown for a compound file that could not be read (held by
    // another program, damaged, encrypted, no Office document) are still a
    // failed read, with its reason.
    if (v.propertyError)
        v.error = *v.propertyError;
    else
        v.ok = true;
    return v;
}

}  // namespace qv::engine
