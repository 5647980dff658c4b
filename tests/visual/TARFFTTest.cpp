// The analyser against a direct transform of the same mixed, windowed and emphasised samples.
#include "visual/TARFFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

using namespace quimbrel;

namespace {

struct Capture {
    int calls = 0;
    int numSamples = -1;
    int channels = -1;
    int minY = -1;
    int maxY = -1;
};

void listen(TARFFT& fft, Capture& c) {
    fft.OnSpectrumData = [&c](TARFFT&, const TVisualBuffer&, int minY, int maxY, int numSamples,
                              int channels) {
        ++c.calls;
        c.numSamples = numSamples;
        c.channels = channels;
        c.minY = minY;
        c.maxY = maxY;
    };
}

// The main window's settings.
void configureAsWindow(TARFFT& fft, int height) {
    fft.setFFTSize(1024);
    fft.WindowMode = TWindowMode::wmRectangular;
    fft.PreEmphesisEnabled = true;
    fft.PreEmphesis = 85;
    fft.setSampleSkip(1);
    fft.MixChannels = true;
    fft.MinY = 0;
    fft.MaxY = height;
    fft.Logarithmic = false;
}

} // namespace

TEST(TARFFT, SilenceGivesZeroBins) {
    TARFFT fft;
    configureAsWindow(fft, 72);
    Capture c;
    listen(fft, c);
    std::vector<float> silence(1024 * 2, 0.0f);
    fft.ProcessSamples(silence.data(), static_cast<int>(silence.size() * 4), 2);
    ASSERT_EQ(c.calls, 1);
    for (int k = 0; k < 512; ++k)
        ASSERT_EQ(fft.data()[0][static_cast<std::size_t>(k)], 0) << k;
}

TEST(TARFFT, NothingHappensWithoutSamplesBytesOrChannels) {
    TARFFT fft;
    Capture c;
    listen(fft, c);
    std::vector<float> block(64, 0.5f);
    fft.ProcessSamples(nullptr, 256, 2);
    fft.ProcessSamples(block.data(), 0, 2);
    fft.ProcessSamples(block.data(), 256, 0);
    EXPECT_EQ(c.calls, 0);
}

// 512 stereo frames: 4096 bytes / 4 / 2 / (skip + 1) = 256 mixed frames, the rest of the 1024 zero-filled.
TEST(TARFFT, ScalesA512FrameStereoBlockLikeADirectTransform) {
    const int height = 72;
    TARFFT fft;
    configureAsWindow(fft, height);
    Capture c;
    listen(fft, c);

    std::vector<float> block(512 * 2);
    for (int i = 0; i < 512; ++i) {
        const double t = i / 44100.0;
        block[static_cast<std::size_t>(2 * i)] =
            static_cast<float>(0.8 * std::sin(2 * std::numbers::pi * 2000 * t));
        block[static_cast<std::size_t>(2 * i + 1)] =
            static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * 5000 * t));
    }
    fft.ProcessSamples(block.data(), 4096, 2);
    ASSERT_EQ(c.calls, 1);
    EXPECT_EQ(c.numSamples, 256);
    EXPECT_EQ(c.channels, 1);
    EXPECT_EQ(c.maxY, height);

    // The same steps in double precision: mix frames 0..255 (position 2 * skip * i), emphasise, transform.
    std::vector<double> x(1024, 0.0);
    for (int i = 0; i < 256; ++i) {
        const long long a = std::llrint(block[static_cast<std::size_t>(2 * i)] * 32767.0);
        const long long b = std::llrint(block[static_cast<std::size_t>(2 * i + 1)] * 32767.0);
        x[static_cast<std::size_t>(i)] = static_cast<double>((a + b) / 2);
    }
    std::vector<double> y(x);
    for (std::size_t i = 1; i < y.size(); ++i)
        y[i] = x[i] - 0.85 * x[i - 1];

    int lit = 0;
    for (int k = 0; k < 512; ++k) {
        std::complex<double> s = 0;
        for (int i = 0; i < 1024; ++i)
            s += y[static_cast<std::size_t>(i)] * std::polar(1.0, -2 * std::numbers::pi * k * i / 1024);
        const double m = std::max(0.0, 2.4 * std::round(std::abs(s)) - 50000.0);
        const long long expected = std::llrint(height * m / 700000.0);
        EXPECT_NEAR(fft.data()[0][static_cast<std::size_t>(k)], expected, 1) << "bin " << k;
        lit += expected > 0;
    }
    EXPECT_GT(lit, 0); // the sines do reach the display
}

