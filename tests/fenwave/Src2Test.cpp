// The streaming rate and channel converter fed block by block as the capture thread feeds it.
#include "Signal.h"
#include "fenwave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace fenwavetest;

struct Src2Deleter {
    void operator()(fenwave_src2* c) const { DeleteSRC2(c); }
};
using Src2Ptr = std::unique_ptr<fenwave_src2, Src2Deleter>;

Src2Ptr makeConverter(int inrate, int outrate, int outchannels) {
    return Src2Ptr(NewSRC2(inrate, outrate, 2, outchannels, FENWAVE_CODE_FLOAT, FENWAVE_CODE_FLOAT, 1));
}

// Feeds interleaved stereo input in blocks of the given frame counts (cycled), collecting every output.
// Checks that no call returns more than the output buffer holds or a partial frame, and records after each
// call how far the output is behind input x ratio.
struct FedRun {
    std::vector<float> output;
    std::vector<double> lag;
    double worstLead = 0.0;
};

FedRun feed(fenwave_src2* converter, const std::vector<float>& input, std::vector<std::size_t> blocks,
            int outchannels, double ratio) {
    FedRun run;
    std::vector<unsigned char> buffer(FENWAVE_SRC2_OUTPUT_BYTES);
    const std::size_t frames = input.size() / 2;
    std::size_t done = 0;
    for (std::size_t i = 0; done < frames; ++i) {
        const std::size_t n = std::min(blocks[i % blocks.size()], frames - done);
        int32_t outbytes = -1;
        SRC2_process(converter, input.data() + 2 * done, static_cast<int32_t>(n * 8), buffer.data(),
                     &outbytes);
        done += n;
        EXPECT_GE(outbytes, 0);
        EXPECT_LE(outbytes, FENWAVE_SRC2_OUTPUT_BYTES);
        EXPECT_EQ(outbytes % (4 * outchannels), 0);
        const std::size_t old = run.output.size();
        run.output.resize(old + static_cast<std::size_t>(outbytes) / 4);
        if (outbytes > 0) {
            std::memcpy(run.output.data() + old, buffer.data(), static_cast<std::size_t>(outbytes));
        }
        const double produced =
            static_cast<double>(run.output.size() / static_cast<std::size_t>(outchannels));
        const double due = static_cast<double>(done) * ratio;
        run.lag.push_back(due - produced);
        run.worstLead = std::max(run.worstLead, produced - due);
    }
    return run;
}

std::vector<float> stereoSines(std::size_t frames, double w, double left, double right) {
    std::vector<float> samples(frames * 2, 0.0f);
    addSine(samples, 2, 0, w, left);
    addSine(samples, 2, 1, w, right, 1.0);
    return samples;
}

// The capture thread's case: 48000 Hz in 25 ms blocks to 44100 Hz. The output must be a clean 1 kHz sine
// throughout: one lost, repeated or damaged sample at a block join would stand far off the fitted sine.
TEST(Src2, SineThrough48kTo44k1StaysCleanAcrossBlockJoins) {
    const std::size_t inFrames = 48000 * 4;
    const std::vector<float> input = stereoSines(inFrames, kTwoPi * 1000 / 48000, 0.5, 0.25);
    auto converter = makeConverter(48000, 44100, 2);
    ASSERT_NE(converter, nullptr);
    const FedRun run = feed(converter.get(), input, {1200}, 2, 44100.0 / 48000);

    const std::size_t outFrames = run.output.size() / 2;
    EXPECT_NEAR(static_cast<double>(outFrames), inFrames * 44100.0 / 48000, 1103.0);

    const double w = kTwoPi * 1000 / 44100;
    const std::size_t first = 2000; // past the start-up transient
    const SineFit left = fitSine(run.output, 2, 0, first, outFrames - first, w);
    const SineFit right = fitSine(run.output, 2, 1, first, outFrames - first, w);
    EXPECT_NEAR(left.amplitude(), 0.5, 0.005);
    EXPECT_NEAR(right.amplitude(), 0.25, 0.0025);
    EXPECT_LT(left.maxResidual, 1e-3);
    EXPECT_LT(right.maxResidual, 1e-3);

    // The spectral peak of the left channel sits at 1 kHz (within one bin of a 16384-point transform).
    const int size = 16384;
    std::vector<float> window(run.output.size() / 2);
    for (std::size_t n = 0; n < static_cast<std::size_t>(size); ++n) {
        const double hann = 0.5 - 0.5 * std::cos(kTwoPi * static_cast<double>(n) / size);
        window[n] = static_cast<float>(hann * run.output[2 * (first + n)]);
    }
    std::unique_ptr<fenwave_fft, void (*)(fenwave_fft*)> fft(NewFFT(size, 0), DeleteFFT);
    FFT_process(fft.get(), window.data(), window.data(), 0);
    std::size_t peak = 0;
    double peakPower = -1.0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(size) / 2; ++k) {
        const double power = std::hypot(window[2 * k], window[2 * k + 1]);
        if (power > peakPower) {
            peakPower = power;
            peak = k;
        }
    }
    EXPECT_NEAR(static_cast<double>(peak) * 44100.0 / size, 1000.0, 44100.0 / size);
}

