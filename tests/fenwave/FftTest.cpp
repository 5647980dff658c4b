// The real FFT against a direct DFT, in place and between buffers, and its argument checks.
#include "Signal.h"
#include "fenwave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <vector>

namespace {

using namespace fenwavetest;

struct FftDeleter {
    void operator()(fenwave_fft* f) const { DeleteFFT(f); }
};
using FftPtr = std::unique_ptr<fenwave_fft, FftDeleter>;

std::complex<double> directBin(const std::vector<float>& x, std::size_t k) {
    std::complex<double> sum;
    const double n = static_cast<double>(x.size());
    for (std::size_t t = 0; t < x.size(); ++t) {
        sum +=
            static_cast<double>(x[t]) * std::polar(1.0, -kTwoPi * static_cast<double>(k * t % x.size()) / n);
    }
    return sum;
}

TEST(Fft, MatchesDirectTransformInPlaceAndBetweenBuffers) {
    for (int size : {2, 8, 64, 1024}) {
        const auto n = static_cast<std::size_t>(size);
        const std::vector<float> input = noise(n, static_cast<unsigned>(size));
        FftPtr fft(NewFFT(size, 0));
        ASSERT_NE(fft, nullptr);

        std::vector<float> inPlace = input;
        FFT_process(fft.get(), inPlace.data(), inPlace.data(), 0);
        std::vector<float> separate(n, -7.0f);
        FFT_process(fft.get(), input.data(), separate.data(), 0);
        EXPECT_EQ(inPlace, separate) << size;

        const double tolerance = 1e-5 * static_cast<double>(size);
        for (std::size_t k = 0; k < n / 2; ++k) {
            const std::complex<double> expected = directBin(input, k);
            ASSERT_NEAR(separate[2 * k], expected.real(), tolerance) << "size " << size << " bin " << k;
            ASSERT_NEAR(separate[2 * k + 1], expected.imag(), tolerance) << "size " << size << " bin " << k;
        }
    }
}

// The layout the spectrum display reads: a cosine at bin k is real, a sine is negative imaginary, both
// N/2 x amplitude; all other bins stay empty.
TEST(Fft, ToneLandsInItsBin) {
    const std::size_t n = 1024;
    FftPtr fft(NewFFT(1024, 0));
    for (std::size_t bin : {1u, 10u, 511u}) {
        std::vector<float> samples(n, 0.0f);
        addSine(samples, 1, 0, kTwoPi * static_cast<double>(bin) / n, 0.5, std::numbers::pi / 2); // cosine
        addSine(samples, 1, 0, kTwoPi * static_cast<double>(bin) / n, 0.25);
        FFT_process(fft.get(), samples.data(), samples.data(), 0);
        for (std::size_t k = 0; k < n / 2; ++k) {
            const double re = k == bin ? 0.5 * n / 2 : 0.0;
            const double im = k == bin ? -0.25 * n / 2 : 0.0;
            ASSERT_NEAR(samples[2 * k], re, 1e-3) << "tone " << bin << " bin " << k;
            ASSERT_NEAR(samples[2 * k + 1], im, 1e-3) << "tone " << bin << " bin " << k;
        }
    }
}

TEST(Fft, BadSizesFlagsAndNullHandles) {
    for (int size : {-1024, 0, 1, 3, 1000, 1023, 131072, 1 << 30}) {
        EXPECT_EQ(NewFFT(size, 0), nullptr) << size;
    }
    EXPECT_EQ(NewFFT(1024, 1), nullptr);
    FftPtr largest(NewFFT(65536, 0));
    EXPECT_NE(largest, nullptr);

    std::vector<float> samples(8, 1.0f);
    FFT_process(nullptr, samples.data(), samples.data(), 0);
    DeleteFFT(nullptr);
    FftPtr fft(NewFFT(8, 0));
    FFT_process(fft.get(), nullptr, samples.data(), 0);
    FFT_process(fft.get(), samples.data(), nullptr, 0);
    FFT_process(fft.get(), samples.data(), samples.data(), 1);
    EXPECT_EQ(samples, std::vector<float>(8, 1.0f));
}

} // namespace
