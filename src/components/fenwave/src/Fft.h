// A real forward FFT of a fixed power-of-two size, planned once per object.
#pragma once

#include <cstddef>
#include <fftw3.h>

namespace quimbrel::fenwave {

class Fft {
public:
    // Throws std::bad_alloc when FFTW cannot allocate or plan.
    explicit Fft(std::size_t size);
    ~Fft();
    Fft(const Fft&) = delete;
    Fft& operator=(const Fft&) = delete;

    static bool validSize(long long size);

    // Reads size() samples from input and writes the first size()/2 bins as (re, im) pairs; input and output
    // may be the same buffer.
    void process(const float* input, float* output) noexcept;
    std::size_t size() const { return m_size; }

private:
    std::size_t m_size;
    float* m_in = nullptr;
    fftwf_complex* m_out = nullptr; // size / 2 + 1 bins
    fftwf_plan m_plan = nullptr;
};

} // namespace quimbrel::fenwave
