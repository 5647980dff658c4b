// Capturing: loopback of tones through the monitor, channel handling, silence, a capture source, volume.
#include "PulseTestDaemon.h"

#include "capture/TInputRecordThread.h"
#include "capture/TPlayThread.h"
#include "capture/TWASAPISource.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace quimbrel {
namespace {

using namespace std::chrono_literals;
using test::BlockCollector;
using test::peakfrequency;
using test::peaklevel;

constexpr auto kPatience = 20s;

// The tone tests play into sinks of a daemon of their own, so no other test's sound mixes in.
class Loopback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::getenv("QUIMBREL_TEST_PULSE"))
            s_daemon = std::make_unique<test::PulseTestDaemon>();
    }
    static void TearDownTestSuite() { s_daemon.reset(); }
    void SetUp() override {
        QUIMBREL_REQUIRE_PULSE();
        ASSERT_TRUE(s_daemon && s_daemon->running());
        source = std::make_unique<TWASAPISource>(messages, dispatcher, blocks.handler(), s_daemon->server());
    }
    void TearDown() override {
        if (source)
            source->stopthreads();
        EXPECT_EQ(messages.count(), 0u) << (messages.count() ? messages.entries()[0].text : "");
    }

    // Opens the sink `id` in loopback at `format`, waits until the tone has arrived, then collects `frames`
    // frames of it.
    void capture(const std::string& id, const WaveFormat& format, std::size_t frames) {
        int card = 0, line = 0;
        ASSERT_TRUE(test::find(*source, id, card, line)) << id;
        ASSERT_TRUE(source->openline(card, line, format));
        ASSERT_TRUE(source->opened());
        const std::size_t channels = format.channels;
        ASSERT_TRUE(dispatcher.runUntil(
            [&] {
                const std::size_t recent = 441 * channels;
                if (blocks.samples.size() < 10 * recent)
                    return false;
                std::vector<float> tail(blocks.samples.end() - static_cast<std::ptrdiff_t>(recent),
                                        blocks.samples.end());
                return peaklevel(tail, 1, 0) > 0.4;
            },
            kPatience));
        blocks.clear();
        ASSERT_TRUE(
            dispatcher.runUntil([&] { return blocks.samples.size() >= frames * channels; }, kPatience));
    }

    static std::unique_ptr<test::PulseTestDaemon> s_daemon;
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    BlockCollector blocks;
    std::unique_ptr<TWASAPISource> source;
};

std::unique_ptr<test::PulseTestDaemon> Loopback::s_daemon;

TEST_F(Loopback, SineComesBackAt44100WithDoubledLevelInThresholdSizedBlocks) {
    test::TonePlayer tone(s_daemon->server(), "quimbrel_speakers", 48000, {1000, 1000}, {0.25, 0.25});
    ASSERT_TRUE(tone.ok());
    capture("quimbrel_speakers", floatformat(44100, 2), 22050);
    EXPECT_NE(source->silencethread(), nullptr);

    for (int channel : {0, 1}) {
        EXPECT_NEAR(peakfrequency(blocks.samples, 2, channel, 44100), 1000.0, 10.0) << channel;
        EXPECT_NEAR(peaklevel(blocks.samples, 2, channel), 0.5, 0.03) << channel;
    }

    // 48000 Hz stereo: a block is handed over once more than 9600 bytes (1200 frames) have been collected,
    // counted in pieces of 10 ms (480 frames) whatever fragment size the server grants; at 44100 Hz that
    // gives 1103 to 1544 frames, 8820 to 12348 bytes, and never a whole server fragment in one block.
    std::vector<int> sizes = blocks.sizes;
    for (int bytes : sizes)
        EXPECT_EQ(bytes % 8, 0);
    std::sort(sizes.begin(), sizes.end());
    const int median = sizes[sizes.size() / 2];
    EXPECT_GE(median, 8820 * 9 / 10);
    EXPECT_LE(median, 12348 * 11 / 10);
    EXPECT_LE(sizes.back(), 12348 * 11 / 10);
}

TEST_F(Loopback, MonoSinkGivesEqualChannels) {
    test::TonePlayer tone(s_daemon->server(), "quimbrel_mono", 44100, {1000}, {0.25});
    ASSERT_TRUE(tone.ok());
    capture("quimbrel_mono", floatformat(44100, 2), 22050);
    for (std::size_t i = 0; i + 1 < blocks.samples.size(); i += 2)
        ASSERT_FLOAT_EQ(blocks.samples[i], blocks.samples[i + 1]) << "frame " << i / 2;
    EXPECT_NEAR(peakfrequency(blocks.samples, 2, 0, 44100), 1000.0, 10.0);
    EXPECT_NEAR(peaklevel(blocks.samples, 2, 0), 0.5, 0.03);
}

