// Fuzz target: directory reading, extraction of every entry and a rewrite of
// an in-memory archive. Whatever the input, nothing may crash, hang or
// allocate without bound, and a rewrite that succeeds must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/text.h"
#include "zip/directory.h"
#include "zip/extract.h"
#include "zip/writer.h"

using namespace qv::zip;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    MemorySource source(bytes);
    auto dir = ReadDirectory(source);
    if (!dir)
        return 0;
    for (const ZipEntry& e : dir->entries)
        (void)ExtractEntry(source, e);

    std::string replacement = "<replaced/>";
    std::vector<StreamToStore> streams{{"docProps/core.xml", replacement}};
    if (!dir->entries.empty() && !dir->entries[0].fileName.empty())
        streams.push_back({dir->entries[0].name, replacement});
    MemorySink sink;
    auto written = RewriteArchive(source, *dir, streams, 0x3C812A00, sink);
    if (!written)
        return 0;
    MemorySource again(sink.bytes());
    auto reread = ReadDirectory(again);
    if (!reread || reread->rebuilt || reread->entries.size() != *written)
        std::abort();
    const ZipEntry* core = FindEntry(*reread, "docProps\\core.xml");
    if (!core)
        std::abort();
    auto r = ExtractEntry(again, *core);
    if (!r || *r != replacement)
        std::abort();
    return 0;
}
