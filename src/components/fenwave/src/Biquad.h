// A second-order IIR filter over interleaved channels, designed by the audio-EQ-cookbook formulas.
#pragma once

#include <cstddef>
#include <vector>

namespace quimbrel::fenwave {

enum class BiquadKind { None = -1, LowPass = 0, HighPass = 1, Notch = 3 };

class Biquad {
public:
    explicit Biquad(int channels);

    // frequency is the corner divided by the sample rate; values at or above Nyquist are held just below it,
    // where the filter is still stable. Returns false (and keeps the current design) for an unknown kind, a
    // frequency that is not above zero, or a quality that is not above zero.
    bool configure(int kind, double frequency, double q) noexcept;
    void process(float* samples, std::size_t frames) noexcept;
    void flush() noexcept;
    int channels() const { return m_channels; }

    static constexpr double kHighestFrequency = 0.4995;

private:
    struct State {
        double s1 = 0.0;
        double s2 = 0.0;
    };

    void processMono(float* samples, std::size_t frames);
    void processStereo(float* samples, std::size_t frames);
    void processAny(float* samples, std::size_t frames);
    void settle() noexcept;

    int m_channels;
    bool m_configured = false;
    double m_b0 = 1.0;
    double m_b1 = 0.0;
    double m_b2 = 0.0;
    double m_a1 = 0.0;
    double m_a2 = 0.0;
    std::vector<State> m_state;
};

} // namespace quimbrel::fenwave
