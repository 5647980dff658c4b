// Test signals and measurements shared by the libfenwave tests: sines, noise and a least-squares sine fit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

namespace fenwavetest {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Writes amplitude x sin(w n + phase) into one channel of an interleaved buffer.
inline void addSine(std::vector<float>& buffer, std::size_t channels, std::size_t channel, double w,
                    double amplitude, double phase = 0.0) {
    for (std::size_t n = 0; channel + n * channels < buffer.size(); ++n) {
        buffer[channel + n * channels] +=
            static_cast<float>(amplitude * std::sin(w * static_cast<double>(n) + phase));
    }
}

inline std::vector<float> noise(std::size_t count, unsigned seed, float amplitude = 0.5f) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-amplitude, amplitude);
    std::vector<float> samples(count);
    for (float& s : samples) {
        s = distribution(generator);
    }
    return samples;
}

// The best fit a sin(w n) + b cos(w n) + c to one channel over frames [first, first + count), and the
// largest distance of a sample from it.
struct SineFit {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double maxResidual = 0.0;
    double amplitude() const { return std::hypot(a, b); }
};

inline SineFit fitSine(const std::vector<float>& buffer, std::size_t channels, std::size_t channel,
                       std::size_t first, std::size_t count, double w) {
    // Normal equations of the three basis functions, solved by Gaussian elimination.
    double m[3][4] = {};
    for (std::size_t n = first; n < first + count; ++n) {
        const double basis[3] = {std::sin(w * static_cast<double>(n)), std::cos(w * static_cast<double>(n)),
                                 1.0};
        const double y = buffer[n * channels + channel];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                m[i][j] += basis[i] * basis[j];
            }
            m[i][3] += basis[i] * y;
        }
    }
    for (int p = 0; p < 3; ++p) {
        for (int r = p + 1; r < 3; ++r) {
            const double f = m[r][p] / m[p][p];
            for (int k = p; k < 4; ++k) {
                m[r][k] -= f * m[p][k];
            }
        }
    }
    double x[3];
    for (int r = 2; r >= 0; --r) {
        double v = m[r][3];
        for (int k = r + 1; k < 3; ++k) {
            v -= m[r][k] * x[k];
        }
        x[r] = v / m[r][r];
    }
    SineFit fit{x[0], x[1], x[2], 0.0};
    for (std::size_t n = first; n < first + count; ++n) {
        const double model = fit.a * std::sin(w * static_cast<double>(n)) +
                             fit.b * std::cos(w * static_cast<double>(n)) + fit.c;
        fit.maxResidual = std::max(fit.maxResidual, std::fabs(buffer[n * channels + channel] - model));
    }
    return fit;
}

inline double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

} // namespace fenwavetest