// Over a long run of uneven blocks the output neither drifts from input x ratio nor runs ahead of it.
TEST(Src2, OutputLengthTracksInputTimesRatio) {
    struct Rates {
        int in;
        int out;
    };
    for (const Rates r : {Rates{48000, 44100}, Rates{44100, 48000}, Rates{8000, 192000}, Rates{192000, 8000},
                          Rates{96000, 44100}, Rates{22050, 22051}}) {
        SCOPED_TRACE(std::to_string(r.in) + " -> " + std::to_string(r.out));
        const double ratio = static_cast<double>(r.out) / r.in;
        const std::size_t frames = static_cast<std::size_t>(r.in) * 20;
        const std::vector<float> input = noise(frames * 2, 11, 0.3f);
        auto converter = makeConverter(r.in, r.out, 2);
        ASSERT_NE(converter, nullptr);
        const std::size_t block = static_cast<std::size_t>(r.in) / 40;
        const FedRun run =
            feed(converter.get(), input, {block, block + 13, block / 3, 1, block * 2}, 2, ratio);
        // The lag is the resampler's delay and its work in chunks (some 17 ms at 44100 Hz): bounded over the
        // whole run, never negative. A ratio off by as little as one part in 10^4 shows in the sine test.
        EXPECT_LT(*std::max_element(run.lag.begin(), run.lag.end()), 0.2 * r.out);
        EXPECT_LT(run.worstLead, 1.0);
        EXPECT_LT(run.lag.back(), 0.2 * r.out);
    }
}

// One output channel is the average of the two input channels, converted or not.
TEST(Src2, MonoIsTheAverage) {
    for (int outrate : {48000, 44100}) {
        SCOPED_TRACE(outrate);
        const std::vector<float> input = stereoSines(48000, kTwoPi * 700 / 48000, 0.6, 0.3);
        auto stereo = makeConverter(48000, outrate, 2);
        auto mono = makeConverter(48000, outrate, 1);
        const double ratio = outrate / 48000.0;
        const FedRun both = feed(stereo.get(), input, {1200}, 2, ratio);
        const FedRun one = feed(mono.get(), input, {1200}, 1, ratio);
        ASSERT_EQ(one.output.size() * 2, both.output.size());
        for (std::size_t i = 0; i < one.output.size(); ++i) {
            ASSERT_NEAR(one.output[i], 0.5f * (both.output[2 * i] + both.output[2 * i + 1]), 1e-5) << i;
        }
    }
}

// Equal rates with two channels out is a plain copy, also when input arrives in pieces that split frames.
TEST(Src2, EqualRatesCopyExactlyAcrossSplitFrames) {
    const std::vector<float> input = noise(2 * 10000, 12);
    auto converter = makeConverter(44100, 44100, 2);
    std::vector<unsigned char> buffer(FENWAVE_SRC2_OUTPUT_BYTES);
    std::vector<float> output;
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    const std::size_t total = input.size() * 4;
    const std::size_t pieces[] = {8, 5, 13, 3, 1, 4096, 7, 800};
    std::size_t done = 0;
    for (std::size_t i = 0; done < total; ++i) {
        const std::size_t n = std::min(pieces[i % std::size(pieces)], total - done);
        int32_t outbytes = 0;
        SRC2_process(converter.get(), bytes + done, static_cast<int32_t>(n), buffer.data(), &outbytes);
        done += n;
        ASSERT_EQ(static_cast<std::size_t>(outbytes) % 8, 0u);
        EXPECT_EQ(output.size() * 4 + static_cast<std::size_t>(outbytes), done / 8 * 8);
        const std::size_t old = output.size();
        output.resize(old + static_cast<std::size_t>(outbytes) / 4);
        if (outbytes > 0) {
            std::memcpy(output.data() + old, buffer.data(), static_cast<std::size_t>(outbytes));
        }
    }
    EXPECT_EQ(output, input);
}

