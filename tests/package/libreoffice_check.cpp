// Writes all fourteen properties into copies of real writers' packages and
// has two independent readers look at the result: LibreOffice must still
// open it (converted to CSV and to flat ODS, whose metadata must show the
// new title and author), and Python's zipfile and ElementTree must read the
// title and author from the core part. Exits 77 (skipped) without soffice.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "../zip/external_tools.h"
#include "props/datetime.h"
#include "props/package/package_props.h"
#include "support/rowtexts.h"
#include "support/testsupport.h"

using namespace qv;
using namespace qv::test;

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::cerr << "FAILED: " << what << "\n";
        ++failures;
    }
}

}  // namespace

int main() {
    if (!test::haveTool("soffice")) {
        // A missing install step, not a reason to pass, where CI runs.
        const char* ci = std::getenv("CI");
        const bool failHere = ci && std::string(ci) == "true";
        std::cout << (failHere ? "FAIL: soffice is not installed\n" : "soffice is not installed: skipped\n");
        return failHere ? 1 : 77;
    }
    test::TempDir dir;
    const std::string title = "LibreOffice タイトル check";
    const std::string author = "Ünïcödé 作成者";
    const std::vector<std::string> files = {"lo_ascii", "exceljs_nonsjis", "sheetjs_japanese", "zip_data_descriptor"};
    std::string all;
    for (const std::string& file : files) {
        std::string path = dir.copyData(file + ".xlsx");
        all += " " + test::shellQuote(path);
        RowTexts t;
        t[kRowTitle] = title;
        t[kRowSubject] = "subject";
        t[kRowAuthor] = author;
        t[kRowKeywords] = "k1 k2";
        t[kRowComments] = "comments & <more>";
        t[kRowCategory] = "category";
        t[kRowRevision] = "3";
        t[kRowLastSavedBy] = "saver";
        t[kRowManager] = "manager";
        t[kRowCompany] = "company";
        t[kRowCreated] = FormatDateTimeText(FileTimeToLocal(*ParseIso8601("2015-01-02T00:00:00Z")));
        t[kRowLastSaved] = FormatDateTimeText(FileTimeToLocal(*ParseIso8601("2016-01-02T00:00:00Z")));
        t[kRowEditTime] = "77";
        t[kRowLastPrinted] = "";
        auto st = WritePackageRows(path, t, allRows());
        check(st.ok(), file + ": write: " + (st.ok() ? "" : st.error().message));
        check(test::runPython("import sys, zipfile, xml.etree.ElementTree as ET\n"
                              "z = zipfile.ZipFile(sys.argv[1])\n"
                              "assert z.testzip() is None\n"
                              "r = ET.fromstring(z.read('docProps/core.xml'))\n"
                              "dc = '{http://purl.org/dc/elements/1.1/}'\n"
                              "assert r.find(dc + 'title').text == sys.argv[2]\n"
                              "assert r.find(dc + 'creator').text == sys.argv[3]\n",
                              test::shellQuote(path) + " " + test::shellQuote(title) + " " + test::shellQuote(author)) == 0,
              file + ": Python's zipfile and ElementTree read title and author");
    }

    // Its own profile, so that it doesn't meet another LibreOffice running.
    std::string convert = "timeout 300 soffice -env:UserInstallation=" +
                          test::shellQuote("file://" + dir.file("lo-profile")) + " --headless --convert-to ";
    std::string out = dir.file("out");
    check(test::runQuiet(convert + "csv --outdir " + test::shellQuote(out) + all) == 0, "soffice converts to CSV");
    check(test::runQuiet(convert + "fods --outdir " + test::shellQuote(out) + all) == 0, "soffice converts to flat ODS");
    for (const std::string& file : files) {
        check(test::fileExists(out + "/" + file + ".csv"), file + ": the CSV was written");
        std::string fods = test::fileExists(out + "/" + file + ".fods") ? test::readFile(out + "/" + file + ".fods") : "";
        check(fods.find("<dc:title>" + title + "</dc:title>") != std::string::npos,
              file + ": LibreOffice shows the new title");
        check(fods.find("<meta:initial-creator>" + author + "</meta:initial-creator>") != std::string::npos,
              file + ": LibreOffice shows the new author");
    }
    if (failures == 0)
        std::cout << "all packages open in LibreOffice with the written title and author\n";
    return failures == 0 ? 0 : 1;
}
