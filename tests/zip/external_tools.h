// Running the independent ZIP tools (Info-ZIP zip/unzip, Python's zipfile)
// from the tests; a test skips when a tool is absent.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <string>

namespace qv::test {

#ifdef _WIN32
// The Windows build runs under an emulator without the tools.
inline bool haveTool(const std::string&) { return false; }
inline int runQuiet(const std::string&) { return -1; }
#else
inline bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command, its output discarded; gives its exit status.
inline int runQuiet(const std::string& command) {
    int rc = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
#endif

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// Runs a Python program with arguments; gives its exit status.
inline int runPython(const std::string& program, const std::string& args = {}) {
    return runQuiet("python3 -c " + shellQuote(program) + " " + args);
}

// Python's own strict check: every entry's CRC and the local headers.
inline bool pythonTestzipPasses(const std::string& path) {
    return runPython("import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                     "    sys.exit(1 if z.testzip() is not None else 0)\n",
                     shellQuote(path)) == 0;
}

inline bool unzipTestPasses(const std::string& path) { return runQuiet("unzip -t " + shellQuote(path)) == 0; }

}  // namespace qv::test
