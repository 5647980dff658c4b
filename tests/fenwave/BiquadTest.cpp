// Biquad filters measured against the analytic response of the bilinear-transformed analog prototypes.
#include "Signal.h"
#include "fenwave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

using namespace fenwavetest;

struct BiquadDeleter {
    void operator()(fenwave_biquad* f) const { DeleteBiquad(f); }
};
using BiquadPtr = std::unique_ptr<fenwave_biquad, BiquadDeleter>;

BiquadPtr makeFilter(int channels, int kind, double hz, double q, double rate) {
    BiquadPtr filter(NewBiquad(channels));
    Biquad_set(filter.get(), kind, hz / rate, q, 0.0);
    return filter;
}

// |H| of 1/(s^2 + s/Q + 1) (and its high-pass and notch numerators) at s = j tan(pi f) / tan(pi f0).
double analyticGain(int kind, double f0, double q, double f) {
    const double w = std::tan(std::numbers::pi * f) / std::tan(std::numbers::pi * f0);
    const double denominator = std::hypot(1.0 - w * w, w / q);
    switch (kind) {
    case FENWAVE_LOWPASS:
        return 1.0 / denominator;
    case FENWAVE_HIGHPASS:
        return w * w / denominator;
    default:
        return std::fabs(1.0 - w * w) / denominator;
    }
}

struct ResponseCase {
    const char* name;
    int kind;
    double corner;
    double q;
    double probe;
};

// CTest lists each case with its parameter: print what the case is, not its bytes.
void PrintTo(const ResponseCase& c, std::ostream* os) {
    *os << c.name << " (corner " << c.corner << " Hz, Q " << c.q << ", probe " << c.probe << " Hz)";
}

class BiquadResponse : public ::testing::TestWithParam<ResponseCase> {};

