// The spectrum analyser; runs on the UI thread, fed from the visual timer.
#include "visual/TARFFT.h"

#include <fenwave.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quimbrel {

TARFFT::TARFFT() : m_work(kVisualBins, 0.0f), m_result(std::make_unique<TVisualBuffer>()) {
    for (auto& row : *m_result)
        row.fill(0);
    setFFTSize(1024);
}

TARFFT::~TARFFT() {
    DeleteFFT(m_fft);
}

bool TARFFT::setFFTSize(int size) {
    if (size < 2 || size > kVisualBins || (size & (size - 1)) != 0)
        return false;
    if (size == m_fftSize && m_fft)
        return true;
    fenwave_fft* replacement = NewFFT(size, 0);
    if (!replacement)
        return false;
    DeleteFFT(m_fft);
    m_fft = replacement;
    m_fftSize = size;
    return true;
}

void TARFFT::setSampleSkip(int skip) {
    m_sampleSkip = std::clamp(skip, 1, 255);
}

double TARFFT::windowWeight(TWindowMode mode, int i, int n) {
    const double pi = std::numbers::pi;
    const double di = i;
    const double dn = n;
    switch (mode) {
    case TWindowMode::wmHanning:
        return 0.5 - 0.5 * std::cos(2 * pi * di / dn);
    case TWindowMode::wmBartlett: {
        const double f = 2 * di / (dn - 1);
        return i < n / 2 ? f : 2 - f;
    }
    case TWindowMode::wmHamming:
        return 0.54 - 0.46 * std::cos(2 * pi * di / dn);
    case TWindowMode::wmGaussian:
        return std::exp(-5 * (2 * di - dn) * (2 * di - dn) / (dn * dn));
    case TWindowMode::wmBlackman:
        return 0.42 - 0.5 * std::cos(2 * pi * di / dn) + 0.08 * std::cos(4 * pi * di / dn);
    case TWindowMode::wmBlackmanHarris: {
        const double x = di + 0.5;
        return 0.35875 - 0.48829 * std::cos(2 * pi * x / dn) + 0.14128 * std::cos(4 * pi * x / dn) -
               0.01168 * std::cos(6 * pi * x / dn);
    }
    case TWindowMode::None:
    case TWindowMode::wmRectangular:
        break;
    }
    return 1.0;
}

double TARFFT::scaleFactor(int fftSize) {
    switch (fftSize) {
    case 2:
        return 11;
    case 4:
        return 10;
    case 8:
        return 9;
    case 16:
        return 8;
    case 32:
        return 7;
    case 64:
        return 6;
    case 128:
        return 5;
    case 256:
        return 4;
    case 512:
        return 3.2;
    case 1024:
        return 2.4;
    case 2048:
        return 1.5;
    case 4096:
        return 1.2;
    default:
        return 1;
    }
}

bool TARFFT::repeats(const Input& input, const float* samples, std::size_t count) {
    const bool same = m_haveLast && input == m_lastInput && m_lastSamples.size() == count &&
                      std::equal(samples, samples + count, m_lastSamples.begin());
    if (!same) {
        m_lastInput = input;
        m_lastSamples.assign(samples, samples + count);
        m_haveLast = true;
    }
    return same;
}

void TARFFT::ProcessSamples(const float* samples, int byteCount, int channels) {
    if (!samples || byteCount <= 0 || channels <= 0)
        return;
    const int n = std::min(channels, kVisualRows);
    const int frames = std::min(byteCount / 4 / channels / (m_sampleSkip + 1), m_fftSize / 2);
    const int bins = m_fftSize / 2;
    auto& result = *m_result;

    if (MixChannels) {
        // The samples the mix reads: the first n channels of every (skip)th frame.
        const std::size_t count = frames > 0 ? static_cast<std::size_t>(channels) *
                                                       static_cast<std::size_t>(m_sampleSkip) *
                                                       static_cast<std::size_t>(frames - 1) +
                                                   static_cast<std::size_t>(n)
                                             : 0;
        const Input input{m_fftSize,  m_sampleSkip,       frames,      n,          MinY, MaxY,
                          WindowMode, PreEmphesisEnabled, Logarithmic, PreEmphesis};
        if (repeats(input, samples, count)) {
            if (OnSpectrumData)
                OnSpectrumData(*this, result, MinY, MaxY, frames, 1);
            return;
        }
    } else {
        m_haveLast = false;
    }

    std::fill(m_work.begin(), m_work.end(), 0.0f);
    if (MixChannels) {
        for (int i = 0; i < frames; ++i) {
            const long long base = static_cast<long long>(channels) * m_sampleSkip * i;
            long long sum = 0;
            for (int c = 0; c < n; ++c)
                sum += std::llrint(static_cast<double>(samples[base + c]) * 32767.0);
            m_work[static_cast<std::size_t>(i)] = static_cast<float>(sum / n);
        }
        for (int i = 0; i < m_fftSize; ++i)
            m_work[static_cast<std::size_t>(i)] *= static_cast<float>(windowWeight(WindowMode, i, m_fftSize));
        if (PreEmphesisEnabled) {
            const float k = static_cast<float>(PreEmphesis) / 100.0f;
            float previous = m_work[0];
            for (int i = 1; i < m_fftSize; ++i) {
                const float input = m_work[static_cast<std::size_t>(i)];
                m_work[static_cast<std::size_t>(i)] = input - k * previous;
                previous = input;
            }
        }
        FFT_process(m_fft, m_work.data(), m_work.data(), 0);
        for (int k = 0; k < bins; ++k) {
            const double re = m_work[static_cast<std::size_t>(2 * k)];
            const double im = m_work[static_cast<std::size_t>(2 * k + 1)];
            result[0][static_cast<std::size_t>(k)] =
                static_cast<std::int32_t>(std::llrint(std::sqrt(re * re + im * im)));
        }
    }

    const double factor = scaleFactor(m_fftSize);
    const double range = MaxY - MinY;
    for (int r = 0; r < n; ++r) {
        for (int k = 0; k < bins; ++k) {
            auto& cell = result[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)];
            const double m = std::max(0.0, factor * cell - 50000.0);
            double o = range * m / 700000.0;
            if (Logarithmic)
                o = std::sqrt(std::max(0.0, range * o));
            cell = MinY + static_cast<std::int32_t>(std::llrint(o));
        }
    }

    if (OnSpectrumData)
        OnSpectrumData(*this, result, MinY, MaxY, frames, MixChannels ? 1 : n);
}

} // namespace quimbrel
