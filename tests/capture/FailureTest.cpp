// Capture when things go wrong: the sink or the server vanishing mid-capture, no server at all, stopping with
// a hand-off in flight, and many openings in a row leaving nothing behind.
#include "PulseTestDaemon.h"

#include "capture/TInputRecordThread.h"
#include "capture/TPlayThread.h"
#include "capture/TWASAPISource.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>

namespace quimbrel {
namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 20s;

bool openSink(TWASAPISource& source, const std::string& id) {
    int card = 0, line = 0;
    return test::find(source, id, card, line) && source.openline(card, line, floatformat(44100, 2)) &&
           source.opened();
}

// Checks that exactly one loop failure was shown, and keeps pumping a little to see it stays one.
void expectOneLoopFailure(RecordingMessagePort& messages, Dispatcher& dispatcher) {
    dispatcher.runFor(500ms);
    auto shown = messages.entries();
    ASSERT_EQ(shown.size(), 1u);
    const std::string prefix = "CaptureClient.GetNextPacketSize Failed.";
    const std::string& text = shown[0].text;
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    // The error number follows directly as eight upper-case hexadecimal digits.
    EXPECT_EQ(text.size(), prefix.size() + 8) << text;
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEF", prefix.size()), std::string::npos) << text;
    EXPECT_EQ(shown[0].caption, "Audio Device Error");
    EXPECT_EQ(shown[0].icon, MessageIcon::Error);
}

TEST(CaptureFailure, SinkUnloadedMidCaptureEndsTheThreadWithOneMessage) {
    QUIMBREL_REQUIRE_PULSE();
    test::PulseTestDaemon daemon;
    ASSERT_TRUE(daemon.running());
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    test::BlockCollector blocks;
    TWASAPISource source(messages, dispatcher, blocks.handler(), daemon.server());
    ASSERT_TRUE(openSink(source, "quimbrel_speakers"));
    ASSERT_TRUE(dispatcher.runUntil([&] { return blocks.sizes.size() >= 3; }, kPatience));

    std::string module;
    std::istringstream modules(daemon.pactl("list short modules"));
    for (std::string line; std::getline(modules, line);)
        if (line.find("sink_name=quimbrel_speakers ") != std::string::npos)
            module = line.substr(0, line.find('\t'));
    ASSERT_FALSE(module.empty());
    daemon.pactl("unload-module " + module);

    ASSERT_TRUE(dispatcher.runUntil([&] { return source.capturethread()->finished(); }, kPatience));
    expectOneLoopFailure(messages, dispatcher);
    EXPECT_EQ(source.capturethread()->errorstate(), -1);
    EXPECT_EQ(source.getvolume(), 100);

    // The catalogue still lists the sink; opening it now finds it gone.
    messages.clear();
    int card = 0, line = 0;
    ASSERT_TRUE(test::find(source, "quimbrel_speakers", card, line));
    source.openline(card, line, floatformat(44100, 2));
    EXPECT_FALSE(source.opened());
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].text,
              "This device [Test Speakers] not present. Please open Settings->Mixer and "
              "select another recording source.");
    ASSERT_NE(source.silencethread(), nullptr);
    EXPECT_NE(source.silencethread()->errorstate(), 0);

    // The recorder goes on: another line opens and captures.
    messages.clear();
    blocks.clear();
    ASSERT_TRUE(openSink(source, "quimbrel_mono"));
    EXPECT_TRUE(dispatcher.runUntil([&] { return blocks.sizes.size() >= 3; }, kPatience));
    source.stopthreads();
    EXPECT_EQ(messages.count(), 0u);
}

TEST(CaptureFailure, DaemonKilledMidCaptureEndsTheThreadAndLaterOpeningsFail) {
    QUIMBREL_REQUIRE_PULSE();
    test::PulseTestDaemon daemon;
    ASSERT_TRUE(daemon.running());
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    test::BlockCollector blocks;
    TWASAPISource source(messages, dispatcher, blocks.handler(), daemon.server());
    ASSERT_TRUE(openSink(source, "quimbrel_speakers"));
    ASSERT_TRUE(dispatcher.runUntil([&] { return blocks.sizes.size() >= 3; }, kPatience));

    daemon.kill();
    ASSERT_TRUE(dispatcher.runUntil([&] { return source.capturethread()->finished(); }, kPatience));
    expectOneLoopFailure(messages, dispatcher);

    // Opening again with no server: the line is known, but its initialisation fails with a message.
    messages.clear();
    int card = 0, line = 0;
    ASSERT_TRUE(test::find(source, "quimbrel_speakers", card, line));
    source.openline(card, line, floatformat(44100, 2));
    EXPECT_FALSE(source.opened());
    auto shown = messages.entries();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "The PulseAudio sound server is not running.");
    EXPECT_EQ(shown[0].caption, "Audio Device Error");
    source.stopthreads();
}

