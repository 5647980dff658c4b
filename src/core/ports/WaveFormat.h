// The capture format record shared by capture, the block handler and the writers: an 18-byte wave format.
#pragma once

#include <array>
#include <cstdint>

namespace quimbrel {

struct WaveFormat {
    std::uint16_t formatTag = 0; // 1 integer PCM, 3 IEEE float
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t cbSize = 0; // extra size

    bool operator==(const WaveFormat&) const = default;

    // The record as it is stored in a file: 18 bytes, little-endian.
    std::array<std::uint8_t, 18> bytes() const {
        std::array<std::uint8_t, 18> b{};
        auto put16 = [&](int at, std::uint16_t v) {
            b[at] = static_cast<std::uint8_t>(v & 0xff);
            b[at + 1] = static_cast<std::uint8_t>(v >> 8);
        };
        auto put32 = [&](int at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xff);
        };
        put16(0, formatTag);
        put16(2, channels);
        put32(4, samplesPerSec);
        put32(8, avgBytesPerSec);
        put16(12, blockAlign);
        put16(14, bitsPerSample);
        put16(16, cbSize);
        return b;
    }
};

// 32-bit IEEE float at the given rate and channel count: the only capture format the recorder builds.
inline WaveFormat floatformat(std::uint32_t rate, std::uint16_t channels) {
    WaveFormat f;
    f.formatTag = 3;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = 32;
    f.blockAlign = static_cast<std::uint16_t>(channels * 4);
    f.avgBytesPerSec = rate * channels * 4u;
    f.cbSize = 0;
    return f;
}

} // namespace quimbrel
