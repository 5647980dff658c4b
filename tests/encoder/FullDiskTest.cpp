// Every writer on a file system that fills up: the failing block returns -1, finish() reports the system's
// reason once, and the file decodes up to the failure.
#include "AvDecode.h"
#include "SmallDisk.h"
#include "encoder/createwriter.h"
#include "encoder/libVorbis.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace quimbrel {
namespace {

// ffprobe's verdict on a file: exit status 0 and at least one audio stream.
bool ffprobeaccepts(const std::string& path) {
    const std::string command = "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return false;
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    return ::pclose(pipe) == 0 && out.find("audio") != std::string::npos;
}

TEST(FullDisk, EveryWriterStopsAtTheFailureAndKeepsADecodableFile) {
    ASSERT_TRUE(loadvorbislib(kOggLibrary));
    ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    struct Case {
        int index;
        const char* name;
        double slack; // seconds an encoder or container may still hold back at the failure
    };
    // Ogg forces pages out once a second of audio and M4A cuts fragments of a second; WMA's packets and
    // the encoders' look-ahead hold back less.
    const Case cases[] = {{0, "mp3", 0.5}, {1, "ogg", 2.2},  {2, "wma", 1.0},
                          {3, "wav", 0.1}, {4, "flac", 0.5}, {5, "m4a", 2.2}};
    const int rate = 44100;
    const std::size_t block = rate / 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::SmallDisk disk(256 * 1024);
        if (!disk.skipReason().empty())
            GTEST_SKIP() << disk.skipReason();
        const std::string path = disk.path() + "/full." + c.name;
        WriterSettings s;
        s.index = c.index;
        s.bps = 1;
        auto writer = createwriter(s, path, floatformat(rate, 2));
        std::size_t accepted = 0; // frames handed over before the failing block
        std::int32_t r = 0;
        // Noise-like content would fill the disk sooner, but a sine keeps the decoded check simple; a cap
        // keeps a writer that never fails from running on.
        for (std::size_t n = 0; n < 6000 && r >= 0; ++n) {
            const auto bytes =
                test::convert(test::sine(1000, rate, 2, block, 0.5, n * block), writer->SampleFormat());
            r = writer->WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size()));
            if (r >= 0)
                accepted += block;
        }
        ASSERT_EQ(r, -1) << "the disk never filled";
        EXPECT_EQ(writer->WriteBlock(nullptr, 0), -1) << "a failed writer takes nothing more";
        const WriterOutcome outcome = writer->finish();
        EXPECT_EQ(outcome.error, ENOSPC) << outcome.reason;
        EXPECT_EQ(outcome.reason, "No space left on device");
        EXPECT_EQ(writer->finish().reason, outcome.reason) << "finish() answers the same again";

        EXPECT_TRUE(ffprobeaccepts(path));
        const auto d = test::decodefile(path);
        ASSERT_TRUE(d.ok) << d.error;
        const double fed = static_cast<double>(accepted) / rate;
        EXPECT_GT(fed, 1.0);
        EXPECT_GE(d.seconds(), fed - c.slack) << "fed " << fed;
        EXPECT_LE(d.seconds(), fed + 0.2) << "fed " << fed;
        EXPECT_NEAR(test::peakfrequency(d, 0), 1000.0, 20.0);
    }
}

} // namespace
} // namespace quimbrel
