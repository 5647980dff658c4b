// The spectrum analyser: mixes a block of float samples, windows and transforms it and scales the bins to
// pixels.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct fenwave_fft;

namespace quimbrel {

enum class TWindowMode {
    None,
    wmRectangular,
    wmHanning,
    wmBartlett,
    wmHamming,
    wmGaussian,
    wmBlackman,
    wmBlackmanHarris,
};

inline constexpr int kVisualRows = 10;
inline constexpr int kVisualBins = 8192;

// The analyser's result: one row of scaled bins per channel (row 0 when channels are mixed).
using TVisualBuffer = std::array<std::array<std::int32_t, kVisualBins>, kVisualRows>;
using PVisualBuffer = TVisualBuffer*;

class TARFFT;

// (Sender, Data, MinY, MaxY, NumSamples, Channels)
using TDCVisualNotifyEvent = std::function<void(TARFFT& sender, const TVisualBuffer& data, int minY, int maxY,
                                                int numSamples, int channels)>;

class TARFFT {
public:
    TARFFT();
    ~TARFFT();
    TARFFT(const TARFFT&) = delete;
    TARFFT& operator=(const TARFFT&) = delete;

    // A power of two from 2 to 8192; anything else is refused and the size stays.
    bool setFFTSize(int size);
    int FFTSize() const { return m_fftSize; }

    TWindowMode WindowMode = TWindowMode::wmRectangular;
    bool PreEmphesisEnabled = true;
    std::uint8_t PreEmphesis = 90;
    bool MixChannels = true;
    int MinY = 0;
    int MaxY = 100;
    bool Logarithmic = true;
    TDCVisualNotifyEvent OnSpectrumData;

    // Clamped to 1..255.
    void setSampleSkip(int skip);
    int SampleSkip() const { return m_sampleSkip; }

    // Analyses byteCount bytes of interleaved 32-bit float samples of `channels` channels and raises
    // OnSpectrumData. Does nothing when samples, byteCount or channels is zero. Mixed samples identical to
    // the last call's, under the same settings, reuse the last result instead of transforming again.
    void ProcessSamples(const float* samples, int byteCount, int channels);

    const TVisualBuffer& data() const { return *m_result; }

    // The weight sample i of n gets under the given window.
    static double windowWeight(TWindowMode mode, int i, int n);
    // The scale the analyser applies to a magnitude for a transform size.
    static double scaleFactor(int fftSize);

private:
    int m_fftSize = 0;
    int m_sampleSkip = 1;
    fenwave_fft* m_fft = nullptr;
    std::vector<float> m_work;
    std::unique_ptr<TVisualBuffer> m_result;

    // What the last mixed result was made from.
    struct Input {
        int fftSize, sampleSkip, frames, channels, minY, maxY;
        TWindowMode window;
        bool preEmphasis, logarithmic;
        std::uint8_t emphasis;
        bool operator==(const Input&) const = default;
    };
    Input m_lastInput{};
    std::vector<float> m_lastSamples;
    bool m_haveLast = false;
    // Whether this input repeats the last one; remembers it either way.
    bool repeats(const Input& input, const float* samples, std::size_t count);
};

} // namespace quimbrel
