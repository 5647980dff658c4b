// The codec table and the rules that turn stored list positions into values, including hand-edited ones.
#include "encoder/CodecTable.h"
#include "encoder/TAudioWriter.h"

#include <gtest/gtest.h>

namespace quimbrel {
namespace {

TEST(CodecTable, RowsCarryEntryExtensionAndFilter) {
    struct Row {
        int index;
        const char* entry;
        const char* ext;
        const char* filter;
        std::size_t rates;
    };
    const Row rows[] = {
        {0, "MPEG Layer3", "mp3", "MP3 files (*.mp3)|*.mp3", 7},
        {1, "Ogg Vorbis", "ogg", "OGG Vorbis files (*.ogg)|*.ogg", 7},
        {2, "Windows Media Audio", "wma", "Windows Media files (*.wma)|*.wma", 7},
        {3, "WAV", "wav", "WAV files (*.wav)|*.wav", 7},
        {4, "FLAC", "flac", "FLAC Audio files (*.flac)|*.flac", 9},
        {5, "M4A AAC", "m4a", "M4A Audio files (*.m4a)|*.m4a", 2},
        {-1, "MPEG Layer3", "mp3", "MP3 files (*.mp3)|*.mp3", 7}, // hand-edited index: the default row
        {6, "MPEG Layer3", "mp3", "MP3 files (*.mp3)|*.mp3", 7},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.index);
        const auto& c = codecinfo(r.index);
        EXPECT_EQ(c.entry, r.entry);
        EXPECT_EQ(c.extension, r.ext);
        EXPECT_EQ(c.filter, r.filter);
        EXPECT_EQ(c.rates.size(), r.rates);
    }
    EXPECT_EQ(codecinfo(4).rates[0], 96000);
    EXPECT_EQ(codecinfo(4).rates[1], 88200);
    EXPECT_EQ(codecinfo(5).bitrates.size(), 4u);
}

TEST(CodecTable, Mp3BitRateByCaptureRateAndPosition) {
    struct Case {
        int rate;
        int position;
        int kbps;
    };
    const Case cases[] = {
        {44100, 5, 128},
        {48000, 0, 320},
        {32000, 13, 32},
        {22050, 5, 80},
        {16000, 13, 8},
        {11025, 0, 128},
        {8000, 0, 128},
        {8000, 11, 8},
        {12000, 0, 128},
        {96000, 3, 128},
        // Positions outside the list fall back to the default position 5.
        {44100, 14, 128},
        {44100, -1, 128},
        {22050, 99, 80},
        {8000, 12, 56},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mp3bitrate(c.rate, c.position), c.kbps) << c.rate << " pos " << c.position;
    EXPECT_EQ(mp3bitrates(44100).size(), 14u);
    EXPECT_EQ(mp3bitrates(16000).size(), 14u);
    EXPECT_EQ(mp3bitrates(11025).size(), 12u);
    EXPECT_TRUE(mp3bitrates(12000).empty());
}

TEST(CodecTable, PositionRulesFallBackInsideTheirLists) {
    EXPECT_FLOAT_EQ(oggquality(0), 1.0f);
    EXPECT_FLOAT_EQ(oggquality(5), 0.5f);
    EXPECT_FLOAT_EQ(oggquality(10), 0.0f);
    EXPECT_FLOAT_EQ(oggquality(11), 0.5f);
    EXPECT_FLOAT_EQ(oggquality(-3), 0.5f);

    EXPECT_EQ(wmabytespersecond(0), 40001);
    EXPECT_EQ(wmabytespersecond(5), 12003);
    EXPECT_EQ(wmabytespersecond(8), 6003);
    EXPECT_EQ(wmabytespersecond(9), 12003);

    EXPECT_EQ(m4abytespersecond(0), 24000);
    EXPECT_EQ(m4abytespersecond(3), 12000);
    EXPECT_EQ(m4abytespersecond(5), 16000); // the stored default lies outside the four entries

    EXPECT_EQ(mp3channelmode(3), 3);
    EXPECT_EQ(mp3channelmode(4), 0);

    const int bits[][3] = {{0, 24, kSampleS24},
                           {1, 16, kSampleS16},
                           {2, 8, kSampleU8},
                           {3, 16, kSampleS16},
                           {-1, 16, kSampleS16}};
    for (const auto& b : bits) {
        EXPECT_EQ(bitsfromposition(b[0]), b[1]);
        EXPECT_EQ(samplecodefromposition(b[0]), b[2]);
    }
}

} // namespace
} // namespace quimbrel
