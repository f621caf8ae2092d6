#include "props/backend.h"

#include <algorithm>

#include "base/text.h"

#include "props/compound/compound_props.h"
#include "props/custom_edits.h"
#include "props/odf/flat.h"
#include "props/odf/odf_props.h"
#include "props/package/package_props.h"

namespace qv {

namespace {

constexpr std::string_view kCompoundSignature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr std::string_view kZipLocalHeader("PK\x03\x04", 4);
constexpr std::string_view kZipEndRecord("PK\x05\x06", 4);
// The end record (22 bytes) and the longest comment that may follow it.
constexpr std::size_t kEndSearch = 22 + 65535;

class CompoundBackend final : public MetadataBackend {
public:
    ContainerKind kind() const override { return ContainerKind::CompoundFile; }
    Result<DocumentMetadata> read(const std::string& path) const override { return ReadCompoundMetadata(path); }
    Result<DocumentMetadata> read(const std::string&, platform::File&& opened) const override {
        return ReadCompoundMetadata(opened);
    }
    Status write(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                 const WriteDestination& to) const override {
        return WriteCompoundMetadata(path, trimmed(edits), final, false, to);
    }
    Status check(const std::string& path, const MetadataEdits& edits) const override {
        return WriteCompoundMetadata(path, trimmed(edits), {}, true);
    }
    bool showsEmptyValuesWhenUnreadable() const override { return true; }

private:
    // Property sets hold no blanks around a text.
    static MetadataEdits trimmed(const MetadataEdits& edits) {
        MetadataEdits out = edits;
        for (PropertyEdit& e : out.rows)
            if (auto s = std::get_if<std::string>(&e.value))
                *s = text::trim(*s);
        return out;
    }
};

class PackageBackend final : public MetadataBackend {
public:
    ContainerKind kind() const override { return ContainerKind::Package; }
    Result<DocumentMetadata> read(const std::string& path) const override { return ReadPackageMetadata(path); }
    Result<DocumentMetadata> read(const std::string& path, platform::File&& opened) const override {
        return ReadPackageMetadata(path, std::move(opened));
    }
    Status write(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                 const WriteDestination& to) const override {
        return WritePackageMetadata(path, edits, final, false, to);
    }
    Status check(const std::string& path, const MetadataEdits& edits) const override {
        return WritePackageMetadata(path, edits, {}, true);
    }
    bool showsEmptyValuesWhenUnreadable() const override { return false; }
};

class OdfBackend final : public MetadataBackend {
public:
    ContainerKind kind() const override { return ContainerKind::OpenDocument; }
    Result<DocumentMetadata> read(const std::string& path) const override { return ReadOdfMetadata(path); }
    Result<DocumentMetadata> read(const std::string& path, platform::File&& opened) const override {
        return ReadOdfMetadata(path, std::move(opened));
    }
    Status write(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                 const WriteDestination& to) const override {
        if (Status st = CheckCustomEdits(edits.custom); !st)
            return Error(st.error().code, "can't write: " + st.error().message);
        return WriteOdfMetadata(path, edits, final, false, to);
    }
    Status check(const std::string& path, const MetadataEdits& edits) const override {
        if (Status st = CheckCustomEdits(edits.custom); !st)
            return Error(st.error().code, "can't write: " + st.error().message);
        return WriteOdfMetadata(path, edits, {}, true);
    }
    bool showsEmptyValuesWhenUnreadable() const override { return false; }
};

class FlatOdfBackend final : public MetadataBackend {
public:
    ContainerKind kind() const override { return ContainerKind::FlatOpenDocument; }
    Result<DocumentMetadata> read(const std::string& path) const override { return ReadFlatMetadata(path); }
    Result<DocumentMetadata> read(const std::string& path, platform::File&& opened) const override {
        return ReadFlatMetadata(path, std::move(opened));
    }
    Status write(const std::string& path, const MetadataEdits& edits, const platform::FinalMetadata& final,
                 const WriteDestination& to) const override {
        if (Status st = CheckCustomEdits(edits.custom); !st)
            return Error(st.error().code, "can't write: " + st.error().message);
        return WriteFlatMetadata(path, edits, final, false, to);
    }
    Status check(const std::string& path, const MetadataEdits& edits) const override {
        if (Status st = CheckCustomEdits(edits.custom); !st)
            return Error(st.error().code, "can't write: " + st.error().message);
        return WriteFlatMetadata(path, edits, {}, true);
    }
    bool showsEmptyValuesWhenUnreadable() const override { return false; }
};

const CompoundBackend kCompound;
const PackageBackend kPackage;
const OdfBackend kOdf;
const FlatOdfBackend kFlatOdf;

}  // namespace

Result<ContainerKind> containerKindOf(std::string_view head, std::string_view tail) {
    if (head.substr(0, kCompoundSignature.size()) == kCompoundSignature)
        return ContainerKind::CompoundFile;
    if (OpenDocumentMediaType(head))
        return ContainerKind::OpenDocument;
    if (head.substr(0, kZipLocalHeader.size()) == kZipLocalHeader)
        return ContainerKind::Package;
    if (IsFlatOpenDocument(head))
        return ContainerKind::FlatOpenDocument;
    if (tail.rfind(kZipEndRecord) != std::string_view::npos)
        return ContainerKind::Package;
    return Error(ErrorCode::NotAnOfficeDocument,
                 "not an Office document: neither a compound file nor a ZIP package");
}

Result<OpenDocument> openDocument(const std::string& path) {
    auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    if (!file)
        return file.error();
    // Taken when the file was opened and locked against our writers.
    const std::uint64_t size = file->openedVersion().size;
    char head[kKindHeadSize] = {};
    auto got = file->readAt(0, head, sizeof head);
    if (!got)
        return got.error();
    std::string tail;
    std::string_view first(head, *got);
    if (first.substr(0, 4) != kZipLocalHeader && !first.starts_with(kCompoundSignature) && size >= 22) {
        std::uint64_t n = std::min<std::uint64_t>(size, kEndSearch);
        tail.resize(static_cast<std::size_t>(n));
        QV_TRY(file->readExactAt(size - n, tail.data(), tail.size()));
    }
    auto kind = containerKindOf(first, tail);
    if (!kind) {
        Error e = kind.error();
        e.message = path + " is " + e.message;
        return e;
    }
    // An OpenDocument writer that compressed "mimetype" or put it elsewhere;
    // an archive that starts with its content types is an Office package.
    auto startsAsPackage = [&first] {
        std::string_view name = first.substr(30);
        return name.starts_with("[Content_Types].xml") || name.starts_with("_rels/.rels");
    };
    if (*kind == ContainerKind::Package && first.starts_with(kZipLocalHeader) && first.size() >= 30 &&
        !startsAsPackage() && IsOpenDocumentArchive(*file, size))
        kind = ContainerKind::OpenDocument;
    OpenDocument doc;
    doc.file = std::move(*file);
    switch (*kind) {
    case ContainerKind::CompoundFile: doc.backend = &kCompound; break;
    case ContainerKind::Package: doc.backend = &kPackage; break;
    case ContainerKind::OpenDocument: doc.backend = &kOdf; break;
    case ContainerKind::FlatOpenDocument: doc.backend = &kFlatOdf; break;
    }
    return doc;
}

Result<const MetadataBackend*> backendFor(const std::string& path) {
    auto doc = openDocument(path);
    if (!doc)
        return doc.error();
    return doc->backend;
}

}  // namespace qv
