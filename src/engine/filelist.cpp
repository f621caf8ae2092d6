#include "engine/filelist.h"

#include <algorithm>
#include <set>

#include "base/text.h"
#include "engine/kinds.h"
#include "platform/platform.h"

namespace qv::engine {

bool FileExistsAsFile(const std::string& path) { return platform::findFile(path).ok(); }

namespace {

// Name order as people read it: letters without regard to case, then the
// exact bytes so the order is total.
unsigned char lower(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool nameBefore(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = lower(a[i]), y = lower(b[i]);
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

}  // namespace

std::vector<std::string> DocumentsInFolder(const std::string& top, bool includeSubfolders) {
    std::string root = top;
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\'))
        root.pop_back();
    std::vector<std::string> found;
    std::set<platform::FileIdentity> searched;
    // Depth first, by hand: a deep tree can't exhaust the stack.
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        auto listing = platform::listFolder(folder);
        if (!listing)
            continue;
        if (includeSubfolders) {
            // A bind mount or a second name can bring a folder back.
            auto id = platform::fileIdentity(folder);
            if (id && !searched.insert(*id).second)
                continue;
        }
        std::sort(listing->files.begin(), listing->files.end(), nameBefore);
        for (const std::string& name : listing->files) {
            std::string full = platform::joinPath(folder, name);
            if (IsDocumentCandidate(full))
                found.push_back(std::move(full));
        }
        if (!includeSubfolders)
            break;
        std::sort(listing->folders.begin(), listing->folders.end(), nameBefore);
        for (auto it = listing->folders.rbegin(); it != listing->folders.rend(); ++it)
            pending.push_back(platform::joinPath(folder, *it));
    }
    return found;
}

std::vector<std::string> FileList::paths() const {
    std::vector<std::string> p;
    p.reserve(m_entries.size());
    for (const Entry& e : m_entries)
        p.push_back(e.path);
    return p;
}

bool FileList::add(const std::string& path) {
    if (!m_index.insert(path).second)
        return false;
    m_entries.push_back(Entry{path, FileState::Unchanged});
    return true;
}

void FileList::remove(std::size_t i) {
    m_index.erase(m_entries[i].path);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
}

void FileList::clear() {
    m_entries.clear();
    m_index.clear();
}

void FileList::setAllStates(FileState state) {
    for (Entry& e : m_entries)
        e.state = state;
}

}  // namespace qv::engine
