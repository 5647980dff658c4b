// The player on a daemon of the test's own: the samples that reach the sink are the file's, across pause,
// seek and stop, and the end of the file is reported once.
#include "PulseTestDaemon.h"

#include "capture/TWASAPISource.h"
#include "playback/Player.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"

#include <gtest/gtest.h>

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

namespace quimbrel {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Long enough for the sanitizer build on a busy machine; the waits end as soon as their condition holds.
constexpr auto kPatience = 120s;
constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kFrames = 72000; // 1.5 s
// The sink stores 16-bit samples: what comes back may differ from the file by the rounding of a step or two.
constexpr float kTolerance = 3.0f / 32768.0f;

// A 16-bit stereo WAV file of noise that is never zero, so silence on the monitor is told apart from it.
std::vector<float> writeNoise(const fs::path& path) {
    std::mt19937 random(7);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(kFrames) * kChannels);
    std::vector<float> floats(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int magnitude = 1000 + static_cast<int>(random() % 15000);
        samples[i] = static_cast<std::int16_t>(random() % 2 ? magnitude : -magnitude);
        floats[i] = static_cast<float>(samples[i]) / 32768.0f;
    }
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(kChannels);
    put32(kRate);
    put32(kRate * kChannels * 2);
    put16(kChannels * 2);
    put16(16);
    out.write("data", 4);
    put32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
    return floats;
}

// Records a sink's monitor as float frames on a thread of its own.
class MonitorRecorder {
public:
    MonitorRecorder(const std::string& server, const std::string& source, int rate, int channels)
        : m_channels(static_cast<std::size_t>(channels)) {
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(rate),
                            static_cast<std::uint8_t>(channels)};
        pa_buffer_attr attr{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                            static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                            static_cast<std::uint32_t>(rate / 100 * channels * 4)};
        int error = 0;
        m_simple = pa_simple_new(server.c_str(), "quimbrel-test", PA_STREAM_RECORD, source.c_str(), "monitor",
                                 &spec, nullptr, &attr, &error);
        if (!m_simple)
            return;
        m_thread = std::thread([this, rate] {
            std::vector<float> chunk(static_cast<std::size_t>(rate / 100) * m_channels);
            while (!m_stop) {
                int err = 0;
                if (pa_simple_read(m_simple, chunk.data(), chunk.size() * sizeof(float), &err) < 0)
                    break;
                std::lock_guard lock(m_mutex);
                m_samples.insert(m_samples.end(), chunk.begin(), chunk.end());
            }
        });
    }
    ~MonitorRecorder() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_simple)
            pa_simple_free(m_simple);
    }
    bool ok() const { return m_simple != nullptr; }
    // Whether the monitor delivers (it may start a little after the stream is connected).
    bool running() const { return frames() > 0; }
    std::size_t frames() const {
        std::lock_guard lock(m_mutex);
        return m_samples.size() / m_channels;
    }
    std::vector<float> samples() const {
        std::lock_guard lock(m_mutex);
        return m_samples;
    }
    // The frames that are not silent, in order.
    std::vector<float> sounding() const {
        std::vector<float> all = samples();
        std::vector<float> out;
        for (std::size_t f = 0; f + m_channels <= all.size(); f += m_channels) {
            bool silent = true;
            for (std::size_t c = 0; c < m_channels; ++c)
                silent = silent && all[f + c] == 0.0f;
            if (!silent)
                out.insert(out.end(), all.begin() + static_cast<std::ptrdiff_t>(f),
                           all.begin() + static_cast<std::ptrdiff_t>(f + m_channels));
        }
        return out;
    }

private:
    std::size_t m_channels;
    pa_simple* m_simple = nullptr;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<float> m_samples;
    std::thread m_thread;
};

// Whether got[from, from + count) equals want[at, at + count) within the tolerance.
::testing::AssertionResult sameSamples(const std::vector<float>& got, std::size_t from,
                                       const std::vector<float>& want, std::size_t at, std::size_t count) {
    if (from + count > got.size() || at + count > want.size())
        return ::testing::AssertionFailure() << "too few samples";
    for (std::size_t i = 0; i < count; ++i)
        if (std::fabs(got[from + i] - want[at + i]) > kTolerance)
            return ::testing::AssertionFailure() << "sample " << i << ": " << got[from + i] << " instead of "
                                                 << want[at + i] << " (file sample " << at + i << ")";
    return ::testing::AssertionSuccess();
}

