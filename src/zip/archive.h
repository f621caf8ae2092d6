// The ZIP archive as the property back-end uses it: a named archive file
// whose directory is read once and reused while the file is unchanged, one
// entry extracted into memory at a time, and any number of entries replaced
// in one atomic rewrite of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/platform.h"
#include "zip/directory.h"
#include "zip/writer.h"

namespace qv::zip {

class ZipArchive {
public:
    // Names the archive file. Another name drops the loaded directory; the
    // same name in another case keeps it (it is still used only while the
    // file's stamp is unchanged), and the file is then opened under the new
    // spelling.
    void setZipName(const std::string& path);
    const std::string& zipName() const { return m_path; }

    // Keeps the archive file open (and locked as the mode says) across the
    // following operations, until close() or a store: a package is read or
    // changed with one open. A store needs an exclusive mode.
    Status keepOpen(platform::OpenMode mode);
    // The same with a file the caller opened already (in that mode), so a
    // file whose kind was just told from its first bytes is not opened twice.
    void keepOpen(platform::File&& file, platform::OpenMode mode);
    void close();

    // Makes the directory available, reading it unless the loaded one is of
    // the same file with the same last-write time and size.
    Status readDirectory();
    // The loaded directory, or null.
    const ZipDirectory* directory() const { return m_directory ? &*m_directory : nullptr; }

    std::size_t entryCount() const { return m_directory ? m_directory->entries.size() : 0; }
    // The file name and the directory part ("\" separators, ending in "\")
    // of an entry; "Index %d is out of range" for a bad index.
    Result<std::string> entryFileName(int index) const;
    Result<std::string> entryPath(int index) const;

    // Extracts the entry of that name (ASCII case ignored, "/" or "\") into memory.
    Result<std::string> extractToStream(std::string_view name);
    // Extracts the entry at an index of the loaded directory.
    Result<std::string> extractAt(int index);
    // Extracts an entry of the loaded directory (from directory()).
    Result<std::string> extractEntry(const ZipEntry& entry);

    // Rewrites the archive once with every stream stored under its name: an
    // entry of that name is replaced where it stands, other names are
    // appended, all other entries are copied unchanged, the comment is kept.
    // The new archive is written beside the old one, given the final times
    // and attributes, and put in its place atomically, while the old one is
    // still held as it was when its directory was read; on any failure, or
    // when another program changed the old one meanwhile, it is left as it is.
    Status storeFromStreams(const std::vector<StreamToStore>& streams, const platform::FinalMetadata& final = {});

    struct StoreOptions {
        // Entries left out of the new archive.
        std::vector<std::string> dropped;
        // Where the new archive goes: empty for in place of the old one;
        // else a new file there, the old one only read, an existing file
        // there replaced only when overwrite.
        std::string destination;
        bool overwrite = false;
    };
    Status storeFromStreams(const std::vector<StreamToStore>& streams, const platform::FinalMetadata& final,
                            const StoreOptions& options);

private:
    // The kept file when it serves the mode, else one opened into local.
    Result<platform::File*> fileFor(platform::OpenMode mode, std::optional<platform::File>& local);
    Status ensureDirectory(const platform::File& file);
    Result<const ZipEntry*> entryAt(int index) const;
    Result<std::string> extract(const platform::File& file, const ZipEntry& entry);

    std::string m_path;
    std::optional<platform::File> m_kept;
    platform::OpenMode m_keptMode = platform::OpenMode::ReadDenyWrite;
    std::optional<ZipDirectory> m_directory;
    // The size and last-write time of the file the directory was read from.
    platform::FileVersion m_version;
    // A small kept file read whole with its directory, so that its entries
    // need no more reads; dropped when the file is let go.
    std::optional<std::string> m_whole;
};

}  // namespace qv::zip
