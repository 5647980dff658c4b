// What the periodic sync costs a recording: 48000 Hz stereo blocks of 25 ms written in real time through the
// WAV and FLAC writers into a folder on the disk, once with the file syncer's five-second fdatasync and once
// with it switched off, alternating, in the same run. Prints the process's CPU time per recorded minute (the
// sync thread included), the wall time of one block write (mean, 99th percentile, maximum) and the syncs
// made.
//   sync_bench [SECONDS-PER-RUN [FOLDER [ROUNDS]]]
#include "encoder/FileSyncer.h"
#include "encoder/createwriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace quimbrel;
using Steady = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr int kFrames = kRate / 40; // 25 ms

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// 16-bit stereo: a tone under noise, so FLAC has real work and real bytes to write.
std::vector<std::uint8_t> block16(std::mt19937& random, long long start) {
    std::uniform_int_distribution<int> noise(-3000, 3000);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kFrames) * 4);
    for (int i = 0; i < kFrames; ++i) {
        const int tone =
            static_cast<int>(12000 * std::sin(2 * M_PI * 440.0 * static_cast<double>(start + i) / kRate));
        for (int c = 0; c < 2; ++c) {
            const auto v = static_cast<std::int16_t>(tone + noise(random));
            const std::size_t at = (static_cast<std::size_t>(i) * 2 + static_cast<std::size_t>(c)) * 2;
            bytes[at] = static_cast<std::uint8_t>(v & 0xff);
            bytes[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xff);
        }
    }
    return bytes;
}

struct Result {
    double cpu = 0;             // CPU seconds of the whole process
    double seconds = 0;         // audio recorded
    std::vector<double> writes; // microseconds per WriteBlock
    std::uint64_t syncs = 0;
};

Result record(int codec, const std::string& path, double seconds, bool sync) {
    FileSyncer& syncer = FileSyncer::shared();
    syncer.setInterval(sync ? FileSyncer::kDefaultInterval : std::chrono::milliseconds(0));
    WriterSettings s;
    s.index = codec;
    s.bps = 1; // 16-bit
    std::mt19937 random(1);
    // The blocks are made before the clock starts: the benchmark measures writing, not the signal.
    const int count = static_cast<int>(seconds * 40);
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int n = 0; n < 80; ++n)
        blocks.push_back(block16(random, static_cast<long long>(n) * kFrames));

    Result r;
    const std::uint64_t syncsBefore = syncer.counts().syncs;
    const double cpuBefore = cpuSeconds();
    {
        auto writer = createwriter(s, path, floatformat(kRate, 2));
        timespec next{};
        ::clock_gettime(CLOCK_MONOTONIC, &next);
        for (int n = 0; n < count; ++n) {
            next.tv_nsec += 25'000'000;
            if (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            const auto& b = blocks[static_cast<std::size_t>(n) % blocks.size()];
            const auto t0 = Steady::now();
            if (writer->WriteBlock(b.data(), static_cast<std::int32_t>(b.size())) < 0) {
                std::fprintf(stderr, "sync_bench: %s: %s\n", path.c_str(), writer->outcome().reason.c_str());
                std::exit(1);
            }
            r.writes.push_back(std::chrono::duration<double, std::micro>(Steady::now() - t0).count());
        }
        writer->finish();
        // The last sync of the file belongs to this run.
        syncer.waitIdle();
    }
    r.cpu = cpuSeconds() - cpuBefore;
    r.seconds = count / 40.0;
    r.syncs = syncer.counts().syncs - syncsBefore;
    std::filesystem::remove(path);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const std::string folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: sync_bench [SECONDS-PER-RUN [FOLDER [ROUNDS]]]\n");
        return 2;
    }
    struct Codec {
        int index;
        const char* name;
    };
    const Codec codecs[] = {{3, "wav"}, {4, "flac"}};
    std::map<std::pair<std::string, bool>, Result> total;
    for (int round = 0; round < rounds; ++round)
        for (const Codec& c : codecs)
            // Alternate which variant goes first, so drift in the machine's load falls on both.
            for (const bool sync : {round % 2 == 0, round % 2 != 0}) {
                const std::string path = folder + "/sync-bench-" + std::to_string(::getpid()) + "." + c.name;
                Result r = record(c.index, path, seconds, sync);
                Result& t = total[{c.name, sync}];
                t.cpu += r.cpu;
                t.seconds += r.seconds;
                t.syncs += r.syncs;
                t.writes.insert(t.writes.end(), r.writes.begin(), r.writes.end());
            }
    FileSyncer::shared().setInterval(FileSyncer::kDefaultInterval);

    std::printf("%-6s %-12s %10s %14s %12s %12s %12s %7s\n", "format", "sync", "audio s", "CPU ms/min",
                "write mean", "write p99", "write max", "syncs");
    for (auto& [key, t] : total) {
        std::sort(t.writes.begin(), t.writes.end());
        double sum = 0;
        for (double w : t.writes)
            sum += w;
        const double mean = t.writes.empty() ? 0 : sum / static_cast<double>(t.writes.size());
        const double p99 = t.writes.empty() ? 0 : t.writes[t.writes.size() * 99 / 100];
        const double max = t.writes.empty() ? 0 : t.writes.back();
        std::printf("%-6s %-12s %10.0f %14.2f %10.1f us %9.1f us %9.1f us %7llu\n", key.first.c_str(),
                    key.second ? "every 5 s" : "off", t.seconds, 1000.0 * t.cpu / (t.seconds / 60.0), mean,
                    p99, max, static_cast<unsigned long long>(t.syncs));
    }
    return 0;
}
