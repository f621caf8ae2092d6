#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    qv::platform::prepareStandardStreams();
    return qv::cli::runCli(qv::platform::programArguments(argc, argv), std::cout, std::cerr);
}
