// Captures the default sink in loopback for a number of seconds (default 60) at a rate (default 44100) and
// prints what it cost:
//   capture_thread_cpu_s=<capture thread CPU> process_cpu_s=<whole process CPU> audio_s=<seconds> blocks=<n>
//   bytes=<n> process_wakeups_per_s=<context switches of all threads per second>
//   delivered_percent=<sound handed over per second of capture, against the capture format's rate>
// followed by one line per thread of the process with its CPU seconds (user and system) and wake-ups per
// second.
#include "capture/TInputRecordThread.h"
#include "capture/TWASAPISource.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

namespace {

// The owning thread's loop as an event loop runs it: asleep until a hand-off is posted.
class WokenDispatcher : public quimbrel::Dispatcher {
public:
    // `handled` runs after every round of hand-offs.
    template <typename Handled> void runFor(std::chrono::seconds duration, Handled handled) {
        const auto deadline = std::chrono::steady_clock::now() + duration;
        for (;;) {
            runPending();
            handled();
            std::unique_lock lock(m_mutex);
            if (!m_cv.wait_until(lock, deadline, [this] { return m_posted; }))
                return;
            m_posted = false;
        }
    }

protected:
    void wake() override {
        {
            std::lock_guard lock(m_mutex);
            m_posted = true;
        }
        m_cv.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_posted = false;
};

// CPU seconds of every thread of this process, from /proc.
void printThreads(double seconds) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15)
                stime = std::stoull(field);
        }
        // Wake-ups: every time the thread was switched in after sleeping or being preempted.
        std::ifstream status(std::string("/proc/self/task/") + e->d_name + "/status");
        unsigned long long switches = 0;
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                switches += std::stoull(line.substr(line.find(':') + 1));
        std::printf("thread %s %s cpu_s=%.2f (user %.2f, system %.2f) wakeups_per_s=%.1f\n", e->d_name,
                    stat.substr(open + 1, close - open - 1).c_str(),
                    static_cast<double>(utime + stime) / tick, static_cast<double>(utime) / tick,
                    static_cast<double>(stime) / tick, static_cast<double>(switches) / seconds);
    }
    closedir(dir);
}

} // namespace

int main(int argc, char** argv) {
    using namespace quimbrel;
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    // The capture format's rate: the sink's own rate makes the same work as a recorder that keeps the
    // server's format; another rate adds the rate conversion.
    const int rate = argc > 2 ? std::atoi(argv[2]) : 44100;
    StreamMessagePort messages(std::cerr);
    WokenDispatcher dispatcher;
    long long blocks = 0;
    long long bytes = 0;
    TWASAPISource source(messages, dispatcher, [&](TWASAPISource&, const void*, int n) {
        ++blocks;
        bytes += n;
    });
    if (source.cards().count() == 0)
        return 1;
    // Card 0 holds the default sink; its line is the default line.
    if (!source.openline(0, source.getdefaultline(), floatformat(rate, 2)) || !source.opened())
        return 1;
    // Whether the server delivered all of the sound: the bytes handed over after the first hand-off, against
    // the time from that hand-off to the last one. Short of 100 % means lost sound (or a stalled server).
    using Clock = std::chrono::steady_clock;
    Clock::time_point first{}, last{};
    long long firstBytes = -1, lastBytes = 0;
    dispatcher.runFor(std::chrono::seconds(seconds), [&] {
        if (bytes == lastBytes)
            return;
        last = Clock::now();
        lastBytes = bytes;
        if (firstBytes < 0) {
            first = last;
            firstBytes = bytes;
        }
    });
    const WaveFormat& format = source.capturethread()->target();
    const double span = std::chrono::duration<double>(last - first).count();
    const double delivered = span > 0 ? static_cast<double>(lastBytes - firstBytes) / span /
                                            (static_cast<double>(format.samplesPerSec) * format.channels * 4)
                                      : 0.0;
    const double thread = source.capturethread() ? source.capturethread()->cpuseconds() : 0.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double process = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const double wakeups = static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw) / seconds;
    std::printf("capture_thread_cpu_s=%.3f process_cpu_s=%.3f audio_s=%d blocks=%lld bytes=%lld "
                "process_wakeups_per_s=%.1f delivered_percent=%.1f\n",
                thread, process, seconds, blocks, bytes, wakeups, 100.0 * delivered);
    printThreads(seconds);
    source.stopthreads();
    return 0;
}
