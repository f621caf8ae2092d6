#include "props/package/package_props.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>

#include "base/text.h"
#include "props/datetime.h"
#include "props/package/extras.h"
#include "props/package/properties.h"
#include "props/custom_edits.h"
#include "props/package/package_custom.h"
#include "props/package/signatures.h"
#include "zip/archive.h"

namespace qv {

namespace {

using package::PropertyParts;

std::vector<package::ElementName> elementNames(const auto& rows, std::string_view extendedNs) {
    std::vector<package::ElementName> names;
    for (int row : rows)
        names.push_back(package::ElementOf(row, extendedNs));
    return names;
}

Error withVerb(const char* verb, Error e) {
    e.message = std::string(verb) + ": " + e.message;
    return e;
}

// Opens the package, reads its directory and loads both property parts; the
// archive stays open (and locked as the mode says) for a following store.
Result<PropertyParts> loadParts(zip::ZipArchive& zip, const std::string& path, platform::OpenMode mode) {
    zip.setZipName(path);
    QV_TRY(zip.keepOpen(mode));
    QV_TRY(zip.readDirectory());
    return package::LoadPropertyParts(*zip.directory(),
                                      [&zip](const zip::ZipEntry& e) { return zip.extractEntry(e); });
}

const char* keyOf(int row) { return kCatalogue[static_cast<std::size_t>(row)].Key; }

Error cannotHold(int row, const char* what) {
    return Error(ErrorCode::ConversionFailed, std::string("the value of ") + keyOf(row) + " is not " + what);
}

// The element text written for a row's edit, checked before anything is
// written. Dates are written in W3CDTF to the second, UTC; the editing time
// in whole minutes. An erased last-printed date or editing time removes its
// element; the other rows keep theirs, empty.
Result<std::string> valueToWrite(int row, const PropertyEdit& edit) {
    if (edit.action == PropertyEdit::Action::Erase)
        return std::string();
    const PropertyValue& v = edit.value;
    if (row == kRowCreated || row == kRowLastSaved || row == kRowLastPrinted) {
        auto t = std::get_if<Instant>(&v);
        if (!t)
            return cannotHold(row, "a date");
        return FormatW3cdtf(t->utc);
    }
    if (row == kRowEditTime) {
        auto d = std::get_if<Duration>(&v);
        if (!d)
            return cannotHold(row, "a length of time");
        return MinutesFromDuration(d->ticks);
    }
    std::string text;
    if (auto n = std::get_if<std::int64_t>(&v))
        text = std::to_string(*n);
    else if (auto s = std::get_if<std::string>(&v))
        text = *s;
    else
        return cannotHold(row, "a text");
    if (!package::IsXmlWritable(text))
        return Error(ErrorCode::ConversionFailed,
                     std::string("the value of ") + keyOf(row) + " holds a character that XML can't hold");
    return text;
}

// An element's text as what its row holds: a date that is no W3CDTF shows
// nothing, as before; a revision or an editing time that is no whole number
// shows as it is stored.
StoredProperty storedValue(int row, std::optional<std::string> text) {
    StoredProperty p;
    if (!text)
        return p;
    p.present = true;
    if (row == kRowCreated || row == kRowLastSaved || row == kRowLastPrinted) {
        if (auto utc = ParseW3cdtf(*text))
            p.value = Instant{*utc};
        else
            p.value = std::string();
        return p;
    }
    if (row == kRowRevision || row == kRowEditTime) {
        auto n = ExactWholeNumber(*text);
        // Minutes below zero, or beyond what 100-ns units can hold, stay the
        // text they are.
        constexpr std::uint64_t kMostMinutes = UINT64_MAX / kTicksPerMinute;
        if (n && row == kRowRevision) {
            p.value = *n;
            return p;
        }
        if (n && *n >= 0 && static_cast<std::uint64_t>(*n) <= kMostMinutes) {
            p.value = Duration{static_cast<std::uint64_t>(*n) * kTicksPerMinute};
            return p;
        }
    }
    p.value = std::move(*text);
    return p;
}

// The package's bookkeeping parts as a change leaves them: loaded when first
// needed, stored once at the end when changed.
struct Bookkeeping {
    std::optional<package::XmlPart> types;
    std::string typesEntry;
    bool typesChanged = false;
    bool relationshipsChanged = false;

