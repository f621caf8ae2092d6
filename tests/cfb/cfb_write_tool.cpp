// Writes rows into a compound-file workbook for the tests that check the
// result with other software: cfb_write_tool FILE KEY=VALUE...
// Dates are "yyyy/MM/dd H:mm:ss" local time; the editing time is minutes.
#include <iostream>

#include "props/catalogue.h"
#include "props/compound/compound_props.h"
#include "localtext/datetext.h"
#include "support/rowtexts.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: cfb_write_tool FILE KEY=VALUE...\n";
        return 2;
    }
    qv::SetFormatsForTesting(qv::platform::LocaleFormats{});
    qv::RowTexts values{};
    qv::RowMask mask;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::size_t eq = arg.find('=');
        int row = eq == std::string::npos ? -1 : qv::rowForKey(arg.substr(0, eq));
        if (row < 0) {
            std::cerr << "unknown row: " << arg << "\n";
            return 2;
        }
        values[static_cast<std::size_t>(row)] = arg.substr(eq + 1);
        mask.set(static_cast<std::size_t>(row));
    }
    qv::Status st = qv::test::WriteCompoundRows(argv[1], values, mask);
    if (!st) {
        std::cerr << argv[1] << ": " << st.error().message << "\n";
        return 1;
    }
    return 0;
}
