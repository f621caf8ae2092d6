#include "zip/archive.h"

#include "base/text.h"
#include "zip/extract.h"
#include "zip/messages.h"

namespace qv::zip {

void ZipArchive::setZipName(const std::string& path) {
    if (!text::equalsIgnoreAsciiCase(path, m_path))
        m_directory.reset();
    if (path != m_path)
        close();
    m_path = path;
}

namespace {
// Files up to this size are read whole when kept open: one read instead of a
// dozen. Larger ones are read in their parts, since only the metadata is
// wanted and most of a workbook is its sheets.
constexpr std::uint64_t kWholeFileLimit = 32 * 1024;
}  // namespace

Status ZipArchive::keepOpen(platform::OpenMode mode) {
    close();
    auto file = platform::File::open(m_path, mode);
    if (!file) {
        m_directory.reset();
        return file.error();
    }
    m_kept = std::move(*file);
    m_keptMode = mode;
    return {};
}

void ZipArchive::keepOpen(platform::File&& file, platform::OpenMode mode) {
    close();
    m_kept = std::move(file);
    m_keptMode = mode;
}

void ZipArchive::close() {
    if (m_kept)
        (void)m_kept->close();
    m_kept.reset();
    m_whole.reset();
}

Result<platform::File*> ZipArchive::fileFor(platform::OpenMode mode, std::optional<platform::File>& local) {
    if (m_kept) {
        if (mode != platform::OpenMode::ReadDenyWrite && m_keptMode == platform::OpenMode::ReadDenyWrite)
            return Error(ErrorCode::Internal, "the archive is kept open for reading only");
        return &*m_kept;
    }
    auto file = platform::File::open(m_path, mode);
    if (!file) {
        m_directory.reset();
        return file.error();
    }
    local = std::move(*file);
    return &*local;
}

Status ZipArchive::ensureDirectory(const platform::File& file) {
    // Asked of the open file itself: no second look-up of the path.
    auto version = file.version();
    if (!version) {
        m_directory.reset();
        return version.error();
    }
    const bool kept = m_kept && &file == &*m_kept;
    if (m_directory && *version == m_version && (!kept || m_whole || version->size > kWholeFileLimit))
        return {};
    FileSource source(file, version->size);
    if (kept && version->size <= kWholeFileLimit) {
        // The kept file is locked against writers, so its bytes stay valid
        // until it is let go.
        auto whole = source.read(0, static_cast<std::size_t>(version->size));
        if (!whole) {
            m_directory.reset();
            return whole.error();
        }
        m_whole = std::move(*whole);
    }
    auto dir = m_whole && kept ? ReadDirectory(MemorySource(*m_whole)) : ReadDirectory(source);
    if (!dir) {
        m_directory.reset();
        return dir.error();
    }
    m_directory = std::move(*dir);
    m_version = *version;
    return {};
}

Status ZipArchive::readDirectory() {
    std::optional<platform::File> local;
    auto file = fileFor(platform::OpenMode::ReadDenyWrite, local);
    if (!file)
        return file.error();
    return ensureDirectory(**file);
}

Result<const ZipEntry*> ZipArchive::entryAt(int index) const {
    if (!m_directory || index < 0 || static_cast<std::size_t>(index) >= m_directory->entries.size()) {
        std::string msg = kMsgIndexOutOfRange;
        text::replaceAll(msg, "%d", std::to_string(index));
        return Error(ErrorCode::InvalidArgument, msg);
    }
    return &m_directory->entries[static_cast<std::size_t>(index)];
}

Result<std::string> ZipArchive::entryFileName(int index) const {
    auto e = entryAt(index);
    if (!e)
        return e.error();
    return (*e)->fileName;
}

Result<std::string> ZipArchive::entryPath(int index) const {
    auto e = entryAt(index);
    if (!e)
        return e.error();
    return (*e)->directory;
}

Result<std::string> ZipArchive::extract(const platform::File& file, const ZipEntry& entry) {
    if (m_whole && m_kept && &file == &*m_kept)
        return ExtractEntry(MemorySource(*m_whole), entry);
    auto size = file.size();
    if (!size)
        return size.error();
    FileSource source(file, *size);
    return ExtractEntry(source, entry);
}

Result<std::string> ZipArchive::extractToStream(std::string_view name) {
    if (text::trim(name).empty())
        return Error(ErrorCode::InvalidArgument, "no entry name given");
    std::optional<platform::File> local;
    auto file = fileFor(platform::OpenMode::ReadDenyWrite, local);
    if (!file)
        return file.error();
    QV_TRY(ensureDirectory(**file));
    const ZipEntry* entry = FindEntry(*m_directory, name);
    if (!entry)
        return Error(ErrorCode::NotFound, "the archive holds no entry " + text::sanitizeUtf8(name));
    return extract(**file, *entry);
}

Result<std::string> ZipArchive::extractAt(int index) {
    std::optional<platform::File> local;
    auto file = fileFor(platform::OpenMode::ReadDenyWrite, local);
    if (!file)
        return file.error();
    QV_TRY(ensureDirectory(**file));
    auto entry = entryAt(index);
    if (!entry)
        return entry.error();
    return extract(**file, **entry);
}

Result<std::string> ZipArchive::extractEntry(const ZipEntry& entry) {
    std::optional<platform::File> local;
    auto file = fileFor(platform::OpenMode::ReadDenyWrite, local);
    if (!file)
        return file.error();
    return extract(**file, entry);
}

Status ZipArchive::storeFromStreams(const std::vector<StreamToStore>& streams, const platform::FinalMetadata& final) {
    return storeFromStreams(streams, final, StoreOptions{});
}

Status ZipArchive::storeFromStreams(const std::vector<StreamToStore>& streams, const platform::FinalMetadata& final,
                                    const StoreOptions& o) {
    const bool inPlace = o.destination.empty();
    if (streams.empty() && o.dropped.empty() && inPlace)
        return {};
    // No other program may change the archive while it is being rewritten;
    // a copy only needs it to hold still while it is read.
    std::optional<platform::File> local;
    auto file = fileFor(inPlace ? platform::OpenMode::ReadExclusive : platform::OpenMode::ReadDenyWrite, local);
    if (!file)
        return file.error();
    QV_TRY(ensureDirectory(**file));
    auto size = (*file)->size();
    if (!size)
        return size.error();
    FileSource source(**file, *size);

    auto replacement = platform::ReplacementFile::create(inPlace ? m_path : o.destination);
    if (!replacement)
        return replacement.error();
    FileSink sink(replacement->file());
    auto written = RewriteArchive(source, *m_directory, streams, o.dropped, DosDateTimeNow(), sink);
    if (!written)
        return written.error();

    // The new archive must read back before it takes the old one's place.
    platform::File& out = replacement->file();
    FileSource check(out, out.writePosition());
    auto reread = ReadDirectory(check);
    if (!reread || reread->rebuilt || reread->entries.size() != *written)
        return Error(ErrorCode::Internal, "the rewritten archive of " + m_path + " does not read back");

    // The old file is held until the new one is in its place (or, where an
    // open file can't be replaced, until just before).
    platform::ReplacementFile::CommitOptions options;
    if (inPlace)
        options.original = *file;
    else
        options.looksLike = *file;
    options.keepExisting = !inPlace && !o.overwrite;
    options.final = final;
    Status committed = replacement->commit(options);
    close();
    m_directory.reset();
    return committed;
}

}  // namespace qv::zip
