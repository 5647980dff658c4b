// ombrikw: recognises a recording by its sound and writes title, artist, album and cover into its tags.
#include "Driver.h"

#include <quimbrel_version.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << quimbrel::versionline("ombrikw") << std::endl;
        return 0;
    }
    try {
        quimbrel::tagger::Driver driver(quimbrel::tagger::ServiceConfig::fromEnvironment(), std::cout,
                                        std::cerr);
        const int status = driver.run(std::vector<std::string>(argv + 1, argv + argc));
        std::cout.flush();
        return status;
    } catch (...) {
        // An unexpected internal failure: nothing was recognised or written.
        return 1;
    }
}