TEST(TARFFT, MixesOnlyTheFirstTenChannels) {
    TARFFT fft;
    configureAsWindow(fft, 72);
    Capture c;
    listen(fft, c);
    const int channels = 12;
    std::vector<float> block(static_cast<std::size_t>(512 * channels), 0.0f);
    for (int i = 0; i < 512; ++i) {
        const float v = static_cast<float>(std::sin(2 * std::numbers::pi * 1000 * i / 48000.0));
        block[static_cast<std::size_t>(i * channels + 10)] = v;
        block[static_cast<std::size_t>(i * channels + 11)] = v;
    }
    fft.ProcessSamples(block.data(), static_cast<int>(block.size() * 4), channels);
    ASSERT_EQ(c.calls, 1);
    for (int k = 0; k < 512; ++k)
        ASSERT_EQ(fft.data()[0][static_cast<std::size_t>(k)], 0) << k;

    // The same sine in channel 0 does show.
    for (int i = 0; i < 512; ++i)
        block[static_cast<std::size_t>(i * channels)] = 1.0f;
    fft.ProcessSamples(block.data(), static_cast<int>(block.size() * 4), channels);
    int highest = 0;
    for (int k = 0; k < 512; ++k)
        highest = std::max(highest, fft.data()[0][static_cast<std::size_t>(k)]);
    EXPECT_GT(highest, 0);
}

TEST(TARFFT, LogarithmicScaleAndMinY) {
    TARFFT fft; // component defaults: MaxY 100, logarithmic
    fft.PreEmphesisEnabled = false;
    fft.MinY = 10;
    std::vector<float> block(1024, 1.0f); // mono DC at full scale: 512 frames of 32767
    fft.ProcessSamples(block.data(), 4096, 1);
    // Bin 0 = 512 * 32767; m = 2.4 * that - 50000; o = sqrt(90 * 90 * m / 700000).
    const double m = 2.4 * 512.0 * 32767.0 - 50000.0;
    const double o = std::sqrt(90.0 * (90.0 * m / 700000.0));
    EXPECT_EQ(fft.data()[0][0], 10 + std::llrint(o));
    EXPECT_EQ(fft.data()[0][300], 10); // untouched bins sit at MinY
}

TEST(TARFFT, RefusesSizesThatAreNotPowersOfTwo) {
    TARFFT fft;
    for (int bad : {0, 1, 3, 1000, 16384})
        EXPECT_FALSE(fft.setFFTSize(bad)) << bad;
    EXPECT_EQ(fft.FFTSize(), 1024);
    EXPECT_TRUE(fft.setFFTSize(2048));
    EXPECT_EQ(fft.FFTSize(), 2048);
    fft.setSampleSkip(0);
    EXPECT_EQ(fft.SampleSkip(), 1);
    fft.setSampleSkip(1000);
    EXPECT_EQ(fft.SampleSkip(), 255);
}

