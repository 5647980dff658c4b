// The block handler on synthetic blocks: peaks, gain control, voice activation, splitting, auto-stop, pauses
// and writer failures.
#include "RecorderHarness.h"

#include <gtest/gtest.h>

#include "encoder/TWAVwriter.h"

#include <fenwave.h>

#include <cmath>
#include <cstring>

namespace quimbrel::testing {
namespace {

constexpr float kSound = 0.5f;    // 16384 on the 16-bit scale, above the default threshold 1635
constexpr float kSilence = 0.01f; // 328

TEST(BlockHandler, PeaksPerChannelLayout) {
    struct Case {
        int channels;
        std::vector<float> samples;
        int left, right;
    };
    const Case cases[] = {
        {1, {0.5f, -0.75f}, 24575, 24575},
        {2, {0.0f, 0.2f, 0.0f, 1.5f, -0.0f, -0.3f}, 0, 32767},
        {2, {-1.0f, 0.25f}, 32767, 8192},
    };
    for (const Case& c : cases) {
        Harness h;
        h.rec->setCaptureFormat(floatformat(44100, static_cast<std::uint16_t>(c.channels)));
        h.rec->event(c.samples.data(), static_cast<int>(c.samples.size() * 4));
        EXPECT_EQ(h.rec->leftpeak(), c.left) << c.channels;
        EXPECT_EQ(h.rec->rightpeak(), c.right) << c.channels;
    }
}

TEST(BlockHandler, GainControlSteps) {
    struct Case {
        int knob, step;
        float left, right;
        int expected;
    };
    const Case cases[] = {
        {5, 3, 30000, 30000, 5},   // too loud, but already at the bottom
        {99, 3, 2000, 2000, 99},   // too quiet, but at the top
        {50, 3, 20000, 20000, 53}, // quiet enough to turn up
        {50, 5, 30000, 30000, 45}, // too loud: down by the step
        {50, 3, 30000, 10000, 50}, // one loud, one quiet channel: down and up again
        {50, 3, 2000, 2000, 50},   // below the floor of 3000: left alone
    };
    for (const Case& c : cases) {
        Harness h;
        h.cfg.agc.enabled = true;
        h.cfg.agc.mode = c.step;
        h.rec->setknob(c.knob);
        std::vector<float> block;
        for (int i = 0; i < 100; ++i) {
            block.push_back(c.left / 32767.0f);
            block.push_back(c.right / 32767.0f);
        }
        h.rec->event(block.data(), static_cast<int>(block.size() * 4));
        EXPECT_EQ(h.rec->knobPosition(), c.expected) << c.knob << " " << c.left << "/" << c.right;
        EXPECT_EQ(h.view.volume, c.expected);
        EXPECT_EQ(h.source.volume, c.expected);
        EXPECT_EQ(h.cfg.mixer.record, c.expected);
    }
}

TEST(BlockHandler, VoxPauseAndContinueKeepsOneFile) {
    Harness h;
    h.cfg.vox.enabled = true;
    h.cfg.vox.action = 1;
    h.cfg.vox.silence = 2;
    h.rec->StartClick();
    EXPECT_EQ(h.view.status, "Scan...");
    h.run(kSilence, 3);
    EXPECT_TRUE(h.log.created.empty()) << "no file before the input reaches the threshold";

    h.block(kSound);
    ASSERT_EQ(h.log.created.size(), 1u);
    EXPECT_EQ(h.view.status, "Recording");
    const double silenceStart = h.clock.now() + 0.025 / 86400;
    h.at(silenceStart, kSilence);
    h.at(silenceStart + 1.9 / 86400, kSilence);
    EXPECT_TRUE(h.st().writing) << "1.9 s of silence keeps writing";
    h.at(silenceStart + 2.0 / 86400, kSilence);
    EXPECT_FALSE(h.st().writing);
    EXPECT_TRUE(h.st().fileopen);
    EXPECT_TRUE(h.rec->writerOpen()) << "the held file's format must not change under it";
    EXPECT_EQ(h.view.status, "Scan...");
    const int writes = h.log.writeCalls;
    h.block(kSilence);
    EXPECT_EQ(h.log.writeCalls, writes) << "nothing is written while held";

    h.block(kSound);
    EXPECT_TRUE(h.st().writing);
    EXPECT_EQ(h.log.created.size(), 1u) << "sound resumes the same file";
    EXPECT_EQ(h.log.writeCalls, writes + 1);
}

TEST(BlockHandler, VoxNewTrackClosesTheFileAndStartsAnother) {
    Harness h;
    h.cfg.vox.enabled = true;
    h.cfg.vox.action = 2;
    h.rec->StartClick();
    h.block(kSound);
    h.run(kSilence, 3, 0.5);
    EXPECT_FALSE(h.st().fileopen);
    EXPECT_TRUE(h.st().vox.voxarmed);
    EXPECT_EQ(h.view.status, "Scan...");
    ASSERT_EQ(h.finished.size(), 1u);
    EXPECT_EQ(h.finished[0], h.file("take100.mp3"));
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Stop)) << "Stop stays available while listening";

