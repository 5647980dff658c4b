// The tagger's command line: the file path and whether to write tags ("/W") or only show what was found.
#pragma once

#include <string>
#include <vector>

namespace quimbrel::tagger {

struct CommandLine {
    // False when there was no parameter at all: the program ends at once.
    bool hasParameters = false;
    std::string path;
    // On when any parameter is "/W" or "-W" in either case.
    bool tagMode = false;
};

// args excludes the program name.
CommandLine parseCommandLine(const std::vector<std::string>& args);

} // namespace quimbrel::tagger
