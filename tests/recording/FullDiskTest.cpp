// The recorder on a file system that fills up, with the real writers, a real recordings database and a tagger
// stand-in: each format records until the disk is full, then the recording ends with one message naming the
// file and the reason, and only the file that holds sound is listed and tagged.
#include "RecorderHarness.h"

#include "../encoder/SmallDisk.h"
#include "encoder/createwriter.h"
#include "encoder/libVorbis.h"
#include "ports/MessagePort.h"
#include "state/recordingsdb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace quimbrel {
namespace {

using testing::Harness;

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Seconds of sound FFmpeg decodes from the file; -1 when it refuses the file.
double decodedSeconds(const std::string& path) {
    FILE* pipe = ::popen(
        ("ffmpeg -nostdin -v error -i " + quoted(path) + " -f s16le -ac 1 -ar 8000 - 2>/dev/null").c_str(),
        "r");
    if (!pipe)
        return -1;
    std::size_t bytes = 0;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        bytes += n;
    const int status = ::pclose(pipe);
    return status == 0 && bytes > 0 ? static_cast<double>(bytes) / 2 / 8000 : -1;
}

struct Format {
    int index;
    const char* name;
    double slack; // seconds an encoder or container may still hold back at the failure
};

void PrintTo(const Format& f, std::ostream* os) {
    *os << f.name;
}

class FullDisk : public ::testing::TestWithParam<Format> {
protected:
    void SetUp() override {
        ASSERT_TRUE(loadvorbislib(kOggLibrary));
        ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    }
    void TearDown() override {
        unloadvorbislib(kVorbisLibrary);
        unloadvorbislib(kOggLibrary);
    }
};

TEST_P(FullDisk, TheRecordingStopsWithOneMessageAndOnlyWhatExistsIsListedAndTagged) {
    const Format f = GetParam();
    test::SmallDisk disk(256 * 1024);
    if (!disk.skipReason().empty())
        GTEST_SKIP() << disk.skipReason();

    Harness h;
    h.cfg.archive.dir = disk.path() + "/";
    h.cfg.codec.index = f.index;
    h.cfg.codec.bps = 1;
    h.rec->setWriterFactory([&h](const std::string& path, const WaveFormat& format) {
        return createwriter(h.cfg, path, format);
    });
    // The tagger: a script that notes its arguments, beside the database, off the small disk.
    const std::string tagger = h.file("ombrikw");
    const std::string taggerLog = h.file("tagged");
    std::ofstream(tagger) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> "
                          << quoted(taggerLog) << "\n";
    ::chmod(tagger.c_str(), 0755);
    h.cfg.runtagger.enabled = true;
    h.cfg.taggerpath = tagger;
    RecordingMessagePort dbMessages;
    RecordingsDb db(dbMessages);
    ASSERT_TRUE(db.open(h.file("quimbrel.db")));
    ASSERT_TRUE(db.ensureTable());
    h.rec->setDatabase(&db);

    h.rec->StartClick();
    ASSERT_EQ(h.view.status, "Recording");
    // A tone under noise, so that no encoder squeezes it into nothing; 25 ms blocks until the recording ends.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    const int frames = 1102;
    std::size_t fed = 0; // frames handed to the recorder while it was writing
    for (int n = 0; n < 8000 && h.st().writing; ++n) {
        std::vector<float> block(2 * frames);
        for (int i = 0; i < frames; ++i) {
            const float v =
                0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * (n * frames + i) / 44100.0));
            block[2 * i] = v + noise(random);
            block[2 * i + 1] = v + noise(random);
        }
        h.clock.advanceSeconds(0.025);
        fed += frames;
        h.rec->event(block.data(), static_cast<int>(block.size() * sizeof(float)));
    }
    ASSERT_FALSE(h.st().writing) << "the disk never filled";
    ASSERT_EQ(h.log.created.size(), 0u) << "the real writers were used";
    ASSERT_EQ(h.finished.size(), 1u);
    const std::string file = h.finished[0];
    EXPECT_EQ(file.rfind(disk.path() + "/take100.", 0), 0u) << file;

    // One message, naming the file and the reason; the window no longer says "Recording".
    ASSERT_EQ(h.messages.count(), 1u);
    const auto box = h.messages.entries()[0];
    EXPECT_EQ(box.icon, MessageIcon::Error);
    EXPECT_NE(box.text.find(file), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("No space left on device"), std::string::npos) << box.text;
    EXPECT_EQ(h.view.status, "Ready");
    EXPECT_TRUE(h.rec->buttonEnabled(RecorderButton::Record));
    EXPECT_FALSE(h.rec->buttonEnabled(RecorderButton::Stop));

    // The file plays up to the failure.
    const double seconds = decodedSeconds(file);
    const double written = static_cast<double>(fed) / 44100;
    EXPECT_GT(seconds, 1.0);
    EXPECT_GE(seconds, written - f.slack) << "fed " << written;
    EXPECT_LE(seconds, written + 0.2) << "fed " << written;

    // Listed once, tagged once.
    std::vector<RecordingRow> rows;
    ASSERT_TRUE(db.listRecordings(rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].musicPath + rows[0].musicName, file);
    while (h.rec->runningPrograms() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readAll(taggerLog), "/W\n" + file + "\n");
    EXPECT_EQ(dbMessages.count(), 0u);

    // Record again on the full disk: the new file fails at its creation or at its first block, says so once,
    // and leaves nothing behind to list or tag.
    h.rec->StartClick();
    for (int n = 0; n < 10 && h.st().writing; ++n)
        h.block(0.5f);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.status, "Ready");
    ASSERT_EQ(h.messages.count(), 2u);
    // The reason where the writer's text has room for it (FLAC's creation error is a fixed text).
    const auto again = h.messages.entries()[1];
    EXPECT_TRUE(again.caption == "Can not create audio file." ||
                again.text.find("No space left on device") != std::string::npos)
        << again.caption << ": " << again.text;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(disk.path()))
        left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{file});
    ASSERT_TRUE(db.listRecordings(rows));
    EXPECT_EQ(rows.size(), 1u);
    while (h.rec->runningPrograms() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(readAll(taggerLog), "/W\n" + file + "\n");
}

// Ogg forces pages out once a second of audio and M4A cuts fragments of a second; WMA's packets and the
// encoders' look-ahead hold back less.
INSTANTIATE_TEST_SUITE_P(EveryFormat, FullDisk,
                         ::testing::Values(Format{0, "mp3", 0.5}, Format{1, "ogg", 2.2},
                                           Format{2, "wma", 1.0}, Format{3, "wav", 0.1},
                                           Format{4, "flac", 0.5}, Format{5, "m4a", 2.2}),
                         [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace quimbrel
