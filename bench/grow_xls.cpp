// Makes a large compound-file workbook for the benchmarks: a real small .xls
// whose Workbook stream is grown to the asked size with our own writer, so the
// property sets and the rest of the file stay as the real writer made them.
//
//   qv_bench_grow_xls SOURCE.xls TARGET.xls MEGABYTES
//
// The stream keeps its original records first; the rest is half random
// (incompressible) and half repeated text, as a workbook's cell data would be.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "platform/platform.h"
#include "props/compound/cfb/compound_file.h"
#include "props/compound/cfb/transaction.h"

using namespace qv;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: qv_bench_grow_xls SOURCE.xls TARGET.xls MEGABYTES\n");
        return 2;
    }
    const std::uint64_t target = static_cast<std::uint64_t>(std::atof(argv[3]) * 1024 * 1024);
    auto fail = [](const Error& e) {
        std::fprintf(stderr, "qv_bench_grow_xls: %s\n", e.message.c_str());
        return 1;
    };
    auto file = platform::File::open(argv[1], platform::OpenMode::ReadDenyWrite);
    if (!file)
        return fail(file.error());
    auto source = cfb::FileSource::over(*file);
    if (!source)
        return fail(source.error());
    auto cf = cfb::CompoundFile::open(*source);
    if (!cf)
        return fail(cf.error());
    auto index = cf->findInRoot(u"Workbook");
    if (!index)
        return fail(Error(ErrorCode::NotFound, "no Workbook stream"));
    auto workbook = cf->readStream(*index, 1u << 30);
    if (!workbook)
        return fail(workbook.error());

    std::string bytes = std::move(*workbook);
    std::mt19937_64 rng(20240501);
    const std::string text = "Quarterly figures, region north, units sold 1234, revenue 5678.90; ";
    bool random = true;
    while (bytes.size() < target) {
        std::size_t block = std::min<std::uint64_t>(64 * 1024, target - bytes.size());
        if (random) {
            for (std::size_t i = 0; i < block; ++i)
                bytes += static_cast<char>(rng() & 0xFF);
        } else {
            for (std::size_t i = 0; i < block; ++i)
                bytes += text[i % text.size()];
        }
        random = !random;
    }

    cfb::Transaction tx(*cf);
    tx.setStream(u"Workbook", std::move(bytes));
    cfb::StringSink sink;
    if (auto st = tx.writeTo(sink); !st)
        return fail(st.error());
    if (auto st = platform::writeFileAtomically(argv[2], sink.bytes()); !st)
        return fail(st.error());
    return 0;
}
