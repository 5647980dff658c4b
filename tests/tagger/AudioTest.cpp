// Decoding through FFmpeg and the one-second feed of the first two minutes.
#include "AudioDecoder.h"
#include "StreamFeeder.h"
#include "TChromaPrint.h"
#include "TaggerTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace quimbrel::tagger;
using namespace tagger_test;
namespace fs = std::filesystem;

namespace {

TEST(AudioDecoder, DecodesEveryRecorderFormatAtItsOwnRateAndChannels) {
    for (const char* ext : {"mp3", "ogg", "wma", "wav", "flac", "m4a"}) {
        SCOPED_TRACE(ext);
        AudioDecoder stream;
        ASSERT_TRUE(stream.open(audioFixture(ext, 130).string()));
        EXPECT_EQ(stream.sampleRate(), 44100);
        EXPECT_EQ(stream.channels(), 2);
        EXPECT_EQ(wholeSeconds(stream.lengthSeconds()), 130);
        std::vector<int> counts;
        const long long fed = feedFirstSeconds(
            stream, kFingerprintSeconds, [&](const std::int16_t*, int count) { counts.push_back(count); });
        // A full second per read, 120 of them: one buffer of rate x channels samples.
        EXPECT_EQ(fed, 120LL * 88200);
        ASSERT_EQ(counts.size(), 120u);
        EXPECT_EQ(counts.front(), 88200);
    }
}

// For the fingerprint: mono at Chromaprint's rate, the channels averaged. Opposite channels cancel out, and
// two full-scale channels in step stay at full scale instead of clipping.
TEST(AudioDecoder, DownMixedAndResampledForTheFingerprint) {
    TempDir dir;
    struct Case {
        const char* name;
        const char* right;
        int loudest;
    };
    const Case cases[] = {{"opposite", "-0.999*sin(2*PI*441*t)", 0},
                          {"in step", "0.999*sin(2*PI*441*t)", 30000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.path() / (std::string(c.name) + ".wav");
        ProcessResult r = runProcess(
            {"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
             std::string("aevalsrc=0.999*sin(2*PI*441*t)|") + c.right + ":s=44100:d=3", file.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        AudioDecoder stream;
        ASSERT_TRUE(stream.open(file.string(), {TChromaPrint::sampleRate()}));
        EXPECT_EQ(stream.sampleRate(), 11025);
        EXPECT_EQ(stream.channels(), 1);
        EXPECT_EQ(wholeSeconds(stream.lengthSeconds()), 3);
        int peak = 0;
        const long long fed = feedFirstSeconds(stream, 5, [&](const std::int16_t* block, int count) {
            for (int i = 0; i < count; ++i)
                peak = std::max(peak, std::abs(static_cast<int>(block[i])));
        });
        EXPECT_NEAR(static_cast<double>(fed), 3.0 * 11025, 16.0);
        if (c.loudest == 0)
            EXPECT_LE(peak, 2);
        else
            EXPECT_GE(peak, c.loudest);
        EXPECT_LT(peak, 32767);
    }
}

TEST(AudioDecoder, DurationIsTruncatedAndMonoUsesHalfTheBuffer) {
    struct Case {
        const char* seconds;
        int whole;
    };
    const Case cases[] = {{"120.9", 120}, {"121.0", 121}};
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        const fs::path file = dir.path() / (std::string("mono") + c.seconds + ".wav");
        ProcessResult r =
            runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                        std::string("sine=f=440:r=44100:d=") + c.seconds, "-ac", "1", file.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        AudioDecoder stream;
        ASSERT_TRUE(stream.open(file.string()));
        EXPECT_EQ(stream.channels(), 1);
        EXPECT_EQ(wholeSeconds(stream.lengthSeconds()), c.whole);
        std::vector<int> counts;
        feedFirstSeconds(stream, 2, [&](const std::int16_t*, int count) { counts.push_back(count); });
        EXPECT_EQ(counts, (std::vector<int>{44100, 44100}));
    }
}

TEST(AudioDecoder, ShortStreamGivesWhatItHasAndUnreadableFilesDoNotOpen) {
    TempDir dir;
    const fs::path shortFile = dir.path() / "short.flac";
    ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                  "sine=f=440:r=8000:d=2.5", "-ac", "2", shortFile.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    AudioDecoder stream;
    ASSERT_TRUE(stream.open(shortFile.string()));
    std::vector<int> counts;
    EXPECT_EQ(feedFirstSeconds(stream, kFingerprintSeconds,
                               [&](const std::int16_t*, int count) { counts.push_back(count); }),
              40000);
    EXPECT_EQ(counts, (std::vector<int>{16000, 16000, 8000}));

    writeFile(dir.path() / "text.mp3", "this is not audio at all\n");
    const std::string original = readFile(audioFixture("mp3", 130));
    for (const fs::path& p : {dir.path() / "missing.mp3", dir.path() / "text.mp3", dir.path()}) {
        AudioDecoder s;
        EXPECT_FALSE(s.open(p.string())) << p;
        EXPECT_EQ(s.read(nullptr, 100), 0);
    }

    // Cut in the middle: the samples before the cut still come out.
    writeFile(dir.path() / "half.mp3", original.substr(0, original.size() / 2));
    AudioDecoder half;
    ASSERT_TRUE(half.open((dir.path() / "half.mp3").string()));
    const long long fed = feedFirstSeconds(half, kFingerprintSeconds, [](const std::int16_t*, int) {});
    EXPECT_GT(fed, 60LL * 88200);
    EXPECT_LT(fed, 70LL * 88200);
}

TEST(AudioDecoder, SamplesMatchFFmpegWhetherDecodedAsS16OrConverted) {
    // Lossless files whose decoders give interleaved 16-bit samples (handed out as they are) and other
    // sample formats (converted): either way the samples are the ones FFmpeg's own tool produces.
    struct Case {
        const char* name;
        std::vector<std::string> codec;
    };
    const Case cases[] = {
        {"s16.wav", {"-c:a", "pcm_s16le"}},
        {"s16.flac", {"-c:a", "flac"}},
        {"s24.flac", {"-c:a", "flac", "-sample_fmt", "s32"}},
        {"f32.wav", {"-c:a", "pcm_f32le"}},
        {"u8.wav", {"-c:a", "pcm_u8"}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir.path() / c.name;
        std::vector<std::string> make = {
            "ffmpeg", "-nostdin", "-loglevel", "error",
            "-f",     "lavfi",    "-i",        "anoisesrc=d=3.3:r=22050:a=0.5:seed=3",
            "-ac",    "3"};
        make.insert(make.end(), c.codec.begin(), c.codec.end());
        make.push_back(file.string());
        ProcessResult r = runProcess(make);
        ASSERT_EQ(r.status, 0) << r.err;
        ProcessResult expected = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", file.string(),
                                             "-f", "s16le", "-c:a", "pcm_s16le", "-"});
        ASSERT_EQ(expected.status, 0) << expected.err;

        AudioDecoder stream;
        ASSERT_TRUE(stream.open(file.string()));
        EXPECT_EQ(stream.channels(), 3);
        // Odd-sized reads cross the decoder's frame boundaries; each gives whole sample frames.
        std::string decoded;
        std::vector<std::int16_t> block(3 * 777);
        long got = 0;
        while ((got = stream.read(block.data(), static_cast<long>(block.size()) * 2 + 5)) > 0) {
            EXPECT_EQ(got % 6, 0);
            decoded.append(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(got));
        }
        EXPECT_EQ(decoded.size(), expected.out.size());
        EXPECT_TRUE(decoded == expected.out);
    }
}

TEST(TChromaPrint, FingerprintWithoutStartIsEmptyAndStartedOneIsNot) {
    TChromaPrint idle("key");
    EXPECT_EQ(idle.finish(), "");
    EXPECT_EQ(idle.clientKey(), "key");

    AudioDecoder stream;
    ASSERT_TRUE(stream.open(audioFixture("flac", 130).string()));
    TChromaPrint cp("key");
    cp.start(stream.sampleRate(), stream.channels());
    feedFirstSeconds(stream, 30, [&](const std::int16_t* b, int n) { cp.feed(b, n); });
    const std::string fp = cp.finish();
    EXPECT_GT(fp.size(), 100u);
    EXPECT_EQ(fp.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
}

} // namespace
