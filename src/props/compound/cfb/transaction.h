// Changing a compound file: the new bytes of one or more streams directly
// under the root (a stream that doesn't exist is added), written out all at
// once. Everything else keeps its bytes: the original is copied in large
// blocks and only the sectors that change are put in, new ones appended.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "props/compound/cfb/byte_io.h"
#include "props/compound/cfb/compound_file.h"

namespace qv::cfb {

class Transaction {
public:
    // The file (and its source) must outlive the transaction.
    explicit Transaction(const CompoundFile& file) : m_file(&file) {}

    // Sets the whole content of a stream directly under the root.
    void setStream(std::u16string_view name, std::string bytes);

    // Writes the changed compound file to sink from its first byte to its
    // last. Refuses files whose sectors are shared between chains, so a
    // change can never overwrite another stream.
    Status writeTo(ByteSink& sink) const;

private:
    struct Change {
        std::u16string name;
        std::string bytes;
    };
    const CompoundFile* m_file;
    std::vector<Change> m_changes;
};

}  // namespace qv::cfb
