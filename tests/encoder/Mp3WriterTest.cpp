// The MP3 writer: frame headers per the bit-rate table, a plain frame stream, round trip and failure paths.
#include "AvDecode.h"
#include "encoder/TMP3writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace quimbrel {
namespace {

struct FrameHeader {
    int version = 0; // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
    int kbps = 0;
    int channelmode = -1; // 0 stereo, 1 joint, 2 dual, 3 mono
    bool valid = false;
};

FrameHeader firstframe(const std::vector<std::uint8_t>& f) {
    FrameHeader h;
    if (f.size() < 4 || f[0] != 0xFF || (f[1] & 0xE0) != 0xE0 || ((f[1] >> 1) & 3) != 1)
        return h;
    const int v = (f[1] >> 3) & 3;
    h.version = v == 3 ? 1 : v == 2 ? 2 : 25;
    static const int mpeg1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int mpeg2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    const int index = f[2] >> 4;
    if (index == 0 || index == 15)
        return h;
    h.kbps = h.version == 1 ? mpeg1[index] : mpeg2[index];
    h.channelmode = f[3] >> 6;
    h.valid = true;
    return h;
}

bool contains(const std::vector<std::uint8_t>& f, const std::string& s) {
    return std::search(f.begin(), f.end(), s.begin(), s.end()) != f.end();
}

class Mp3Writer : public ::testing::Test {
protected:
    std::string dir = test::tempdir();
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(Mp3Writer, FrameHeaderFollowsTheBitRateTable) {
    struct Case {
        int rate;
        int channels;
        int mode;
        int position;
        int version;
        int kbps;
        int channelmode;
    };
    const Case cases[] = {
        {44100, 2, 0, 5, 1, 128, 0}, {22050, 2, 0, 5, 2, 80, 0},  {8000, 2, 0, 0, 2, 128, 0},
        {12000, 2, 0, 0, 2, 128, 0}, {44100, 1, 3, 5, 1, 128, 3}, {48000, 2, 1, 0, 1, 320, 1},
        {32000, 2, 2, 13, 1, 32, 2}, {16000, 1, 3, 13, 2, 8, 3},  {44100, 2, 9, 77, 1, 128, 0},
        {11025, 2, 0, 11, 2, 8, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " pos " + std::to_string(c.position));
        const std::string path = dir + "/t.mp3";
        std::int64_t returned = 0;
        {
            TMP3writer w(
                path, floatformat(static_cast<std::uint32_t>(c.rate), static_cast<std::uint16_t>(c.channels)),
                c.mode, c.position, c.rate);
            EXPECT_EQ(w.SampleFormat(), kSampleS16);
            const auto pcm =
                test::convert(test::sine(1000, c.rate, c.channels, static_cast<std::size_t>(c.rate) / 2), 2);
            for (std::size_t at = 0; at < pcm.size(); at += 4000) {
                const auto n = static_cast<std::int32_t>(std::min<std::size_t>(4000, pcm.size() - at));
                const auto r = w.WriteBlock(pcm.data() + at, n);
                ASSERT_GE(r, 0);
                returned += r;
            }
        }
        const auto file = test::readfile(path);
        const auto h = firstframe(file);
        ASSERT_TRUE(h.valid);
        EXPECT_EQ(h.version, c.version);
        EXPECT_EQ(h.kbps, c.kbps);
        EXPECT_EQ(h.channelmode, c.channelmode);
        // A plain frame sequence: no VBR/info frame, no tags; the blocks' results count the file but the
        // flush.
        EXPECT_FALSE(contains(file, "Xing"));
        EXPECT_FALSE(contains(file, "Info"));
        EXPECT_FALSE(contains(file, "ID3"));
        EXPECT_FALSE(contains(file, "TAG"));
        EXPECT_LE(returned, static_cast<std::int64_t>(file.size()));
    }
}

TEST_F(Mp3Writer, RoundTripKeepsRateChannelsLengthAndPitch) {
    const std::string path = dir + "/take.mp3";
    const int rate = 44100;
    const std::size_t frames = 2 * rate;
    std::string finished;
    {
        TMP3writer w(path, floatformat(rate, 2), 0, 5, rate);
        w.OnFinished = [&](const std::string& name) { finished = name; };
        const auto pcm = test::convert(test::sine(1000, rate, 2, frames), 2);
        for (std::size_t at = 0; at < pcm.size(); at += 4410)
            w.WriteBlock(pcm.data() + at,
                         static_cast<std::int32_t>(std::min<std::size_t>(4410, pcm.size() - at)));
        EXPECT_TRUE(w.finish().ok());
    }
    EXPECT_EQ(finished, path);
    const auto d = test::decodefile(path);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.container, "mp3");
    EXPECT_EQ(d.codec, "mp3float");
    EXPECT_EQ(d.rate, rate);
    EXPECT_EQ(d.channels, 2);
    // Without an info frame the decoder cannot trim the encoder's delay (576 + 529 samples) and the flush's
    // padding of the last frame: at most one frame more than delay.
    EXPECT_GE(d.frames(), frames);
    EXPECT_LE(d.frames(), frames + 1105 + 1152);
    EXPECT_EQ(test::peakfrequency(d, 4410), 1000.0);
}

TEST_F(Mp3Writer, RecordingWithoutBlocksHoldsTheFlushOnly) {
    const std::string path = dir + "/empty.mp3";
    { TMP3writer w(path, floatformat(44100, 2), 0, 5, 44100); }
    const auto file = test::readfile(path);
    if (!file.empty()) {
        EXPECT_TRUE(firstframe(file).valid);
        EXPECT_FALSE(contains(file, "Info"));
        EXPECT_FALSE(contains(file, "TAG"));
    }
    EXPECT_LE(file.size(), 2u * 418); // at most the frames that hold the encoder's delay
}

TEST_F(Mp3Writer, RejectedParametersNameTheRate) {
    try {
        TMP3writer w(dir + "/bad.mp3", floatformat(44100, 3), 0, 5, 44100);
        FAIL();
    } catch (const WriterError& e) {
        EXPECT_STREQ(e.what(), "MP3 encoding parameters incompatible with this samplerate: 44100Hz");
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/bad.mp3"));
    EXPECT_THROW(TMP3writer(dir + "/no/dir.mp3", floatformat(44100, 2), 0, 5, 44100), WriterError);
}

TEST(Mp3WriterFailure, WriteErrorFinishesTheWriterAndCarriesTheErrorNumber) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    bool notified = false;
    {
        TMP3writer w("/dev/full", floatformat(44100, 2), 0, 5, 44100);
        w.OnFinished = [&](const std::string&) { notified = true; };
        const auto pcm = test::convert(test::sine(1000, 44100, 2, 4410), 2);
        std::int32_t r = 0;
        for (int i = 0; i < 20 && r >= 0; ++i)
            r = w.WriteBlock(pcm.data(), static_cast<std::int32_t>(pcm.size()));
        EXPECT_EQ(r, -1);
        EXPECT_EQ(w.WriteBlock(pcm.data(), static_cast<std::int32_t>(pcm.size())), -1);
        EXPECT_EQ(w.WriteBlock(pcm.data(), 0), -1);
        EXPECT_EQ(w.outcome().error, ENOSPC);
        // The writer reports nothing itself; finish() hands the first failure to the caller.
        const WriterOutcome outcome = w.finish();
        EXPECT_EQ(outcome.error, ENOSPC);
        EXPECT_EQ(outcome.reason, "No space left on device");
        EXPECT_TRUE(notified);
    }
}

} // namespace
} // namespace quimbrel
