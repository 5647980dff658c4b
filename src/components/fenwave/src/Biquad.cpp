// Cookbook biquads in transposed direct form II, with double-precision state per channel. Each sum is
// ordered so that the new output enters last: the recursion from one output to the next is then one
// multiply and two adds, which is what bounds the speed of a biquad.
#include "Biquad.h"

#include <cmath>
#include <numbers>

namespace quimbrel::fenwave {

namespace {

// Below this the filter memory is inaudible; clearing it keeps a silent input from decaying into subnormal
// numbers, which are many times slower to compute with.
constexpr double kSettledState = 1e-30;

} // namespace

Biquad::Biquad(int channels) : m_channels(channels), m_state(static_cast<std::size_t>(channels)) {}

bool Biquad::configure(int kind, double frequency, double q) noexcept {
    if (!(frequency > 0.0) || !(q > 0.0) || !std::isfinite(q)) {
        return false;
    }
    if (kind != static_cast<int>(BiquadKind::LowPass) && kind != static_cast<int>(BiquadKind::HighPass) &&
        kind != static_cast<int>(BiquadKind::Notch)) {
        return false;
    }
    // A corner at or beyond Nyquist (a high slider position at a low capture rate) would fold the design
    // over; the nearest stable design is the one just below it.
    if (frequency > kHighestFrequency) {
        frequency = kHighestFrequency;
    }
    const double w0 = 2.0 * std::numbers::pi * frequency;
    const double cosw = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * q);
    double b0 = 0.0;
    double b1 = 0.0;
    double b2 = 0.0;
    switch (static_cast<BiquadKind>(kind)) {
    case BiquadKind::LowPass:
        b0 = (1.0 - cosw) / 2.0;
        b1 = 1.0 - cosw;
        b2 = b0;
        break;
    case BiquadKind::HighPass:
        b0 = (1.0 + cosw) / 2.0;
        b1 = -(1.0 + cosw);
        b2 = b0;
        break;
    case BiquadKind::Notch:
        b0 = 1.0;
        b1 = -2.0 * cosw;
        b2 = 1.0;
        break;
    case BiquadKind::None:
        return false;
    }
    const double a0 = 1.0 + alpha;
    m_b0 = b0 / a0;
    m_b1 = b1 / a0;
    m_b2 = b2 / a0;
    m_a1 = -2.0 * cosw / a0;
    m_a2 = (1.0 - alpha) / a0;
    m_configured = true;
    return true;
}

void Biquad::flush() noexcept {
    for (State& s : m_state) {
        s = State{};
    }
}

void Biquad::process(float* samples, std::size_t frames) noexcept {
    if (!m_configured || samples == nullptr || frames == 0) {
        return;
    }
    if (m_channels == 2) {
        processStereo(samples, frames);
    } else if (m_channels == 1) {
        processMono(samples, frames);
    } else {
        processAny(samples, frames);
    }
    settle();
}

void Biquad::processMono(float* samples, std::size_t frames) {
    const double b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
    double s1 = m_state[0].s1, s2 = m_state[0].s2;
    for (std::size_t i = 0; i < frames; ++i) {
        const double x = samples[i];
        const double y = b0 * x + s1;
        s1 = (b1 * x + s2) - a1 * y;
        s2 = b2 * x - a2 * y;
        samples[i] = static_cast<float>(y);
    }
    m_state[0] = {s1, s2};
}

// The recorder's filters are stereo: both channels in one pass, so their independent recursions overlap.
void Biquad::processStereo(float* samples, std::size_t frames) {
    const double b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
    double l1 = m_state[0].s1, l2 = m_state[0].s2;
    double r1 = m_state[1].s1, r2 = m_state[1].s2;
    float* p = samples;
    for (std::size_t i = 0; i < frames; ++i, p += 2) {
        const double xl = p[0];
        const double xr = p[1];
        const double yl = b0 * xl + l1;
        const double yr = b0 * xr + r1;
        l1 = (b1 * xl + l2) - a1 * yl;
        r1 = (b1 * xr + r2) - a1 * yr;
        l2 = b2 * xl - a2 * yl;
        r2 = b2 * xr - a2 * yr;
        p[0] = static_cast<float>(yl);
        p[1] = static_cast<float>(yr);
    }
    m_state[0] = {l1, l2};
    m_state[1] = {r1, r2};
}

void Biquad::processAny(float* samples, std::size_t frames) {
    const double b0 = m_b0, b1 = m_b1, b2 = m_b2, a1 = m_a1, a2 = m_a2;
    const auto stride = static_cast<std::size_t>(m_channels);
    for (std::size_t c = 0; c < stride; ++c) {
        double s1 = m_state[c].s1, s2 = m_state[c].s2;
        float* p = samples + c;
        for (std::size_t i = 0; i < frames; ++i, p += stride) {
            const double x = *p;
            const double y = b0 * x + s1;
            s1 = (b1 * x + s2) - a1 * y;
            s2 = b2 * x - a2 * y;
            *p = static_cast<float>(y);
        }
        m_state[c] = {s1, s2};
    }
}

// Also clears a memory that a NaN or infinite input has poisoned, which would otherwise silence every later
// block until the next flush.
void Biquad::settle() noexcept {
    for (State& s : m_state) {
        const bool finite = std::isfinite(s.s1) && std::isfinite(s.s2);
        if (!finite || (std::fabs(s.s1) < kSettledState && std::fabs(s.s2) < kSettledState)) {
            s = State{};
        }
    }
}

} // namespace quimbrel::fenwave
