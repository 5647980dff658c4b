// quimbrel-cli: the recorder without a window, for recording on a machine without a desktop and for scripts.
#include "cli/CliCommand.h"
#include "cli/CliSession.h"
#include "cli/EventCommands.h"
#include "cli/RecordOptions.h"

#include <quimbrel_version.h>

#include <csignal>
#include <cstring>
#include <getopt.h>
#include <iostream>
#include <span>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace quimbrel {

namespace {

constexpr const char* kHead =
    "Usage: quimbrel-cli COMMAND [OPTIONS]\n"
    "       quimbrel-cli --help | --version\n"
    "\n"
    "The Quimbrel recorder without a window. It uses the settings, scheduled events, name templates and\n"
    "recordings library of the window program (in $XDG_CONFIG_HOME/Tarvolt/quimbrel/).\n"
    "\n"
    "Commands:\n";

constexpr const char* kTail =
    "\n"
    "While recording, status changes (\"status: Recording\"), new files (\"recording: PATH\") and finished\n"
    "files (\"finished: PATH\") are printed one per line; at the end of a recording, \"recorded: SECONDS "
    "s\"\n"
    "is the audio time written. Finished recordings enter the library and start the tagger as in the window\n"
    "program.\n"
    "\n"
    "Exit status: 0 on success; 1 when the line cannot be opened, the output folder is missing or cannot be\n"
    "created, a file cannot be created or written, or the library cannot be opened (the reason is printed "
    "on\n"
    "standard error); 2 for a wrong command line or a value out of range.\n";

const option kHelpOnly[] = {{"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};

// getopt_long over a command's own options. handle() is called for every option but --help; it returns a
// reason to refuse the value, or nothing. Returns -1 when the command should run, else the exit status.
template <typename Handle>
int parseoptions(CliContext& context, int argc, char** argv, const option* longopts, const char* shortopts,
                 Handle handle) {
    const std::string command = argv[0];
    opterr = 0;
    optind = 0; // also resets getopt's scanning state
    const std::string optstring = std::string("+:h") + shortopts;
    for (;;) {
        int index = -1;
        const int c = getopt_long(argc, argv, optstring.c_str(), longopts, &index);
        if (c == -1)
            break;
        const std::string given = argv[optind - 1];
        if (c == 'h')
            return -2;
        if (c == '?')
            return usageError(context, command + ": unknown option '" + given + "'");
        if (c == ':')
            return usageError(context, command + ": option '" + given + "' needs a value");
        if (auto refused = handle(c, std::string(optarg ? optarg : "")))
            return usageError(context, *refused);
    }
    if (optind < argc)
        return usageError(context, command + ": unexpected argument '" + argv[optind] + "'");
    return -1;
}

int helpOrStatus(CliContext& context, int status, const char* command);

int runDevices(CliContext& context, int argc, char** argv);
int runRecord(CliContext& context, int argc, char** argv);
int runSchedule(CliContext& context, int argc, char** argv);
int runLibrary(CliContext& context, int argc, char** argv);
int runEvents(CliContext& context, int argc, char** argv);

// Commands kept in their own files add a row here.
const CliCommand kCommands[] = {
    {"devices",
     "  devices [--json]        List the audio endpoints card by card: position (CARD:LINE), name, "
     "direction,\n"
     "                          state and system format; the default playback endpoint is marked\n"
     "                          \"(default)\". --json prints one JSON document instead.\n",
     runDevices},
    {"record",
     "  record [OPTIONS]        Open the configured line and record with the stored settings (VOX, "
     "splitting,\n"
     "                          auto-stop, filters and gain control included). Files are named from the "
     "name\n"
     "                          template; no questions are asked. The options below change a setting for "
     "this\n"
     "                          run only; the settings file is left as it is.\n"
     "    --for SECONDS         stop SECONDS after the first audio arrives (else on SIGINT, SIGTERM or\n"
     "                          auto-stop)\n"
     "    --format FORMAT       mp3, ogg, wma, wav, flac or m4a\n"
     "    --bitrate KBITS       a bit rate the format offers (MP3, Ogg Vorbis, WMA, M4A)\n"
     "    --rate HZ             a sample rate the format offers\n"
     "    --channels 1|2        mono or stereo\n"
     "    --device CARD:LINE|NAME  the line to record, as 'devices' lists it, by position, name or id\n"
     "    --output DIR          the output folder (created when missing)\n"
     "    --name TEMPLATE       the name template, e.g. YY-MM-DD-HH-NN-SS or take-NUM\n",
     runRecord},
    {"schedule",
     "  schedule                Keep the configured line open and let the scheduler start and stop "
     "recordings\n"
     "                          from the scheduled events until SIGINT or SIGTERM (the scheduler is "
     "switched\n"
     "                          on for this run whatever the settings say).\n",
     runSchedule},
    {"library",
     "  library [--json]        Print the recordings of the library whose files exist, oldest first, one "
     "path\n"
     "                          a line; --json prints one JSON document with each recording's details.\n",
     runLibrary},
    {"events", kEventUsage, runEvents},
    {"event", "", runEvents},
};

void printusage(std::ostream& out) {
    out << kHead;
    for (const CliCommand& command : kCommands)
        out << command.usage;
    out << "  --help                  Show this text (COMMAND --help: that command's part).\n"
           "  --version               Show the version.\n"
        << kTail;
}

// -2 from parseoptions: the command's --help.
int helpOrStatus(CliContext& context, int status, const char* command) {
    if (status != -2)
        return status;
    for (const CliCommand& row : kCommands)
        if (std::strcmp(row.name, command) == 0)
            context.out << "Usage: quimbrel-cli " << (row.usage + 2);
    return 0;
}

const option kJsonOptions[] = {
    {"json", no_argument, nullptr, 'j'}, {"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};

int runDevices(CliContext& context, int argc, char** argv) {
    bool json = false;
    const int status = parseoptions(context, argc, argv, kJsonOptions, "", [&](int, const std::string&) {
        json = true;
        return std::optional<std::string>();
    });
    if (status != -1)
        return helpOrStatus(context, status, argv[0]);
    CliSession session(context.out, context.err, context.signalFd);
    return session.devices(json);
}

int runRecord(CliContext& context, int argc, char** argv) {
    enum : int { kFor = 256, kFormat, kBitrate, kRate, kChannels, kDevice, kOutput, kName };
    static const option longopts[] = {
        {"for", required_argument, nullptr, kFor},
        {"format", required_argument, nullptr, kFormat},
        {"bitrate", required_argument, nullptr, kBitrate},
        {"rate", required_argument, nullptr, kRate},
        {"channels", required_argument, nullptr, kChannels},
        {"device", required_argument, nullptr, kDevice},
        {"output", required_argument, nullptr, kOutput},
        {"name", required_argument, nullptr, kName},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    RecordOptions options;
    const int status = parseoptions(context, argc, argv, longopts, "",
                                    [&](int c, const std::string& value) -> std::optional<std::string> {
                                        switch (c) {
                                        case kFor:
                                            return parseseconds(value, options.forSeconds);
                                        case kFormat:
                                            return parseformat(value, options);
                                        case kBitrate:
                                            return parsepositive("--bitrate", value, options.bitrate);
                                        case kRate:
                                            return parsepositive("--rate", value, options.rate);
                                        case kChannels:
                                            return parsechannels(value, options);
                                        case kDevice:
                                            if (value.empty())
                                                return "--device needs CARD:LINE or an endpoint's name";
                                            options.device = value;
                                            return std::nullopt;
                                        case kOutput:
                                            if (value.empty())
                                                return "--output needs a folder";
                                            options.output = value;
                                            return std::nullopt;
                                        case kName:
                                            return parsename(value, options);
                                        default:
                                            return "record: unknown option";
                                        }
                                    });
    if (status != -1)
        return helpOrStatus(context, status, argv[0]);
    CliSession session(context.out, context.err, context.signalFd);
    return session.record(options);
}

int runSchedule(CliContext& context, int argc, char** argv) {
    const int status = parseoptions(context, argc, argv, kHelpOnly, "",
                                    [](int, const std::string&) { return std::optional<std::string>(); });
    if (status != -1)
        return helpOrStatus(context, status, argv[0]);
    CliSession session(context.out, context.err, context.signalFd);
    return session.schedule();
}

int runLibrary(CliContext& context, int argc, char** argv) {
    bool json = false;
    const int status = parseoptions(context, argc, argv, kJsonOptions, "", [&](int, const std::string&) {
        json = true;
        return std::optional<std::string>();
    });
    if (status != -1)
        return helpOrStatus(context, status, argv[0]);
    CliSession session(context.out, context.err, context.signalFd);
    return session.library(json);
}

// `events` and `event` read their own words; their --help is their part of the usage text.
int runEvents(CliContext& context, int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            context.out << "Usage: quimbrel-cli " << (kEventUsage + 2);
            return 0;
        }
    return runEventCommand(args, context.out, context.err);
}

// SIGINT and SIGTERM are read from a descriptor by the main loop, so they stop a recording through the Stop
// action. Blocked before any thread starts, so every thread inherits the mask.
int blocksignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

} // namespace

int usageError(CliContext& context, const std::string& reason) {
    context.err << "quimbrel-cli: " << reason << " (see 'quimbrel-cli --help')" << std::endl;
    return 2;
}

} // namespace quimbrel

int main(int argc, char** argv) {
    using namespace quimbrel;
    CliContext context{std::cout, std::cerr, -1};
    if (argc < 2)
        return usageError(context, "no command given");
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        printusage(std::cout);
        return 0;
    }
    if (first == "--version" || first == "-V") {
        std::cout << versionline("quimbrel-cli") << std::endl;
        return 0;
    }
    for (const CliCommand& command : kCommands)
        if (first == command.name) {
            context.signalFd = blocksignals();
            const int status = command.run(context, argc - 1, argv + 1);
            if (context.signalFd >= 0)
                close(context.signalFd);
            return status;
        }
    if (first.starts_with('-'))
        return usageError(context, "unknown option '" + first + "'");
    return usageError(context, "unknown command '" + first + "'");
}
