// Starting outside programs with posix_spawnp and closing them with SIGTERM, then SIGKILL.
#include "recording/ProcessLauncher.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace quimbrel {

std::optional<std::vector<std::string>> splitcommandline(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    enum class Quote { None, Single, Double } quote = Quote::None;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (quote) {
        case Quote::Single:
            if (c == '\'')
                quote = Quote::None;
            else
                word += c;
            break;
        case Quote::Double:
            if (c == '"') {
                quote = Quote::None;
            } else if (c == '\\' && i + 1 < text.size() &&
                       (text[i + 1] == '$' || text[i + 1] == '`' || text[i + 1] == '"' ||
                        text[i + 1] == '\\' || text[i + 1] == '\n')) {
                if (text[i + 1] != '\n')
                    word += text[i + 1];
                ++i;
            } else {
                word += c;
            }
            break;
        case Quote::None:
            if (c == ' ' || c == '\t' || c == '\n') {
                if (inWord)
                    words.push_back(std::move(word));
                word.clear();
                inWord = false;
            } else if (c == '\'') {
                quote = Quote::Single;
                inWord = true;
            } else if (c == '"') {
                quote = Quote::Double;
                inWord = true;
            } else if (c == '\\') {
                inWord = true;
                if (i + 1 < text.size()) {
                    if (text[i + 1] != '\n')
                        word += text[i + 1];
                    ++i;
                }
            } else {
                word += c;
                inWord = true;
            }
            break;
        }
    }
    if (quote != Quote::None)
        return std::nullopt;
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

ProcessLauncher::~ProcessLauncher() {
    reap();
}

pid_t ProcessLauncher::launch(const std::vector<std::string>& argv) {
    reap();
    if (argv.empty() || argv.front().empty())
        return -ENOENT;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The child gets standard input, output and error only.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A front end may block SIGINT and SIGTERM to read them from a descriptor; the child must not inherit
    // that, or closeprocess could not end it politely.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGHUP, SIGQUIT})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args.front(), &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -rc;
    m_children.push_back(pid);
    return pid;
}

bool ProcessLauncher::ended(pid_t pid) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == 0)
        return false;
    // Collected now, or not ours to wait for any more.
    m_children.erase(std::remove(m_children.begin(), m_children.end(), pid), m_children.end());
    return true;
}

void ProcessLauncher::reap() {
    const std::vector<pid_t> children = m_children;
    for (pid_t pid : children)
        ended(pid);
}

void ProcessLauncher::closeprocess(pid_t pid, int milliseconds) {
    // Only a program started here and not yet collected: once collected, its id may belong to another
    // process.
    if (pid <= 0 || std::find(m_children.begin(), m_children.end(), pid) == m_children.end())
        return;
    if (ended(pid))
        return;
    kill(pid, SIGTERM);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    while (!ended(pid)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            // Collect it, so a killed child does not stay behind as a zombie.
            waitpid(pid, nullptr, 0);
            m_children.erase(std::remove(m_children.begin(), m_children.end(), pid), m_children.end());
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace quimbrel
