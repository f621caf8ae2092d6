#include "engine/kinds.h"

#include "base/text.h"

namespace qv::engine {

namespace {

using enum OfficeApplication;

constexpr DocumentKind kKinds[] = {
    {".XLS", Excel},        {".XLT", Excel},        {".XLA", Excel},        {".XLSX", Excel},
    {".XLSM", Excel},       {".XLTX", Excel},       {".XLTM", Excel},       {".XLAM", Excel},
    {".XLSB", Excel},       {".DOC", Word},         {".DOT", Word},         {".DOCX", Word},
    {".DOCM", Word},        {".DOTX", Word},        {".DOTM", Word},        {".PPT", PowerPoint},
    {".POT", PowerPoint},   {".PPS", PowerPoint},   {".PPTX", PowerPoint},  {".PPTM", PowerPoint},
    {".POTX", PowerPoint},  {".POTM", PowerPoint},  {".PPSX", PowerPoint},  {".PPSM", PowerPoint},
    {".ODS", OpenDocument}, {".OTS", OpenDocument}, {".ODT", OpenDocument}, {".OTT", OpenDocument},
    {".ODP", OpenDocument}, {".OTP", OpenDocument}, {".FODS", OpenDocument}, {".FODT", OpenDocument},
    {".FODP", OpenDocument},
};

}  // namespace

std::span<const DocumentKind> DocumentKinds() { return kKinds; }

std::optional<OfficeApplication> ApplicationFor(std::string_view path) {
    const std::string ext = text::toUpperAscii(text::extensionOf(path));
    for (const DocumentKind& k : kKinds)
        if (ext == k.extension)
            return k.application;
    return std::nullopt;
}

bool IsDocumentCandidate(std::string_view path) {
    if (path.find("~$") != std::string_view::npos)
        return false;
    const std::string name = text::fileNamePart(path);
    if (name.starts_with(".~lock.") && name.ends_with('#'))
        return false;
    return ApplicationFor(path).has_value();
}

}  // namespace qv::engine
