// The M4A finishing step: a fragmented recording rewritten as a regular MP4 with the same audio, and a file
// it cannot rewrite left exactly as it was.
#include "encoder/Mp4Finish.h"
#include "AvDecode.h"
#include "encoder/TM4Awriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace quimbrel {
namespace {

bool contains(const std::vector<std::uint8_t>& file, const std::string& box) {
    return std::search(file.begin(), file.end(), box.begin(), box.end()) != file.end();
}

std::vector<std::string> names(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class Mp4Finish : public ::testing::Test {
protected:
    std::string dir = test::tempdir();
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(Mp4Finish, FragmentedRecordingBecomesRegularWithTheSameAudio) {
    const std::string path = dir + "/take.m4a";
    {
        TM4Awriter writer(path, floatformat(44100, 2), 5);
        const auto block = test::convert(test::sine(440, 44100, 2, 44100 / 10), kSampleS16);
        for (int i = 0; i < 35; ++i)
            writer.WriteBlock(block.data(), static_cast<std::int32_t>(block.size()));
    }
    ASSERT_TRUE(contains(test::readfile(path), "moof"));
    const test::Decoded before = test::decodefile(path);
    ASSERT_TRUE(before.ok) << before.error;

    EXPECT_EQ(remuxToRegularMp4(path), Mp4FinishOutcome::Remuxed);
    const auto file = test::readfile(path);
    EXPECT_FALSE(contains(file, "moof"));
    EXPECT_FALSE(contains(file, "mvex"));
    const test::Decoded after = test::decodefile(path);
    ASSERT_TRUE(after.ok) << after.error;
    EXPECT_EQ(after.codec, "aac");
    EXPECT_EQ(after.samples, before.samples);
    EXPECT_EQ(names(dir), std::vector<std::string>{"take.m4a"});
}

// The writer takes this step when finished, not when destroyed unfinished (as when a recording is abandoned).
TEST_F(Mp4Finish, TheM4AWriterEndsWithARegularFileOnlyWhenFinished) {
    const auto block = test::convert(test::sine(440, 44100, 2, 44100 / 10), kSampleS16);
    for (const bool finished : {true, false}) {
        SCOPED_TRACE(finished);
        const std::string path = dir + (finished ? "/finished.m4a" : "/abandoned.m4a");
        TM4Awriter writer(path, floatformat(44100, 2), 5);
        for (int i = 0; i < 20; ++i)
            writer.WriteBlock(block.data(), static_cast<std::int32_t>(block.size()));
        if (finished) {
            EXPECT_TRUE(writer.finish().ok());
            EXPECT_FALSE(contains(test::readfile(path), "moof"));
            EXPECT_TRUE(test::decodefile(path).ok);
        }
    }
    EXPECT_TRUE(contains(test::readfile(dir + "/abandoned.m4a"), "moof"));
    EXPECT_EQ(names(dir), (std::vector<std::string>{"abandoned.m4a", "finished.m4a"}));
}

TEST_F(Mp4Finish, WhatCannotBeRewrittenIsKeptAsItWas) {
    const std::string damaged = dir + "/damaged.m4a";
    std::ofstream(damaged, std::ios::binary) << "not an mp4 at all";
    EXPECT_EQ(remuxToRegularMp4(damaged), Mp4FinishOutcome::Kept);
    const auto bytes = test::readfile(damaged);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "not an mp4 at all");
    EXPECT_EQ(names(dir), std::vector<std::string>{"damaged.m4a"});

    EXPECT_EQ(remuxToRegularMp4(dir + "/missing.m4a"), Mp4FinishOutcome::Kept);
    EXPECT_EQ(remuxToRegularMp4(dir + "/no-such-folder/take.m4a"), Mp4FinishOutcome::Kept);
    EXPECT_EQ(names(dir), std::vector<std::string>{"damaged.m4a"});
}

} // namespace
} // namespace quimbrel