    h.block(kSound);
    ASSERT_EQ(h.log.created.size(), 2u);
    EXPECT_EQ(h.log.created[1], h.file("take101.mp3"));
}

// Voice-activated files whose closing silence ends 6 s after they started are too short (6 - 2 < 5) and are
// deleted, and their number is used again; at 7 s they stay.
TEST(BlockHandler, VoxAutoDeleteReusesTheNumber) {
    struct Case {
        double length;
        bool deleted;
        const char* next;
    };
    for (const Case c : {Case{6.0, true, "take100.mp3"}, Case{7.0, false, "take101.mp3"}}) {
        Harness h;
        h.cfg.vox.enabled = true;
        h.cfg.vox.action = 2;
        h.cfg.vox.silence = 2;
        h.cfg.autodelete.enabled = true;
        h.cfg.autodelete.deletetime = 5;
        h.rec->StartClick();
        const double start = h.clock.now();
        h.at(start, kSound);
        h.at(start + (c.length - 2.0 - 0.5) / 86400, kSound);
        h.at(start + (c.length - 2.0) / 86400, kSilence);
        h.at(start + c.length / 86400, kSilence);
        EXPECT_FALSE(h.st().fileopen);
        EXPECT_EQ(h.exists("take100.mp3"), !c.deleted) << c.length;
        EXPECT_EQ(h.finished.size(), c.deleted ? 0u : 1u) << "a deleted file is not listed";
        h.block(kSound);
        ASSERT_EQ(h.log.created.size(), 2u);
        EXPECT_EQ(h.log.created[1], h.file(c.next)) << c.length;
        EXPECT_EQ(h.messages.count(), 0u);
    }
}

TEST(BlockHandler, VoxCutOffTruncatesMp3AtTheSilence) {
    for (int codec : {0, 3}) {
        Harness h;
        h.cfg.codec.index = codec;
        h.cfg.vox.enabled = true;
        h.cfg.vox.action = 2;
        h.cfg.vox.cutoff = true;
        h.rec->StartClick();
        h.run(kSound, 2);
        const auto written = h.st().totalbytes;
        h.run(kSilence, 3);
        ASSERT_EQ(h.finished.size(), 1u);
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(h.finished[0]));
        if (codec == 0)
            EXPECT_EQ(size, written) << "the MP3 file ends where the silence began";
        else
            EXPECT_GT(size, written) << "other formats keep the silence";
    }
}

// A split closes the file without a silence: the cut position of voice activation does not apply to it.
TEST(BlockHandler, VoxCutOffLeavesSplitPartsWhole) {
    Harness h;
    h.cfg.vox.enabled = true;
    h.cfg.vox.action = 2;
    h.cfg.vox.cutoff = true;
    h.cfg.splitter.enabled = true;
    h.cfg.splitter.timelimit = 10;
    h.rec->StartClick();
    h.run(kSound, 10.5, 0.5);
    ASSERT_EQ(h.finished.size(), 1u);
    EXPECT_GT(std::filesystem::file_size(h.finished[0]), 0u);
}