// Output that does not fit the caller's buffer waits in the handle for the next call; nothing is lost.
TEST(Src2, OutputBeyondTheBufferComesNextCall) {
    const std::vector<float> input = noise(2 * 786432, 13); // 6 MiB
    auto copy = makeConverter(48000, 48000, 2);
    std::vector<unsigned char> buffer(FENWAVE_SRC2_OUTPUT_BYTES + 64, 0xEE);
    int32_t outbytes = 0;
    SRC2_process(copy.get(), input.data(), static_cast<int32_t>(input.size() * 4), buffer.data(), &outbytes);
    ASSERT_EQ(outbytes, FENWAVE_SRC2_OUTPUT_BYTES);
    EXPECT_EQ(buffer[FENWAVE_SRC2_OUTPUT_BYTES], 0xEE);
    EXPECT_EQ(std::memcmp(buffer.data(), input.data(), FENWAVE_SRC2_OUTPUT_BYTES), 0);
    SRC2_process(copy.get(), nullptr, 0, buffer.data(), &outbytes);
    ASSERT_EQ(outbytes, 2 * 1024 * 1024);
    EXPECT_EQ(std::memcmp(buffer.data(),
                          reinterpret_cast<const unsigned char*>(input.data()) + FENWAVE_SRC2_OUTPUT_BYTES,
                          2 * 1024 * 1024),
              0);
    SRC2_process(copy.get(), nullptr, 0, buffer.data(), &outbytes);
    EXPECT_EQ(outbytes, 0);

    // A 24-fold rate rise: one 400 KB block makes some 9.6 MB, handed out over three calls.
    const std::vector<float> low = noise(2 * 50000, 14, 0.3f);
    auto up = makeConverter(8000, 192000, 2);
    std::vector<int32_t> sizes;
    SRC2_process(up.get(), low.data(), static_cast<int32_t>(low.size() * 4), buffer.data(), &outbytes);
    for (; outbytes > 0; SRC2_process(up.get(), nullptr, 0, buffer.data(), &outbytes)) {
        sizes.push_back(outbytes);
    }
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[0], FENWAVE_SRC2_OUTPUT_BYTES);
    EXPECT_EQ(sizes[1], FENWAVE_SRC2_OUTPUT_BYTES);
    EXPECT_NEAR((2.0 * FENWAVE_SRC2_OUTPUT_BYTES + sizes[2]) / 8, 50000 * 24.0, 0.2 * 192000);
}

TEST(Src2, BadArgumentsAndNullHandles) {
    struct Args {
        int inrate, outrate, inchannels, outchannels, incode, outcode, quality;
    };
    const Args bad[] = {{7999, 44100, 2, 2, 16, 16, 1},  {44100, 192001, 2, 2, 16, 16, 1},
                        {0, 44100, 2, 2, 16, 16, 1},     {-48000, 44100, 2, 2, 16, 16, 1},
                        {48000, 44100, 1, 2, 16, 16, 1}, {48000, 44100, 2, 0, 16, 16, 1},
                        {48000, 44100, 2, 3, 16, 16, 1}, {48000, 44100, 2, 2, 2, 16, 1},
                        {48000, 44100, 2, 2, 16, 2, 1},  {48000, 44100, 2, 2, 16, 16, 0}};
    for (const Args& a : bad) {
        fenwave_src2* c =
            NewSRC2(a.inrate, a.outrate, a.inchannels, a.outchannels, a.incode, a.outcode, a.quality);
        EXPECT_EQ(c, nullptr) << a.inrate << " " << a.outrate << " " << a.inchannels << " " << a.outchannels;
        DeleteSRC2(c);
    }
    for (const Args& a : {Args{8000, 192000, 2, 1, 16, 16, 1}, Args{192000, 8000, 2, 2, 16, 16, 1}}) {
        Src2Ptr ok(NewSRC2(a.inrate, a.outrate, a.inchannels, a.outchannels, a.incode, a.outcode, a.quality));
        EXPECT_NE(ok, nullptr);
    }

    std::vector<unsigned char> buffer(FENWAVE_SRC2_OUTPUT_BYTES);
    float frame[2] = {0.1f, 0.2f};
    int32_t outbytes = 99;
    SRC2_process(nullptr, frame, 8, buffer.data(), &outbytes);
    EXPECT_EQ(outbytes, 0);
    auto converter = makeConverter(44100, 44100, 2);
    SRC2_process(converter.get(), frame, 8, buffer.data(), nullptr);
    outbytes = 99;
    SRC2_process(converter.get(), frame, 8, nullptr, &outbytes);
    EXPECT_EQ(outbytes, 0);
    SRC2_process(converter.get(), frame, -8, buffer.data(), &outbytes);
    EXPECT_EQ(outbytes, 0);
    SRC2_process(converter.get(), nullptr, 8, buffer.data(), &outbytes);
    EXPECT_EQ(outbytes, 0);
    // Only this frame was taken in, once.
    SRC2_process(converter.get(), frame, 8, buffer.data(), &outbytes);
    EXPECT_EQ(outbytes, 8);
    DeleteSRC2(nullptr);
}

} // namespace
