// File operations built on the platform primitives, the same everywhere.
#include "platform/platform.h"

namespace qv::platform {

Result<std::string> readWholeFile(const std::string& path, std::uint64_t maxSize) {
    auto f = File::open(path, OpenMode::ReadDenyWrite);
    if (!f)
        return f.error();
    auto size = f->size();
    if (!size)
        return size.error();
    if (*size > maxSize)
        return Error(ErrorCode::TooLarge, path + " is larger than " + std::to_string(maxSize) + " bytes");
    std::string data(static_cast<std::size_t>(*size), '\0');
    QV_TRY(f->readExactAt(0, data.data(), data.size()));
    return data;
}

namespace {

Status copyThrough(const std::string& source, const std::string& target, const FinalMetadata& final,
                   bool keepExisting) {
    auto in = File::open(source, OpenMode::ReadDenyWrite);
    if (!in)
        return in.error();
    auto out = ReplacementFile::create(target);
    if (!out)
        return out.error();
    std::string buf(1 << 20, '\0');
    for (std::uint64_t off = 0;;) {
        auto n = in->readAt(off, buf.data(), buf.size());
        if (!n)
            return n.error();
        if (*n == 0)
            break;
        QV_TRY(out->file().write(buf.data(), *n));
        off += *n;
    }
    ReplacementFile::CommitOptions options;
    options.looksLike = &*in;
    options.final = final;
    options.keepExisting = keepExisting;
    return out->commit(options);
}

}  // namespace

Status copyFile(const std::string& source, const std::string& target, const FinalMetadata& final) {
    return copyThrough(source, target, final, false);
}

Status copyFileNew(const std::string& source, const std::string& target, const FinalMetadata& final) {
    return copyThrough(source, target, final, true);
}

Status writeFileAtomically(const std::string& path, std::string_view bytes) {
    auto out = ReplacementFile::create(path);
    if (!out)
        return out.error();
    QV_TRY(out->file().write(bytes));
    return out->commit();
}

Result<std::vector<std::string>> listFiles(const std::string& folder) {
    auto listing = listFolder(folder);
    if (!listing)
        return listing.error();
    return std::move(listing->files);
}

}  // namespace qv::platform
