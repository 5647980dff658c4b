// The factory: each codec row creates its writer from the settings record, and a hand-edited row falls back.
#include "AvDecode.h"
#include "encoder/createwriter.h"
#include "encoder/libVorbis.h"
#include "state/config.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quimbrel {
namespace {

TEST(CreateWriter, EachRowMakesItsFormat) {
    ASSERT_TRUE(loadvorbislib(kOggLibrary));
    ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    const std::string dir = test::tempdir();
    struct Case {
        int index;
        int bps;
        const char* file;
        std::int32_t code;
        const char* codec;
    };
    const Case cases[] = {
        {0, 0, "a.mp3", 2, "mp3float"}, {1, 0, "a.ogg", 16, "vorbis"}, {2, 0, "a.wma", 2, "wmav2"},
        {3, 2, "a.wav", 1, "pcm_u8"},   {4, 1, "a.flac", 2, "flac"},   {5, 0, "a.m4a", 2, "aac"},
        {9, 0, "b.mp3", 2, "mp3float"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        config cfg;
        cfg.codec.index = c.index;
        cfg.codec.bps = c.bps;
        const std::string path = dir + "/" + c.file;
        std::string finished;
        {
            auto w = createwriter(cfg, path, floatformat(44100, 2));
            w->OnFinished = [&](const std::string& name) { finished = name; };
            EXPECT_EQ(w->SampleFormat(), c.code);
            EXPECT_EQ(writersampleformat(writersettings(cfg)), c.code);
            const auto bytes = test::convert(test::sine(1000, 44100, 2, 22050), c.code);
            w->WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size()));
            EXPECT_TRUE(w->finish().ok());
        }
        EXPECT_EQ(finished, path);
        const auto d = test::decodefile(path);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.codec, c.codec);
    }
    std::filesystem::remove_all(dir);
    unloadvorbislib(kVorbisLibrary);
    unloadvorbislib(kOggLibrary);
}

} // namespace
} // namespace quimbrel
