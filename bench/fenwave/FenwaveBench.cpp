// One 25 ms block at a time, as the recorder runs it: three biquads then 16-bit conversion at 44100 Hz, and
// the 48000 -> 44100 Hz converter. Each reports audio seconds processed per CPU second.
//
// FENWAVE_BENCH_44K and FENWAVE_BENCH_48K may name raw interleaved stereo float files (44100 and 48000 Hz)
// to process, so that a peer tool can be timed on the very same audio; otherwise a synthetic signal is used.
#include "fenwave.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<float> loadOrMake(const char* variable, int rate) {
    std::vector<float> samples;
    if (const char* path = std::getenv(variable); path != nullptr && *path != '\0') {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        if (!file) {
            throw std::runtime_error(std::string("cannot read ") + path);
        }
        const auto bytes = static_cast<std::size_t>(file.tellg());
        samples.resize(bytes / sizeof(float) / 2 * 2);
        file.seekg(0);
        file.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 4));
        return samples;
    }
    // Ten seconds of noise under a few tones, different on each side.
    std::mt19937 generator(1);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    const std::size_t frames = static_cast<std::size_t>(rate) * 10;
    samples.resize(frames * 2);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double tones =
            0.3 * std::sin(2 * std::numbers::pi * 220 * t) + 0.2 * std::sin(2 * std::numbers::pi * 1500 * t);
        samples[2 * n] = static_cast<float>(tones) + noise(generator);
        samples[2 * n + 1] = static_cast<float>(-tones) + noise(generator);
    }
    return samples;
}

void setAudioRate(benchmark::State& state, std::size_t framesPerBlock, int rate) {
    state.counters["audio_s_per_cpu_s"] = benchmark::Counter(static_cast<double>(state.iterations()) *
                                                                 static_cast<double>(framesPerBlock) / rate,
                                                             benchmark::Counter::kIsRate);
}

void BM_FilterAndConvertBlock(benchmark::State& state) {
    constexpr int kRate = 44100;
    constexpr std::size_t kFrames = kRate / 40; // 1102 frames, 25 ms
    const std::vector<float> input = loadOrMake("FENWAVE_BENCH_44K", kRate);
    const std::size_t blocks = input.size() / 2 / kFrames;

    using Filter = std::unique_ptr<fenwave_biquad, void (*)(fenwave_biquad*)>;
    Filter highpass(NewBiquad(2), DeleteBiquad), lowpass(NewBiquad(2), DeleteBiquad),
        notch(NewBiquad(2), DeleteBiquad);
    Biquad_set(highpass.get(), FENWAVE_HIGHPASS, 44.0 / kRate, 0.71, 0.0);
    Biquad_set(lowpass.get(), FENWAVE_LOWPASS, 17640.0 / kRate, 0.71, 0.0);
    Biquad_set(notch.get(), FENWAVE_NOTCH, 220.0 / kRate, 10.0, 0.0);

    std::vector<float> block(kFrames * 2);
    std::vector<unsigned char> pcm(kFrames * 2 * 2);
    std::size_t next = 0;
    for (auto _ : state) {
        // The block handler works on its own copy of the captured block.
        std::copy_n(input.data() + next * kFrames * 2, kFrames * 2, block.data());
        next = next + 1 == blocks ? 0 : next + 1;
        Biquad_processinterleaved(highpass.get(), block.data(), static_cast<int32_t>(kFrames));
        Biquad_processinterleaved(lowpass.get(), block.data(), static_cast<int32_t>(kFrames));
        Biquad_processinterleaved(notch.get(), block.data(), static_cast<int32_t>(kFrames));
        convertFromFloat(block.data(), pcm.data(), FENWAVE_CODE_S16, static_cast<int32_t>(kFrames * 2));
        benchmark::DoNotOptimize(pcm.data());
        benchmark::ClobberMemory();
    }
    setAudioRate(state, kFrames, kRate);
}
BENCHMARK(BM_FilterAndConvertBlock);

void BM_Src2_48000To44100(benchmark::State& state) {
    constexpr int kRate = 48000;
    constexpr std::size_t kFrames = kRate / 40; // 1200 frames, 25 ms
    const std::vector<float> input = loadOrMake("FENWAVE_BENCH_48K", kRate);
    const std::size_t blocks = input.size() / 2 / kFrames;

    std::unique_ptr<fenwave_src2, void (*)(fenwave_src2*)> converter(NewSRC2(kRate, 44100, 2, 2, 16, 16, 1),
                                                                     DeleteSRC2);
    std::vector<unsigned char> output(FENWAVE_SRC2_OUTPUT_BYTES);
    std::size_t next = 0;
    for (auto _ : state) {
        int32_t outbytes = 0;
        SRC2_process(converter.get(), input.data() + next * kFrames * 2, static_cast<int32_t>(kFrames * 8),
                     output.data(), &outbytes);
        next = next + 1 == blocks ? 0 : next + 1;
        benchmark::DoNotOptimize(outbytes);
        benchmark::ClobberMemory();
    }
    setAudioRate(state, kFrames, kRate);
}
BENCHMARK(BM_Src2_48000To44100);

} // namespace

BENCHMARK_MAIN();