TEST(BlockHandler, FailedCutAndDeleteAreReportedOnceAndTheRecordingEnds) {
    Harness h;
    h.cfg.vox.enabled = true;
    h.cfg.vox.action = 2;
    h.cfg.vox.cutoff = true;
    h.cfg.autodelete.enabled = true;
    h.cfg.autodelete.deletetime = 60;
    h.rec->StartClick();
    h.block(kSound);
    // Something else puts a non-empty folder where the file was: it can neither be cut nor deleted.
    const std::string path = h.file("take100.mp3");
    std::filesystem::remove(path);
    std::filesystem::create_directories(path + "/inside");
    h.run(kSilence, 3);
    EXPECT_EQ(h.messages.count(), 2u);
    EXPECT_FALSE(h.st().fileopen);
    EXPECT_EQ(h.view.status, "Scan...");
    EXPECT_EQ(h.finished.size(), 1u) << "the database step still runs for what exists";
    h.run(kSilence, 3);
    EXPECT_EQ(h.messages.count(), 2u);
    h.block(kSound);
    EXPECT_EQ(h.log.created.back(), h.file("take101.mp3")) << "the number of an undeleted file is not reused";
}

TEST(BlockHandler, SplitsAt600SecondsOfUnpausedTime) {
    Harness h;
    h.cfg.autoname.enabled = false;
    h.cfg.splitter.enabled = true;
    h.cfg.splitter.timelimit = 600;
    std::filesystem::create_directories(h.folder.path + "elsewhere");
    h.view.dialogAnswers.push_back(h.folder.path + "elsewhere/take.mp3");
    h.rec->StartClick();
    const double start = h.st().recordstart;
    h.run(kSound, 300);
    h.rec->pausebuttonClick();
    h.run(kSound, 50); // paused time does not count
    h.rec->pausebuttonClick();
    h.run(kSound, 299);
    EXPECT_EQ(h.log.created.size(), 1u);
    h.block(kSound, 1.0);
    ASSERT_EQ(h.log.created.size(), 2u) << "split on the first block at 600 s of unpaused time";
    EXPECT_EQ(h.st().split.splitcount, 1);
    h.run(kSound, 600);
    ASSERT_EQ(h.log.created.size(), 3u);
    EXPECT_EQ(h.st().split.splitcount, 2);
    EXPECT_EQ(h.log.created[0], h.folder.path + "elsewhere/take.mp3");
    EXPECT_EQ(h.log.created[1], h.file("take_part1.mp3"));
    EXPECT_EQ(h.log.created[2], h.file("take_part2.mp3"));
    EXPECT_EQ(h.view.dialogRuns, 1);
    EXPECT_DOUBLE_EQ(h.st().recordstart, start) << "recordstart is kept across parts";
    EXPECT_EQ(h.finished.size(), 2u);

    h.rec->StopClick();
    h.block(kSound);
    h.block(kSound);
    EXPECT_EQ(h.st().split.splitcount, 0) << "back to 0 once writing has stopped";
}

TEST(BlockHandler, SplitPartsWithAutomaticNamesTakeConsecutiveNumbers) {
    Harness h;
    h.cfg.splitter.enabled = true;
    h.cfg.splitter.timelimit = 5;
    h.rec->StartClick();
    h.run(kSound, 15);
    ASSERT_EQ(h.log.created.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(h.log.created[static_cast<std::size_t>(i)],
                  h.file("take" + std::to_string(100 + i) + ".mp3"));
}

TEST(BlockHandler, AutoStopCountsPausesAndSplits) {
    Harness h;
    h.cfg.autostop.enabled = true;
    h.cfg.autostop.timelimit = 600;
    h.cfg.splitter.enabled = true;
    h.cfg.splitter.timelimit = 250;
    h.rec->StartClick();
    h.run(kSound, 100);
    h.rec->pausebuttonClick();
    h.run(kSound, 100);
    h.rec->pausebuttonClick();
    h.run(kSound, 400);
    EXPECT_TRUE(h.st().writing) << "600 s after the start is not yet more than 600 s";
    h.block(kSound, 1.0);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.status, "Ready");
    EXPECT_EQ(h.log.created.size(), 3u) << "split at 350 s and 600 s";
    EXPECT_EQ(h.finished.size(), 3u);
}

TEST(BlockHandler, PauseMovesSegmentStartAndWritesNothing) {
    Harness h;
    h.rec->StartClick();
    h.run(kSound, 5);
    const double segmentstart = h.st().segmentstart;
    const int writes = h.log.writeCalls;
    h.rec->pausebuttonClick();
    EXPECT_EQ(h.view.status, "Pause");
    h.run(kSound, 10);
    EXPECT_EQ(h.log.writeCalls, writes);
    EXPECT_GT(h.rec->leftpeak(), 0) << "meters keep moving";
    h.rec->pausebuttonClick();
    EXPECT_EQ(h.view.status, "Recording");
    EXPECT_EQ(elapsedseconds(segmentstart, h.st().segmentstart), 10);
    EXPECT_EQ(h.rec->elapsedText(), "00:00:05");
}

