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
    Status putBack = PutBackFileStamp(path, stamp);
    if (!v.propertiesRead) {
        v.error = *v.propertyError;
    } else if (!putBack) {
        v.error = putBack.error();
    } else {
        v.ok = true;
    }
    return v;
}

}  // namespace qv::engine