    Status loadTypes(zip::ZipArchive& zip) {
        if (types)
            return {};
        const zip::ZipEntry* entry = zip::FindEntry(*zip.directory(), package::kContentTypesEntry);
        if (!entry)
            return Error(ErrorCode::PackageLayout,
                         "the package has no [Content_Types].xml, so it is no Office Open XML package and its "
                         "property parts can't be added");
        auto bytes = zip.extractEntry(*entry);
        if (!bytes)
            return bytes.error();
        auto loaded = package::XmlPart::Load(*bytes);
        if (!loaded)
            return Error(loaded.error().code, "[Content_Types].xml: " + loaded.error().message);
        types = std::move(*loaded);
        typesEntry = entry->name;
        return {};
    }
};

// The thumbnail's part goes, with its relationships and its Override.
Status removeThumbnail(zip::ZipArchive& zip, PropertyParts& parts, Bookkeeping& books,
                       std::vector<std::string>& dropped) {
    if (!parts.relationships)
        return {};
    auto thumbnail = package::FindThumbnail(*parts.relationships);
    if (!thumbnail)
        return {};
    if (const zip::ZipEntry* entry = zip::FindEntry(*zip.directory(), *thumbnail))
        dropped.push_back(entry->name);
    books.relationshipsChanged |= package::RemoveRelationshipsTo(*parts.relationships, *thumbnail);
    // A package without content types has no Override to remove.
    if (!zip::FindEntry(*zip.directory(), package::kContentTypesEntry))
        return {};
    QV_TRY(books.loadTypes(zip));
    books.typesChanged |= package::RemoveOverride(*books.types, *thumbnail);
    return {};
}

// A created part gets its Override in the content types and, where no
// relationship names it, a package relationship: in the same rewrite.
Status registerCreated(zip::ZipArchive& zip, PropertyParts& parts,
                       const std::vector<const package::PropertyPart*>& created, Bookkeeping& books) {
    if (created.empty())
        return {};
    QV_TRY(books.loadTypes(zip));
    package::XmlPart* types = &*books.types;
    books.typesChanged = true;
    bool& relationshipsChanged = books.relationshipsChanged;
    for (const package::PropertyPart* part : created) {
        bool core = part == &parts.core, custom = part == &parts.custom;
        QV_TRY(package::AddOverride(*types, part->entryName,
                                    core     ? package::kCoreContentType
                                    : custom ? package::kCustomContentType
                                             : package::kExtendedContentType));
        if (part->related)
            continue;
        if (!parts.relationships) {
            parts.relationships = package::NewRelationshipsPart();
            QV_TRY(package::AddRelationshipsDefault(*types));
        }
        std::size_t strict = parts.strict ? 1 : 0;
        std::string_view type = core     ? package::kCorePropertiesTypes[0]
                              : custom ? package::kCustomPropertiesTypes[strict]
                                       : package::kExtendedPropertiesTypes[strict];
        package::AddRelationship(*parts.relationships, type, part->entryName);
        relationshipsChanged = true;
    }
    return {};
}

// The extended part's extras elements a change removes; true when any was.
bool removeExtendedExtras(package::PropertyPart& extended, const ExtrasRemoval& remove) {
    if (!extended.xml)
        return false;
    bool any = false;
    auto drop = [&](bool wanted, std::string_view local) {
        if (wanted)
            any = package::RemoveElements(*extended.xml, extended.extendedNs, local) || any;
    };
    drop(remove.templateName, package::kTemplateElement);
    drop(remove.hyperlinkBase, package::kHyperlinkBaseElement);
    drop(remove.application, package::kApplicationElement);
    drop(remove.application, package::kAppVersionElement);
    return any;
}

DocumentExtras readExtras(const PropertyParts& parts, const zip::ZipDirectory& directory) {
    DocumentExtras x;
    if (parts.extended.xml) {
        const std::string& ns = parts.extended.extendedNs;
        auto texts = package::ReadElementTexts(
            *parts.extended.xml, {{ns, package::kTemplateElement, ""},
                                  {ns, package::kHyperlinkBaseElement, ""},
                                  {ns, package::kApplicationElement, ""},
                                  {ns, package::kAppVersionElement, ""}});
        x.templateName = std::move(texts[0]);
        x.hyperlinkBase = std::move(texts[1]);
        x.application = std::move(texts[2]);
        x.appVersion = std::move(texts[3]);
    }
    if (parts.relationships)
        if (auto name = package::FindThumbnail(*parts.relationships))
            if (const zip::ZipEntry* e = zip::FindEntry(directory, *name)) {
                x.thumbnail = true;
                x.thumbnailPart = text::sanitizeUtf8(e->name);
                text::replaceAll(x.thumbnailPart, "\\", "/");
                x.thumbnailSize = e->uncompressedSize;
            }
    return x;
}

// The user-defined edits on the custom-properties part, stored (and the
// part created) only when the edits change it.
Status applyCustom(PropertyParts& parts, const std::vector<CustomEdit>& edits,
                   std::vector<const package::PropertyPart*>& created,
                   const std::function<Status(const std::string&, const package::XmlPart&)>& store) {
    if (edits.empty())
        return {};
    QV_TRY(CheckCustomEdits(edits));
    package::PropertyPart& part = parts.custom;
    const bool existed = part.xml.has_value();
    if (!existed)
        part.xml = package::NewCustomPart(parts.strict);
    const std::string before = part.xml->Save();
    QV_TRY(EditCustomPart(*part.xml, edits));
    if (part.xml->Save() == before) {
        if (!existed)
            part.xml.reset();
        return {};
    }
    if (!existed)
        created.push_back(&part);
    return store(part.entryName, *part.xml);
}

}  // namespace

Result<DocumentMetadata> ReadPackageMetadata(const std::string& path) {
    auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    if (!file)
        return withVerb("can't read", file.error());
    return ReadPackageMetadata(path, std::move(*file));
}

Result<DocumentMetadata> ReadPackageMetadata(const std::string& path, platform::File&& opened) {
    zip::ZipArchive zip;
    zip.setZipName(path);
    zip.keepOpen(std::move(opened), platform::OpenMode::ReadDenyWrite);
    Status dir = zip.readDirectory();
    auto parts = dir ? package::LoadPropertyParts(*zip.directory(),
                                                  [&zip](const zip::ZipEntry& e) { return zip.extractEntry(e); })
                     : Result<PropertyParts>(dir.error());
    zip.close();
    if (!parts)
        return withVerb("can't read", parts.error());

    // The rows of a part the package lacks stay absent.
    DocumentMetadata values;
    values.extras = readExtras(*parts, *zip.directory());
    auto readPart = [&values](const package::PropertyPart& part, const auto& rows) {
        if (!part.xml)
            return;
        auto texts = package::ReadElementTexts(*part.xml, elementNames(rows, part.extendedNs));
        for (std::size_t i = 0; i < rows.size(); ++i)
            values[rows[i]] = storedValue(rows[i], std::move(texts[i]));
    };
    readPart(parts->extended, package::kExtendedRows);
    readPart(parts->core, package::kCoreRows);
    if (parts->custom.xml)
        values.custom = ReadCustomPart(*parts->custom.xml);
    return values;
}

Status WritePackageMetadata(const std::string& path, const MetadataEdits& edits,
                            const platform::FinalMetadata& final, bool checkOnly, const WriteDestination& to) {
    std::array<std::string, kRowCount> values;
    for (int row = 0; row < kRowCount; ++row) {
        if (!edits[row].changes())
            continue;
        auto v = valueToWrite(row, edits[row]);
        if (!v)
            return withVerb("can't write", v.error());
        values[static_cast<std::size_t>(row)] = std::move(*v);
    }

    // Both parts are loaded and changed before the archive is touched, and
    // then replaced together in one rewrite.
    zip::ZipArchive zip;
    auto parts = loadParts(zip, path,
                           checkOnly || !to.inPlace() ? platform::OpenMode::ReadDenyWrite
                                                      : platform::OpenMode::ReadExclusive);
    if (!parts)
        return withVerb("can't write", parts.error());
    std::vector<zip::StreamToStore> streams;
    std::deque<std::string> saved;  // the stored texts, kept in place for the store
    auto store = [&](const std::string& name, const package::XmlPart& part) -> Status {
        saved.push_back(part.Save());
        // The parser is lenient in places where a writer can't be; a part
        // that would not load again is never stored.
        if (!package::XmlPart::Load(saved.back()))
            return Error(ErrorCode::BadXml, name + ": the changed part would not be well-formed XML");
        streams.push_back({name, saved.back()});
        return {};
    };
    // A part none of whose rows is written keeps its stored bytes; a part the
    // package lacks is created only for a value that is not empty.
    std::vector<const package::PropertyPart*> created;
    auto apply = [&](package::PropertyPart& part, const auto& rows, bool core, bool changed) -> Status {
        bool anyRow = false, anyValue = false;
        for (int row : rows) {
            anyRow = anyRow || edits[row].changes();
            anyValue = anyValue || (edits[row].changes() && !values[static_cast<std::size_t>(row)].empty());
        }
        if (changed && !anyRow)
            return store(part.entryName, *part.xml);
        if (!anyRow || (!part.xml && !anyValue))
            return {};
        if (!part.xml) {
            part.xml = core ? package::NewCorePart() : package::NewExtendedPart(parts->strict);
            created.push_back(&part);
        }
        for (int row : rows) {
            if (edits[row].changes())
                package::ApplyElementValue(*part.xml, package::ElementOf(row, part.extendedNs),
                                           values[static_cast<std::size_t>(row)],
                                           row == kRowLastPrinted || row == kRowEditTime);
        }
        return store(part.entryName, *part.xml);
    };
    const bool extrasGone = removeExtendedExtras(parts->extended, edits.remove);
    if (auto st = apply(parts->extended, package::kExtendedRows, false, extrasGone); !st)
        return withVerb("can't write", st.error());
    if (auto st = apply(parts->core, package::kCoreRows, true, false); !st)
        return withVerb("can't write", st.error());
    if (auto st = applyCustom(*parts, edits.custom, created, store); !st)
        return withVerb("can't write", st.error());
    Bookkeeping books;
    std::vector<std::string> dropped;
    if (edits.remove.thumbnail)
        if (auto st = removeThumbnail(zip, *parts, books, dropped); !st)
            return withVerb("can't write", st.error());
    if (streams.empty() && dropped.empty() && !books.relationshipsChanged && !books.typesChanged) {
        // Nothing to rewrite (a removal of a property the file lacks): only
        // the times and attributes are set, or the copy made as it is.
        zip.close();
        if (checkOnly)
            return {};
        if (to.inPlace())
            return platform::applyFileMetadata(path, final);
        return to.overwrite ? platform::copyFile(path, to.path, final) : platform::copyFileNew(path, to.path, final);
    }
    if (auto st = registerCreated(zip, *parts, created, books); !st)
        return withVerb("can't write", st.error());
    if (books.relationshipsChanged)
        if (auto st = store(parts->relationshipsEntry, *parts->relationships); !st)
            return withVerb("can't write", st.error());
    if (books.typesChanged)
        if (auto st = store(books.typesEntry, *books.types); !st)
            return withVerb("can't write", st.error());
    if (!edits.allowUnsigning) {
        const package::SignedParts signedParts = package::FindSignedParts(
            *zip.directory(), [&zip](const zip::ZipEntry& e) { return zip.extractEntry(e); }, parts->relationships);
        std::vector<std::string> touched = dropped;
        for (const zip::StreamToStore& s : streams)
            touched.push_back(s.name);
        for (const std::string& name : touched) {
            if (!signedParts.covers(name))
                continue;
            std::string shown = text::sanitizeUtf8(name);
            text::replaceAll(shown, "\\", "/");
            return Error(ErrorCode::Signed, "can't write: the document's digital signature covers " + shown +
                                                ", so a change would make the signature invalid");
        }
    }
    if (checkOnly)
        return {};
    if (auto stored = zip.storeFromStreams(streams, final, {dropped, to.path, to.overwrite}); !stored)
        return withVerb("can't write", stored.error());
    return {};
}

}  // namespace qv
