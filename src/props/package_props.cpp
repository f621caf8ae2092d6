#include "props/package_props.h"

#include <algorithm>
#include <cstdint>

#include "base/text.h"
#include "props/datetime.h"
#include "props/package/properties.h"
#include "zip/archive.h"

namespace qv {

namespace {

using package::PropertyParts;

std::vector<std::string_view> elementNames(const auto& rows) {
    std::vector<std::string_view> names;
    for (int row : rows)
        names.push_back(kCatalogue[static_cast<std::size_t>(row)].PackageElement);
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
        // Minutes beyond what 100-ns units can hold stay the text they are.
        constexpr std::int64_t kMostMinutes = INT64_MAX / kTicksPerMinute;
        if (n && row == kRowRevision) {
            p.value = *n;
            return p;
        }
        if (n && *n <= kMostMinutes && *n >= -kMostMinutes) {
            p.value = Duration{*n * kTicksPerMinute};
            return p;
        }
    }
    p.value = std::move(*text);
    return p;
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

    DocumentMetadata values;
    auto ext = package::ReadElementTexts(parts->extended, elementNames(package::kExtendedRows));
    for (std::size_t i = 0; i < package::kExtendedRows.size(); ++i)
        values[package::kExtendedRows[i]] = storedValue(package::kExtendedRows[i], std::move(ext[i]));
    auto core = package::ReadElementTexts(parts->core, elementNames(package::kCoreRows));
    for (std::size_t i = 0; i < package::kCoreRows.size(); ++i)
        values[package::kCoreRows[i]] = storedValue(package::kCoreRows[i], std::move(core[i]));
    return values;
}

Status WritePackageMetadata(const std::string& path, const MetadataEdits& edits,
                            const platform::FinalMetadata& final) {
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
    auto parts = loadParts(zip, path, platform::OpenMode::ReadExclusive);
    if (!parts)
        return withVerb("can't write", parts.error());
    // A part none of whose rows is written keeps its stored bytes.
    std::vector<zip::StreamToStore> streams;
    std::string extended, core;
    auto apply = [&](package::XmlPart& part, const auto& rows, const std::string& name, std::string& saved) -> Status {
        std::vector<std::string> list;
        std::vector<bool> flags;
        for (int row : rows) {
            list.push_back(values[static_cast<std::size_t>(row)]);
            flags.push_back(edits[row].changes());
        }
        if (std::find(flags.begin(), flags.end(), true) == flags.end())
            return {};
        QV_TRY(package::ApplyElementList(part, elementNames(rows), list, flags));
        saved = part.Save();
        // The parser is lenient in places where a writer can't be; a part
        // that would not load again is never stored.
        if (!package::XmlPart::Load(saved))
            return Error(ErrorCode::BadXml, name + ": the changed part would not be well-formed XML");
        streams.push_back({name, saved});
        return {};
    };
    if (auto st = apply(parts->extended, package::kExtendedRows, parts->names.extended, extended); !st)
        return withVerb("can't write", st.error());
    if (auto st = apply(parts->core, package::kCoreRows, parts->names.core, core); !st)
        return withVerb("can't write", st.error());
    if (auto stored = zip.storeFromStreams(streams, final); !stored)
        return withVerb("can't write", stored.error());
    return {};
}

}  // namespace qv
