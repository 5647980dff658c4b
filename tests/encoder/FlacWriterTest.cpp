// The FLAC writer: bit-exact round trips, the settings read back from STREAMINFO, and a missing libFLAC.
#include "AvDecode.h"
#include "encoder/TFLACwriter.h"
#include "encoder/libFLAC.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quimbrel {
namespace {

struct StreamInfo {
    bool valid = false;
    unsigned rate = 0;
    unsigned channels = 0;
    unsigned bits = 0;
    std::uint64_t samples = 0;
};

StreamInfo streaminfo(const std::vector<std::uint8_t>& f) {
    StreamInfo s;
    if (f.size() < 42 || std::string(f.begin(), f.begin() + 4) != "fLaC" || (f[4] & 0x7F) != 0)
        return s;
    const std::uint8_t* p = f.data() + 8 + 10; // after the block header and the block and frame sizes
    s.rate = (p[0] << 12) | (p[1] << 4) | (p[2] >> 4);
    s.channels = ((p[2] >> 1) & 7) + 1;
    s.bits = (((p[2] & 1) << 4) | (p[3] >> 4)) + 1;
    s.samples = (static_cast<std::uint64_t>(p[3] & 0x0F) << 32) | (static_cast<std::uint64_t>(p[4]) << 24) |
                (p[5] << 16) | (p[6] << 8) | p[7];
    s.valid = true;
    return s;
}

class FlacWriter : public ::testing::Test {
protected:
    std::string dir = test::tempdir();
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(FlacWriter, DecodesBitExactWithItsSettingsInStreamInfo) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t channels;
        int bps;
        unsigned bits;
        int code;
    };
    const Case cases[] = {{96000, 2, 0, 24, 4}, {88200, 1, 1, 16, 2}, {44100, 2, 1, 16, 2},
                          {44100, 1, 2, 8, 1},  {48000, 2, 2, 8, 1},  {8000, 1, 0, 24, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.bits) + " bits");
        const std::string path = dir + "/take.flac";
        std::vector<std::uint8_t> all;
        std::string finished;
        const std::size_t frames = c.rate / 2;
        {
            TFLACwriter w(path, floatformat(c.rate, c.channels), c.bps);
            w.OnFinished = [&](const std::string& name) { finished = name; };
            EXPECT_EQ(w.SampleFormat(), c.code);
            auto signal = test::sine(997, static_cast<int>(c.rate), c.channels, frames, 0.9);
            // The extremes of every width, so the widening of each byte layout shows.
            signal[0] = 1.0f;
            signal[c.channels] = -1.0f;
            all = test::convert(signal, c.code);
            const std::size_t framebytes = static_cast<std::size_t>(c.bits / 8 * c.channels);
            for (std::size_t at = 0; at < all.size(); at += 441 * framebytes)
                EXPECT_EQ(w.WriteBlock(all.data() + at, static_cast<std::int32_t>(
                                                            std::min(441 * framebytes, all.size() - at))),
                          0);
            // Fewer bytes than one frame encode nothing.
            EXPECT_EQ(w.WriteBlock(all.data(), static_cast<std::int32_t>(framebytes - 1)), 0);
            EXPECT_TRUE(w.finish().ok());
        }
        EXPECT_EQ(finished, path);
        const auto info = streaminfo(test::readfile(path));
        ASSERT_TRUE(info.valid);
        EXPECT_EQ(info.rate, c.rate);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.bits, c.bits);
        EXPECT_EQ(info.samples, frames);

        const auto d = test::decodefile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.container, "flac");
        EXPECT_EQ(d.codec, "flac");
        EXPECT_EQ(d.ints, test::integers(all, c.code));
    }
}

TEST(FlacWidening, ExtremeByteLayoutsReachTheEncoderAsSignedValues) {
    const std::string dir = test::tempdir();
    struct Case {
        int bps;
        std::vector<std::uint8_t> bytes;
        std::vector<std::int32_t> values;
    };
    const Case cases[] = {
        {1, {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00}, {-32768, 32767, 0}},
        {0, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}, {-8388608, 8388607, -1}},
        {2, {128, 0, 255}, {0, -128, 127}},
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/x.flac";
        {
            TFLACwriter w(path, floatformat(8000, 1), c.bps);
            w.WriteBlock(c.bytes.data(), static_cast<std::int32_t>(c.bytes.size()));
        }
        EXPECT_EQ(test::decodefile(path).ints, c.values) << "bps " << c.bps;
    }
    std::filesystem::remove_all(dir);
}

TEST_F(FlacWriter, FailsWithItsMessageWhenTheFileOrTheLibraryIsMissing) {
    try {
        TFLACwriter w(dir + "/no/folder/x.flac", floatformat(44100, 2), 1);
        FAIL();
    } catch (const WriterError& e) {
        EXPECT_STREQ(e.what(), "Can not initialize FLAC encoder");
    }
    unloadflaclib();
    EXPECT_FALSE(loadflaclib("libFLAC-absent.so.99"));
    EXPECT_EQ(flaclib(), nullptr);
    try {
        TFLACwriter w(dir + "/x.flac", floatformat(44100, 2), 1);
        FAIL();
    } catch (const WriterError& e) {
        EXPECT_STREQ(e.what(), "Can not initialize FLAC encoder");
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.flac"));
    EXPECT_TRUE(loadflaclib());
    EXPECT_NE(flaclib(), nullptr);
}

} // namespace
} // namespace quimbrel
