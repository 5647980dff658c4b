// Starting and closing outside programs (the tagger, a scheduled event's program) with an argument vector,
// never through a shell. Used on the UI thread.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quimbrel {

// Splits a command-line text into words as a POSIX shell would (blanks separate words; single quotes keep
// everything literally; inside double quotes a backslash escapes only $ ` " \ and newline; outside quotes a
// backslash escapes the next character), without any expansion or substitution. Nothing when a quote is not
// closed.
std::optional<std::vector<std::string>> splitcommandline(const std::string& text);

// Starts programs and remembers them until they have ended, so no finished child lingers as a zombie.
class ProcessLauncher {
public:
    ProcessLauncher() = default;
    ~ProcessLauncher();
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    // Starts argv[0] (searched in PATH when it has no slash) with the arguments, the current directory and
    // environment, no descriptors beyond standard input, output and error, and default signal handling.
    // Returns the process id, or the error number (negated) when it could not be started.
    pid_t launch(const std::vector<std::string>& argv);

    // Collects the exit status of every started program that has ended.
    void reap();

    // Asks the process to end (SIGTERM), waits up to the given time, then kills it (SIGKILL). Nothing when
    // the process no longer exists.
    void closeprocess(pid_t pid, int milliseconds);

    // The programs started and not yet known to have ended.
    const std::vector<pid_t>& running() const { return m_children; }

private:
    bool ended(pid_t pid);
    std::vector<pid_t> m_children;
};

} // namespace quimbrel
