#include "engine/filelist.h"

#include "base/text.h"
#include "platform/platform.h"

namespace qv::engine {

bool FileExistsAsFile(const std::string& path) { return platform::findFile(path).ok(); }

std::vector<std::string> WorkbooksInFolder(const std::string& folderIn) {
    std::string folder = folderIn;
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    std::vector<std::string> found;
    auto names = platform::listFiles(folder);
    if (!names)
        return found;
    for (const std::string& name : *names) {
        std::string full = platform::joinPath(folder, name);
        if (text::isWorkbookCandidate(full))
            found.push_back(std::move(full));
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
