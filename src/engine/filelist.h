// The list of documents the tool works on: paths exactly as given, no two
// alike (compared exactly, with case), each with its state.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/change.h"

namespace qv::engine {

// True when a directory search finds a file (any attributes, not a folder).
bool FileExistsAsFile(const std::string& path);

// The documents in a folder that pass IsDocumentCandidate, in name order;
// with includeSubfolders, then those of each subfolder in name order, each
// folder's files before its subfolders. Links to folders are not followed
// and no folder is searched twice, so the search always ends; a folder that
// can't be listed is passed over.
std::vector<std::string> DocumentsInFolder(const std::string& folder, bool includeSubfolders = false);

class FileList {
public:
    struct Entry {
        std::string path;
        FileState state = FileState::Unchanged;
    };

    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const Entry& at(std::size_t i) const { return m_entries[i]; }
    const std::vector<Entry>& entries() const { return m_entries; }
    std::vector<std::string> paths() const;

    // Constant time, so adding thousands of files to thousands stays fast.
    bool IsListed(const std::string& path) const { return m_index.count(path) != 0; }
    // Appends a path in the Unchanged state; false when it is listed already.
    bool add(const std::string& path);
    void remove(std::size_t i);
    void clear();
    void setState(std::size_t i, FileState state) { m_entries[i].state = state; }
    void setAllStates(FileState state);
    // Puts the entries in the order given: order[k] is the index of the entry
    // that becomes the k-th; a permutation of 0..size()-1.
    void reorder(const std::vector<std::size_t>& order);

private:
    std::vector<Entry> m_entries;
    std::unordered_set<std::string> m_index;  // the listed paths
};

}  // namespace qv::engine
