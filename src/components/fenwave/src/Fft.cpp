// FFTW single-precision real-to-complex transform. FFTW's planner is not thread-safe, so every plan creation
// and destruction in this library goes through one mutex; executing a plan is safe from any thread.
#include "Fft.h"

#include <cstring>
#include <mutex>
#include <new>

namespace quimbrel::fenwave {

namespace {

std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

constexpr long long kLargestSize = 65536;

} // namespace

bool Fft::validSize(long long size) {
    return size >= 2 && size <= kLargestSize && (size & (size - 1)) == 0;
}

Fft::Fft(std::size_t size) : m_size(size) {
    m_in = fftwf_alloc_real(size);
    m_out = fftwf_alloc_complex(size / 2 + 1);
    if (m_in != nullptr && m_out != nullptr) {
        std::lock_guard<std::mutex> lock(plannerMutex());
        m_plan = fftwf_plan_dft_r2c_1d(static_cast<int>(size), m_in, m_out, FFTW_ESTIMATE);
    }
    if (m_plan == nullptr) {
        fftwf_free(m_in);
        fftwf_free(m_out);
        throw std::bad_alloc();
    }
}

Fft::~Fft() {
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftwf_destroy_plan(m_plan);
    }
    fftwf_free(m_in);
    fftwf_free(m_out);
}

void Fft::process(const float* input, float* output) noexcept {
    std::memcpy(m_in, input, m_size * sizeof(float));
    fftwf_execute(m_plan);
    // Bin size/2 (Nyquist) has no place in the caller's layout of size floats.
    std::memcpy(output, m_out, m_size * sizeof(float));
}

} // namespace quimbrel::fenwave
