// The WAV writer: exact headers, bit-exact samples for every width, the extension rule and the size limit.
#include "AvDecode.h"
#include "encoder/TWAVwriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace quimbrel {
namespace {

using test::convert;
using test::decodefile;
using test::readfile;

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

class WavWriter : public ::testing::Test {
protected:
    std::string dir = test::tempdir();
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(WavWriter, DecodesBitExactForEveryWidthAndChannelCount) {
    struct Case {
        int bps;
        int channels;
        int code;
        const char* codec;
        std::size_t headersize;
    };
    const Case cases[] = {
        {0, 1, 4, "pcm_s24le", 80}, {0, 2, 4, "pcm_s24le", 80}, {1, 1, 2, "pcm_s16le", 44},
        {1, 2, 2, "pcm_s16le", 44}, {2, 1, 1, "pcm_u8", 44},    {2, 2, 1, "pcm_u8", 44},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " channels " + std::to_string(c.channels));
        const std::string path = dir + "/take.mp3";
        std::string finished;
        std::vector<std::uint8_t> all;
        {
            TWAVwriter w(path, floatformat(44100, static_cast<std::uint16_t>(c.channels)), c.bps);
            w.OnFinished = [&](const std::string& name) { finished = name; };
            EXPECT_EQ(w.SampleFormat(), c.code);
            EXPECT_EQ(w.FileName, dir + "/take.wav");
            // Blocks of uneven sizes, full scale included, so clipping and byte order both show.
            const std::size_t sizes[] = {1103, 1, 4410, 2000};
            std::size_t start = 0;
            for (std::size_t n : sizes) {
                auto block = test::sine(441.0, 44100, c.channels, n, 0.999, start);
                if (start == 0)
                    block[0] = 1.0f, block[1] = -1.0f;
                start += n;
                const auto bytes = convert(block, c.code);
                all.insert(all.end(), bytes.begin(), bytes.end());
                EXPECT_EQ(w.WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size())),
                          static_cast<std::int32_t>(bytes.size()));
            }
            EXPECT_TRUE(w.finish().ok());
        }
        EXPECT_EQ(finished, dir + "/take.wav");
        EXPECT_FALSE(std::filesystem::exists(path));
        const auto file = readfile(finished);
        ASSERT_EQ(file.size(), c.headersize + all.size());
        EXPECT_EQ(le32(file, c.headersize - 4), all.size());

        const auto d = decodefile(finished);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.container, "wav");
        EXPECT_EQ(d.codec, c.codec);
        EXPECT_EQ(d.rate, 44100);
        EXPECT_EQ(d.channels, c.channels);
        EXPECT_EQ(d.ints, test::integers(all, c.code));
    }
}

TEST_F(WavWriter, PlainHeaderIsExact) {
    const std::string path = dir + "/plain";
    const std::vector<std::uint8_t> block(400, 0x11);
    {
        TWAVwriter w(path, floatformat(44100, 2), 1);
        w.WriteBlock(block.data(), 400);
    }
    const auto file = readfile(path + ".wav");
    const std::uint8_t expected[44] = {'R', 'I', 'F',  'F',  0xB4, 0x01, 0,    0,    'W',  'A', 'V',
                                       'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,   0,
                                       2,   0,   0x44, 0xAC, 0,    0,    0x10, 0xB1, 0x02, 0,   4,
                                       0,   16,  0,    'd',  'a',  't',  'a',  0x90, 0x01, 0,   0};
    ASSERT_GE(file.size(), 44u);
    EXPECT_EQ(std::memcmp(file.data(), expected, 44), 0);
}

TEST_F(WavWriter, ExtensibleHeaderIsExact) {
    const std::string path = dir + "/ext.wav";
    const std::vector<std::uint8_t> block(600, 0x22); // 24-bit stereo: 100 frames
    {
        TWAVwriter w(path, floatformat(48000, 2), 0);
        w.WriteBlock(block.data(), 600);
    }
    const auto file = readfile(path);
    const std::uint8_t expected[80] = {
        'R',  'I',  'F',  'F',  0xA0, 0x02, 0,    0,    'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',
        40,   0,    0,    0,    0xFE, 0xFF, 2,    0,    0x80, 0xBB, 0,    0,    0x00, 0x65, 0x04, 0,
        6,    0,    24,   0,    22,   0,    24,   0,    3,    0,    0,    0,    0x01, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71, 'f',  'a',  'c',  't',
        4,    0,    0,    0,    100,  0,    0,    0,    'd',  'a',  't',  'a',  0x58, 0x02, 0,    0};
    ASSERT_EQ(file.size(), 680u);
    EXPECT_EQ(std::memcmp(file.data(), expected, 80), 0);
}