TEST(BlockHandler, PendingStopIsHonouredWhilePaused) {
    Harness h;
    h.rec->StartClick();
    h.run(kSound, 2);
    h.rec->StopClick();
    h.rec->pausebuttonClick();
    const int writes = h.log.writeCalls;
    h.block(kSound);
    EXPECT_EQ(h.log.writeCalls, writes);
    EXPECT_EQ(h.finished.size(), 1u);
    EXPECT_FALSE(h.st().stoprequest);
    EXPECT_EQ(h.view.time, "00:00:00");
}

TEST(BlockHandler, WriterFailureEndsTheRecordingWithOneMessage) {
    // Plain, split and voice-operated recordings all end at the failing block: no further file is opened on
    // the disk that just failed.
    for (const int setup : {0, 1, 2}) {
        SCOPED_TRACE(setup);
        Harness h;
        h.cfg.splitter.enabled = setup == 1;
        h.cfg.splitter.timelimit = 4;
        h.cfg.vox.enabled = setup == 2;
        h.cfg.vox.action = 2;
        h.log.failAfter = 2;
        h.rec->StartClick();
        h.run(kSound, 6);
        EXPECT_EQ(h.log.writeCalls, 3) << "no block is handed on after the failure";
        EXPECT_EQ(h.log.created.size(), 1u);
        EXPECT_EQ(h.st().totalbytes, 2 * 2 * 1102 * 2);
        ASSERT_EQ(h.messages.count(), 1u);
        const auto m = h.messages.entries()[0];
        EXPECT_EQ(m.icon, MessageIcon::Error);
        EXPECT_NE(m.text.find(h.log.created[0]), std::string::npos) << m.text;
        EXPECT_NE(m.text.find("No space left on device"), std::string::npos) << m.text;
        EXPECT_EQ(h.view.status, "Ready");
        EXPECT_FALSE(h.st().writing);
        EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Record));
        EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Stop));
        EXPECT_EQ(h.finished, h.log.created) << "what was written is still listed";
    }
}

