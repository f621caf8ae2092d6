// Times the single-file view in-process: LoadSingleFileView per workbook,
// repeated, with one line per file giving the median and the slowest call.
//
//   qv_bench_view ROUNDS FILE...
//
// Prints "view FILE MEDIAN_US MAX_US OK" per file. The files are read many
// times, so they should be copies: each read puts their times back.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/view.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qv_bench_view ROUNDS FILE...\n");
        return 2;
    }
    const int rounds = std::max(5, std::atoi(argv[1]));
    int failures = 0;
    for (int a = 2; a < argc; ++a) {
        const std::string path = argv[a];
        // One untimed read first: the first call pays for the page cache and
        // the code-page converters, which the window pays once per run.
        bool ok = qv::engine::LoadSingleFileView(path).ok;
        std::vector<double> us;
        us.reserve(static_cast<std::size_t>(rounds));
        for (int r = 0; r < rounds; ++r) {
            auto t0 = std::chrono::steady_clock::now();
            qv::engine::FileView v = qv::engine::LoadSingleFileView(path);
            auto t1 = std::chrono::steady_clock::now();
            ok = ok && v.ok;
            us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
        std::sort(us.begin(), us.end());
        std::printf("view %s %.1f %.1f %s\n", path.c_str(), us[us.size() / 2], us.back(), ok ? "ok" : "failed");
        failures += ok ? 0 : 1;
    }
    // A fixture that is meant not to read (damaged on purpose) is still timed;
    // bench/run decides what the figures mean.
    (void)failures;
    return 0;
}
