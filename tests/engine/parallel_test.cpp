// Reads on every core: the ordered pool, and the export over many files on
// several threads against the same export made one file after another.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "engine/csv.h"
#include "engine/parallel.h"
#include "enginetest.h"

using namespace qv;
using namespace qv::engine;

namespace {

// Items that take longer the lower their index, so later ones finish first.
void busyFor(std::size_t i, std::size_t count) {
    std::this_thread::sleep_for(std::chrono::microseconds(50 * ((count - i) % 7)));
}

}  // namespace

TEST(OrderedPool, ResultsProgressAndCancelComeInListOrderOnTheCallingThread) {
    const std::thread::id caller = std::this_thread::get_id();
    for (std::size_t workers : {1u, 2u, 5u}) {
        const std::size_t n = 40;
        std::vector<std::size_t> asked, delivered;
        bool finished = ForEachOrdered(
            n,
            [&](std::size_t i) {
                busyFor(i, n);
                return i * 10;
            },
            [&](std::size_t i) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                asked.push_back(i);
                return true;
            },
            [&](std::size_t i, std::size_t r) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                EXPECT_EQ(r, i * 10);
                delivered.push_back(i);
            },
            ParallelOptions{workers, {}});
        EXPECT_TRUE(finished);
        std::vector<std::size_t> all(n);
        for (std::size_t i = 0; i < n; ++i)
            all[i] = i;
        EXPECT_EQ(asked, all) << workers;
        EXPECT_EQ(delivered, all) << workers;

        // Stopped before item 7: nothing from 7 on is delivered, and no
        // item is taken once the stop was given (those other threads had
        // taken may still be entering their work).
        std::atomic<std::size_t> begun{0};
        std::size_t begunAtStop = 0;
        delivered.clear();
        finished = ForEachOrdered(
            n,
            [&](std::size_t i) {
                ++begun;
                busyFor(i, n);
                return i;
            },
            [&](std::size_t i) {
                if (i < 7)
                    return true;
                begunAtStop = begun;
                return false;
            },
            [&](std::size_t i, std::size_t) { delivered.push_back(i); }, ParallelOptions{workers, {}});
        EXPECT_FALSE(finished);
        EXPECT_EQ(delivered, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6})) << workers;
        EXPECT_LE(begun.load(), begunAtStop + workers - 1) << workers;
        EXPECT_LE(begunAtStop, 7 + 4 * workers) << "workers run only a few items ahead";

        // Stopped before the first item: nothing is begun at all.
        begun = 0;
        EXPECT_FALSE(ForEachOrdered(
            n,
            [&](std::size_t i) {
                ++begun;
                return i;
            },
            [](std::size_t) { return false; },
            [](std::size_t, std::size_t) { ADD_FAILURE(); }, ParallelOptions{workers, {}}));
        EXPECT_EQ(begun.load(), 0u);
    }
}

TEST(OrderedPool, AFailingItemIsThrownAtItsTurnAndItemsMarkedWaitForAllBeforeThem) {
    std::vector<std::size_t> delivered;
    EXPECT_THROW(ForEachOrdered(
                     30,
                     [](std::size_t i) {
                         if (i == 12)
                             throw std::runtime_error("item 12");
                         return i;
                     },
                     [](std::size_t) { return true; }, [&](std::size_t i, std::size_t) { delivered.push_back(i); },
                     ParallelOptions{3, {}}),
                 std::runtime_error);
    EXPECT_EQ(delivered.size(), 12u);

    // A marked item runs on the calling thread, when everything before it
    // has been delivered.
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<bool> marked(20, false);
    marked[5] = marked[13] = true;
    std::size_t deliveredCount = 0;
    ForEachOrdered(
        20,
        [&](std::size_t i) {
            if (marked[i]) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                EXPECT_EQ(deliveredCount, i);
            }
            busyFor(i, 20);
            return i;
        },
        [](std::size_t) { return true; }, [&](std::size_t, std::size_t) { ++deliveredCount; },
        ParallelOptions{4, marked});
    EXPECT_EQ(deliveredCount, 20u);
}

