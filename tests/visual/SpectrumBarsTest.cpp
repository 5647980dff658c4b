// The bar display: one lit cell in silence, bars falling 10 pixels a picture, peaks held for 26 pictures.
#include "visual/SpectrumBars.h"
#include "visual/TARFFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace quimbrel;

namespace {
constexpr int kHeight = 72; // 36 cells of 2 pixels: the designed area at scale 1
constexpr int kCell = 2;
} // namespace

TEST(SpectrumBars, SilenceThroughTheAnalyserLightsOneCellPerBar) {
    TARFFT fft;
    fft.PreEmphesis = 85;
    fft.Logarithmic = false;
    fft.MaxY = kHeight;
    SpectrumBars bars(kHeight, kCell);
    std::vector<float> silence(2048, 0.0f);
    for (int picture = 0; picture < 5; ++picture) {
        fft.ProcessSamples(silence.data(), 8192, 2);
        const SpectrumPicture p = bars.step(fft.data()[0].data());
        for (int i = 0; i < kSpectrumBars; ++i) {
            EXPECT_EQ(p.litTop[static_cast<std::size_t>(i)], kHeight - kCell) << "bar " << i;
            EXPECT_EQ(p.peakY[static_cast<std::size_t>(i)], -1) << "bar " << i;
        }
    }
}

TEST(SpectrumBars, BurstThenSilenceFallsTenPixelsAndHoldsPeaks26Pictures) {
    // A full-scale sine through the analyser lifts some bars to the top; then silence.
    TARFFT fft;
    fft.PreEmphesis = 85;
    fft.Logarithmic = false;
    fft.MaxY = kHeight;
    SpectrumBars bars(kHeight, kCell);
    std::vector<float> loud(2048);
    for (int i = 0; i < 1024; ++i)
        loud[static_cast<std::size_t>(2 * i)] = loud[static_cast<std::size_t>(2 * i + 1)] =
            static_cast<float>(std::sin(2 * std::numbers::pi * 3000 * i / 44100.0));
    fft.ProcessSamples(loud.data(), 8192, 2);
    bars.step(fft.data()[0].data());

    int bar = -1;
    for (int i = 0; i < kSpectrumBars && bar < 0; ++i)
        if (bars.barLevel(i) >= kHeight - kCell)
            bar = i;
    ASSERT_GE(bar, 0) << "the burst lifts no bar to the top";
    const auto b = static_cast<std::size_t>(bar);
    const int top = kHeight - kCell; // 70: the highest a bar can be

    std::vector<float> silence(2048, 0.0f);
    const int peakRow = kHeight - top - kCell; // 0
    int pictures = 0;
    for (; pictures < 26; ++pictures) {
        fft.ProcessSamples(silence.data(), 8192, 2);
        const SpectrumPicture p = bars.step(fft.data()[0].data());
        const int level = std::max(0, top - 10 * (pictures + 1));
        EXPECT_EQ(bars.barLevel(bar), static_cast<float>(level)) << "picture " << pictures;
        EXPECT_EQ(p.litTop[b], top - (level - level % kCell)) << "picture " << pictures;
        if (level > 0) {
            EXPECT_EQ(p.peakY[b], peakRow) << "the peak stays put, picture " << pictures;
        }
    }
    // By now the bar has reached the bottom; the held peak starts falling at the 27th picture.
    ASSERT_EQ(bars.peakLevel(bar), static_cast<float>(top));
    fft.ProcessSamples(silence.data(), 8192, 2);
    SpectrumPicture p = bars.step(fft.data()[0].data());
    EXPECT_EQ(bars.peakLevel(bar), static_cast<float>(top - 10));
    EXPECT_EQ(p.peakY[b], peakRow + 10);
    // And goes on falling 10 pixels per picture until it meets the bar.
    int fallen = 1;
    while (p.peakY[b] != -1 && fallen < 20) {
        fft.ProcessSamples(silence.data(), 8192, 2);
        p = bars.step(fft.data()[0].data());
        ++fallen;
        if (p.peakY[b] != -1) {
            EXPECT_EQ(p.peakY[b], peakRow + 10 * fallen);
        }
    }
    EXPECT_EQ(p.peakY[b], -1);
    EXPECT_EQ(bars.peakLevel(bar), 0.0f);
}

TEST(SpectrumBars, BarTakesTheHighestBinOfItsBandAndEndsOnACellBoundary) {
    SpectrumBars bars(kHeight, kCell);
    std::vector<std::int32_t> bins(512, 0);
    bins[3] = 5;  // bar 0: bins 1..3
    bins[4] = 33; // bar 1: bins 4..8
    bins[8] = 9;
    bins[511] = 500; // bar 37: limited to the area height less one cell
    bins[0] = 999;   // bin 0 belongs to no bar
    const SpectrumPicture p = bars.step(bins.data());
    EXPECT_EQ(p.litTop[0], 70 - 4);  // 5 - 5 mod 2
    EXPECT_EQ(p.litTop[1], 70 - 32); // 33 - 33 mod 2
    EXPECT_EQ(p.litTop[2], 70);
    EXPECT_EQ(p.litTop[37], 0);
    EXPECT_EQ(bars.barLevel(37), 70.0f);
}
