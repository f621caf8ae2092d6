#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    qv::platform::prepareStandardStreams();
    // A run that runs out of memory ends with a word, never an abort; the
    // files are as they were (every change is atomic).
    try {
        return qv::cli::runCli(qv::platform::programArguments(argc, argv), std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        std::cerr << "quorvix-cli: out of memory; nothing more was done\n";
        return qv::cli::kExitFileFailed;
    }
}
