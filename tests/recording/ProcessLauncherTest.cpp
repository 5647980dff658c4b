// Word splitting of command lines and starting and closing programs without a shell.
#include "recording/ProcessLauncher.h"

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>
#include <vector>

namespace quimbrel {
namespace {

TEST(ProcessLauncher, SplitsLikeAShellWithoutExpanding) {
    using Words = std::vector<std::string>;
    const std::pair<std::string, Words> cases[] = {
        {"", {}},
        {"   ", {}},
        {"firefox", {"firefox"}},
        {"  a   b\tc ", {"a", "b", "c"}},
        {"'/opt/my app/run' --x", {"/opt/my app/run", "--x"}},
        {"\"a b\"c 'd'\"e\"", {"a bc", "de"}},
        {"\"\" ''", {"", ""}},
        {"\"\\$HOME \\\" \\x\"", {"$HOME \" \\x"}},
        {"$HOME ~ * `id` $(id) ; |", {"$HOME", "~", "*", "`id`", "$(id)", ";", "|"}},
        {"a\\ b \\'c", {"a b", "'c"}},
        {"'it''s'", {"its"}},
    };
    for (const auto& [text, words] : cases) {
        auto got = splitcommandline(text);
        ASSERT_TRUE(got.has_value()) << text;
        EXPECT_EQ(*got, words) << text;
    }
    for (const char* bad : {"'open", "\"open", "a 'b\" c"})
        EXPECT_FALSE(splitcommandline(bad).has_value()) << bad;
}

TEST(ProcessLauncher, ReportsAMissingProgram) {
    ProcessLauncher launcher;
    EXPECT_EQ(launcher.launch({"no-such-program-for-sure"}), -ENOENT);
    EXPECT_EQ(launcher.launch({}), -ENOENT);
    EXPECT_TRUE(launcher.running().empty());
}

TEST(ProcessLauncher, CloseprocessKillsAProgramThatIgnoresTheRequest) {
    ProcessLauncher launcher;
    const pid_t polite = launcher.launch({"sleep", "30"});
    const pid_t stubborn = launcher.launch({"sh", "-c", "trap '' TERM; while :; do sleep 0.05; done"});
    ASSERT_GT(polite, 0);
    ASSERT_GT(stubborn, 0);
    launcher.closeprocess(polite, 1000);
    launcher.closeprocess(stubborn, 200);
    EXPECT_TRUE(launcher.running().empty());
    EXPECT_NE(kill(polite, 0), 0);
    EXPECT_NE(kill(stubborn, 0), 0);
    launcher.closeprocess(polite, 100); // gone already: nothing happens
    // A process not started here is never signalled (an ended child's id may have been reused).
    launcher.closeprocess(getpid(), 100);
    launcher.closeprocess(getppid(), 100);
    SUCCEED();
}

TEST(ProcessLauncher, ChildrenDoNotInheritBlockedSignals) {
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    ProcessLauncher launcher;
    const pid_t pid = launcher.launch({"sleep", "30"});
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    ASSERT_GT(pid, 0);
    launcher.closeprocess(pid, 2000);
    EXPECT_TRUE(launcher.running().empty());
}

} // namespace
} // namespace quimbrel