TEST(BlockHandler, FullWavContinuesInTheNextPartSampleExact) {
    // A WAV writer whose size limit is lowered to 10000 bytes (2500 frames of 16-bit stereo) stands in for
    // the 4 GiB one; blocks of 1102 frames keep crossing the limit in the middle of a block.
    Harness h;
    h.cfg.autoname.enabled = false;
    h.cfg.codec.index = 3;
    h.cfg.codec.bps = 1;
    h.view.dialogAnswers.push_back(h.file("take.wav"));
    std::vector<std::string> parts;
    h.rec->setWriterFactory([&](const std::string& path, const WaveFormat& format) {
        parts.push_back(path);
        return std::make_unique<TWAVwriter>(path, format, 1, 10000);
    });
    h.rec->StartClick();
    std::vector<std::int16_t> expected;
    for (int n = 0; n < 12; ++n) {
        std::vector<float> block(2 * 1102);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<float>((n * 2204 + static_cast<int>(i)) % 30000) / 32768.0f;
        std::vector<std::int16_t> converted(block.size());
        convertFromFloat(block.data(), converted.data(), kSampleS16, static_cast<std::int32_t>(block.size()));
        expected.insert(expected.end(), converted.begin(), converted.end());
        h.clock.advanceSeconds(0.025);
        h.rec->event(block.data(), static_cast<int>(block.size() * sizeof(float)));
    }
    h.rec->StopClick();
    h.block(0.0f);
    // 12 x 1102 frames + the silent stop block = 14326 frames: six parts, named as the splitter names them.
    ASSERT_EQ(parts.size(), 6u);
    EXPECT_EQ(parts[0], h.file("take.wav"));
    EXPECT_EQ(parts[1], h.file("take_part1.wav"));
    EXPECT_EQ(parts[5], h.file("take_part5.wav"));
    EXPECT_EQ(h.finished, parts) << "every part is listed";
    EXPECT_EQ(h.view.dialogRuns, 1) << "later parts ask no name";
    std::vector<std::int16_t> joined;
    for (const std::string& part : parts) {
        std::ifstream in(part, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GE(bytes.size(), 44u);
        std::uint32_t datasize = 0;
        std::memcpy(&datasize, bytes.data() + 40, 4);
        EXPECT_EQ(datasize, bytes.size() - 44) << part;
        EXPECT_LE(datasize, 10000u) << part;
        const std::size_t at = joined.size();
        joined.resize(at + datasize / 2);
        std::memcpy(joined.data() + at, bytes.data() + 44, datasize);
    }
    ASSERT_EQ(joined.size(), expected.size() + 2 * 1102);
    joined.resize(expected.size());
    EXPECT_TRUE(joined == expected) << "nothing lost or doubled between the parts";
}

TEST(BlockHandler, VoxSplitWritesTheBlockItHappensOn) {
    for (const int action : {1, 2}) {
        SCOPED_TRACE(action);
        Harness h;
        h.cfg.vox.enabled = true;
        h.cfg.vox.action = action;
        h.cfg.splitter.enabled = true;
        h.cfg.splitter.timelimit = 2;
        h.rec->StartClick();
        h.run(kSound, 7, 0.25);
        EXPECT_GE(h.log.created.size(), 3u);
        EXPECT_EQ(h.log.writeCalls, 28) << "every sound block is written, the split ones included";
        EXPECT_EQ(h.view.status, "Recording");
    }
}

TEST(BlockHandler, SecondVoxRecordingWithAutoStopIsNotStoppedAtOnce) {
    Harness h;
    h.cfg.vox.enabled = true;
    h.cfg.vox.action = 2;
    h.cfg.autostop.enabled = true;
    h.cfg.autostop.timelimit = 5;
    for (int take = 1; take <= 2; ++take) {
        SCOPED_TRACE(take);
        h.rec->StartClick();
        h.run(kSilence, 2);
        EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Stop)) << "still listening";
        h.run(kSound, 2);
        EXPECT_EQ(h.log.created.size(), static_cast<std::size_t>(take));
        EXPECT_TRUE(h.st().writing);
        // Auto-stop ends it more than 5 s on (counted from its first file).
        h.run(kSound, 6);
        EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Stop));
        h.run(kSilence, 60);
    }
}

TEST(BlockHandler, ConvertsToTheWritersSampleCode) {
    struct Case {
        std::int32_t code;
        int bytesPerSample;
    };
    for (const Case c :
         {Case{kSampleU8, 1}, Case{kSampleS16, 2}, Case{kSampleS24, 3}, Case{kSampleFloat, 4}, Case{7, 0}}) {
        Harness h;
        h.log.code = c.code;
        h.rec->StartClick();
        h.block(kSound);
        EXPECT_EQ(h.st().totalbytes, 2 * 1102 * c.bytesPerSample) << c.code;
    }
}

TEST(BlockHandler, ChannelChangeRecreatesFiltersAndKeepsFiltering) {
    Harness h;
    h.cfg.highpass.enabled = true;
    h.rec->filtersupdate();
    h.rec->setCaptureFormat(floatformat(44100, 1));
    // A constant (DC) signal through the high-pass filter decays towards zero.
    std::vector<float> block(4410, 0.5f);
    for (int i = 0; i < 5; ++i)
        h.rec->event(block.data(), static_cast<int>(block.size() * 4));
    const float* filtered = h.rec->blockbuffer();
    EXPECT_LT(std::fabs(filtered[4409]), 0.05f);
    EXPECT_EQ(h.rec->leftpeak(), h.rec->rightpeak()) << "mono peaks";
}

TEST(BlockHandler, OversizedAndEmptyBlocksAreSafe) {
    Harness h;
    h.rec->StartClick();
    std::vector<float> big(3 * 1024 * 1024 / 4, 0.25f);
    h.rec->event(big.data(), static_cast<int>(big.size() * 4));
    EXPECT_EQ(h.rec->blockbytes(), 2 * 1024 * 1024);
    h.rec->event(nullptr, 100);
    EXPECT_EQ(h.rec->blockbytes(), 0);
    h.rec->event(big.data(), 7);
    EXPECT_EQ(h.rec->blockbytes(), 4);
}

} // namespace
} // namespace quimbrel::testing
