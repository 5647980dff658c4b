// Test helpers for capture: private PulseAudio daemons, a tone player, pactl, and a block collector.
#pragma once

#include "capture/TWASAPISource.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quimbrel::test {

// Skips the test unless the shared test daemon of scripts/with-services is running.
#define QUIMBREL_REQUIRE_PULSE()                                                                             \
    do {                                                                                                     \
        if (!std::getenv("QUIMBREL_TEST_PULSE"))                                                             \
            GTEST_SKIP() << "needs the private PulseAudio daemon (scripts/with-services)";                   \
    } while (0)

// A PulseAudio daemon of the test's own, with the test topology of scripts/lib/services.sh plus `extra`
// lines, in its own runtime folder. Only this object's daemon is ever signalled.
class PulseTestDaemon {
public:
    explicit PulseTestDaemon(const std::string& extra = {});
    ~PulseTestDaemon();
    PulseTestDaemon(const PulseTestDaemon&) = delete;
    PulseTestDaemon& operator=(const PulseTestDaemon&) = delete;

    bool running() const { return m_pid > 0; }
    const std::string& server() const { return m_server; }
    // pactl against this daemon; returns its standard output.
    std::string pactl(const std::string& args) const;
    void kill();

private:
    std::string m_dir;
    std::string m_server;
    pid_t m_pid = -1;
};

// Runs a shell command line and returns its standard output.
std::string run(const std::string& command);

// pactl against a server (empty: the shared daemon).
std::string pactl(const std::string& server, const std::string& args);

// Plays, until destroyed, a float tone on `sink`: channel c carries amplitude[c] x sin(2 pi frequency[c] t).
class TonePlayer {
public:
    TonePlayer(const std::string& server, const std::string& sink, unsigned rate,
               std::vector<double> frequency, std::vector<double> amplitude);
    ~TonePlayer();
    bool ok() const { return m_ok; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ok{true};
    std::thread m_thread;
};

// Collects every block handed over, on the owning thread.
struct BlockCollector {
    std::vector<float> samples;
    std::vector<int> sizes;
    TWASAPISource::DataHandler handler() {
        return [this](TWASAPISource&, const void* block, int bytes) {
            const auto* f = static_cast<const float*>(block);
            samples.insert(samples.end(), f, f + bytes / 4);
            sizes.push_back(bytes);
        };
    }
    void clear() {
        samples.clear();
        sizes.clear();
    }
};

// The position of (card, line) of the endpoint with this id; false when it is not listed.
bool find(const TWASAPISource& source, const std::string& id, int& card, int& line);

// The frequency of the strongest DFT bin of one channel (every `stride`-th sample from `offset`).
double peakfrequency(const std::vector<float>& samples, int stride, int offset, double rate);
// The largest absolute sample of one channel.
double peaklevel(const std::vector<float>& samples, int stride, int offset);

} // namespace quimbrel::test
