// quimbrel-cli: the recorder without a window, for recording on a machine without a desktop and for scripts.
#include "cli/CliSession.h"
#include "cli/EventCommands.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: quimbrel-cli COMMAND [OPTIONS]\n"
    "\n"
    "The Quimbrel recorder without a window. It uses the settings, scheduled events, name templates and\n"
    "recordings library of the window program (in $XDG_CONFIG_HOME/Tarvolt/quimbrel/).\n"
    "\n"
    "Commands:\n"
    "  devices                 List the audio endpoints card by card: position (card:line), name, "
    "direction,\n"
    "                          state and system format; the default playback endpoint is marked "
    "\"(default)\".\n"
    "  record [--for SECONDS]  Open the configured line and record with the stored settings (VOX, "
    "splitting,\n"
    "                          auto-stop, filters and gain control included). Files are named from the name\n"
    "                          template; no questions are asked. Stops SECONDS after the first audio "
    "arrives,\n"
    "                          on SIGINT or SIGTERM, or by auto-stop.\n"
    "  schedule                Keep the configured line open and let the scheduler start and stop "
    "recordings\n"
    "                          from the scheduled events until SIGINT or SIGTERM (the scheduler is switched "
    "on\n"
    "                          for this run whatever the settings say).\n"
    "  library                 Print the recordings of the library whose files exist, oldest first, one "
    "path\n"
    "                          a line.\n"
    "%EVENTS%"
    "  --help                  Show this text.\n"
    "\n"
    "While recording, status changes (\"status: Recording\"), new files (\"recording: PATH\") and finished "
    "files\n"
    "(\"finished: PATH\") are printed one per line; at the end of a recording, \"recorded: SECONDS s\" is "
    "the\n"
    "audio time written. Finished recordings enter the library and start the tagger\n"
    "as in the window program.\n"
    "\n"
    "Exit status: 0 on success; 1 when the line cannot be opened, the output folder is missing, a file "
    "cannot\n"
    "be created or written, or the library cannot be opened (the reason is printed on standard error);\n"
    "2 for a wrong command line.\n";

int usageError(const std::string& reason) {
    std::cerr << "quimbrel-cli: " << reason << "\n"
              << "Try 'quimbrel-cli --help'." << std::endl;
    return 2;
}

bool parseSeconds(const std::string& text, double& seconds) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0' && seconds > 0 && seconds < 1e9;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            const std::string usage = kUsage;
            const auto at = usage.find("%EVENTS%");
            std::cout << usage.substr(0, at) << quimbrel::kEventUsage << usage.substr(at + 8);
            return 0;
        }
    if (args.empty())
        return usageError("no command given");
    if (quimbrel::isEventCommand(args))
        return quimbrel::runEventCommand(args, std::cout, std::cerr);

    const std::string command = args[0];
    double forSeconds = 0;
    if (command == "record") {
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--for" && i + 1 < args.size()) {
                if (!parseSeconds(args[++i], forSeconds))
                    return usageError("--for needs a positive number of seconds, not '" + args[i] + "'");
            } else if (args[i].rfind("--for=", 0) == 0) {
                if (!parseSeconds(args[i].substr(6), forSeconds))
                    return usageError("--for needs a positive number of seconds, not '" + args[i].substr(6) +
                                      "'");
            } else {
                return usageError("unexpected argument '" + args[i] + "'");
            }
        }
    } else if (command == "devices" || command == "schedule" || command == "library") {
        if (args.size() > 1)
            return usageError("unexpected argument '" + args[1] + "'");
    } else {
        return usageError("unknown command '" + command + "'");
    }

    // SIGINT and SIGTERM are read from a descriptor by the main loop, so they stop a recording through the
    // Stop action. Blocked before any thread starts, so every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    int status = 0;
    {
        quimbrel::CliSession session(std::cout, std::cerr, signalFd);
        if (command == "devices")
            status = session.devices();
        else if (command == "record")
            status = session.record(forSeconds);
        else if (command == "schedule")
            status = session.schedule();
        else
            status = session.library();
    }
    if (signalFd >= 0)
        close(signalFd);
    return status;
}
