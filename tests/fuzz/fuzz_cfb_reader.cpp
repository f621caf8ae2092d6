// Fuzzes the compound-file reader and the property sets inside, and checks
// that whatever the reader accepts the writer either refuses cleanly or
// rewrites into a file that reads back with the new stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "props/compound/cfb/compound_file.h"
#include "props/compound/cfb/transaction.h"
#include "props/compound/propset/property_set.h"

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    cfb::MemorySource src(bytes);
    auto cf = cfb::CompoundFile::open(src);
    if (!cf)
        return 0;
    for (std::uint32_t i = 0; i < cf->entries().size(); ++i) {
        if (!cf->entries()[i].isStream())
            continue;
        auto stream = cf->readStream(i, 1u << 24);
        if (!stream)
            continue;
        auto set = propset::PropertySet::parse(*stream);
        if (!set)
            continue;
        for (const auto& s : set->sections) {
            auto section = propset::Section::parse(s.bytes);
            if (!section)
                continue;
            for (const auto& p : section->properties())
                if (auto v = section->value(p.id))
                    (void)propset::FormatPropertyValue(*v);
        }
    }
    // Small or large, by the input's size, so both homes of a stream are tried.
    std::string payload(size % 2 ? 100 : 5000, 'p');
    cfb::Transaction tx(*cf);
    tx.setStream(u"\u0005SummaryInformation", payload);
    cfb::StringSink sink;
    if (!tx.writeTo(sink))
        return 0;
    cfb::MemorySource again(sink.bytes());
    auto reread = cfb::CompoundFile::open(again);
    if (!reread)
        std::abort();
    auto idx = reread->findInRoot(u"\u0005SummaryInformation");
    if (!idx)
        std::abort();
    auto got = reread->readStream(*idx, 1u << 24);
    if (!got || *got != payload)
        std::abort();
    return 0;
}
