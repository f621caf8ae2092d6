// The fourteen rows over a compound file's two summary property sets. The
// only place where the container and the property-set format meet.
#include "props/compound/compound_props.h"

#include <optional>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "props/catalogue.h"
#include "props/compound/cfb/compound_file.h"
#include "props/compound/cfb/transaction.h"
#include "props/compound/compound_custom.h"
#include "props/custom_edits.h"
#include "props/compound/propset/property_set.h"

namespace qv {

namespace {

constexpr std::u16string_view kSummaryStream = u"\u0005SummaryInformation";
constexpr std::u16string_view kDocSummaryStream = u"\u0005DocumentSummaryInformation";
// The extras' identifiers: template, thumbnail and program name in the
// summary set, the program's version in the document summary set.
constexpr std::uint32_t kPidTemplate = 7;
constexpr std::uint32_t kPidThumbnail = 17;
constexpr std::uint32_t kPidAppName = 18;
constexpr std::uint32_t kPidDocVersion = 23;
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

// A set as stored; none when the file holds no such stream. A set that is
// there but can't be read is damage, and says so: showing its rows empty
// would pass for a workbook without properties.
Result<std::optional<propset::PropertySet>> readSet(const cfb::CompoundFile& cf, int set) {
    auto index = cf.findInRoot(setInfo(set).stream);
    if (!index || !cf.entries()[*index].isStream())
        return std::optional<propset::PropertySet>();
    auto bytes = cf.readStream(*index, kMaxPropertyStream);
    if (!bytes)
        return bytes.error();
    auto ps = propset::PropertySet::parse(*bytes);
    if (!ps)
        return ps.error();
    return std::optional<propset::PropertySet>(std::move(*ps));
}

// A section of a set, by its format id; none when the set lacks it.
Result<std::optional<propset::Section>> sectionOf(const std::optional<propset::PropertySet>& ps,
                                                  const propset::Clsid& fmtid) {
    int s = ps ? ps->findSection(fmtid) : -1;
    if (s < 0)
        return std::optional<propset::Section>();
    auto section = propset::Section::parse(ps->sections[static_cast<std::size_t>(s)].bytes);
    if (!section)
        return section.error();
    return std::optional<propset::Section>(std::move(*section));
}

const propset::Clsid& userDefinedFmtid() {
    static const propset::Clsid id = *propset::parseGuid(kFmtidUserDefinedProperties);
    return id;
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

// Writes the planned rows of one set into its own section.
Status editRows(propset::PropertySet& ps, int set, const propset::Clsid& fmtid,
                const std::optional<Planned> (&planned)[kRowCount]) {
    bool any = false;
    for (const PropertyRow& row : kCatalogue)
        any = any || (row.PropertySet == set && planned[row.Index]);
    if (!any)
        return {};
    int s = ps.findSection(fmtid);
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
    ps.sections[static_cast<std::size_t>(s)].fmtid = fmtid;
    return {};
}

// The extras a change removes from one set's own section; a section that
// holds none of them is left as it is.
Status removeExtras(propset::PropertySet& ps, int set, const propset::Clsid& fmtid, const ExtrasRemoval& remove) {
    std::vector<std::uint32_t> ids;
    if (set == kSummaryInformationSet) {
        if (remove.templateName)
            ids.push_back(kPidTemplate);
        if (remove.thumbnail)
            ids.push_back(kPidThumbnail);
        if (remove.application)
            ids.push_back(kPidAppName);
    } else if (remove.application) {
        ids.push_back(kPidDocVersion);
    }
    int s = ps.findSection(fmtid);
    if (ids.empty() || s < 0)
        return {};
    auto section = propset::Section::parse(ps.sections[static_cast<std::size_t>(s)].bytes);
    if (!section)
        return section.error();
    bool any = false;
    for (std::uint32_t id : ids)
        if (section->find(id)) {
            section->remove(id);
            any = true;
        }
    if (any) {
        ps.sections[static_cast<std::size_t>(s)].bytes = section->serialize();
        ps.sections[static_cast<std::size_t>(s)].fmtid = fmtid;
    }
    return {};
}

// The extras as the two sets hold them; a value that can't be decoded is
// there, with no text.
DocumentExtras readExtras(const std::optional<propset::Section>& summary, const std::optional<propset::Section>& doc,
                          const std::optional<propset::Section>& user) {
    DocumentExtras x;
    auto textOf = [](const propset::Section& s, std::uint32_t id) -> std::optional<std::string> {
        if (!s.find(id))
            return std::nullopt;
        auto v = s.value(id);
        return v ? propset::FormatPropertyValue(*v) : std::string();
    };
    if (summary) {
        x.templateName = textOf(*summary, kPidTemplate);
        x.application = textOf(*summary, kPidAppName);
        if (const propset::StoredProperty* t = summary->find(kPidThumbnail)) {
            x.thumbnail = true;
            x.thumbnailSize = t->bytes.size();
        }
    }
    if (doc && doc->find(kPidDocVersion)) {
        // The high word is the major version, the low word the minor one.
        auto v = doc->value(kPidDocVersion);
        if (v && v->type == propset::kVtI4) {
            auto n = static_cast<std::uint32_t>(v->integer);
            std::string minor = std::to_string(n & 0xFFFF);
            x.appVersion = std::to_string(n >> 16) + "." + std::string(minor.size() < 4 ? 4 - minor.size() : 0, '0') + minor;
        } else {
            x.appVersion = v ? propset::FormatPropertyValue(*v) : std::string();
        }
    }
    if (user)
        x.hyperlinkBase = ReadLinkBase(*user);
    return x;
}

// The user-defined section, created after the document summary section when
// the set lacks it, in that section's code page.
Status editUserDefined(propset::PropertySet& ps, const std::vector<CustomEdit>& edits) {
    int u = ps.findSection(userDefinedFmtid());
    std::optional<propset::Section> section;
    if (u >= 0) {
        auto parsed = propset::Section::parse(ps.sections[static_cast<std::size_t>(u)].bytes);
        if (!parsed)
            return parsed.error();
        section = std::move(*parsed);
    } else {
        int d = ps.findSection(setInfo(kDocSummaryInformationSet).fmtid);
        if (d != 0)
            return Error(ErrorCode::BadPropertySet,
                         "the document summary set doesn't start with its own section, so no user-defined "
                         "section can follow it");
        auto first = propset::Section::parse(ps.sections[0].bytes);
        if (!first)
            return first.error();
        section = propset::Section::create(first->codePage().value_or(platform::ansiCodePage()));
        // Readers look the names up in a dictionary even when it is empty.
        section->setStored(propset::kPidDictionary, std::string(4, '\0'));
    }
    // A section the edits leave as it was (a new one that only removals
    // met) is neither stored nor created.
    const std::string before = section->serialize();
    QV_TRY(EditUserDefinedSection(*section, edits));
    std::string after = section->serialize();
    if (after == before)
        return {};
    if (u < 0) {
        ps.sections.push_back(propset::PropertySet::SectionBytes{userDefinedFmtid(), std::move(after)});
        u = static_cast<int>(ps.sections.size()) - 1;
    } else {
        ps.sections[static_cast<std::size_t>(u)].bytes = std::move(after);
    }
    ps.sections[static_cast<std::size_t>(u)].fmtid = userDefinedFmtid();
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
    std::optional<propset::Section> sections[2], userSection;
    DocumentMetadata values;
    for (int i = 0; i < 2; ++i) {
        int set = i == 0 ? kSummaryInformationSet : kDocSummaryInformationSet;
        auto ps = readSet(*cf, set);
        if (!ps)
            return ps.error();
        auto section = sectionOf(*ps, setInfo(set).fmtid);
        if (!section)
            return section.error();
        sections[i] = std::move(*section);
        if (set != kDocSummaryInformationSet)
            continue;
        auto user = sectionOf(*ps, userDefinedFmtid());
        if (!user)
            return user.error();
        if (*user) {
            auto custom = ReadUserDefinedSection(**user);
            if (!custom)
                return custom.error();
            values.custom = std::move(*custom);
            userSection = std::move(*user);
        }
    }
    values.extras = readExtras(sections[0], sections[1], userSection);
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
                             const platform::FinalMetadata& final, bool checkOnly, const WriteDestination& to) {
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
    QV_TRY(CheckCustomEdits(edits.custom));
    const ExtrasRemoval& remove = edits.remove;
    std::vector<CustomEdit> custom = edits.custom;
    if (remove.hyperlinkBase)
        custom.push_back(CustomEdit::remove(std::string(kLinkBaseName), true));
    if (!custom.empty() || remove.application)
        setUsed[1] = true;
    if (remove.templateName || remove.application || remove.thumbnail)
        setUsed[0] = true;
    // Nothing of the file changes: only its times and attributes are set,
    // or the copy is made as it is.
    auto unchanged = [&]() -> Status {
        if (checkOnly)
            return {};
        if (to.inPlace())
            return platform::applyFileMetadata(path, final);
        return to.overwrite ? platform::copyFile(path, to.path, final) : platform::copyFileNew(path, to.path, final);
    };
    if (!setUsed[0] && !setUsed[1])
        return unchanged();

    auto file = platform::File::open(path, checkOnly || !to.inPlace() ? platform::OpenMode::ReadDenyWrite
                                                                     : platform::OpenMode::ReadExclusive);
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
        const std::string before = ps.serialize();
        QV_TRY(editRows(ps, set, info.fmtid, planned));
        QV_TRY(removeExtras(ps, set, info.fmtid, remove));
        if (set == kDocSummaryInformationSet && !custom.empty())
            QV_TRY(editUserDefined(ps, custom));
        // A set the edits leave as it was (a removal of a property the file
        // lacks) is not rewritten.
        std::string after = ps.serialize();
        if (after == before)
            continue;
        written.emplace_back(info.stream, std::move(after));
        tx.setStream(info.stream, written.back().second);
    }
    if (written.empty() || checkOnly) {
        QV_TRY(file->close());
        return unchanged();
    }

    auto replacement = platform::ReplacementFile::create(to.inPlace() ? path : to.path);
    if (!replacement)
        return replacement.error();
    cfb::FileSink sink(replacement->file());
    QV_TRY(tx.writeTo(sink));
    QV_TRY(checkReadsBack(replacement->file(), written, path));
    // The original is held exclusively from its first read until its
    // replacement has taken its place, and must still be as it was read.
    platform::ReplacementFile::CommitOptions options;
    if (to.inPlace())
        options.original = &*file;
    else
        options.looksLike = &*file;
    options.keepExisting = !to.inPlace() && !to.overwrite;
    options.final = final;
    return replacement->commit(options);
}

}  // namespace qv
