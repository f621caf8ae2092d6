// The document properties of an OpenDocument file: the office:meta element
// of its meta.xml, read and changed in a loaded part so that everything the
// edits don't touch keeps its bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "props/metadata.h"
#include "props/package/xml_part.h"

namespace qv::odf {

inline constexpr std::string_view kNamespaceOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
inline constexpr std::string_view kNamespaceMeta = "urn:oasis:names:tc:opendocument:xmlns:meta:1.0";
inline constexpr std::string_view kNamespaceDublinCore = "http://purl.org/dc/elements/1.1/";

// Category, manager and company have no element of their own: they are
// user-defined properties of these names, as the office suite that writes
// OpenDocument names them when it imports an Office Open XML document.
inline constexpr std::string_view kCategoryName = "OOXMLCorePropertyCategory";
inline constexpr std::string_view kManagerName = "Manager";
inline constexpr std::string_view kCompanyName = "Company";

// The row a user-defined name stands for (category, manager, company), or -1.
int RowOfUserDefinedName(std::string_view name);

// The keywords as one text, joined as the office suite shows them, and back.
inline constexpr std::string_view kKeywordSeparator = ", ";

// ISO-8601 durations (PnDTnHnMnS, fractions of a second) <-> 100-ns units.
// Years and months have no fixed length: such a duration has no value.
std::optional<std::uint64_t> ParseDuration(std::string_view text);
std::string FormatDuration(std::uint64_t ticks);

// The form a stored date has: a date-time without a zone is local time.
struct DateForm {
    enum Kind { Local, Utc, Offset } kind = Local;
    int offsetMinutes = 0;
};
DateForm DateFormOf(std::string_view text);
std::optional<FileTime> ParseDate(std::string_view text);
std::string FormatDate(FileTime utc, DateForm form);

// The document properties of a loaded meta.xml. Fails with BadXml when its
// document element is no office:document-meta (or, for a flat file, no
// office:document).
Result<DocumentMetadata> ReadMeta(const package::XmlPart& meta);

// Applies the row and user-defined edits: the first element of each name is
// changed (a second of that name stays as it is), a missing one is appended
// to office:meta with the prefix the part binds to its namespace. Values are
// checked before anything is changed; a value of the wrong kind fails with
// ConversionFailed.
Status EditMeta(package::XmlPart& meta, const MetadataEdits& edits);

// The prefix the document element binds to a namespace ("" for its default
// namespace), else a free one (the standard one when free) declared there.
std::string BindPrefix(package::XmlPart& part, std::string_view ns, std::string_view standardPrefix);

// A meta.xml with an empty office:meta, for a file that has none, of the
// document's version (none when empty).
package::XmlPart NewMetaPart(std::string_view version);

}  // namespace qv::odf
