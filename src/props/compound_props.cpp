// The fourteen rows over a compound file's two summary property sets. The
// only place where the container and the property-set format meet.
#include "props/compound_props.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "props/catalogue.h"
#include "props/cfb/compound_file.h"
#include "props/cfb/transaction.h"
#include "props/propset/property_set.h"

namespace qv {

namespace {

constexpr std::u16string_view kSummaryStream = u"\u0005SummaryInformation";
constexpr std::u16string_view kDocSummaryStream = u"\u0005DocumentSummaryInformation";
// Property-set streams are small; this only bounds what a damaged file can make us allocate.
constexpr std::uint64_t kMaxPropertyStream = 64u << 20;

struct SetInfo {
    std::u16string_view stream;
    propset::Clsid fmtid;
};

SetInfo setInfo(int set) {
    // Parsed once: every workbook read asks for both.
    static const propset::Clsid summaryFmtid = *propset::parseGuid(kFmtidSummaryInformation);
    static const propset::Clsid docSummaryFmtid = *propset::parseGuid(kFmtidDocSummaryInformation);
    bool summary = set == kSummaryInformationSet;
    return SetInfo{summary ? kSummaryStream : kDocSummaryStream, summary ? summaryFmtid : docSummaryFmtid};
}

// A set's own section; none when the file holds no such set. A set that is
// there but can't be read is damage, and says so: showing its rows empty
// would pass for a workbook without properties.
Result<std::optional<propset::Section>> readSection(const cfb::CompoundFile& cf, int set) {
    SetInfo info = setInfo(set);
    auto index = cf.findInRoot(info.stream);
    if (!index || !cf.entries()[*index].isStream())
        return std::optional<propset::Section>();
    auto bytes = cf.readStream(*index, kMaxPropertyStream);
    if (!bytes)
        return bytes.error();
    auto ps = propset::PropertySet::parse(*bytes);
    if (!ps)
        return ps.error();
    int s = ps->findSection(info.fmtid);
    if (s < 0)
        return std::optional<propset::Section>();
    auto section = propset::Section::parse(ps->sections[static_cast<std::size_t>(s)].bytes);
    if (!section)
        return section.error();
    return std::optional<propset::Section>(std::move(*section));
}

// An encrypted document keeps its whole content, properties included, in
// one encrypted stream; the file around it holds no property sets of its own.
Status refuseEncrypted(const cfb::CompoundFile& cf) {
    if (cf.findInRoot(u"EncryptionInfo") && cf.findInRoot(u"EncryptedPackage"))
        return Error(ErrorCode::PasswordProtected, "password-protected: its properties are encrypted");
    return {};
}

// A stored value as what its row holds. Some writers store a file time of 0
// for "no date": it is not 1 January 1601, and shows nothing.
Result<StoredProperty> rowValue(const propset::Section& section, const PropertyRow& row) {
    StoredProperty out;
    auto v = section.value(row.PropertyId);
    // A value that is there but can't be decoded (a code page this system
    // lacks) must not pass for an empty one.
    if (!v && v.error().code != ErrorCode::NotFound)
        return v.error();
    if (!v)
        return out;
    out.present = true;
    if (v->type == propset::kVtFiletime) {
        if (row.Index == kRowEditTime)
            out.value = Duration{v->unsignedInteger};
        else if (v->unsignedInteger != 0)
            out.value = Instant{v->unsignedInteger};
        else
            out.value = std::string();
        return out;
    }
    std::string text = propset::FormatPropertyValue(*v);
    if (row.Index == kRowRevision)
        if (auto n = ExactWholeNumber(text)) {
            out.value = *n;
            return out;
        }
    out.value = std::move(text);
    return out;
}

// What a row's edit becomes in the file, decided before the file is touched.
struct Planned {
    enum class Kind { Text, FileTime, Null } kind = Kind::Null;
    std::string text;
    FileTime time = 0;
};

Error wrongKind(const PropertyRow& row, const char* what) {
    return Error(ErrorCode::ConversionFailed, std::string("the value of ") + row.Key + " is not " + what);
}

Result<Planned> plan(const PropertyRow& row, const PropertyEdit& edit) {
    Planned p;
    bool text = row.ValueType == kVtLpstr;
    if (edit.action == PropertyEdit::Action::Erase) {
        // A string property keeps its slot with an empty string; a date or
        // the editing time becomes a null value.
        p.kind = text ? Planned::Kind::Text : Planned::Kind::Null;
        return p;
    }
    if (text) {
        p.kind = Planned::Kind::Text;
        if (auto s = std::get_if<std::string>(&edit.value))
            p.text = *s;
        else if (auto n = std::get_if<std::int64_t>(&edit.value))
            p.text = std::to_string(*n);
        else
            return wrongKind(row, "a text");
        return p;
    }
    p.kind = Planned::Kind::FileTime;
    if (row.Index == kRowEditTime) {
        auto d = std::get_if<Duration>(&edit.value);
        if (!d)
            return wrongKind(row, "a length of time");
        p.time = static_cast<FileTime>(d->ticks);
        return p;
    }
    auto t = std::get_if<Instant>(&edit.value);
    if (!t)
        return wrongKind(row, "a date");
    p.time = t->utc;
    return p;
}

// The new file must read back, with the property sets just written, before
// it takes the old one's place: a fault of the writer then fails the change
// instead of leaving a workbook that can't be opened.
Status checkReadsBack(const platform::File& file,
                      const std::vector<std::pair<std::u16string_view, std::string>>& written,
                      const std::string& path) {
    auto fail = [&path] {
        return Error(ErrorCode::Internal, "the rewritten compound file " + path + " does not read back");
    };
    auto source = cfb::FileSource::over(file);
    if (!source)
        return fail();
    auto cf = cfb::CompoundFile::open(*source);
    if (!cf)
        return fail();
    for (const auto& [name, bytes] : written) {
        auto index = cf->findInRoot(name);
        if (!index)
            return fail();
        auto back = cf->readStream(*index, kMaxPropertyStream);
        if (!back || *back != bytes)
            return fail();
    }
    return {};
}

}  // namespace

Result<DocumentMetadata> ReadCompoundMetadata(const std::string& path) {
    auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    if (!file)
        return file.error();
    return ReadCompoundMetadata(*file);
}

Result<DocumentMetadata> ReadCompoundMetadata(const platform::File& opened) {
    const platform::File* file = &opened;
    auto source = cfb::FileSource::over(*file);
    if (!source)
        return source.error();
    auto cf = cfb::CompoundFile::open(*source);
    if (!cf)
        return cf.error();
    QV_TRY(refuseEncrypted(*cf));
    std::optional<propset::Section> sections[2];
    for (int i = 0; i < 2; ++i) {
        auto section = readSection(*cf, i == 0 ? kSummaryInformationSet : kDocSummaryInformationSet);
        if (!section)
            return section.error();
        sections[i] = std::move(*section);
    }
    DocumentMetadata values;
    for (const PropertyRow& row : kCatalogue) {
        const auto& section = sections[row.PropertySet == kSummaryInformationSet ? 0 : 1];
        if (!section)
            continue;
        auto value = rowValue(*section, row);
        if (!value)
            return value.error();
        values[row.Index] = std::move(*value);
    }
    return values;
}

Status WriteCompoundMetadata(const std::string& path, const MetadataEdits& edits,
                             const platform::FinalMetadata& final) {
    std::optional<Planned> planned[kRowCount];
    bool setUsed[2] = {false, false};
    for (const PropertyRow& row : kCatalogue) {
        if (!edits[row.Index].changes())
            continue;
        auto p = plan(row, edits[row.Index]);
        if (!p)
            return p.error();
        planned[row.Index] = std::move(*p);
        setUsed[row.PropertySet == kSummaryInformationSet ? 0 : 1] = true;
    }
    if (!setUsed[0] && !setUsed[1])
        return {};

    auto file = platform::File::open(path, platform::OpenMode::ReadExclusive);
    if (!file)
        return file.error();
    auto source = cfb::FileSource::over(*file);
    if (!source)
        return source.error();
    auto cf = cfb::CompoundFile::open(*source);
    if (!cf)
        return cf.error();
    QV_TRY(refuseEncrypted(*cf));

    cfb::Transaction tx(*cf);
    std::vector<std::pair<std::u16string_view, std::string>> written;
    for (int set : {kSummaryInformationSet, kDocSummaryInformationSet}) {
        if (!setUsed[set == kSummaryInformationSet ? 0 : 1])
            continue;
        SetInfo info = setInfo(set);
        propset::PropertySet ps;
        auto index = cf->findInRoot(info.stream);
        if (!index) {
            ps = propset::PropertySet::create(info.fmtid, platform::ansiCodePage());
        } else {
            // A set that exists but can't be read is not replaced: that would
            // lose whatever else it holds.
            if (!cf->entries()[*index].isStream())
                return Error(ErrorCode::BadCompoundFile, "the property set's name belongs to a storage");
            auto bytes = cf->readStream(*index, kMaxPropertyStream);
            if (!bytes)
                return bytes.error();
            auto parsed = propset::PropertySet::parse(*bytes);
            if (!parsed)
                return parsed.error();
            ps = std::move(*parsed);
        }
        int s = ps.findSection(info.fmtid);
        if (s < 0)
            return Error(ErrorCode::BadPropertySet, "the property set has no section of its own format");
        auto section = propset::Section::parse(ps.sections[static_cast<std::size_t>(s)].bytes);
        if (!section)
            return section.error();
        for (const PropertyRow& row : kCatalogue) {
            const auto& p = planned[row.Index];
            if (!p || row.PropertySet != set)
                continue;
            switch (p->kind) {
            case Planned::Kind::Text:
                QV_TRY(section->setText(row.PropertyId, p->text));
                break;
            case Planned::Kind::FileTime:
                section->setFileTime(row.PropertyId, p->time);
                break;
            case Planned::Kind::Null:
                section->setNull(row.PropertyId);
                break;
            }
        }
        ps.sections[static_cast<std::size_t>(s)].bytes = section->serialize();
        // A section found under the byte-swapped form of its id is stored
        // under the standard one, so every reader finds what was written.
        ps.sections[static_cast<std::size_t>(s)].fmtid = info.fmtid;
        written.emplace_back(info.stream, ps.serialize());
        tx.setStream(info.stream, written.back().second);
    }

    auto replacement = platform::ReplacementFile::create(path);
    if (!replacement)
        return replacement.error();
    cfb::FileSink sink(replacement->file());
    QV_TRY(tx.writeTo(sink));
    QV_TRY(checkReadsBack(replacement->file(), written, path));
    // The original is held exclusively from its first read until its
    // replacement has taken its place, and must still be as it was read.
    platform::ReplacementFile::CommitOptions options;
    options.original = &*file;
    options.final = final;
    return replacement->commit(options);
}

}  // namespace qv
