// The state of the bar spectrum between pictures: falling bars and held, then falling, peak lines.
#pragma once

#include <array>
#include <cstdint>

namespace quimbrel {

inline constexpr int kSpectrumBars = 38;

// What one picture shows: per bar, the first lit row of its column (lit down to the bottom) and the row of
// its peak line, or -1 when no peak line is drawn.
struct SpectrumPicture {
    std::array<int, kSpectrumBars> litTop{};
    std::array<int, kSpectrumBars> peakY{};

    bool operator==(const SpectrumPicture&) const = default;
};

// Turns row 0 of the analyser's result into bar columns for an area of whole cells. The UI copies the lit
// columns and peak lines from its bitmaps at these rows.
class SpectrumBars {
public:
    // The transform bins each bar covers: bar i takes bins kBandEdges[i] to kBandEdges[i + 1] - 1.
    static const std::array<int, kSpectrumBars + 1> kBandEdges;

    SpectrumBars(int areaHeight, int cellHeight);

    // One picture from the analyser's row 0 (at least 512 bins).
    SpectrumPicture step(const std::int32_t* bins);

    float barLevel(int bar) const { return m_barLevel[static_cast<std::size_t>(bar)]; }
    float peakLevel(int bar) const { return m_peakLevel[static_cast<std::size_t>(bar)]; }

private:
    int m_height;
    int m_cellHeight;
    std::array<float, kSpectrumBars> m_barLevel{};
    std::array<float, kSpectrumBars> m_peakLevel{};
    std::array<float, kSpectrumBars> m_peakHold{};
};

} // namespace quimbrel
