#include "engine/filelist.h"

#include <algorithm>
#include <set>

#include "base/text.h"
#include "engine/kinds.h"
#include "platform/platform.h"

namespace qv::engine {

bool FileExistsAsFile(const std::string& path) { return platform::findFile(path).ok(); }

namespace {

// Name order as people read it, and as file managers list a folder:
// letters without regard to case, runs of digits by their value ("報告2"
// before "報告10"); then the exact bytes, so the order is total.
unsigned char lower(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool nameBefore(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // The values compare by their digits less the leading zeros.
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            if (int c = a.compare(si, ei - si, b, sj, ej - sj); c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const unsigned char x = lower(a[i]), y = lower(b[j]);
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
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

void FileList::reorder(const std::vector<std::size_t>& order) {
    std::vector<Entry> sorted;
    sorted.reserve(m_entries.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(m_entries[i]));
    m_entries = std::move(sorted);
}

void FileList::setAllStates(FileState state) {
    for (Entry& e : m_entries)
        e.state = state;
}

}  // namespace qv::engine
