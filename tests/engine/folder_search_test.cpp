#include <gtest/gtest.h>

#include <filesystem>

#include "engine/filelist.h"
#include "engine/kinds.h"
#include "enginetest.h"
#include "platform/platform.h"

using namespace qv;
using namespace qv::engine;

TEST(DocumentKinds, EveryOfficeExtensionInAnyCaseAndNothingElse) {
    using enum OfficeApplication;
    const std::pair<const char*, OfficeApplication> kinds[] = {
        {"a.xls", Excel},      {"a.XLT", Excel},       {"a.Xla", Excel},      {"a.xlsx", Excel},
        {"a.xlsm", Excel},     {"a.xltx", Excel},      {"a.XLTM", Excel},     {"a.xlam", Excel},
        {"a.xlsb", Excel},     {"a.doc", Word},        {"a.DOT", Word},       {"a.docx", Word},
        {"a.docm", Word},      {"a.dotx", Word},       {"a.dotm", Word},      {"a.ppt", PowerPoint},
        {"a.pot", PowerPoint}, {"a.PPS", PowerPoint},  {"a.pptx", PowerPoint}, {"a.pptm", PowerPoint},
        {"a.potx", PowerPoint}, {"a.potm", PowerPoint}, {"a.ppsx", PowerPoint}, {"a.PpSm", PowerPoint},
        {"a.ods", OpenDocument}, {"a.OTS", OpenDocument}, {"a.odt", OpenDocument}, {"a.ott", OpenDocument},
        {"a.Odp", OpenDocument}, {"a.otp", OpenDocument}, {"a.fods", OpenDocument}, {"a.FODT", OpenDocument},
        {"a.fodp", OpenDocument},
    };
    EXPECT_EQ(DocumentKinds().size(), std::size(kinds));
    for (const auto& [name, app] : kinds) {
        EXPECT_EQ(ApplicationFor(std::string("C:\\d\\") + name), app) << name;
        EXPECT_TRUE(IsDocumentCandidate(std::string("/d/") + name)) << name;
    }
    for (const char* other : {"/d/book", "/d/book.xls.bak", "/d.xls/book", "/d/book.csv", "/d/book.xlsx#",
                              "/d/book.odg", "/d/book.fodg", "/d/~$book.docx", "/d~$x/book.docx", "/d/.~lock.book.xlsx#"})
        EXPECT_FALSE(IsDocumentCandidate(other)) << other;
}

TEST(DocumentsInFolder, NameOrderIsTheFileManagersNumbersByValue) {
    test::TempDir dir;
    for (const char* f : {"報告10.xls", "報告2.xls", "報告002.xls", "b.doc", "A.doc", "報告1.xls"})
        test::writeFile(dir.file(f), "");
    std::vector<std::string> names;
    for (const std::string& p : DocumentsInFolder(dir.path()))
        names.push_back(p.substr(p.find_last_of("/\\") + 1));
    EXPECT_EQ(names, (std::vector<std::string>{"A.doc", "b.doc", "報告1.xls", "報告002.xls", "報告2.xls", "報告10.xls"}));
}

#ifndef _WIN32
TEST(DocumentsInFolder, TreeInNameOrderFilesFirstWithoutLocksLoopsOrLinkedFolders) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    const fs::path root = dir.path();
    for (const char* f : {"b.docx", "A.xlsm", "~$b.docx", ".~lock.A.xlsm#", "notes.txt", "sub1/z.ppt",
                          "sub1/deep/y.potx", "Sub0/x.xls", "sub1/.~lock.z.ppt#", "elsewhere/w.doc"}) {
        fs::create_directories((root / f).parent_path());
        test::writeFile((root / f).string(), "");
    }
    // A link back up makes a loop; a link to a folder outside brings nothing.
    fs::create_directory_symlink(root, root / "sub1" / "loop");
    fs::create_directory_symlink(root / "elsewhere", root / "sub1" / "linked");
    auto at = [&](const char* f) { return root.string() + "/" + f; };
    EXPECT_EQ(DocumentsInFolder(root.string()), (std::vector<std::string>{at("A.xlsm"), at("b.docx")}));
    EXPECT_EQ(DocumentsInFolder(root.string() + "/", true),
              (std::vector<std::string>{at("A.xlsm"), at("b.docx"), at("elsewhere/w.doc"), at("Sub0/x.xls"),
                                        at("sub1/z.ppt"), at("sub1/deep/y.potx")}));
    // A folder that isn't there, or a file given as one, gives nothing.
    EXPECT_TRUE(DocumentsInFolder(at("missing"), true).empty());
    EXPECT_TRUE(DocumentsInFolder(at("b.docx"), true).empty());
}
#endif