TEST(ParallelExport, ManyFilesOnSeveralThreadsGiveTheSerialBytesAndKeepEveryTime) {
#ifdef _WIN32
    // Every read there moves the last-access time until it is put back, so
    // six exports of the same files at once see each other's reads.
    GTEST_SKIP() << "Windows keeps no read that leaves the last-access time alone";
#endif
    test::EngineEnvironment env;
    test::TempDir dir;
    const char* kinds[] = {"lo_japanese.xls",   "lo_ascii.xlsx",        "exceljs_nonsjis.xlsx", "xls_cp932_full.xls",
                           "sheetjs_ascii.xls", "sheetjs_japanese.xlsx", "not_a_zip.xlsx",       "xls_dsi_userdefined.xls",
                           "zip_data_descriptor.xlsx"};
    std::vector<std::string> files;
    for (int i = 0; i < 90; ++i) {
        const char* kind = kinds[i % std::size(kinds)];
        std::string ext = std::filesystem::path(kind).extension().string();
        files.push_back(dir.copyData(kind, "book" + std::to_string(i) + ext));
    }
    files.insert(files.begin() + 40, dir.file("gone.xls"));
    // The same file again, by its name and through a link.
    files.push_back(files[3]);
    // Links need rights on Windows that a test can't count on.
    std::error_code linked;
    std::filesystem::create_symlink(files[4], dir.file("link.xlsx"), linked);
    if (!linked)
        files.push_back(dir.file("link.xlsx"));
    std::vector<test::StatTimes> before;
    for (const std::string& f : files)
        before.push_back(test::statTimes(f));

    // One file after another, from the row builder itself.
    std::vector<std::string> lines{BuildCsvHeader()};
    for (const std::string& f : files)
        if (auto row = BuildCsvRow(f))
            lines.push_back(std::move(*row));
    const std::string serialUtf8 = EncodeCsv(lines, CsvEncoding::Utf8);
    const std::string serialSjis = EncodeCsv(lines, CsvEncoding::ShiftJis);

    // Several exports at once, each on a pool of its own.
    std::vector<std::string> got(6);
    std::vector<std::size_t> rows(got.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < got.size(); ++t)
        threads.emplace_back([&, t] {
            got[t] = BuildCsv(files, t % 2 ? CsvEncoding::ShiftJis : CsvEncoding::Utf8, {}, nullptr, &rows[t]);
        });
    for (std::thread& t : threads)
        t.join();
    for (std::size_t t = 0; t < got.size(); ++t) {
        EXPECT_TRUE(got[t] == (t % 2 ? serialSjis : serialUtf8)) << "export " << t;
        EXPECT_EQ(rows[t], lines.size() - 1) << "export " << t;
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(test::statTimes(files[i]), before[i]) << files[i];

#ifndef _WIN32
    {
        // Without TZ each reading of the zone rules replaces the C library's
        // copy of the zone's name, which threads must not do at once.
        test::ScopedTimeZone restore("Asia/Tokyo");
        ::unsetenv("TZ");
        std::vector<std::string> local{BuildCsvHeader()};
        for (const std::string& f : files)
            if (auto row = BuildCsvRow(f))
                local.push_back(std::move(*row));
        EXPECT_TRUE(BuildCsv(files, CsvEncoding::Utf8) == EncodeCsv(local, CsvEncoding::Utf8));
    }
#endif

    // Progress in list order, and a cancel heard before the next file.
    std::vector<std::size_t> started, finishedAt;
    RunCallbacks cb;
    cb.fileStarted = [&](std::size_t i, const std::string& p) {
        EXPECT_EQ(p, files[i]);
        started.push_back(i);
    };
    cb.fileFinished = [&](std::size_t i, const FileResult&, int percent) {
        EXPECT_EQ(percent, ProgressPercent(i + 1, files.size()));
        finishedAt.push_back(i);
    };
    EXPECT_TRUE(BuildCsv(files, CsvEncoding::Utf8, cb) == serialUtf8);
    ASSERT_EQ(started.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(started[i], i);
    EXPECT_EQ(finishedAt, started);
    started.clear();
    cb.cancelRequested = [&] { return started.size() == 25; };
    bool cancelled = false;
    EXPECT_EQ(BuildCsv(files, CsvEncoding::Utf8, cb, &cancelled), "");
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(started.size(), 25u);
}
