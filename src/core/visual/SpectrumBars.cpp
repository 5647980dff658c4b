// The bar display's state; runs on the UI thread, one step per picture.
#include "visual/SpectrumBars.h"

#include <algorithm>
#include <cmath>

namespace quimbrel {

const std::array<int, kSpectrumBars + 1> SpectrumBars::kBandEdges = {
    1,   4,   9,   13,  18,  25,  30,  40,  50,  60,  70,  80,  85,  90,  100, 105, 110, 115, 120, 130,
    140, 150, 160, 180, 200, 210, 230, 250, 260, 270, 280, 290, 300, 340, 360, 400, 430, 460, 512};

SpectrumBars::SpectrumBars(int areaHeight, int cellHeight)
    : m_height(areaHeight), m_cellHeight(std::max(1, cellHeight)) {}

SpectrumPicture SpectrumBars::step(const std::int32_t* bins) {
    SpectrumPicture picture;
    const int top = m_height - m_cellHeight;
    for (std::size_t i = 0; i < kSpectrumBars; ++i) {
        int v = 0;
        for (int k = kBandEdges[i]; k < kBandEdges[i + 1]; ++k)
            v = std::max(v, bins[k]);
        v = std::min(v, top);

        m_barLevel[i] -= 10.0f;
        if (static_cast<float>(v) > m_barLevel[i])
            m_barLevel[i] = static_cast<float>(v);
        else
            v = static_cast<int>(std::nearbyint(m_barLevel[i]));
        picture.litTop[i] = top - (v - v % m_cellHeight);

        m_peakHold[i] += 0.3f;
        if (m_peakHold[i] > 8.0f)
            m_peakLevel[i] -= 10.0f;
        if (m_peakLevel[i] <= m_barLevel[i]) {
            m_peakLevel[i] = m_barLevel[i];
            m_peakHold[i] = 0.0f;
            picture.peakY[i] = -1;
        } else {
            const int h = std::clamp(static_cast<int>(std::nearbyint(m_peakLevel[i])), 0, top);
            picture.peakY[i] = m_height - h - m_cellHeight;
        }
    }
    return picture;
}

} // namespace quimbrel