TEST(TARFFT, ScaleFactorsAndWindows) {
    const std::pair<int, double> factors[] = {{2, 11},     {4, 10},     {8, 9},   {16, 8},    {32, 7},
                                              {64, 6},     {128, 5},    {256, 4}, {512, 3.2}, {1024, 2.4},
                                              {2048, 1.5}, {4096, 1.2}, {8192, 1}};
    for (auto [size, factor] : factors)
        EXPECT_DOUBLE_EQ(TARFFT::scaleFactor(size), factor) << size;

    const int n = 1024;
    struct Case {
        TWindowMode mode;
        int i;
        double weight;
    };
    const Case cases[] = {
        {TWindowMode::wmRectangular, 17, 1.0},
        {TWindowMode::wmHanning, 0, 0.0},
        {TWindowMode::wmHanning, 512, 1.0},
        {TWindowMode::wmHamming, 0, 0.08},
        {TWindowMode::wmBartlett, 0, 0.0},
        {TWindowMode::wmBartlett, 511, 2.0 * 511 / 1023},
        {TWindowMode::wmBartlett, 512, 2.0 - 2.0 * 512 / 1023},
        {TWindowMode::wmGaussian, 512, 1.0},
        {TWindowMode::wmGaussian, 0, std::exp(-5.0)},
        {TWindowMode::wmBlackman, 0, 0.0},
        {TWindowMode::wmBlackman, 512, 1.0},
        {TWindowMode::wmBlackmanHarris, 0,
         0.35875 - 0.48829 * std::cos(std::numbers::pi / n) + 0.14128 * std::cos(2 * std::numbers::pi / n) -
             0.01168 * std::cos(3 * std::numbers::pi / n)},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(TARFFT::windowWeight(c.mode, c.i, n), c.weight, 1e-12)
            << static_cast<int>(c.mode) << " at " << c.i;
}

// A repeated block reuses the last result, but only while every input of the transform is the same: any
// changed sample or setting must give what a fresh analyser gives.
TEST(TARFFT, RepeatedBlockReusesTheResultOnlyWhileNothingChanged) {
    std::vector<float> tone(1024 * 2);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i / 2) / 44100.0));
    const int bytes = static_cast<int>(tone.size() * 4);
    auto fresh = [&](auto adjust, const std::vector<float>& samples) {
        TARFFT reference;
        configureAsWindow(reference, 72);
        adjust(reference);
        reference.ProcessSamples(samples.data(), bytes, 2);
        return reference.data()[0];
    };
    auto none = [](TARFFT&) {};

    TARFFT fft;
    configureAsWindow(fft, 72);
    Capture c;
    listen(fft, c);
    fft.ProcessSamples(tone.data(), bytes, 2);
    const auto first = fft.data()[0];
    fft.ProcessSamples(tone.data(), bytes, 2);
    EXPECT_EQ(c.calls, 2);
    EXPECT_EQ(c.numSamples, 512);
    EXPECT_EQ(fft.data()[0], first);

    const std::pair<const char*, std::function<void(TARFFT&)>> changes[] = {
        {"MaxY", [](TARFFT& f) { f.MaxY = 36; }},
        {"Logarithmic", [](TARFFT& f) { f.Logarithmic = true; }},
        {"PreEmphesis", [](TARFFT& f) { f.PreEmphesis = 10; }},
        {"WindowMode", [](TARFFT& f) { f.WindowMode = TWindowMode::wmHanning; }},
        {"FFTSize", [](TARFFT& f) { f.setFFTSize(512); }},
    };
    for (const auto& [name, change] : changes) {
        configureAsWindow(fft, 72);
        fft.ProcessSamples(tone.data(), bytes, 2);
        change(fft);
        fft.ProcessSamples(tone.data(), bytes, 2);
        EXPECT_EQ(fft.data()[0], fresh(change, tone)) << name;
    }

    configureAsWindow(fft, 72);
    fft.ProcessSamples(tone.data(), bytes, 2);
    std::vector<float> changed = tone;
    changed[2 * 300 + 1] += 0.25f; // one sample of the second channel, which the mix reads
    fft.ProcessSamples(changed.data(), bytes, 2);
    EXPECT_EQ(fft.data()[0], fresh(none, changed));
    EXPECT_NE(fft.data()[0], first);
}
