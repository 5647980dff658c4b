// quimbrel-cli's `events` and `event add|edit|delete|enable|disable`: the schedule edited without a window.
// They read and write events.xml in the data folder, and nothing else.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quimbrel {

// True when args (the words after the program name) name one of the event commands.
bool isEventCommand(const std::vector<std::string>& args);

// Runs it. Exit status: 0 done; 1 events.xml cannot be read or written; 2 a wrong command line or a refused
// event, with the reason on err.
int runEventCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The lines of the usage text that describe the event commands.
extern const char* const kEventUsage;

} // namespace quimbrel
