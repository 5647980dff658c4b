// Float to 8-, 16-, 24-bit integer and clipped float samples. Runs on every recorded block, so each loop is
// kept simple enough for the compiler to vectorise.
#include "Convert.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quimbrel::fenwave {

namespace {

// Clip to +-1.0; NaN fails both comparisons and becomes silence.
inline float clip(float x) {
    const float y = x > -1.0f ? x : -1.0f;
    const float z = y < 1.0f ? y : 1.0f;
    return x == x ? z : 0.0f;
}

// Rounds to nearest (ties to even) by adding and taking away 1.5 x 2^mantissa bits: exact for |v| < 2^22
// in float and < 2^51 in double, and unlike lrint it vectorises without SSE4.1. Where the compiler keeps
// intermediates in a wider format the trick fails, so such targets use lrint.
#if FLT_EVAL_METHOD == 0
inline float roundFloat(float v) {
    constexpr float kMagic = 12582912.0f;
    return (v + kMagic) - kMagic;
}
inline double roundDouble(double v) {
    constexpr double kMagic = 6755399441055744.0;
    return (v + kMagic) - kMagic;
}
#else
inline float roundFloat(float v) {
    return static_cast<float>(std::lrint(v));
}
inline double roundDouble(double v) {
    return static_cast<double>(std::lrint(v));
}
#endif

// Scales a clipped sample by 2^(bits-1) and rounds; +1.0 lands one above the highest code and is brought
// back by the caller. The products are exact (a float times a power of two), so is the rounding: 8 and 16
// bits fit the float trick, 24 bits need double.
inline std::int32_t scaled8or16(float x, float scale) {
    return static_cast<std::int32_t>(roundFloat(clip(x) * scale));
}
inline std::int32_t scaled24(float x) {
    return static_cast<std::int32_t>(roundDouble(static_cast<double>(clip(x)) * 8388608.0));
}

void toU8(const float* source, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = scaled8or16(source[i], 128.0f);
        out[i] = static_cast<std::uint8_t>((v < 127 ? v : 127) + 128);
    }
}

void toS16(const float* source, unsigned char* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = scaled8or16(source[i], 32768.0f);
        const auto u = static_cast<std::uint16_t>(v < 32767 ? v : 32767);
        out[2 * i] = static_cast<unsigned char>(u);
        out[2 * i + 1] = static_cast<unsigned char>(u >> 8);
    }
}

void toS24(const float* source, unsigned char* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = scaled24(source[i]);
        const auto u = static_cast<std::uint32_t>(v < 8388607 ? v : 8388607);
        out[3 * i] = static_cast<unsigned char>(u);
        out[3 * i + 1] = static_cast<unsigned char>(u >> 8);
        out[3 * i + 2] = static_cast<unsigned char>(u >> 16);
    }
}

void toFloat(const float* source, unsigned char* out, std::size_t count) {
    constexpr std::size_t kChunk = 256;
    float chunk[kChunk];
    for (std::size_t done = 0; done < count; done += kChunk) {
        const std::size_t n = count - done < kChunk ? count - done : kChunk;
        for (std::size_t i = 0; i < n; ++i) {
            chunk[i] = clip(source[done + i]);
        }
        std::memcpy(out + done * sizeof(float), chunk, n * sizeof(float));
    }
}

} // namespace

void convertSamples(const float* source, void* destination, int code, std::size_t count) noexcept {
    auto* out = static_cast<unsigned char*>(destination);
    switch (code) {
    case 1:
        toU8(source, out, count);
        break;
    case 2:
        toS16(source, out, count);
        break;
    case 4:
        toS24(source, out, count);
        break;
    case 16:
        toFloat(source, out, count);
        break;
    default:
        break;
    }
}

} // namespace quimbrel::fenwave
