// The commands of quimbrel-cli: one table row per command, each parsing its own options with getopt_long.
#pragma once

#include <ostream>
#include <string>

namespace quimbrel {

// What every command is handed: the output streams and the signalfd for SIGINT and SIGTERM (blocked in every
// thread before any command runs), or -1.
struct CliContext {
    std::ostream& out;
    std::ostream& err;
    int signalFd = -1;
};

struct CliCommand {
    const char* name;
    const char* usage; // the command's lines in --help, each indented by two spaces
    // argv[0] is the command's name; the command's options follow. Returns the exit status.
    int (*run)(CliContext& context, int argc, char** argv);
};

// "quimbrel-cli: <reason>" and a pointer to --help, one line on standard error; returns 2, the status of a
// wrong command line.
int usageError(CliContext& context, const std::string& reason);

} // namespace quimbrel