TEST_F(WavWriter, EmptyRecordingIsAValidHeaderOnly) {
    struct Case {
        int bps;
        int channels;
        std::size_t size;
        std::uint32_t riff;
        std::uint32_t mask;
    };
    const Case cases[] = {{1, 2, 44, 36, 0},    {2, 1, 44, 36, 0},    {0, 1, 80, 72, 1}, {0, 2, 80, 72, 3},
                          {1, 6, 80, 72, 0x3F}, {1, 8, 80, 72, 0xFF}, {1, 3, 80, 72, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channels);
        const std::string path = dir + "/empty.wav";
        { TWAVwriter w(path, floatformat(44100, static_cast<std::uint16_t>(c.channels)), c.bps); }
        const auto file = readfile(path);
        ASSERT_EQ(file.size(), c.size);
        EXPECT_EQ(le32(file, 4), c.riff);
        EXPECT_EQ(le32(file, c.size - 4), 0u);
        if (c.size == 80) {
            EXPECT_EQ(le32(file, 40), c.mask);
            EXPECT_EQ(le32(file, 68), 0u);
        }
        EXPECT_TRUE(decodefile(path).ok);
    }
}

TEST_F(WavWriter, ReplacesAnExistingFileAndNamesTheFileWhenItCannotCreate) {
    const std::string path = dir + "/old.wav";
    std::ofstream(path) << std::string(5000, 'x');
    { TWAVwriter w(path, floatformat(8000, 1), 1); }
    EXPECT_EQ(std::filesystem::file_size(path), 44u);

    const std::string missing = dir + "/no/such/folder/take.wav";
    try {
        TWAVwriter w(missing, floatformat(8000, 1), 1);
        FAIL() << "created a file in a missing folder";
    } catch (const WriterError& e) {
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
}

TEST_F(WavWriter, HeaderSizesAreRefreshedWhileRecording) {
    const std::string path = dir + "/live.wav";
    TWAVwriter w(path, floatformat(8000, 1), 1); // 16000 bytes a second
    const std::vector<std::uint8_t> block(1600, 0);
    for (int i = 0; i < 15; ++i)
        w.WriteBlock(block.data(), 1600);
    // Without finishing: the header already states at least the first second.
    const auto file = readfile(path);
    EXPECT_GE(le32(file, 40), 16000u);
    EXPECT_EQ(le32(file, 4), le32(file, 40) + 36);
    EXPECT_EQ(file.size(), 44u + 15 * 1600);
}

TEST_F(WavWriter, StopsCleanlyAtTheSizeLimit) {
    const std::string path = dir + "/full.wav";
    {
        // 16-bit stereo frames are 4 bytes; a limit of 1002 bytes holds 250 whole frames.
        TWAVwriter w(path, floatformat(44100, 2), 1, 1002);
        const std::vector<std::uint8_t> block(400, 0x10);
        EXPECT_EQ(w.WriteBlock(block.data(), 400), 400);
        EXPECT_EQ(w.WriteBlock(block.data(), 400), 400);
        EXPECT_FALSE(w.full());
        EXPECT_EQ(w.WriteBlock(block.data(), 400), 200);
        EXPECT_TRUE(w.full());
        EXPECT_EQ(w.WriteBlock(block.data(), 400), 0);
        EXPECT_TRUE(w.finish().ok()) << "a full file is not a failure";
    }
    const auto file = readfile(path);
    EXPECT_EQ(file.size(), 1044u);
    EXPECT_EQ(le32(file, 40), 1000u);
    EXPECT_EQ(decodefile(path).frames(), 250u);
}

} // namespace
} // namespace quimbrel
