// A streaming converter from interleaved stereo float to one or two channels at another rate.
#pragma once

#include <cstddef>
#include <memory>
#include <soxr.h>
#include <vector>

namespace quimbrel::fenwave {

class Src2 {
public:
    static constexpr int kLowestRate = 8000;
    static constexpr int kHighestRate = 192000;

    // Null when a rate is outside kLowestRate..kHighestRate, outchannels is not 1 or 2, or the resampler
    // cannot be made.
    static std::unique_ptr<Src2> create(int inrate, int outrate, int outchannels);
    ~Src2();
    Src2(const Src2&) = delete;
    Src2& operator=(const Src2&) = delete;

    // Takes inbytes of stereo float input (a trailing partial frame is kept for the next call), writes at
    // most capacity bytes of whole output frames to output and returns how many it wrote. Output beyond
    // capacity stays inside and leads the next call's output.
    std::size_t process(const void* input, std::size_t inbytes, void* output, std::size_t capacity);

    // Output produced but not yet handed out, in bytes.
    std::size_t pendingBytes() const { return (m_pending.size() - m_pendingStart) * sizeof(float); }

private:
    Src2(int outchannels, soxr_t resampler, double ratio);

    void resample(const float* frames, std::size_t count);

    int m_outchannels;
    soxr_t m_resampler; // null when the rates are equal: the samples are only copied (or averaged)
    double m_ratio;
    std::vector<float> m_input;   // this call's whole frames, averaged to mono in place when asked
    unsigned char m_partial[8]{}; // the bytes of a frame split across calls
    std::size_t m_partialBytes = 0;
    std::vector<float> m_pending; // produced output, handed out from m_pendingStart on
    std::size_t m_pendingStart = 0;
};

} // namespace quimbrel::fenwave
