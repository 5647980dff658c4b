// Rate conversion on libsoxr at high quality. One resampler runs for a whole capture run, so its filter
// memory carries across blocks: no clicks at block joins, and the output length follows the input length
// times the ratio without drift.
#include "Src2.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace quimbrel::fenwave {

namespace {

constexpr std::size_t kStereoFrameBytes = 2 * sizeof(float);
constexpr std::size_t kPieceFrames = 8192;

} // namespace

std::unique_ptr<Src2> Src2::create(int inrate, int outrate, int outchannels) {
    const auto validRate = [](int rate) { return rate >= kLowestRate && rate <= kHighestRate; };
    if (!validRate(inrate) || !validRate(outrate) || (outchannels != 1 && outchannels != 2)) {
        return nullptr;
    }
    soxr_t resampler = nullptr;
    if (inrate != outrate) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        // One thread: the capture thread already is the one doing this work.
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        resampler =
            soxr_create(inrate, outrate, static_cast<unsigned>(outchannels), &error, &io, &quality, &runtime);
        if (error != nullptr || resampler == nullptr) {
            soxr_delete(resampler);
            return nullptr;
        }
    }
    return std::unique_ptr<Src2>(
        new Src2(outchannels, resampler, static_cast<double>(outrate) / static_cast<double>(inrate)));
}

Src2::Src2(int outchannels, soxr_t resampler, double ratio)
    : m_outchannels(outchannels), m_resampler(resampler), m_ratio(ratio) {}

Src2::~Src2() {
    soxr_delete(m_resampler);
}

std::size_t Src2::process(const void* input, std::size_t inbytes, void* output, std::size_t capacity) {
    // Gather whole frames: the bytes left from the last call first. Copying also frees the caller from
    // aligning its buffer for floats.
    const auto* bytes = static_cast<const unsigned char*>(input);
    if (bytes == nullptr) {
        inbytes = 0;
    }
    const std::size_t total = m_partialBytes + inbytes;
    const std::size_t frames = total / kStereoFrameBytes;
    if (frames > 0) {
        m_input.resize(frames * 2);
        auto* dst = reinterpret_cast<unsigned char*>(m_input.data());
        std::memcpy(dst, m_partial, m_partialBytes);
        const std::size_t taken = frames * kStereoFrameBytes - m_partialBytes;
        std::memcpy(dst + m_partialBytes, bytes, taken);
        bytes += taken;
        inbytes -= taken;
        m_partialBytes = 0;
    }
    if (inbytes > 0) {
        std::memcpy(m_partial + m_partialBytes, bytes, inbytes);
        m_partialBytes += inbytes;
    }

    if (frames > 0) {
        float* samples = m_input.data();
        if (m_outchannels == 1) {
            for (std::size_t i = 0; i < frames; ++i) {
                samples[i] = 0.5f * (samples[2 * i] + samples[2 * i + 1]);
            }
        }
        if (m_resampler == nullptr) {
            m_pending.insert(m_pending.end(), samples,
                             samples + frames * static_cast<std::size_t>(m_outchannels));
        } else {
            resample(samples, frames);
        }
    }

    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(m_outchannels);
    const std::size_t outbytes = std::min(pendingBytes(), capacity / frameBytes * frameBytes);
    if (outbytes > 0) {
        std::memcpy(output, m_pending.data() + m_pendingStart, outbytes);
    }
    m_pendingStart += outbytes / sizeof(float);
    if (m_pendingStart == m_pending.size()) {
        m_pending.clear();
        m_pendingStart = 0;
    } else if (m_pendingStart > m_pending.size() / 2) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingStart));
        m_pendingStart = 0;
    }
    return outbytes;
}

void Src2::resample(const float* frames, std::size_t count) {
    const auto channels = static_cast<std::size_t>(m_outchannels);
    std::size_t consumed = 0;
    for (;;) {
        // The resampler is fed in modest pieces: handed a very large block at once, its internal buffering
        // turns slow. Each piece gets room for what it should give plus the resampler's own slack; the loop
        // asks again when that room was filled, so no output stays behind in the resampler.
        const std::size_t piece = std::min(count - consumed, kPieceFrames);
        const auto room = static_cast<std::size_t>(static_cast<double>(piece) * m_ratio) + 1024;
        const std::size_t used = m_pending.size();
        m_pending.resize(used + room * channels);
        std::size_t idone = 0;
        std::size_t odone = 0;
        const soxr_error_t error = soxr_process(m_resampler, frames + consumed * channels, piece, &idone,
                                                m_pending.data() + used, room, &odone);
        m_pending.resize(used + odone * channels);
        if (error != nullptr) {
            throw std::runtime_error(error);
        }
        if (idone == 0 && odone == 0 && consumed < count) {
            throw std::runtime_error("resampler stalled");
        }
        consumed += idone;
        if (consumed >= count && odone < room) {
            return;
        }
    }
}

} // namespace quimbrel::fenwave
