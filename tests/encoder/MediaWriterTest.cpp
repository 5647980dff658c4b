// The WMA and M4A writers: container, codec, the requested byte rates, pitch, length and time stamps.
#include "AvDecode.h"
#include "encoder/TM4Awriter.h"
#include "encoder/TWMAwriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace quimbrel {
namespace {

// The average bit rate an MP4 file states in its esds box (0 when there is none).
std::uint32_t esdsavgbitrate(const std::vector<std::uint8_t>& f) {
    const std::string box = "esds";
    auto it = std::search(f.begin(), f.end(), box.begin(), box.end());
    if (it == f.end())
        return 0;
    std::size_t at = static_cast<std::size_t>(it - f.begin()) + 8; // name, version and flags
    auto descriptor = [&](std::uint8_t tag) {
        if (at >= f.size() || f[at] != tag)
            return false;
        ++at;
        while (at < f.size() && (f[at] & 0x80))
            ++at;
        ++at;
        return true;
    };
    if (!descriptor(0x03))
        return 0;
    at += 3; // ES id and flags
    if (!descriptor(0x04) || at + 13 > f.size())
        return 0;
    at += 1 + 1 + 3 + 4; // object type, stream type, buffer size, maximum bit rate
    return (static_cast<std::uint32_t>(f[at]) << 24) | (f[at + 1] << 16) | (f[at + 2] << 8) | f[at + 3];
}

class MediaWriter : public ::testing::Test {
protected:
    std::string dir = test::tempdir();
    void TearDown() override { std::filesystem::remove_all(dir); }
};

std::unique_ptr<TMediaWriter> make(bool wma, const std::string& path, std::uint32_t rate,
                                   std::uint16_t channels, int position) {
    if (wma)
        return std::make_unique<TWMAwriter>(path, floatformat(rate, channels), position);
    return std::make_unique<TM4Awriter>(path, floatformat(rate, channels), position);
}

TEST_F(MediaWriter, RoundTripCarriesTheRequestedByteRate) {
    struct Case {
        bool wma;
        std::uint32_t rate;
        std::uint16_t channels;
        int position;
        int bytespersecond;
    };
    const Case cases[] = {
        {true, 44100, 2, 5, 12003},  {true, 48000, 1, 0, 40001},  {true, 22050, 2, 8, 6003},
        {false, 44100, 2, 0, 24000}, {false, 48000, 1, 3, 12000}, {false, 44100, 2, 7, 16000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.wma ? "wma " : "m4a ") + std::to_string(c.rate) + " pos " +
                     std::to_string(c.position));
        const std::string path = dir + (c.wma ? "/take.wma" : "/take.m4a");
        const std::size_t frames = c.rate * 2;
        std::string finished;
        {
            auto w = make(c.wma, path, c.rate, c.channels, c.position);
            w->OnFinished = [&](const std::string& name) { finished = name; };
            EXPECT_EQ(w->SampleFormat(), kSampleS16);
            const auto pcm = test::convert(test::sine(1000, static_cast<int>(c.rate), c.channels, frames), 2);
            const std::size_t block = c.rate * c.channels * 2 / 10; // 0.1 s
            std::int64_t expected = 0;
            for (std::size_t at = 0; at < pcm.size(); at += block) {
                const auto n = static_cast<std::int32_t>(std::min(block, pcm.size() - at));
                EXPECT_EQ(w->WriteBlock(pcm.data() + at, n), 0);
                expected += static_cast<std::int64_t>(
                    static_cast<double>(n) / (static_cast<double>(c.rate) * 2.0 * c.channels) * 10000000.0);
                EXPECT_EQ(w->sampletime(), expected);
            }
            EXPECT_TRUE(w->finish().ok());
        }
        EXPECT_EQ(finished, path);
        const auto d = test::decodefile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.container, c.wma ? "asf" : "mov,mp4,m4a,3gp,3g2,mj2");
        EXPECT_EQ(d.codec, c.wma ? "wmav2" : "aac");
        EXPECT_EQ(d.rate, static_cast<int>(c.rate));
        EXPECT_EQ(d.channels, c.channels);
        if (c.wma) {
            EXPECT_EQ(d.bitrate, c.bytespersecond * 8);
        } else {
            // The finished (regular) MP4 states the average the encoder really reached, as FFmpeg reports it.
            EXPECT_NEAR(static_cast<double>(esdsavgbitrate(test::readfile(path))), c.bytespersecond * 8,
                        c.bytespersecond * 8 * 0.05);
            EXPECT_NEAR(static_cast<double>(d.bitrate), c.bytespersecond * 8, c.bytespersecond * 8 * 0.05);
        }
        // Within one encoder frame (2048 samples for WMA, 1024 for AAC) beyond the encoder's own delay.
        EXPECT_GE(d.frames(), frames - 2048);
        EXPECT_LE(d.frames(), frames + 2 * 2048);
        EXPECT_EQ(test::peakfrequency(d, c.rate / 2), 1000.0);
        for (std::size_t i = 1; i < d.pts.size(); ++i)
            ASSERT_GT(d.pts[i], d.pts[i - 1]);
    }
}

TEST_F(MediaWriter, BlockDurationsAreTruncatedAndIncompleteFramesCarried) {
    for (bool wma : {true, false}) {
        const std::string path = dir + (wma ? "/t.wma" : "/t.m4a");
        {
            auto w = make(wma, path, 44100, 2, 5);
            const auto pcm = test::convert(test::sine(1000, 44100, 2, 4410), 2);
            ASSERT_EQ(pcm.size(), 17640u);
            w->WriteBlock(pcm.data(), 17640);
            EXPECT_EQ(w->sampletime(), 1000000);
            // One byte lasts 1/176400 s, truncated to 56 units; its byte waits for the rest of its frame.
            w->WriteBlock(pcm.data(), 1);
            EXPECT_EQ(w->sampletime(), 1000056);
            w->WriteBlock(pcm.data() + 1, 17639);
            EXPECT_EQ(w->sampletime(), 1999999); // plus 999943
        }
        const auto d = test::decodefile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_NEAR(static_cast<double>(d.frames()), 8820.0, 2048.0);
    }
}

TEST_F(MediaWriter, CreationFailureNamesTheFile) {
    for (bool wma : {true, false}) {
        const std::string path = dir + "/missing/take" + (wma ? ".wma" : ".m4a");
        try {
            make(wma, path, 44100, 2, 5);
            FAIL();
        } catch (const WriterError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace quimbrel
