// Fuzz target: the package reader and writer over an in-memory archive (the
// signatures' references included), and a property part on its own. Nothing
// may crash, hang or grow without bound, and a part changed by the writer
// must load again with the written values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "props/package/properties.h"
#include "props/package/signatures.h"
#include "props/package/xml_part.h"
#include "zip/directory.h"
#include "zip/extract.h"

using namespace qv;

namespace {

const char* const kValues[] = {"Title & <more>", "", "2010-04-01T03:30:00Z", "42", "\xE6\x97\xA5\xE6\x9C\xAC"};

void exercisePart(package::XmlPart& part, const std::vector<package::ElementName>& names) {
    (void)package::ReadElementTexts(part, names);
    std::size_t i = 0;
    for (const package::ElementName& name : names) {
        package::ApplyElementValue(part, name, kValues[i % 5], i % 3 == 0);
        ++i;
    }
    std::string saved = part.Save();
    auto again = package::XmlPart::Load(saved);
    if (!again)
        std::abort();
    (void)package::ReadElementTexts(*again, names);
}

std::vector<package::ElementName> namesOf(const auto& rows, std::string_view extendedNs = package::kNamespaceExtended) {
    std::vector<package::ElementName> names;
    for (int row : rows)
        names.push_back(package::ElementOf(row, extendedNs));
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // A leading "<" or byte order mark: the input is one property part.
    if (!bytes.empty() && (bytes[0] == '<' || static_cast<unsigned char>(bytes[0]) >= 0xEF)) {
        auto part = package::XmlPart::Load(bytes);
        if (part) {
            (void)package::FindPropertyParts(*part);
            exercisePart(*part, namesOf(package::kCoreRows));
            exercisePart(*part, namesOf(package::kExtendedRows));
        }
        return 0;
    }
    zip::MemorySource source(bytes);
    auto dir = zip::ReadDirectory(source);
    if (!dir)
        return 0;
    const package::EntryExtractor extract = [&source](const zip::ZipEntry& e) {
        return zip::ExtractEntry(source, e);
    };
    auto parts = package::LoadPropertyParts(*dir, extract);
    if (!parts)
        return 0;
    const package::SignedParts signedParts = package::FindSignedParts(*dir, extract, parts->relationships);
    (void)signedParts.covers(parts->core.entryName);
    if (!parts->extended.xml)
        parts->extended.xml = package::NewExtendedPart(parts->strict);
    if (!parts->core.xml)
        parts->core.xml = package::NewCorePart();
    exercisePart(*parts->extended.xml, namesOf(package::kExtendedRows, parts->extended.extendedNs));
    exercisePart(*parts->core.xml, namesOf(package::kCoreRows));
    return 0;
}
