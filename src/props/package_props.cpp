#include "props/package_props.h"

#include <algorithm>

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

// A date row's text as a point in time: the tool's date-time text, or
// ISO-8601 as the command line takes it.
std::optional<FileTime> parseDateText(const std::string& text) {
    if (auto local = ParseDateTimeText(text))
        return LocalToFileTime(*local);
    return ParseIso8601(text);
}

const char* keyOf(int row) { return kCatalogue[static_cast<std::size_t>(row)].Key; }

// The element value written for a row, checked before anything is written.
Result<std::string> valueToWrite(int row, const std::string& text) {
    if (!package::IsXmlWritable(text))
        return Error(ErrorCode::ConversionFailed,
                     std::string("the value of ") + keyOf(row) + " holds a character that XML can't hold");
    if (row == kRowCreated || row == kRowLastSaved || row == kRowLastPrinted) {
        // Blanks only are no date: the last-printed element goes, the two
        // others are left empty.
        std::string t = text::trim(text);
        if (t.empty())
            return std::string();
        auto utc = parseDateText(t);
        if (!utc)
            return Error(ErrorCode::ConversionFailed,
                         std::string("the value of ") + keyOf(row) + " is not a date: " + text);
        return FormatW3cdtf(*utc);
    }
    if (row == kRowEditTime) {
        // A number of minutes; blanks only erase it like the empty text.
        std::string t = text::trim(text);
        if (t.empty())
            return std::string();
        if (!text::parseInt32(t))
            return Error(ErrorCode::ConversionFailed,
                         std::string("the editing time is not a whole number of minutes: ") + text);
    }
    return text;
}

}  // namespace

Result<RowValues> ReadPackageRows(const std::string& path) {
    auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
    if (!file)
        return withVerb("can't read", file.error());
    return ReadPackageRows(path, std::move(*file));
}

Result<RowValues> ReadPackageRows(const std::string& path, platform::File&& opened) {
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

    RowValues values;
    auto ext = package::ReadElementTexts(parts->extended, elementNames(package::kExtendedRows));
    for (std::size_t i = 0; i < package::kExtendedRows.size(); ++i)
        values[static_cast<std::size_t>(package::kExtendedRows[i])].text = std::move(ext[i]);
    auto core = package::ReadElementTexts(parts->core, elementNames(package::kCoreRows));
    for (std::size_t i = 0; i < package::kCoreRows.size(); ++i)
        values[static_cast<std::size_t>(package::kCoreRows[i])].text = std::move(core[i]);

    for (int row : {kRowCreated, kRowLastSaved, kRowLastPrinted}) {
        RowValue& v = values[static_cast<std::size_t>(row)];
        v.utc = ParseW3cdtf(v.text);
        v.text = v.utc ? FormatDateTimeText(FileTimeToLocal(*v.utc)) : std::string();
    }
    return values;
}

Status WritePackageRows(const std::string& path, const RowTexts& texts, const RowMask& selected,
                        const platform::FinalMetadata& final) {
    RowTexts values;
    for (int row = 0; row < kRowCount; ++row) {
        if (!selected[static_cast<std::size_t>(row)])
            continue;
        auto v = valueToWrite(row, texts[static_cast<std::size_t>(row)]);
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
            flags.push_back(selected[static_cast<std::size_t>(row)]);
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
