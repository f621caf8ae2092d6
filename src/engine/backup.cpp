#include "engine/backup.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/sha256.h"
#include "base/text.h"
#include "engine/fspath.h"
#include "engine/kinds.h"
#include "platform/platform.h"
#include "props/filestamp.h"

namespace qv::engine {

namespace {

namespace fs = std::filesystem;


// A path below the backup folder for a document's whole path: its root
// ("/", "C:", "\\server") becomes the first folder.
std::string mirrored(const std::string& folder, const std::string& path) {
    const std::string whole = WholePath(path);
    std::string rest;
    for (char c : whole) {
        if (c == ':')
            continue;  // the drive's colon: "C:\x" lies under "C"
        rest += c;
    }
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\'))
        rest.erase(rest.begin());
    return platform::joinPath(folder, rest);
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string BackupPathFor(const std::string& path) { return path + ".bak"; }

std::string BackupPathFor(const std::string& path, const BackupPolicy& policy) {
    if (policy.folder.empty())
        return BackupPathFor(path);
    auto real = platform::resolveLinks(path);
    return mirrored(policy.folder, real ? *real : path) + ".bak";
}

bool IsBackupName(const std::string& path) {
    std::string name = text::fileNamePart(path);
    if (name.size() <= 4 || text::toUpperAscii(name.substr(name.size() - 4)) != ".BAK")
        return false;
    name.resize(name.size() - 4);
    // DOC.N.bak: the generation's number before ".bak".
    if (std::size_t dot = name.rfind('.'); dot != std::string::npos && allDigits(name.substr(dot + 1)))
        if (IsDocumentCandidate(name.substr(0, dot)))
            return true;
    return IsDocumentCandidate(name);
}

BackupRun::BackupRun(BackupPolicy policy) : m_policy(std::move(policy)) {
    m_policy.generations = std::max(2, m_policy.generations);
}

std::vector<int> BackupRun::generationsIn(const std::string& folder, const std::string& name) {
    auto it = m_names.find(folder);
    if (it == m_names.end()) {
        auto listed = platform::listFiles(folder.empty() ? std::string(".") : folder);
        it = m_names.emplace(folder, listed ? std::move(*listed) : std::vector<std::string>{}).first;
    }
    std::vector<int> out;
    const std::string head = name + ".";
    for (const std::string& n : it->second) {
        if (n.size() <= head.size() + 4 || !n.starts_with(head) || !n.ends_with(".bak"))
            continue;
        const std::string digits = n.substr(head.size(), n.size() - head.size() - 4);
        if (allDigits(digits) && digits.size() < 9 && std::stoi(digits) >= 2)
            out.push_back(std::stoi(digits));
    }
    std::sort(out.begin(), out.end());
    return out;
}

Result<std::string> BackupRun::backup(const std::string& path) {
    auto real = platform::resolveLinks(path);
    if (!real)
        return real.error();
    auto stamp = ReadFileStamp(*real);
    if (!stamp)
        return stamp.error();
    // The copy is closed to everyone the document is closed to from its
    // first byte, and looks like the document: its times exactly, its
    // attributes.
    const platform::FinalMetadata final = FinalAsFound(*stamp);

    const std::string first = BackupPathFor(path, m_policy);
    const std::string folder = text::directoryPart(first);
    const std::string name = text::fileNamePart(first.substr(0, first.size() - 4));
    if (!m_policy.folder.empty()) {
        std::error_code ec;
        fs::create_directories(fsPath(folder), ec);
        if (ec)
            return Error(ErrorCode::IoError, "can't make the backup folder " + folder + ": " + ec.message());
    }
    const platform::TargetKind at = platform::inspectTarget(first);
    // A link, or a second name of another file, planted at the first
    // backup's name is no backup of ours: it is replaced, never written
    // through.
    if (!at.exists || at.link || (at.plainFile && !at.singleLink)) {
        QV_TRY(platform::copyFile(*real, first, final));
        m_names[folder].push_back(text::fileNamePart(first));
        return first;
    }
    // The first backup is kept; a folder or a device at its name means
    // something is amiss.
    if (!at.plainFile)
        return Error(ErrorCode::NotAPlainFile, first + " is not a plain file; no backup is written beside it");
    std::vector<int> generations = generationsIn(folder, name);
    const int next = generations.empty() ? 2 : generations.back() + 1;
    // The folder part keeps its separator, so the names join as they stand.
    auto generation = [&](int n) { return folder + name + "." + std::to_string(n) + ".bak"; };
    const std::string made = generation(next);
    QV_TRY(platform::copyFile(*real, made, final));
    m_names[folder].push_back(text::fileNamePart(made));
    // Past the generations kept, the oldest after the first goes; the first
    // and the newest always stay.
    std::size_t kept = 2 + generations.size();
    for (std::size_t i = 0; kept > static_cast<std::size_t>(m_policy.generations) && i < generations.size(); ++i)
        if (platform::deleteFile(generation(generations[i])))
            --kept;
    return made;
}

Status backupoldfile(const std::string& path) {
    BackupRun run;
    auto made = run.backup(path);
    if (!made)
        return made.error();
    return {};
}

// ---------------------------------------------------------------------------
// The journal

namespace {

std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A reader for the journal's own lines: objects of strings, whole numbers
// and arrays of strings.
class LineReader {
public:
    explicit LineReader(std::string_view s) : m_s(s) {}
    bool string(std::string& out) {
        skip();
        if (!take('"'))
            return false;
        out.clear();
        while (m_i < m_s.size() && m_s[m_i] != '"') {
            char c = m_s[m_i++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size())
                return false;
            char e = m_s[m_i++];
            if (e == 'u') {
                if (m_i + 4 > m_s.size())
                    return false;
                out += static_cast<char>(std::stoi(std::string(m_s.substr(m_i, 4)), nullptr, 16));
                m_i += 4;
            } else {
                out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            }
        }
        return take('"');
    }
    bool number(std::uint64_t& out) {
        skip();
        std::size_t start = m_i;
        while (m_i < m_s.size() && m_s[m_i] >= '0' && m_s[m_i] <= '9')
            ++m_i;
        if (m_i == start || m_i - start > 19)
            return false;
        out = std::stoull(std::string(m_s.substr(start, m_i - start)));
        return true;
    }
    bool take(char c) {
        skip();
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }

private:
    void skip() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t'))
            ++m_i;
    }
    std::string_view m_s;
    std::size_t m_i = 0;
};

std::optional<JournalEntry> parseEntry(std::string_view line) {
    LineReader r(line);
    JournalEntry e;
    if (!r.take('{'))
        return std::nullopt;
    bool isFile = false;
    for (bool first = true; !r.take('}'); first = false) {
        if (!first && !r.take(','))
            return std::nullopt;
        std::string key;
        if (!r.string(key) || !r.take(':'))
            return std::nullopt;
        if (key == "changes") {
            if (!r.take('['))
                return std::nullopt;
            while (!r.take(']')) {
                r.take(',');
                JournalEntry::Item item;
                if (!r.take('[') || !r.string(item.key) || !r.take(',') || !r.string(item.before) || !r.take(',') ||
                    !r.string(item.after) || !r.take(']'))
                    return std::nullopt;
                e.changes.push_back(std::move(item));
            }
        } else if (key == "size" || key == "lastWrite") {
            std::uint64_t n = 0;
            if (!r.number(n))
                return std::nullopt;
            (key == "size" ? e.size : e.lastWrite) = n;
        } else {
            std::string value;
            if (!r.string(value))
                return std::nullopt;
            if (key == "type")
                isFile = value == "file";
            else if (key == "path")
                e.path = value;
            else if (key == "backup")
                e.backup = value;
            else if (key == "sha256")
                e.sha256 = value;
        }
    }
    if (!isFile)
        return std::nullopt;
    return e;
}

std::string stampName() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char out[48];
    std::snprintf(out, sizeof out, "%s-%03d", buf, static_cast<int>(ms));
    return out;
}

}  // namespace

std::string JournalFolder(const BackupPolicy& policy) {
    if (!policy.folder.empty())
        return policy.folder;
    return platform::joinPath(platform::userDataFolder(), platform::joinPath("quorvix", "journal"));
}

Result<Journal> Journal::create(const std::string& folder, const std::string& kind) {
    std::error_code ec;
    fs::create_directories(fsPath(folder), ec);
    if (ec)
        return Error(ErrorCode::IoError, "can't make the journal's folder " + folder + ": " + ec.message());
    Journal j;
    // Names sort by time; a second run within the same millisecond counts on.
    for (int n = 0; n < 100; ++n) {
        // Piece by piece: g++ 12 for Windows warns falsely on "-" + std::string.
        std::string name = "quorvix-";
        name += stampName();
        if (n) {
            name += '-';
            name += std::to_string(n);
        }
        name += ".jsonl";
        j.m_path = platform::joinPath(folder, name);
        if (!platform::inspectTarget(j.m_path).exists)
            break;
    }
    std::ofstream out(fsPath(j.m_path), std::ios::binary | std::ios::app);
    out << "{\"type\":\"run\",\"kind\":" << jsonString(kind) << ",\"started\":" << jsonString(stampName()) << "}\n";
    out.flush();
    if (!out)
        return Error(ErrorCode::IoError, "can't write the journal " + j.m_path);
    return j;
}

Status Journal::add(const JournalEntry& e) {
    std::string line = "{\"type\":\"file\",\"path\":" + jsonString(e.path) + ",\"backup\":" + jsonString(e.backup) +
                       ",\"changes\":[";
    for (std::size_t i = 0; i < e.changes.size(); ++i) {
        if (i)
            line += ',';
        line += '[';
        line += jsonString(e.changes[i].key);
        line += ',';
        line += jsonString(e.changes[i].before);
        line += ',';
        line += jsonString(e.changes[i].after);
        line += ']';
    }
    line += "],\"size\":" + std::to_string(e.size) + ",\"lastWrite\":" + std::to_string(e.lastWrite) +
            ",\"sha256\":" + jsonString(e.sha256) + "}\n";
    // One line at a time, flushed: what a crash leaves is every line done.
    std::ofstream out(fsPath(m_path), std::ios::binary | std::ios::app);
    out << line;
    out.flush();
    if (!out)
        return Error(ErrorCode::IoError, "can't write the journal " + m_path);
    return {};
}

Result<std::vector<JournalEntry>> ReadJournal(const std::string& path) {
    auto bytes = platform::readWholeFile(path, std::uint64_t{256} << 20);
    if (!bytes)
        return bytes.error();
    std::vector<JournalEntry> out;
    std::string_view s = *bytes;
    while (!s.empty()) {
        std::size_t end = s.find('\n');
        std::string_view line = s.substr(0, end);
        // A line cut off by a crash is no entry; the lines before it stand.
        if (auto e = parseEntry(line))
            out.push_back(std::move(*e));
        if (end == std::string_view::npos)
            break;
        s.remove_prefix(end + 1);
    }
    return out;
}

std::vector<std::string> JournalsIn(const std::string& folder) {
    std::vector<std::string> out;
    auto names = platform::listFiles(folder);
    if (!names)
        return out;
    for (const std::string& n : *names)
        if (n.starts_with("quorvix-") && n.ends_with(".jsonl"))
            out.push_back(platform::joinPath(folder, n));
    std::sort(out.rbegin(), out.rend());
    return out;
}

std::string WholePath(const std::string& path) {
    std::error_code ec;
    const fs::path whole = fs::absolute(fsPath(path), ec);
    return ec ? path : utf8Of(whole);
}

Result<FileFingerprint> FingerprintOf(const std::string& path) {
    auto entry = platform::findFile(path);
    if (!entry)
        return entry.error();
    auto stamp = ReadFileStamp(path);
    if (!stamp)
        return stamp.error();
    const std::uint64_t movingOpens = platform::readOpensMovingAccessTime();
    Sha256 hash;
    {
        auto file = platform::File::open(path, platform::OpenMode::ReadDenyWrite);
        if (!file)
            return file.error();
        std::string buffer(1 << 16, '\0');
        for (std::uint64_t offset = 0;;) {
            auto n = file->readAt(offset, buffer.data(), buffer.size());
            if (!n)
                return n.error();
            if (*n == 0)
                break;
            hash.add(std::string_view(buffer.data(), *n));
            offset += *n;
        }
    }
    // Reading for the journal leaves the times the run set.
    if (platform::readOpensMovingAccessTime() != movingOpens)
        (void)PutBackAfterRead(path, *stamp);
    return FileFingerprint{entry->size, entry->times.lastWrite.ticks, hash.hex()};
}

}  // namespace qv::engine
