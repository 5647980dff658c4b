// Float to sample-code conversion: one table of values for every code, rounding against a reference, and
// the exact extent of what is written.
#include "Signal.h"
#include "fenwave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace fenwavetest;

std::size_t widthOf(int code) {
    return code == 1 ? 1 : code == 2 ? 2 : code == 4 ? 3 : code == 16 ? 4 : 0;
}

// Reads sample i of a converted buffer as an integer (codes 1, 2, 4) or a float (code 16).
double readSample(const std::vector<unsigned char>& out, int code, std::size_t i) {
    const unsigned char* p = out.data() + i * widthOf(code);
    switch (code) {
    case 1:
        return p[0];
    case 2:
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    case 4: {
        const auto u = static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        return static_cast<int32_t>(u << 8) >> 8;
    }
    default: {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    }
}

struct Row {
    float in;
    int u8;
    int s16;
    int s24;
    float f32;
};

const Row kTable[] = {
    {0.5f, 192, 16384, 4194304, 0.5f},
    {-0.5f, 64, -16384, -4194304, -0.5f},
    {-1.0f, 0, -32768, -8388608, -1.0f},
    {1.0f, 255, 32767, 8388607, 1.0f},
    {1.5f, 255, 32767, 8388607, 1.0f},
    {-1.5f, 0, -32768, -8388608, -1.0f},
    {1e30f, 255, 32767, 8388607, 1.0f},
    {-INFINITY, 0, -32768, -8388608, -1.0f},
    {0.0f, 128, 0, 0, 0.0f},
    {1e-6f, 128, 0, 8, 1e-6f},
    {-1e-6f, 128, 0, -8, -1e-6f},
    {1e-30f, 128, 0, 0, 1e-30f},
    {0.6f / 32768, 128, 1, 154, 0.6f / 32768},
    {-0.6f / 32768, 128, -1, -154, -0.6f / 32768},
    {0.4f / 32768, 128, 0, 102, 0.4f / 32768},
    {0.7f / 128, 129, 179, 45875, 0.7f / 128},
    {std::nanf(""), 128, 0, 0, 0.0f},
};

// Each row is repeated along a long buffer written at an odd address, so vectorised stretches and the
// scalar tail both meet every value.
TEST(ConvertFromFloat, TableForEveryCode) {
    const std::size_t rows = std::size(kTable);
    const std::size_t count = rows * 37;
    std::vector<float> source(count);
    for (std::size_t i = 0; i < count; ++i) {
        source[i] = kTable[i % rows].in;
    }
    for (int code : {1, 2, 4, 16}) {
        std::vector<unsigned char> raw(count * widthOf(code) + 1);
        convertFromFloat(source.data(), raw.data() + 1, code, static_cast<int32_t>(count));
        const std::vector<unsigned char> out(raw.begin() + 1, raw.end());
        for (std::size_t i = 0; i < count; ++i) {
            const Row& r = kTable[i % rows];
            const double expected = code == 1 ? r.u8 : code == 2 ? r.s16 : code == 4 ? r.s24 : r.f32;
            ASSERT_EQ(readSample(out, code, i), expected)
                << "code " << code << " input " << r.in << " at " << i;
        }
    }
}

// Round to nearest for every integer code, against a double-precision reference on many values.
TEST(ConvertFromFloat, RoundsToNearest) {
    const std::vector<float> source = noise(100003, 21, 1.2f);
    for (int code : {1, 2, 4}) {
        const double scale = code == 1 ? 128.0 : code == 2 ? 32768.0 : 8388608.0;
        std::vector<unsigned char> out(source.size() * widthOf(code));
        convertFromFloat(source.data(), out.data(), code, static_cast<int32_t>(source.size()));
        for (std::size_t i = 0; i < source.size(); ++i) {
            const double clipped = std::fmin(std::fmax(static_cast<double>(source[i]), -1.0), 1.0);
            const double exact = clipped * scale;
            const double got = readSample(out, code, i) - (code == 1 ? 128.0 : 0.0);
            ASSERT_LE(std::fabs(got - exact), exact >= scale - 1 ? 1.0 : 0.5)
                << "code " << code << " value " << source[i];
        }
    }
}

TEST(ConvertFromFloat, WritesExactlyCountSamplesAndNothingForOtherCodes) {
    const std::vector<float> source(10, 0.25f);
    for (int code : {0, 1, 2, 3, 4, 8, 15, 16, 17, 32, -2}) {
        std::vector<unsigned char> out(64, 0xAB);
        convertFromFloat(source.data(), out.data(), code, 10);
        const std::size_t written = 10 * widthOf(code);
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (i >= written) {
                ASSERT_EQ(out[i], 0xAB) << "code " << code << " byte " << i;
            }
        }
        if (written > 0) {
            EXPECT_NE(out[written - 1], 0xAB) << code;
        }
    }
    std::vector<unsigned char> out(64, 0xAB);
    convertFromFloat(nullptr, out.data(), 2, 10);
    convertFromFloat(source.data(), out.data(), 2, 0);
    convertFromFloat(source.data(), out.data(), 2, -10);
    convertFromFloat(source.data(), nullptr, 2, 10);
    EXPECT_EQ(out, std::vector<unsigned char>(64, 0xAB));
}

} // namespace
