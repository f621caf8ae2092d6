// Times the check of a CSV to import in-process: decoding, parsing and
// every cell's check, as the window and the command line do it before they
// read any file.
//
//   qv_bench_import_check ROUNDS CSV
//
// Prints "check MEDIAN_MS ROWS ISSUES".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/csv_import.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_bench_import_check ROUNDS CSV\n");
        return 2;
    }
    const int rounds = std::max(3, std::atoi(argv[1]));
    auto bytes = qv::platform::readWholeFile(argv[2], std::uint64_t{1} << 30);
    if (!bytes) {
        std::fprintf(stderr, "%s\n", bytes.error().message.c_str());
        return 2;
    }
    std::vector<double> ms;
    std::size_t rows = 0, issues = 0;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        auto text = qv::engine::DecodeCsvText(*bytes, qv::engine::CsvInputEncoding::Auto);
        if (!text)
            return 1;
        qv::engine::ImportTable table = qv::engine::ReadImportTable(*text, "/bench");
        auto t1 = std::chrono::steady_clock::now();
        rows = table.rows.size();
        issues = table.issues.size();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("check %.1f %zu %zu\n", ms[ms.size() / 2], rows, issues);
    return 0;
}
