#include "engine/view.h"

#include "base/text.h"
#include "props/compound_props.h"
#include "props/package_props.h"

namespace qv::engine {

Result<RowValues> ReadRows(const std::string& path) {
    return text::isPackagePath(path) ? ReadPackageRows(path) : ReadCompoundRows(path);
}

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

    auto rows = ReadRows(path);
    if (rows) {
        v.rows = std::move(*rows);
        v.propertiesRead = true;
    } else {
        v.propertyError = rows.error();
        // A compound file that can't be opened shows fourteen empty values;
        // a package that can't be read shows nothing new.
        if (!text::isPackagePath(path))
            v.propertiesRead = true;
    }

    // Reading must leave the file as it was found, also when it failed.
    Status putBack = PutBackAfterRead(path, stamp);
    if (!putBack)
        v.note = putBack.error();
    // Empty values shown for a compound file that could not even be opened
    // (held by another program, not ours to read) are still a failed read.
    const bool notOpened = v.propertyError && (v.propertyError->code == ErrorCode::InUse ||
                                               v.propertyError->code == ErrorCode::AccessDenied ||
                                               v.propertyError->code == ErrorCode::IoError);
    if (!v.propertiesRead || notOpened)
        v.error = *v.propertyError;
    else
        v.ok = true;
    return v;
}

}  // namespace qv::engine