class Playback : public ::testing::Test, public PlaybackView {
protected:
    static void SetUpTestSuite() {
        if (std::getenv("QUIMBREL_TEST_PULSE"))
            s_daemon = std::make_unique<test::PulseTestDaemon>();
    }
    static void TearDownTestSuite() { s_daemon.reset(); }

    void SetUp() override {
        QUIMBREL_REQUIRE_PULSE();
        ASSERT_TRUE(s_daemon && s_daemon->running());
        dir = fs::temp_directory_path() / ("quimbrel-playback-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        file = dir / "noise.wav";
        noise = writeNoise(file);
        source = std::make_unique<TWASAPISource>(messages, dispatcher, TWASAPISource::DataHandler{},
                                                 s_daemon->server());
        player =
            std::make_unique<Player>(dispatcher, [this](int& error) { return source->connection(error); });
        player->setView(this);
    }
    void TearDown() override {
        player.reset();
        source.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void playbackEnded() override { ++ended; }

    void waitFor(const std::function<bool()>& done) { ASSERT_TRUE(dispatcher.runUntil(done, kPatience)); }
    // Lets the monitor run on for a while of sound time (silence after a stop, a pause or the end).
    void listenOn(const MonitorRecorder& monitor, std::size_t frames) {
        const std::size_t until = monitor.frames() + frames;
        waitFor([&] { return monitor.frames() >= until; });
    }
    // What was heard, as runs of consecutive file frames: {first file frame, frame count}. A null sink
    // renders a little ahead into its monitor: when a stream joins or resumes, it may skip a few
    // milliseconds of it, and when one pauses it plays the rendered-ahead part again on resuming. So the
    // tests ask for runs of the file's own samples in order, with jumps no longer than the stream's queue
    // except where the test itself moved the position. A sample that is not the file's fails here.
    struct Run {
        std::size_t first;
        std::size_t frames;
    };
    std::vector<Run> runsOf(const std::vector<float>& heard) const {
        const std::size_t frames = heard.size() / kChannels;
        const std::size_t fileFrames = noise.size() / kChannels;
        std::vector<Run> runs;
        std::size_t i = 0;
        while (i < frames) {
            const std::size_t probe = std::min<std::size_t>(8, frames - i);
            std::size_t at = fileFrames;
            // The continuation of the current run first, then anywhere in the file (the noise does not
            // repeat).
            if (!runs.empty() &&
                sameSamples(heard, i * kChannels, noise, (runs.back().first + runs.back().frames) * kChannels,
                            probe * kChannels))
                at = runs.back().first + runs.back().frames;
            for (std::size_t f = 0; at == fileFrames && f + probe <= fileFrames; ++f)
                if (sameSamples(heard, i * kChannels, noise, f * kChannels, probe * kChannels))
                    at = f;
            if (at == fileFrames) {
                ADD_FAILURE() << "heard frame " << i << " is not in the file";
                return runs;
            }
            if (runs.empty() || runs.back().first + runs.back().frames != at)
                runs.push_back({at, 0});
            while (i < frames && at < fileFrames &&
                   sameSamples(heard, i * kChannels, noise, at * kChannels, kChannels)) {
                ++i;
                ++at;
                ++runs.back().frames;
            }
        }
        return runs;
    }
    // The jumps between runs: none longer than the stream's queue, except at `allowed` (a run index).
    void expectSmallJumps(const std::vector<Run>& runs, std::size_t allowed = 0) const {
        const auto queue = static_cast<long long>(kRate / 10);
        for (std::size_t r = 1; r < runs.size(); ++r) {
            if (r == allowed)
                continue;
            const long long jump = static_cast<long long>(runs[r].first) -
                                   static_cast<long long>(runs[r - 1].first + runs[r - 1].frames);
            EXPECT_LE(std::llabs(jump), queue) << "run " << r;
        }
    }
    static std::size_t endOf(const Run& run) { return run.first + run.frames; }
    long long bytesAt(double seconds) const {
        return static_cast<long long>(seconds * kRate) * kChannels * 4;
    }

    static std::unique_ptr<test::PulseTestDaemon> s_daemon;
    fs::path dir;
    fs::path file;
    std::vector<float> noise;
    RecordingMessagePort messages;
    Dispatcher dispatcher;
    std::unique_ptr<TWASAPISource> source;
    std::unique_ptr<Player> player;
    int ended = 0;
};

std::unique_ptr<test::PulseTestDaemon> Playback::s_daemon;

TEST_F(Playback, PlaysTheFileToItsEndSampleForSample) {
    MonitorRecorder monitor(s_daemon->server(), "quimbrel_speakers.monitor", kRate, kChannels);
    ASSERT_TRUE(monitor.ok());
    waitFor([&] { return monitor.running(); });
    ASSERT_TRUE(player->init(-1));
    ASSERT_TRUE(player->open(file.string())) << player->error();
    EXPECT_EQ(player->rate(), kRate);
    EXPECT_EQ(player->channels(), kChannels);
    EXPECT_EQ(player->lengthBytes(), static_cast<long long>(kFrames) * kChannels * 4);
    EXPECT_FALSE(player->isActive());
    player->play();
    EXPECT_TRUE(player->isActive());
    waitFor([&] { return ended > 0; });
    EXPECT_FALSE(player->isActive());
    EXPECT_NEAR(player->bytesToSeconds(player->positionBytes()), 1.5, 0.05);
    listenOn(monitor, kRate / 4);
    dispatcher.runPending();
    EXPECT_EQ(ended, 1);

    const std::vector<Run> runs = runsOf(monitor.sounding());
    ASSERT_FALSE(runs.empty());
    EXPECT_LE(runs.front().first, static_cast<std::size_t>(kRate / 10));
    EXPECT_EQ(endOf(runs.back()), static_cast<std::size_t>(kFrames));
    expectSmallJumps(runs);
    // The spectrum's samples are the last ones played.
    std::vector<float> recent(512);
    ASSERT_EQ(player->getData(recent.data(), 2048), 2048);
    EXPECT_TRUE(sameSamples(recent, 0, noise, noise.size() - 512, 512));
}

TEST_F(Playback, PauseHoldsThePositionAndLosesNothing) {
    MonitorRecorder monitor(s_daemon->server(), "quimbrel_speakers.monitor", kRate, kChannels);
    ASSERT_TRUE(monitor.ok());
    waitFor([&] { return monitor.running(); });
    ASSERT_TRUE(player->open(file.string())) << player->error();
    player->setVolume(1.0f);
    player->play();
    waitFor([&] { return player->positionBytes() >= bytesAt(0.4); });
    player->pause();
    EXPECT_FALSE(player->isActive());
    listenOn(monitor, kRate / 20);
    const long long held = player->positionBytes();
    const std::size_t heardAtPause = monitor.sounding().size();
    listenOn(monitor, kRate / 4);
    EXPECT_EQ(player->positionBytes(), held);
    EXPECT_EQ(monitor.sounding().size(), heardAtPause);
    EXPECT_EQ(ended, 0);

    player->play();
    waitFor([&] { return ended > 0; });
    listenOn(monitor, kRate / 4);
    const std::vector<Run> runs = runsOf(monitor.sounding());
    ASSERT_GE(runs.size(), 2u);
    EXPECT_LE(runs.front().first, static_cast<std::size_t>(kRate / 10));
    EXPECT_GE(endOf(runs.front()), static_cast<std::size_t>(kRate * 4 / 10) - kRate / 10);
    EXPECT_EQ(endOf(runs.back()), static_cast<std::size_t>(kFrames));
    expectSmallJumps(runs);
}

TEST_F(Playback, SeekGoesOnFromTheNewPosition) {
    MonitorRecorder monitor(s_daemon->server(), "quimbrel_speakers.monitor", kRate, kChannels);
    ASSERT_TRUE(monitor.ok());
    waitFor([&] { return monitor.running(); });
    ASSERT_TRUE(player->open(file.string())) << player->error();
    player->play();
    waitFor([&] { return player->positionBytes() >= bytesAt(0.25); });
    player->setPosition(bytesAt(1.0));
    EXPECT_GE(player->positionBytes(), bytesAt(0.9));
    waitFor([&] { return ended > 0; });
    listenOn(monitor, kRate / 4);

    // What was heard: the file up to the seek, then from 1.0 s to its end.
    const std::vector<Run> runs = runsOf(monitor.sounding());
    ASSERT_GE(runs.size(), 2u);
    std::size_t seek = 1;
    while (seek < runs.size() && runs[seek].first < static_cast<std::size_t>(kRate) - kRate / 10)
        ++seek;
    ASSERT_LT(seek, runs.size());
    EXPECT_GE(endOf(runs[seek - 1]), static_cast<std::size_t>(kRate / 4) - kRate / 10);
    EXPECT_LT(endOf(runs[seek - 1]), static_cast<std::size_t>(kRate));
    EXPECT_GE(runs[seek].first, static_cast<std::size_t>(kRate));
    EXPECT_LE(runs[seek].first, static_cast<std::size_t>(kRate + kRate / 10));
    EXPECT_EQ(endOf(runs.back()), static_cast<std::size_t>(kFrames));
    expectSmallJumps(runs, seek);
    EXPECT_EQ(ended, 1);
}

TEST_F(Playback, StopSilencesAndReportsNoEnd) {
    MonitorRecorder monitor(s_daemon->server(), "quimbrel_speakers.monitor", kRate, kChannels);
    ASSERT_TRUE(monitor.ok());
    waitFor([&] { return monitor.running(); });
    ASSERT_TRUE(player->open(file.string())) << player->error();
    player->play();
    waitFor([&] { return player->positionBytes() >= bytesAt(0.3); });
    player->stop();
    EXPECT_FALSE(player->isOpen());
    EXPECT_FALSE(player->isActive());
    EXPECT_EQ(player->positionBytes(), 0);
    listenOn(monitor, kRate / 20);
    const std::size_t heardAtStop = monitor.sounding().size();
    listenOn(monitor, kRate * 3 / 2);
    dispatcher.runPending();
    EXPECT_EQ(ended, 0);
    const std::vector<float> heard = monitor.sounding();
    EXPECT_EQ(heard.size(), heardAtStop);
    const std::vector<Run> runs = runsOf(heard);
    ASSERT_FALSE(runs.empty());
    EXPECT_LT(endOf(runs.back()), static_cast<std::size_t>(kFrames / 2));
    expectSmallJumps(runs);

    // The player opens again after a stop.
    ASSERT_TRUE(player->open(file.string())) << player->error();
    player->play();
    waitFor([&] { return ended > 0; });
}

TEST_F(Playback, WhatCannotBePlayedIsRefusedWithAReason) {
    std::ofstream(dir / "text.mp3") << "not a recording at all\n";
    std::ofstream(dir / "empty.wav");
    for (const fs::path& bad : {dir / "missing.wav", dir / "text.mp3", dir / "empty.wav", dir}) {
        SCOPED_TRACE(bad.string());
        EXPECT_FALSE(player->open(bad.string()));
        EXPECT_FALSE(player->isOpen());
        EXPECT_FALSE(player->error().empty());
        player->play();
        EXPECT_FALSE(player->isActive());
        EXPECT_EQ(player->lengthBytes(), 0);
    }
    ASSERT_TRUE(player->open(file.string())) << player->error();
    EXPECT_TRUE(player->error().empty());
}

TEST_F(Playback, DevicesAreTheSinksAndAChosenOnePlaysInItsOwnFormat) {
    const std::vector<PlaybackDevice> devices = player->devices();
    ASSERT_GE(devices.size(), 5u);
    int mono = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(devices[i].number, static_cast<int>(i) + 1);
        EXPECT_EQ(devices[i].isDefault, devices[i].name == "quimbrel_speakers") << devices[i].name;
        if (devices[i].name == "quimbrel_mono")
            mono = devices[i].number;
    }
    ASSERT_GT(mono, 0);
    MonitorRecorder monitor(s_daemon->server(), "quimbrel_mono.monitor", 44100, 1);
    ASSERT_TRUE(monitor.ok());
    waitFor([&] { return monitor.running(); });
    ASSERT_TRUE(player->init(mono));
    EXPECT_EQ(player->device(), mono);
    ASSERT_TRUE(player->open(file.string())) << player->error();
    EXPECT_EQ(player->rate(), 44100);
    EXPECT_EQ(player->channels(), 1);
    player->play();
    waitFor([&] { return ended > 0; });
    listenOn(monitor, 44100 / 4);
    // 1.5 s resampled to 44100 Hz, less what the sink skips as the stream joins it.
    EXPECT_NEAR(static_cast<double>(monitor.sounding().size()), 1.5 * 44100, 4410);
}

TEST_F(Playback, NoServerMeansNoPlaybackAndNoCrash) {
    Player lonely(dispatcher, [](int& error) {
        error = PA_ERR_CONNECTIONREFUSED;
        return std::shared_ptr<pulse::Connection>();
    });
    EXPECT_TRUE(lonely.devices().empty());
    EXPECT_FALSE(lonely.init(1));
    EXPECT_FALSE(lonely.open(file.string()));
    EXPECT_NE(lonely.error().find("Connection refused"), std::string::npos) << lonely.error();
}

} // namespace
} // namespace quimbrel
