// Captures the default sink in loopback for a number of seconds (default 60) and prints what it cost:
//   capture_thread_cpu_s=<capture thread CPU> process_cpu_s=<whole process CPU> audio_s=<seconds> blocks=<n>
#include "capture/TInputRecordThread.h"
#include "capture/TWASAPISource.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    using namespace quimbrel;
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    StreamMessagePort messages(std::cerr);
    Dispatcher dispatcher;
    long long blocks = 0;
    long long bytes = 0;
    TWASAPISource source(messages, dispatcher, [&](TWASAPISource&, const void*, int n) {
        ++blocks;
        bytes += n;
    });
    if (source.cards().count() == 0)
        return 1;
    // Card 0 holds the default sink; its line is the default line.
    if (!source.openline(0, source.getdefaultline(), floatformat(44100, 2)) || !source.opened())
        return 1;
    dispatcher.runFor(std::chrono::seconds(seconds));
    const double thread = source.capturethread() ? source.capturethread()->cpuseconds() : 0.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double process = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    source.stopthreads();
    std::printf("capture_thread_cpu_s=%.3f process_cpu_s=%.3f audio_s=%d blocks=%lld bytes=%lld\n", thread,
                process, seconds, blocks, bytes);
    return 0;
}