TEST(CaptureFailure, NoServerFailsWithMessages) {
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    TWASAPISource source(messages, dispatcher, {}, "unix:/nonexistent/quimbrel-capture-test/native");
    EXPECT_EQ(source.cards().count(), 0);
    EXPECT_TRUE(source.lines().empty());
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].text, "Audio devices enumeration error.");
    EXPECT_EQ(messages.entries()[0].caption, "Audio Device Error");

    messages.clear();
    EXPECT_FALSE(source.opencard(0, floatformat(44100, 2)));
    EXPECT_FALSE(source.opened());
    EXPECT_FALSE(source.isactive());
    ASSERT_EQ(messages.count(), 1u);
    EXPECT_EQ(messages.entries()[0].text, "Could not initialize selected audio device.");
    EXPECT_EQ(source.getvolume(), 100);
}

TEST(CaptureFailure, AnExceptionFromTheBlockHandlerEndsTheThreadAndIsShown) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    int calls = 0;
    TWASAPISource source(messages, dispatcher, [&](TWASAPISource&, const void*, int) {
        ++calls;
        throw std::runtime_error("block handler failed");
    });
    ASSERT_TRUE(openSink(source, "quimbrel_speakers"));
    ASSERT_TRUE(dispatcher.runUntil([&] { return source.capturethread()->finished(); }, kPatience));
    dispatcher.runFor(300ms);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(source.capturethread()->errorstate(), -1);
    auto shown = messages.entries();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "block handler failed");
    source.stopthreads();
}

// A dispatcher that notes when a worker has queued a hand-off.
class WatchedDispatcher : public Dispatcher {
public:
    std::atomic<int> queued{0};

protected:
    void wake() override { ++queued; }
};

TEST(CaptureStop, StopWhileAHandOffIsPendingReturns) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    WatchedDispatcher dispatcher;
    int delivered = 0;
    TWASAPISource source(messages, dispatcher, [&](TWASAPISource&, const void*, int) { ++delivered; });
    ASSERT_TRUE(openSink(source, "quimbrel_speakers"));
    // Do not run the dispatcher: the capture thread blocks in its first hand-off.
    for (int i = 0; i < 2000 && dispatcher.queued == 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GT(dispatcher.queued.load(), 0);
    source.stopthreads();
    EXPECT_EQ(source.capturethread(), nullptr);
    EXPECT_LE(delivered, 1);
    EXPECT_EQ(messages.count(), 0u);
}

int threadCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}

// Streams on the shared daemon that belong to this process.
int ourStreams(const std::string& kind) {
    const std::string all = test::pactl("", "list " + kind);
    const std::string mark = "application.process.id = \"" + std::to_string(getpid()) + "\"";
    int n = 0;
    for (auto at = all.find(mark); at != std::string::npos; at = all.find(mark, at + 1))
        ++n;
    return n;
}

TEST(CaptureStop, FiftyOpeningsInARowLeaveNoThreadOrStream) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    int delivered = 0;
    TWASAPISource source(messages, dispatcher, [&](TWASAPISource&, const void*, int) { ++delivered; });
    const int threadsBefore = threadCount();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(openSink(source, "quimbrel_speakers")) << i;
        // Long enough for both threads to be running, now and then with a block in flight at the stop.
        dispatcher.runFor(30ms);
        source.stopthreads();
    }
    EXPECT_EQ(threadCount(), threadsBefore);
    // The server forgets a stream shortly after we disconnect it.
    dispatcher.runUntil([] { return ourStreams("source-outputs") == 0 && ourStreams("sink-inputs") == 0; },
                        kPatience);
    EXPECT_EQ(ourStreams("source-outputs"), 0);
    EXPECT_EQ(ourStreams("sink-inputs"), 0);
    EXPECT_EQ(messages.count(), 0u);
}

} // namespace
} // namespace quimbrel
