// The pieces of capture that need no sound server: the stereo step, the catalogue collection, the renderer's
// timing.
#include "capture/TInputRecordThread.h"
#include "capture/TPlayThread.h"
#include "capture/TWASAPIDevice.h"
#include "capture/TWASAPIDevices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace quimbrel {
namespace {

TEST(ToStereo, DoublesClipsAndMapsChannels) {
    struct Case {
        const char* what;
        int channels;
        std::vector<float> mix;      // two frames
        std::vector<float> expected; // two stereo frames
    };
    const std::vector<Case> cases = {
        {"mono is widened", 1, {0.25f, -0.3f}, {0.5f, 0.5f, -0.6f, -0.6f}},
        {"stereo kept", 2, {0.1f, 0.2f, -0.1f, 0.4f}, {0.2f, 0.4f, -0.2f, 0.8f}},
        {"doubling clips", 2, {0.6f, -0.6f, 1.0f, -2.0f}, {1.0f, -1.0f, 1.0f, -1.0f}},
        {"three channels: first two", 3, {0.1f, 0.2f, 0.45f, 0.3f, 0.4f, 0.45f}, {0.2f, 0.4f, 0.6f, 0.8f}},
        {"eight channels: first two",
         8,
         {0.1f, -0.1f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.2f, -0.2f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f},
         {0.2f, -0.2f, 0.4f, -0.4f}},
        {"ten channels: first two as well",
         10,
         {0.05f, 0.1f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f,
          0.15f, 0.2f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f, 0.4f},
         {0.1f, 0.2f, 0.3f, 0.4f}},
    };
    for (const auto& c : cases) {
        std::vector<float> mix = c.mix;
        std::vector<float> stereo(4, 99.0f);
        TInputRecordThread::tostereo(mix.data(), 2, c.channels, stereo.data());
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(stereo[i], c.expected[i]) << c.what << ", sample " << i;
    }
}

TEST(ToStereo, ClipsExactlyAsClampDoesAtTheLimitsAndBeyond) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> mix = {0.5f,  -0.5f,  0.50001f, -0.50001f, 0.49999f, -0.49999f, 0.0f,
                                    -0.0f, 1e-30f, inf,      -inf,      1e30f,    -1e30f,    0.25f};
    std::vector<float> stereo(mix.size(), 99.0f);
    TInputRecordThread::tostereo(mix.data(), static_cast<int>(mix.size() / 2), 2, stereo.data());
    for (std::size_t i = 0; i < mix.size(); ++i) {
        const float expected = std::clamp(mix[i] * 2.0f, -1.0f, 1.0f);
        EXPECT_EQ(stereo[i], expected) << "sample " << i << " = " << mix[i];
        EXPECT_EQ(std::signbit(stereo[i]), std::signbit(expected)) << "sample " << i;
    }
    // Not a number stays one: it is neither clipped to a limit nor turned into silence.
    const float nan[2] = {std::numeric_limits<float>::quiet_NaN(), 0.1f};
    float out[2] = {0.0f, 0.0f};
    TInputRecordThread::tostereo(nan, 1, 2, out);
    EXPECT_TRUE(std::isnan(out[0]));
    EXPECT_FLOAT_EQ(out[1], 0.2f);
}

TEST(TWASAPIDevicesTest, MoveKeepsTheOthersInOrderAndBadPositionsThrow) {
    TWASAPIDevices list;
    for (const char* n : {"a", "b", "c", "d"}) {
        TWASAPIDevice d;
        d.name = n;
        list.add(d);
    }
    list.move(2, 0);
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list[0].name + list[1].name + list[2].name + list[3].name, "cabd");
    list.move(0, 3);
    EXPECT_EQ(list[0].name + list[1].name + list[2].name + list[3].name, "abdc");

    TWASAPIDevice x;
    x.name = "x";
    list.SetItem(1, x);
    EXPECT_EQ(list.GetItem(1).name, "x");
    EXPECT_THROW(list.GetItem(4), std::out_of_range);
    EXPECT_THROW(list.GetItem(-1), std::out_of_range);
    EXPECT_THROW(list.move(0, 4), std::out_of_range);
}

TEST(TPlayThreadTiming, TopUpIsASixthOfTheGrantedBuffer) {
    EXPECT_EQ(TPlayThread::durationfor(96000, 48000), 20000000);
    EXPECT_EQ(TPlayThread::waitmsfor(20000000), 333);
    EXPECT_EQ(TPlayThread::durationfor(88200, 44100), 20000000);
    EXPECT_EQ(TPlayThread::durationfor(1000, 0), 0);
}

} // namespace
} // namespace quimbrel
