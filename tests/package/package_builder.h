// Small packages built in code: the three parts the tool reads, each given as
// XML text, around a minimal workbook.
#pragma once

#include <string>

#include "../zip/zip_builder.h"

namespace qv::test {

inline const std::string kTransitionalRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "officeDocument\" Target=\"xl/workbook.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
    "core-properties\" Target=\"docProps/core.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "extended-properties\" Target=\"docProps/app.xml\"/>"
    "</Relationships>";

inline const std::string kCoreOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">";
inline const std::string kCoreClose = "</cp:coreProperties>";

inline const std::string kAppOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">";
inline const std::string kAppClose = "</Properties>";

struct PackageParts {
    std::string rels = kTransitionalRels;
    std::string core = kCoreOpen + "<dc:title>Title</dc:title>" + kCoreClose;
    std::string app = kAppOpen + "<Company>Company</Company>" + kAppClose;
    std::string relsName = "_rels/.rels";
    std::string coreName = "docProps/core.xml";
    std::string appName = "docProps/app.xml";
};

inline std::string buildPackage(const PackageParts& p) {
    ZipBuilder zb;
    // A part whose name is empty is left out.
    zb.add("[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
    if (!p.relsName.empty())
        zb.add(p.relsName, p.rels);
    zb.add("xl/workbook.xml", "<workbook/>");
    if (!p.coreName.empty())
        zb.add(p.coreName, p.core);
    if (!p.appName.empty())
        zb.add(p.appName, p.app);
    return zb.build();
}

}  // namespace qv::test
