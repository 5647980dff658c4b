// The Ogg Vorbis writer and its run-time loader: round trip, quality, comment, serials, counters and the
// soft failures while a library is missing.
#include "AvDecode.h"
#include "encoder/TOGGwriter.h"
#include "encoder/libVorbis.h"
#include "ports/MessagePort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

namespace quimbrel {
namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The identification header's nominal bit rate: the first page's body starts with it.
std::int32_t nominalbitrate(const std::vector<std::uint8_t>& f) {
    const std::size_t body = 27 + f[26]; // page header plus its segment table
    return static_cast<std::int32_t>(le32(f, body + 1 + 6 + 4 + 1 + 4 + 4));
}

// The header type flags of the file's last page.
int lastpageflags(const std::vector<std::uint8_t>& f) {
    int flags = -1;
    for (std::size_t at = 0; at + 27 <= f.size();) {
        if (std::string(f.begin() + static_cast<long>(at), f.begin() + static_cast<long>(at) + 4) != "OggS")
            return -1;
        flags = f[at + 5];
        std::size_t size = 27 + f[at + 26];
        for (int i = 0; i < f[at + 26]; ++i)
            size += f[at + 27 + static_cast<std::size_t>(i)];
        at += size;
    }
    return flags;
}

class OggWriter : public ::testing::Test {
protected:
    std::string dir = test::tempdir();
    std::int64_t m_returned = 0;
    void SetUp() override {
        ASSERT_TRUE(loadvorbislib(kOggLibrary));
        ASSERT_TRUE(loadvorbislib(kVorbisLibrary));
    }
    void TearDown() override {
        unloadvorbislib(kVorbisLibrary);
        unloadvorbislib(kOggLibrary);
        std::filesystem::remove_all(dir);
    }
    std::string record(const std::string& path, int bitrate, int rate, int channels, std::size_t frames,
                       std::string* finished = nullptr, int* serial = nullptr) {
        TOGGwriter w(path,
                     floatformat(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels)),
                     bitrate);
        if (finished)
            w.OnFinished = [finished](const std::string& name) { *finished = name; };
        if (serial)
            *serial = w.serialnumber();
        EXPECT_EQ(w.SampleFormat(), kSampleFloat);
        const auto pcm = test::convert(test::sine(1000, rate, channels, frames), 16);
        const std::size_t block = static_cast<std::size_t>(rate / 10 * channels * 4);
        std::int64_t returned = 0;
        for (std::size_t at = 0; at < pcm.size(); at += block) {
            returned +=
                w.WriteBlock(pcm.data() + at, static_cast<std::int32_t>(std::min(block, pcm.size() - at)));
            // An incomplete frame between blocks is dropped without ending the stream.
            returned += w.WriteBlock(pcm.data(), 3);
        }
        EXPECT_TRUE(w.finish().ok());
        m_returned = returned;
        return w.FileName;
    }
};

TEST_F(OggWriter, RoundTripWritesTheOggPathAndReportsIt) {
    std::string finished;
    const std::string written = record(dir + "/take.mp3", 5, 44100, 2, 88200, &finished);
    EXPECT_EQ(written, dir + "/take.ogg");
    EXPECT_EQ(finished, dir + "/take.ogg");
    EXPECT_FALSE(std::filesystem::exists(dir + "/take.mp3"));

    const auto d = test::decodefile(finished);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.container, "ogg");
    EXPECT_EQ(d.codec, "vorbis");
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    EXPECT_NEAR(static_cast<double>(d.frames()), 88200.0, 2048.0);
    EXPECT_EQ(test::peakfrequency(d, 22050), 1000.0);

    const auto file = test::readfile(finished);
    // The blocks' results count the audio pages; the headers and the last pages come on top.
    EXPECT_GT(m_returned, 0);
    EXPECT_LT(m_returned, static_cast<std::int64_t>(file.size()));
    const std::string tag = "ENCODER=Strovane";
    EXPECT_NE(std::search(file.begin(), file.end(), tag.begin(), tag.end()), file.end());
    EXPECT_EQ(lastpageflags(file) & 4, 4); // end of stream
}

TEST_F(OggWriter, QualityFollowsTheStoredPosition) {
    const auto best = test::readfile(record(dir + "/q0.ogg", 0, 44100, 2, 4410));
    const auto worst = test::readfile(record(dir + "/q10.ogg", 10, 44100, 2, 4410));
    const auto middle = test::readfile(record(dir + "/q5.ogg", 5, 44100, 2, 4410));
    // libvorbis states the nominal rate of the quality it runs at: about 500 kbit/s at 1.0, 64 at 0.0.
    EXPECT_GT(nominalbitrate(best), 400000);
    EXPECT_LT(nominalbitrate(worst), 80000);
    EXPECT_GT(nominalbitrate(middle), nominalbitrate(worst));
    EXPECT_LT(nominalbitrate(middle), nominalbitrate(best));
}

TEST_F(OggWriter, SerialNumbersAreIndependentAndEmptyRecordingsValid) {
    int first = 0;
    int second = 0;
    const auto a = record(dir + "/a.ogg", 5, 22050, 1, 0, nullptr, &first);
    const auto b = record(dir + "/b.ogg", 5, 22050, 1, 0, nullptr, &second);
    EXPECT_NE(first, second);
    const auto fa = test::readfile(a);
    EXPECT_EQ(le32(fa, 14), static_cast<std::uint32_t>(first));
    EXPECT_EQ(lastpageflags(fa) & 4, 4);
    const auto d = test::decodefile(b);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.codec, "vorbis");
    EXPECT_EQ(d.frames(), 0u);
}

