// Fuzz target: a CSV as an import reads it, decoded in either encoding and
// read into rows; and every pair of cells compared as the plan compares a
// cell with a file's value (numbers, formulas, dates). Whatever the input,
// nothing may crash, hang or allocate without bound.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/csv_cells.h"
#include "engine/csv_import.h"

using namespace qv::engine;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (CsvInputEncoding encoding : {CsvInputEncoding::Auto, CsvInputEncoding::ShiftJis}) {
        auto csv = DecodeCsv(bytes, encoding);
        if (!csv)
            continue;
        // A folder that holds nothing: names are resolved, no file is read.
        (void)ReadImportTable(*csv, "/nonexistent-qv-fuzz");
        auto records = ParseCsvRecords(csv->text);
        if (!records)
            continue;
        for (const CsvRecord& r : *records)
            for (std::size_t i = 0; i + 1 < r.fields.size() && i < 8; ++i)
                for (CellKind kind : {CellKind::Text, CellKind::DateTime})
                    (void)CompareCell(r.fields[i], r.fields[i + 1], kind, csv->shiftJis);
    }
    return 0;
}