TEST_F(Loopback, EightChannelSinkGivesItsFirstTwoChannels) {
    test::TonePlayer tone(s_daemon->server(), "quimbrel_eight", 48000,
                          {1000, 2000, 3000, 3000, 3000, 3000, 3000, 3000},
                          {0.25, 0.25, 0.4, 0.4, 0.4, 0.4, 0.4, 0.4});
    ASSERT_TRUE(tone.ok());
    capture("quimbrel_eight", floatformat(44100, 2), 22050);
    EXPECT_NEAR(peakfrequency(blocks.samples, 2, 0, 44100), 1000.0, 10.0);
    EXPECT_NEAR(peakfrequency(blocks.samples, 2, 1, 44100), 2000.0, 10.0);
    EXPECT_NEAR(peaklevel(blocks.samples, 2, 0), 0.5, 0.03);
    EXPECT_NEAR(peaklevel(blocks.samples, 2, 1), 0.5, 0.03);
}

TEST_F(Loopback, MonoCaptureFormatGivesOneChannel) {
    test::TonePlayer tone(s_daemon->server(), "quimbrel_speakers", 48000, {1000, 1000}, {0.25, 0.25});
    ASSERT_TRUE(tone.ok());
    capture("quimbrel_speakers", floatformat(44100, 1), 22050);
    // Read as interleaved stereo, the same samples would show 500 Hz.
    EXPECT_NEAR(peakfrequency(blocks.samples, 1, 0, 44100), 1000.0, 10.0);
    EXPECT_NEAR(peaklevel(blocks.samples, 1, 0), 0.5, 0.03);
    for (int bytes : blocks.sizes)
        EXPECT_EQ(bytes % 4, 0);
}

TEST_F(Loopback, SilentBlocksKeepComingWhileTheRendererPlays) {
    int card = 0, line = 0;
    ASSERT_TRUE(test::find(*source, "quimbrel_speakers", card, line));
    ASSERT_TRUE(source->openline(card, line, floatformat(44100, 2)));
    ASSERT_NE(source->silencethread(), nullptr);
    ASSERT_TRUE(dispatcher.runUntil([&] { return blocks.sizes.size() >= 30; }, kPatience));
    EXPECT_EQ(peaklevel(blocks.samples, 1, 0), 0.0);
    EXPECT_EQ(source->silencethread()->errorstate(), 0);
    EXPECT_FALSE(source->silencethread()->finished());
    // Our silence stream plays on the recorded sink.
    const std::string inputs = s_daemon->pactl("list sink-inputs");
    EXPECT_NE(inputs.find("media.name = \"silence\""), std::string::npos) << inputs;
}

// A capture source and the stream volume: the shared daemon serves, nothing is played into it.
TEST(CaptureSource, RecordsWithoutRenderer) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    BlockCollector blocks;
    TWASAPISource source(messages, dispatcher, blocks.handler());
    int card = 0, line = 0;
    ASSERT_TRUE(test::find(source, "quimbrel_mic", card, line));
    ASSERT_TRUE(source.openline(card, line, floatformat(44100, 2)));
    EXPECT_TRUE(source.opened());
    EXPECT_FALSE(source.loopback());
    EXPECT_EQ(source.silencethread(), nullptr);
    EXPECT_TRUE(dispatcher.runUntil([&] { return blocks.sizes.size() >= 10; }, kPatience));
    source.stopthreads();
    EXPECT_EQ(messages.count(), 0u);
}

TEST(CaptureVolume, SetThenGetRoundTripsAndShowsOnOurStream) {
    QUIMBREL_REQUIRE_PULSE();
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    TWASAPISource source(messages, dispatcher);
    EXPECT_EQ(source.getvolume(), 100); // nothing open
    int card = 0, line = 0;
    ASSERT_TRUE(test::find(source, "quimbrel_speakers", card, line));
    ASSERT_TRUE(source.openline(card, line, floatformat(44100, 2)));
    ASSERT_NE(source.capturethread(), nullptr);
    const std::uint32_t index = source.capturethread()->streamindex();

    for (int percent : {40, 73, 100}) {
        source.setvolume(percent);
        EXPECT_EQ(source.getvolume(), percent);
        const std::string all = test::pactl("", "list source-outputs");
        const auto at = all.find("Source Output #" + std::to_string(index) + "\n");
        ASSERT_NE(at, std::string::npos) << all;
        const std::string ours = all.substr(at, all.find("Source Output #", at + 1) - at);
        const auto volumeAt = ours.find("Volume:");
        ASSERT_NE(volumeAt, std::string::npos);
        const std::string volumeLine = ours.substr(volumeAt, ours.find('\n', volumeAt) - volumeAt);
        EXPECT_NE(volumeLine.find(" " + std::to_string(percent) + "%"), std::string::npos) << volumeLine;
        EXPECT_NE(ours.find("Mute: no"), std::string::npos);
    }
    source.stopthreads();
    EXPECT_EQ(messages.count(), 0u);
}

} // namespace
} // namespace quimbrel