TEST(VorbisLoader, CountsLoadsAndFailsSoftlyWithoutItsLibraries) {
    // Whatever an earlier test left, start from nothing loaded.
    while (vorbislibcount(kOggLibrary) > 0)
        unloadvorbislib(kOggLibrary);
    while (vorbislibcount(kVorbisLibrary) > 0)
        unloadvorbislib(kVorbisLibrary);

    EXPECT_FALSE(loadvorbislib(kOggLibrary, "libogg-absent.so.0"));
    EXPECT_EQ(vorbislibcount(kOggLibrary), 0);
    EXPECT_FALSE(loadvorbislib(kVorbisLibrary, {}, "libvorbisenc-absent.so.2"));
    EXPECT_EQ(vorbislibcount(kVorbisLibrary), 0);
    EXPECT_FALSE(loadvorbislib(3));

    ogg_stream_state os{};
    vorbis_dsp_state vd{};
    vorbis_info vi{};
    EXPECT_EQ(vorbislib::ogg_stream_init(&os, 1), kLibraryMissing);
    EXPECT_EQ(vorbislib::vorbis_encode_init_vbr(&vi, 2, 44100, 0.5f), kLibraryMissing);
    EXPECT_EQ(vorbislib::vorbis_analysis_buffer(&vd, 10), nullptr);
    vorbislib::vorbis_info_init(&vi); // does nothing

    const std::string dir = test::tempdir();
    try {
        TOGGwriter w(dir + "/x.wav", floatformat(44100, 2), 5);
        FAIL();
    } catch (const WriterError& e) {
        EXPECT_STREQ(e.what(), "Vorbis_encode_init_vbr failed: -4001");
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.ogg")); // the empty file is removed

    EXPECT_TRUE(loadvorbislib(kOggLibrary));
    EXPECT_TRUE(loadvorbislib(kOggLibrary));
    EXPECT_EQ(vorbislibcount(kOggLibrary), 2);
    // libvorbis alone: libogg is there, the encoder is not.
    try {
        TOGGwriter w(dir + "/x.ogg", floatformat(44100, 2), 5);
        FAIL();
    } catch (const WriterError& e) {
        EXPECT_STREQ(e.what(), "Vorbis_encode_init_vbr failed: -4001");
    }
    EXPECT_TRUE(loadvorbislib(kVorbisLibrary));
    EXPECT_EQ(vorbislibcount(kVorbisLibrary), 1);
    // A format the encoder refuses gives its own code, and the file goes too.
    try {
        TOGGwriter w(dir + "/y.ogg", floatformat(44100, 0), 5);
        FAIL();
    } catch (const WriterError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Vorbis_encode_init_vbr failed: -", 0), 0u) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/y.ogg"));

    unloadvorbislib(kVorbisLibrary);
    unloadvorbislib(kOggLibrary);
    EXPECT_EQ(vorbislibcount(kOggLibrary), 1);
    unloadvorbislib(kOggLibrary);
    unloadvorbislib(kOggLibrary); // below one: nothing happens
    EXPECT_EQ(vorbislibcount(kOggLibrary), 0);
    EXPECT_EQ(vorbislib::ogg_stream_init(&os, 1), kLibraryMissing);
    std::filesystem::remove_all(dir);
}

// Start-up: a library that merely does not load is not reported (the Ogg writer says so when it is used); an
// error raised while loading is, once, and both loads are still tried.
TEST(VorbisLoader, StartUpReportsOnlyAnErrorRaisedWhileLoading) {
    struct Case {
        const char* label;
        std::function<bool(int)> load;
        bool ogg, vorbis;
        bool reported;
    };
    const auto absent = [](int library) { return loadvorbislib(library, "libabsent.so.0"); };
    const auto encoderAbsent = [](int library) {
        return library == kOggLibrary ? false : loadvorbislib(library, "libabsent.so.0", "libabsent.so.2");
    };
    const auto vorbisRaises = [](int library) -> bool {
        if (library == kVorbisLibrary)
            throw std::runtime_error("cannot map the library");
        return true;
    };
    const auto bothRaise = [](int) -> bool { throw std::bad_alloc(); };
    // Nothing loaded, so the loader really looks for the absent files.
    while (vorbislibcount(kOggLibrary) > 0)
        unloadvorbislib(kOggLibrary);
    while (vorbislibcount(kVorbisLibrary) > 0)
        unloadvorbislib(kVorbisLibrary);
    const Case cases[] = {{"both loaded", [](int) { return true; }, true, true, false},
                          {"both absent", absent, false, false, false},
                          {"encoder set-up absent", encoderAbsent, false, false, false},
                          {"libvorbis raises", vorbisRaises, true, false, true},
                          {"both raise", bothRaise, false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RecordingMessagePort messages;
        const VorbisLoad loaded = loadvorbislibs(messages, c.load);
        EXPECT_EQ(loaded.ogg, c.ogg);
        EXPECT_EQ(loaded.vorbis, c.vorbis);
        ASSERT_EQ(messages.count(), c.reported ? 1u : 0u);
        if (c.reported) {
            const auto box = messages.entries()[0];
            EXPECT_EQ(box.text, "Vorbis DDL Initialization Error");
            EXPECT_EQ(box.icon, MessageIcon::Error);
            EXPECT_EQ(box.buttons, MessageButtons::Ok);
        }
    }
    EXPECT_EQ(vorbislibcount(kOggLibrary), 0) << "nothing was loaded on the way";
    EXPECT_EQ(vorbislibcount(kVorbisLibrary), 0);
}

} // namespace
} // namespace quimbrel