// Left carries the probe, right a sine at another frequency: each channel must show its own response.
TEST_P(BiquadResponse, MatchesAnalyticGainOnEachChannel) {
    const ResponseCase c = GetParam();
    const double rate = 44100.0;
    const double otherProbe = c.probe * 1.7;
    const std::size_t frames = 88200;
    std::vector<float> samples(frames * 2, 0.0f);
    addSine(samples, 2, 0, kTwoPi * c.probe / rate, 0.5);
    addSine(samples, 2, 1, kTwoPi * otherProbe / rate, 0.5);

    auto filter = makeFilter(2, c.kind, c.corner, c.q, rate);
    Biquad_processinterleaved(filter.get(), samples.data(), static_cast<int32_t>(frames));

    // Measure after the filter has settled (a Q 10 notch at 220 Hz needs a few tens of ms).
    const std::size_t first = 22050;
    const std::size_t count = frames - first;
    const std::pair<double, double> channels[] = {{c.probe, 0}, {otherProbe, 1}};
    for (const auto& [probe, channel] : channels) {
        const double expected = decibels(analyticGain(c.kind, c.corner / rate, c.q, probe / rate));
        const double measured = decibels(
            fitSine(samples, 2, static_cast<std::size_t>(channel), first, count, kTwoPi * probe / rate)
                .amplitude() /
            0.5);
        SCOPED_TRACE(std::to_string(probe) + " Hz on channel " + std::to_string(channel));
        if (expected > -40.0) {
            EXPECT_NEAR(measured, expected, 0.05);
        } else {
            EXPECT_LT(measured, -40.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BiquadResponse,
    ::testing::Values(ResponseCase{"LowPassBelow", FENWAVE_LOWPASS, 1000, 0.71, 200},
                      ResponseCase{"LowPassAtCorner", FENWAVE_LOWPASS, 1000, 0.71, 1000},
                      ResponseCase{"LowPassAbove", FENWAVE_LOWPASS, 1000, 0.71, 5000},
                      ResponseCase{"LowPassHigh", FENWAVE_LOWPASS, 17640, 0.71, 12000},
                      ResponseCase{"HighPassBelow", FENWAVE_HIGHPASS, 1000, 0.71, 150},
                      ResponseCase{"HighPassAtCorner", FENWAVE_HIGHPASS, 1000, 0.71, 1000},
                      ResponseCase{"HighPassAbove", FENWAVE_HIGHPASS, 1000, 0.71, 8000},
                      ResponseCase{"HighPassLow", FENWAVE_HIGHPASS, 44, 0.71, 30},
                      ResponseCase{"NotchAtCentre", FENWAVE_NOTCH, 220, 10.0, 220},
                      ResponseCase{"NotchNear", FENWAVE_NOTCH, 220, 10.0, 230},
                      ResponseCase{"NotchFar", FENWAVE_NOTCH, 220, 10.0, 1000}),
    [](const ::testing::TestParamInfo<ResponseCase>& c) { return std::string(c.param.name); });

TEST(Biquad, NotchRemoves220HzAndKeeps1kHz) {
    const double rate = 44100.0;
    const std::size_t frames = 44100;
    std::vector<float> hum(frames * 2, 0.0f), tone(frames * 2, 0.0f);
    for (std::size_t ch = 0; ch < 2; ++ch) {
        addSine(hum, 2, ch, kTwoPi * 220 / rate, 0.5);
        addSine(tone, 2, ch, kTwoPi * 1000 / rate, 0.5);
    }
    auto notchHum = makeFilter(2, FENWAVE_NOTCH, 220, 10.0, rate);
    auto notchTone = makeFilter(2, FENWAVE_NOTCH, 220, 10.0, rate);
    Biquad_processinterleaved(notchHum.get(), hum.data(), static_cast<int32_t>(frames));
    Biquad_processinterleaved(notchTone.get(), tone.data(), static_cast<int32_t>(frames));
    for (std::size_t ch = 0; ch < 2; ++ch) {
        EXPECT_LE(decibels(fitSine(hum, 2, ch, 11025, frames - 11025, kTwoPi * 220 / rate).amplitude() / 0.5),
                  -30.0);
        EXPECT_NEAR(
            decibels(fitSine(tone, 2, ch, 11025, frames - 11025, kTwoPi * 1000 / rate).amplitude() / 0.5),
            0.0, 0.5);
    }
}

// The state carried between calls must make block boundaries invisible, for every channel layout.
TEST(Biquad, BlocksOfAnySizeEqualOneWholePass) {
    const int blockSizes[] = {1, 2, 3, 7, 64, 441, 1102, 5000};
    for (int channels : {1, 2, 3, 8}) {
        const std::size_t frames = 20000;
        const std::vector<float> input =
            noise(frames * static_cast<std::size_t>(channels), 7u + static_cast<unsigned>(channels));
        for (int kind : {FENWAVE_LOWPASS, FENWAVE_HIGHPASS, FENWAVE_NOTCH}) {
            std::vector<float> whole = input;
            auto reference = makeFilter(channels, kind, 440, 2.0, 44100);
            Biquad_processinterleaved(reference.get(), whole.data(), static_cast<int32_t>(frames));

            std::vector<float> pieces = input;
            auto filter = makeFilter(channels, kind, 440, 2.0, 44100);
            std::size_t done = 0;
            for (std::size_t i = 0; done < frames; ++i) {
                const std::size_t n = std::min<std::size_t>(
                    static_cast<std::size_t>(blockSizes[i % std::size(blockSizes)]), frames - done);
                Biquad_processinterleaved(filter.get(),
                                          pieces.data() + done * static_cast<std::size_t>(channels),
                                          static_cast<int32_t>(n));
                done += n;
            }
            EXPECT_EQ(pieces, whole) << channels << " channels, kind " << kind;
            EXPECT_NE(whole, input);
        }
    }
}

TEST(Biquad, ChannelCountAndPassThroughUntilConfigured) {
    BiquadPtr filter(NewBiquad(3));
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(Biquad_getchannels(filter.get()), 3);
    const std::vector<float> input = noise(3000, 1);
    std::vector<float> samples = input;
    Biquad_processinterleaved(filter.get(), samples.data(), 1000);
    EXPECT_EQ(samples, input);
}

// A rejected design leaves the filter as it was: unconfigured stays transparent, configured keeps filtering
// exactly as before.
TEST(Biquad, BadSettingsAreIgnored) {
    struct Bad {
        int kind;
        double frequency;
        double q;
    };
    const Bad bad[] = {{2, 0.1, 1.0},
                       {4, 0.1, 1.0},
                       {-1, 0.1, 1.0},
                       {FENWAVE_LOWPASS, 0.0, 1.0},
                       {FENWAVE_LOWPASS, -0.1, 1.0},
                       {FENWAVE_LOWPASS, std::nan(""), 1.0},
                       {FENWAVE_LOWPASS, 0.1, 0.0},
                       {FENWAVE_LOWPASS, 0.1, -1.0},
                       {FENWAVE_LOWPASS, 0.1, std::nan("")},
                       {FENWAVE_LOWPASS, 0.1, INFINITY}};
    const std::vector<float> input = noise(2000, 2);
    std::vector<float> expected = input;
    auto reference = makeFilter(2, FENWAVE_HIGHPASS, 1000, 0.71, 44100);
    Biquad_processinterleaved(reference.get(), expected.data(), 1000);

    for (const Bad& b : bad) {
        SCOPED_TRACE("kind " + std::to_string(b.kind) + " f " + std::to_string(b.frequency) + " q " +
                     std::to_string(b.q));
        BiquadPtr fresh(NewBiquad(2));
        Biquad_set(fresh.get(), b.kind, b.frequency, b.q, 0.0);
        std::vector<float> samples = input;
        Biquad_processinterleaved(fresh.get(), samples.data(), 1000);
        EXPECT_EQ(samples, input);

        auto configured = makeFilter(2, FENWAVE_HIGHPASS, 1000, 0.71, 44100);
        Biquad_set(configured.get(), b.kind, b.frequency, b.q, 0.0);
        samples = input;
        Biquad_processinterleaved(configured.get(), samples.data(), 1000);
        EXPECT_EQ(samples, expected);
    }
}

TEST(Biquad, FlushForgetsThePast) {
    const std::vector<float> input = noise(2000, 3);
    auto filter = makeFilter(2, FENWAVE_LOWPASS, 500, 0.71, 44100);
    std::vector<float> first = input;
    Biquad_processinterleaved(filter.get(), first.data(), 1000);
    std::vector<float> second = input;
    Biquad_processinterleaved(filter.get(), second.data(), 1000);
    EXPECT_NE(second, first);
    Biquad_flush(filter.get());
    std::vector<float> third = input;
    Biquad_processinterleaved(filter.get(), third.data(), 1000);
    EXPECT_EQ(third, first);
}

// Corners just below Nyquist (and beyond it: a 9999 Hz slider at an 8000 Hz capture rate) and far below it
// must give bounded, finite output; full-scale noise is the hardest input.
TEST(Biquad, StableFromVeryLowToNyquistAndBeyond) {
    const double frequencies[] = {3.0 / 192000, 0.45, 0.49, 0.499, 0.4999, 0.5, 9999.0 / 8000, 40.0};
    for (int kind : {FENWAVE_LOWPASS, FENWAVE_HIGHPASS, FENWAVE_NOTCH}) {
        for (double f : frequencies) {
            for (double q : {0.71, 10.0}) {
                BiquadPtr filter(NewBiquad(2));
                Biquad_set(filter.get(), kind, f, q, 0.0);
                std::vector<float> samples = noise(2 * 200000, 4, 1.0f);
                Biquad_processinterleaved(filter.get(), samples.data(), 200000);
                float peak = 0.0f;
                bool finite = true;
                for (float s : samples) {
                    finite = finite && std::isfinite(s);
                    peak = std::max(peak, std::fabs(s));
                }
                EXPECT_TRUE(finite) << "kind " << kind << " f " << f << " q " << q;
                EXPECT_LT(peak, 40.0f) << "kind " << kind << " f " << f << " q " << q;
            }
        }
    }
}

// A low-pass held at the highest corner passes a mid-band tone almost untouched instead of folding over.
TEST(Biquad, CornerBeyondNyquistActsAsHighestCorner) {
    const std::size_t frames = 16000;
    std::vector<float> samples(frames, 0.0f);
    addSine(samples, 1, 0, kTwoPi * 1000 / 8000, 0.5);
    auto filter = makeFilter(1, FENWAVE_LOWPASS, 9999, 0.71, 8000);
    Biquad_processinterleaved(filter.get(), samples.data(), static_cast<int32_t>(frames));
    EXPECT_NEAR(decibels(fitSine(samples, 1, 0, 4000, frames - 4000, kTwoPi * 1000 / 8000).amplitude() / 0.5),
                0.0, 0.1);
}

// A NaN from a broken source must not silence every later block, and silence must decay to exact zeros
// (no endless subnormal tail).
TEST(Biquad, RecoversFromNaNAndSettlesToZero) {
    auto filter = makeFilter(2, FENWAVE_NOTCH, 220, 10.0, 44100);
    std::vector<float> poisoned = noise(2 * 1000, 5);
    poisoned[100] = std::nanf("");
    poisoned[301] = INFINITY;
    Biquad_processinterleaved(filter.get(), poisoned.data(), 1000);
    std::vector<float> next = noise(2 * 1000, 6);
    Biquad_processinterleaved(filter.get(), next.data(), 1000);
    for (float s : next) {
        ASSERT_TRUE(std::isfinite(s));
    }

    std::vector<float> silence(2 * 1102, 0.0f);
    for (int block = 0; block < 400; ++block) {
        std::fill(silence.begin(), silence.end(), 0.0f);
        Biquad_processinterleaved(filter.get(), silence.data(), 1102);
    }
    for (float s : silence) {
        ASSERT_EQ(s, 0.0f);
    }
}

TEST(Biquad, NullHandlesAndBadArguments) {
    EXPECT_EQ(NewBiquad(0), nullptr);
    EXPECT_EQ(NewBiquad(-2), nullptr);
    float sample = 0.25f;
    Biquad_set(nullptr, FENWAVE_LOWPASS, 0.1, 0.71, 0.0);
    Biquad_processinterleaved(nullptr, &sample, 1);
    Biquad_flush(nullptr);
    EXPECT_EQ(Biquad_getchannels(nullptr), 0);
    DeleteBiquad(nullptr);

    auto filter = makeFilter(1, FENWAVE_LOWPASS, 100, 0.71, 44100);
    Biquad_processinterleaved(filter.get(), nullptr, 10);
    Biquad_processinterleaved(filter.get(), &sample, 0);
    Biquad_processinterleaved(filter.get(), &sample, -5);
    EXPECT_EQ(sample, 0.25f);
}

} // namespace
