// Encodes ten minutes of stereo 44100 Hz audio through each writer in 25 ms blocks and reports audio seconds
// per CPU second. "encoder_bench --write-input FILE" writes the same audio as a 16-bit WAV for the peer
// tools.
#include "encoder/createwriter.h"
#include "encoder/libVorbis.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

namespace {

using namespace quimbrel;

constexpr int kRate = 44100;
constexpr int kSeconds = 600;
constexpr std::size_t kBlockFrames = kRate / 40; // 25 ms

// Music-like material: a few drifting partials over a little noise, so no encoder meets a trivial signal.
const std::vector<float>& audio() {
    static const std::vector<float> samples = [] {
        std::vector<float> s(static_cast<std::size_t>(kRate) * kSeconds * 2);
        std::uint32_t noise = 12345;
        for (std::size_t i = 0; i < s.size() / 2; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double base = 220.0 * std::pow(2.0, std::floor(std::fmod(t * 2.0, 12.0)) / 12.0);
            double v = 0.0;
            for (int h = 1; h <= 5; ++h)
                v += 0.12 / h * std::sin(2.0 * std::numbers::pi * base * h * t + h);
            noise = noise * 1664525u + 1013904223u;
            const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
            s[2 * i] = static_cast<float>(v + n);
            s[2 * i + 1] = static_cast<float>(0.8 * v - n);
        }
        return s;
    }();
    return samples;
}

std::vector<std::uint8_t> converted(std::int32_t code) {
    const auto& f = audio();
    std::vector<std::uint8_t> out;
    if (code == kSampleFloat) {
        out.resize(f.size() * 4);
        std::memcpy(out.data(), f.data(), out.size());
        return out;
    }
    out.reserve(f.size() * 2);
    for (float v : f) {
        const auto x = static_cast<std::int16_t>(std::lround(std::clamp(v * 32768.0f, -32768.0f, 32767.0f)));
        const auto u = static_cast<std::uint16_t>(x);
        out.push_back(static_cast<std::uint8_t>(u & 0xff));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

double cpuseconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void encode(benchmark::State& state, int index, int bitrate, const char* extension) {
    WriterSettings s;
    s.index = index;
    s.bitrate = bitrate;
    s.bps = 1; // 16 bits, as the peers get
    const auto data = converted(writersampleformat(s));
    const std::size_t block = kBlockFrames * 2 * (data.size() / audio().size());
    const std::string path = (std::filesystem::temp_directory_path() / "encoder_bench.").string() + extension;
    double cpu = 0.0;
    for (auto _ : state) {
        const double start = cpuseconds();
        {
            auto writer = createwriter(s, path, floatformat(kRate, 2));
            for (std::size_t at = 0; at < data.size(); at += block)
                writer->WriteBlock(data.data() + at,
                                   static_cast<std::int32_t>(std::min(block, data.size() - at)));
        }
        cpu += cpuseconds() - start;
    }
    state.counters["audio_s_per_cpu_s"] = kSeconds * static_cast<double>(state.iterations()) / cpu;
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

// Bit rates at the peers' settings: MP3 128 kbit/s, Ogg quality 0.5, WMA and AAC 128 kbit/s.
BENCHMARK_CAPTURE(encode, mp3, 0, 5, "mp3")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(encode, ogg, 1, 5, "ogg")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(encode, wma, 2, 4, "wma")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(encode, wav, 3, 5, "wav")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(encode, flac, 4, 5, "flac")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(encode, m4a, 5, 2, "m4a")->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-input") {
        WriterSettings s;
        s.index = 3;
        s.bps = 1;
        auto writer = createwriter(s, argv[2], floatformat(kRate, 2));
        const auto data = converted(kSampleS16);
        writer->WriteBlock(data.data(), static_cast<std::int32_t>(data.size()));
        return 0;
    }
    loadvorbislib(kOggLibrary);
    loadvorbislib(kVorbisLibrary);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unloadvorbislib(kVorbisLibrary);
    unloadvorbislib(kOggLibrary);
    return 0;
}
