// ombrikw run as a program against fake AcoustID, MusicBrainz and Last.fm services on 127.0.0.1.
#include "TaggerTestSupport.h"

#include "encoder/CodecTable.h"
#include "encoder/createwriter.h"
#include "encoder/libFLAC.h"
#include "encoder/libVorbis.h"

#include "morvel_loader.h"

#include <chromaprint.h>
#include <gtest/gtest.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>

using namespace tagger_test;
namespace fs = std::filesystem;

namespace {

const char* kIds[] = {"0a1b2c3d-0000-4000-8000-000000000001", "0a1b2c3d-0000-4000-8000-000000000002",
                      "0a1b2c3d-0000-4000-8000-000000000003"};

std::string acoustidAnswer() {
    std::string recs;
    for (const char* id : kIds)
        recs += std::string("<recording><id>") + id + "</id></recording>";
    return "<?xml version='1.0' encoding='UTF-8'?><response><status>ok</status><results>"
           "<result><id>empty</id><score>0.99</score></result>"
           "<result><recordings>" +
           recs + "</recordings><score>0.95</score><id>r2</id></result></results></response>";
}

std::string musicbrainzAnswer(const std::string& title, const std::string& artist, const std::string& album) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\">"
           "<recording id=\"x\"><title>" +
           title + "</title><length>130000</length><artist-credit><name-credit><artist id=\"a\"><name>" +
           artist +
           "</name><sort-name>s</sort-name></artist></name-credit></artist-credit><release-list count=\"1\">"
           "<release id=\"r\"><title>" +
           album + "</title><status>Official</status></release></release-list></recording></metadata>";
}

std::string body(const std::string& text) {
    return "{\"body\": " + jsonString(text) + "}";
}

// The three recordings vote for "Paper Kite" by "Mira Vale" on "Low Tide".
std::string standardRules(const FakeServices& server, const std::string& coverRule) {
    return "{\"/v2/lookup\": " + body(acoustidAnswer()) + ",\n\"/ws/2/recording/" + kIds[0] +
           "\": " + body(musicbrainzAnswer("Paper Kite", "Mira Vale", "Low Tide")) + ",\n\"/ws/2/recording/" +
           kIds[1] + "\": " + body(musicbrainzAnswer("Paper Kite", "Mira Vale", "Low Tide")) +
           ",\n\"/ws/2/recording/" + kIds[2] +
           "\": " + body(musicbrainzAnswer("Paper Kit", "Mira Vale", "Other")) +
           ",\n\"/2.0/?method=album.getinfo\": " +
           body("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<lfm status=\"ok\">\n<album>\n<name>Low "
                "Tide</name>\n"
                "<title>Low Tide (Remastered)</title>\n<image size=\"large\">" +
                server.baseUrl() + "/small.png</image>\n<image size=\"extralarge\">" + server.baseUrl() +
                "/cover</image>\n</album></lfm>\n") +
           ",\n\"/2.0/?method=track.getinfo\": " +
           body("<lfm status=\"failed\"><error code=\"6\">Track not found</error></lfm>") +
           ",\n\"/cover\": " + coverRule + "}";
}

std::string fileRule(const fs::path& p) {
    return "{\"file\": " + jsonString(p.string()) + "}";
}

struct Tags {
    std::string title, artist, album;
};

Tags readTags(const fs::path& file) {
    quimbrel::MorvelLibrary lib;
    Tags t;
    if (!lib.load())
        return t;
    morvel_file* f = lib.taglib_file_newu(file.c_str());
    if (morvel_tag* tag = lib.taglib_file_tag(f)) {
        t = {lib.taglib_tag_title(tag), lib.taglib_tag_artist(tag), lib.taglib_tag_album(tag)};
        lib.taglib_tag_free_strings();
    }
    lib.taglib_file_free(f);
    return t;
}

struct Picture {
    std::string mime;
    std::string description;
    std::string data;
};

std::string bytes(const TagLib::ByteVector& v) {
    return std::string(v.data(), v.size());
}

std::vector<Picture> id3Pictures(TagLib::ID3v2::Tag* tag) {
    std::vector<Picture> out;
    if (tag == nullptr)
        return out;
    for (TagLib::ID3v2::Frame* f : tag->frameList("APIC")) {
        auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f);
        if (apic != nullptr && apic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            out.push_back(
                {apic->mimeType().to8Bit(true), apic->description().to8Bit(true), bytes(apic->picture())});
    }
    return out;
}

// The embedded front covers, read independently of the tag component with TagLib itself.
std::vector<Picture> frontCovers(const fs::path& file) {
    const std::string ext = file.extension().string();
    std::vector<Picture> out;
    if (ext == ".mp3") {
        TagLib::MPEG::File f(file.c_str());
        return id3Pictures(f.ID3v2Tag());
    }
    if (ext == ".wav") {
        TagLib::RIFF::WAV::File f(file.c_str());
        return id3Pictures(f.ID3v2Tag());
    }
    if (ext == ".flac" || ext == ".ogg") {
        TagLib::List<TagLib::FLAC::Picture*> list;
        TagLib::FLAC::File flac(file.c_str(), false);
        TagLib::Ogg::Vorbis::File ogg(file.c_str(), false);
        list = ext == ".flac" ? flac.pictureList() : ogg.tag()->pictureList();
        for (TagLib::FLAC::Picture* p : list) {
            if (p->type() == TagLib::FLAC::Picture::FrontCover)
                out.push_back({p->mimeType().to8Bit(true), p->description().to8Bit(true), bytes(p->data())});
        }
    } else if (ext == ".m4a") {
        TagLib::MP4::File f(file.c_str());
        if (f.tag() != nullptr && f.tag()->contains("covr")) {
            for (const TagLib::MP4::CoverArt& c : f.tag()->item("covr").toCoverArtList()) {
                const char* mime = c.format() == TagLib::MP4::CoverArt::JPEG  ? "image/jpeg"
                                   : c.format() == TagLib::MP4::CoverArt::PNG ? "image/png"
                                                                              : "other";
                out.push_back({mime, "", bytes(c.data())});
            }
        }
    } else if (ext == ".wma") {
        TagLib::ASF::File f(file.c_str());
        if (f.tag() != nullptr) {
            for (const TagLib::ASF::Attribute& a : f.tag()->attribute("WM/Picture")) {
                TagLib::ASF::Picture p = a.toPicture();
                if (p.type() == TagLib::ASF::Picture::FrontCover)
                    out.push_back(
                        {p.mimeType().to8Bit(true), p.description().to8Bit(true), bytes(p.picture())});
            }
        }
    }
    return out;
}

std::vector<std::uint32_t> decodeFingerprint(const std::string& text) {
    std::uint32_t* raw = nullptr;
    int size = 0;
    int algorithm = 0;
    std::vector<std::uint32_t> out;
    if (chromaprint_decode_fingerprint(text.c_str(), static_cast<int>(text.size()), &raw, &size, &algorithm,
                                       1) &&
        raw != nullptr)
        out.assign(raw, raw + size);
    chromaprint_dealloc(raw);
    return out;
}

std::vector<std::uint32_t> fpcalcRaw(const fs::path& file) {
    ProcessResult r = runProcess({"fpcalc", "-raw", "-length", "120", file.string()});
    std::vector<std::uint32_t> out;
    const std::size_t at = r.out.find("FINGERPRINT=");
    if (at == std::string::npos)
        return out;
    std::istringstream in(r.out.substr(at + 12));
    std::string item;
    while (std::getline(in, item, ','))
        out.push_back(static_cast<std::uint32_t>(std::stoll(item)));
    return out;
}

std::string queryValue(const std::string& path, const std::string& name) {
    const std::size_t at = path.find("&" + name + "=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + name.size() + 2;
    return path.substr(start, path.find('&', start) - start);
}

class Tagger : public ::testing::Test {
protected:
    TempDir dir;
    FakeServices server{dir.path()};

    ProcessResult ombrikw(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {OMBRIKW_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProcess(argv, {{"OMBRIKW_ACOUSTID_URL", server.baseUrl()},
                                 {"OMBRIKW_MUSICBRAINZ_URL", server.baseUrl()},
                                 {"OMBRIKW_LASTFM_URL", server.baseUrl() + "/"},
                                 {"OMBRIKW_TEST_MB_PAUSE_MS", "5"},
                                 {"XDG_RUNTIME_DIR", dir.path().string()}});
    }

    fs::path copyOf(const std::string& ext, int seconds) {
        const fs::path target = dir.path() / ("song." + ext);
        fs::copy_file(audioFixture(ext, seconds), target, fs::copy_options::overwrite_existing);
        return target;
    }

    std::vector<std::string> requestsStartingWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& r : server.requests()) {
            if (r.rfind(prefix, 0) == 0)
                out.push_back(r);
        }
        return out;
    }
};

TEST_F(Tagger, TagsEveryFormatWithTitleArtistAlbumAndCover) {
    const fs::path jpg = pictureFixture("jpg");
    server.setRules(standardRules(server, fileRule(jpg)));
    for (const char* ext : {"mp3", "ogg", "wma", "wav", "flac", "m4a"}) {
        SCOPED_TRACE(ext);
        server.clearLog();
        const fs::path song = copyOf(ext, 130);
        ProcessResult r = ombrikw({"/W", song.string()});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");

        const auto lookups = requestsStartingWith("/v2/lookup?");
        ASSERT_EQ(lookups.size(), 1u);
        EXPECT_EQ(queryValue(lookups[0], "duration"), "130");
        EXPECT_EQ(queryValue(lookups[0], "format"), "xml");
        EXPECT_EQ(queryValue(lookups[0], "meta"), "recordingids");
        EXPECT_EQ(lookups[0].rfind("/v2/lookup?client=Qx7pLm2RtV&", 0), 0u);
        // The fingerprint is the one fpcalc computes from the same two minutes.
        const auto ours = decodeFingerprint(queryValue(lookups[0], "fingerprint"));
        const auto theirs = fpcalcRaw(song);
        ASSERT_FALSE(ours.empty());
        ASSERT_FALSE(theirs.empty());
        const std::size_t n = std::max(ours.size(), theirs.size());
        std::size_t differing = 32 * (n - std::min(ours.size(), theirs.size()));
        for (std::size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i)
            differing += static_cast<std::size_t>(std::popcount(ours[i] ^ theirs[i]));
        EXPECT_LE(static_cast<double>(differing), 0.05 * 32.0 * static_cast<double>(n));

        EXPECT_EQ(requestsStartingWith("/ws/2/recording/").size(), 3u);
        EXPECT_EQ(requestsStartingWith("/2.0/?method=album.getinfo").size(), 1u);
        EXPECT_EQ(requestsStartingWith("/2.0/?method=track.getinfo").size(), 0u);
        const Tags t = readTags(song);
        EXPECT_EQ(t.title, "Paper Kite");
        EXPECT_EQ(t.artist, "Mira Vale");
        EXPECT_EQ(t.album, "Low Tide (Remastered)");
        const auto covers = frontCovers(song);
        ASSERT_EQ(covers.size(), 1u);
        // MP4 stores only the kind of picture, not a MIME text or a description.
        if (std::string(ext) != "m4a") {
            EXPECT_EQ(covers[0].mime, "image/jpg");
            EXPECT_EQ(covers[0].description, "cover.jpg");
        }
        EXPECT_EQ(covers[0].data.substr(0, 3), "\xFF\xD8\xFF");
    }
}

// Interleaved float samples converted to a writer's sample code as the recorder's block handler delivers
// them.
std::string samplesFor(const std::vector<float>& in, std::int32_t code) {
    std::string out;
    for (float f : in) {
        const double v = std::clamp(static_cast<double>(f), -1.0, 1.0);
        if (code == quimbrel::kSampleFloat) {
            char bytes[4];
            std::memcpy(bytes, &f, 4);
            out.append(bytes, 4);
        } else if (code == quimbrel::kSampleS16) {
            const auto i = static_cast<std::int16_t>(std::lround(v * 32767.0));
            out += static_cast<char>(i & 0xFF);
            out += static_cast<char>((i >> 8) & 0xFF);
        } else if (code == quimbrel::kSampleS24) {
            const auto i = static_cast<std::int32_t>(std::lround(v * 8388607.0));
            for (int b = 0; b < 3; ++b)
                out += static_cast<char>((i >> (8 * b)) & 0xFF);
        } else {
            out += static_cast<char>(std::lround(v * 127.0) + 128);
        }
    }
    return out;
}

// What FFmpeg decodes from the file's audio, as a hash.
std::string decodedAudio(const fs::path& file) {
    return runProcess(
               {"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-map", "0:a", "-f", "md5", "-"})
        .out;
}

// Files as the recorder writes them, through its own writers: the WAV header refreshed every second while
// recording, an MP3 without a VBR header, the M4A as the writer finishes it and as it stands while recording
// (fragmented). Each is identified, tagged with its cover, and sounds exactly as before.
TEST_F(Tagger, TagsTheRecordersOwnFilesAndLeavesTheirSoundAlone) {
    server.setRules(standardRules(server, fileRule(pictureFixture("jpg"))));
    const fs::path pcm = dir.path() / "noise.f32";
    ProcessResult r =
        runProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", audioFixture("wav", 130).string(), "-f",
                    "f32le", "-ac", "2", "-ar", "44100", pcm.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string raw = readFile(pcm);
    std::vector<float> samples(raw.size() / sizeof(float));
    std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));

    // The recorder loads these at start-up.
    ASSERT_TRUE(quimbrel::loadvorbislib(quimbrel::kOggLibrary));
    ASSERT_TRUE(quimbrel::loadvorbislib(quimbrel::kVorbisLibrary));
    ASSERT_TRUE(quimbrel::loadflaclib());
    std::vector<fs::path> files;
    for (int codec = 0; codec < quimbrel::kCodecCount; ++codec) {
        quimbrel::WriterSettings settings;
        settings.index = codec;
        settings.bps = 1;
        const fs::path path = dir.path() / ("recorded." + std::string(quimbrel::codecinfo(codec).extension));
        auto writer = quimbrel::createwriter(settings, path.string(), quimbrel::floatformat(44100, 2));
        const std::size_t block = 4410 * 2;
        for (std::size_t at = 0; at < samples.size(); at += block) {
            const std::vector<float> part(
                samples.begin() + static_cast<std::ptrdiff_t>(at),
                samples.begin() + static_cast<std::ptrdiff_t>(std::min(at + block, samples.size())));
            const std::string bytes = samplesFor(part, writer->SampleFormat());
            writer->WriteBlock(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        }
        files.push_back(writer->FileName);
        EXPECT_TRUE(writer->finish().ok()) << writer->outcome().reason;
    }
    // The M4A writer leaves a regular MP4; while recording, the file was fragmented.
    EXPECT_EQ(readFile(files.back()).find("moof"), std::string::npos);
    const fs::path fragmented = dir.path() / "fragmented.m4a";
    r = runProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", files.back().string(), "-c", "copy",
                    "-movflags", "empty_moov+default_base_moof", "-frag_duration", "1000000",
                    fragmented.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    files.push_back(fragmented);

    for (const fs::path& song : files) {
        SCOPED_TRACE(song.filename().string());
        const std::string before = decodedAudio(song);
        ASSERT_FALSE(before.empty());
        r = ombrikw({"/W", song.string()});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
        const Tags t = readTags(song);
        EXPECT_EQ(t.title, "Paper Kite");
        EXPECT_EQ(t.artist, "Mira Vale");
        EXPECT_EQ(t.album, "Low Tide (Remastered)");
        const auto covers = frontCovers(song);
        ASSERT_EQ(covers.size(), 1u);
        EXPECT_EQ(covers[0].data.substr(0, 3), "\xFF\xD8\xFF");
        EXPECT_EQ(decodedAudio(song), before);
    }
}

TEST_F(Tagger, ShowModePrintsThreeLinesAndLeavesTheFileAlone) {
    server.setRules(standardRules(server, fileRule(pictureFixture("png"))));
    const fs::path song = copyOf("flac", 130);
    const std::string before = readFile(song);
    ProcessResult r = ombrikw({song.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Mira Vale\nPaper Kite\nLow Tide\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(song), before);
    EXPECT_TRUE(requestsStartingWith("/2.0/").empty());
}

TEST_F(Tagger, UndecodableCoverStillTagsAndAsksForTheTrack) {
    server.setRules(standardRules(server, body("<html>no picture here</html>")));
    const fs::path song = copyOf("mp3", 130);
    ProcessResult r = ombrikw({song.string(), "-w"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    const auto track = requestsStartingWith("/2.0/?method=track.getinfo");
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(queryValue(track[0], "artist"), "mira%20vale");
    EXPECT_EQ(queryValue(track[0], "track"), "paper%20kite");
    const Tags t = readTags(song);
    EXPECT_EQ(t.title, "Paper Kite");
    EXPECT_EQ(t.album, "Low Tide (Remastered)");
    EXPECT_TRUE(frontCovers(song).empty());
}

TEST_F(Tagger, EmptyAlbumIsAskedForAndWritten) {
    const std::string noRelease =
        "<metadata><recording><title>Solo</title><artist-credit><name-credit><artist><name>Ann</name></"
        "artist>"
        "</name-credit></artist-credit><release-list count=\"0\"/></recording></metadata>";
    server.setRules("{\"/v2/lookup\": " + body(acoustidAnswer()) +
                    ", \"/ws/2/recording/\": " + body(noRelease) + ", \"/2.0/\": " +
                    body("<lfm status=\"failed\"><error code=\"6\">Album not found</error></lfm>") + "}");
    const fs::path song = copyOf("ogg", 130);
    ProcessResult r = ombrikw({"/W", song.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    const auto album = requestsStartingWith("/2.0/?method=album.getinfo");
    ASSERT_EQ(album.size(), 1u);
    EXPECT_EQ(album[0].substr(album[0].size() - 7), "&album=");
    EXPECT_EQ(requestsStartingWith("/2.0/?method=track.getinfo").size(), 1u);
    const Tags t = readTags(song);
    EXPECT_EQ(t.title, "Solo");
    EXPECT_EQ(t.artist, "Ann");
    EXPECT_EQ(t.album, "");
    EXPECT_TRUE(frontCovers(song).empty());
}

// Every one of these ends with nothing recognised: no output, status 0, file untouched.
TEST_F(Tagger, NothingRecognisedEndsSilently) {
    struct Case {
        const char* name;
        std::string rules;
        std::vector<std::string> args;
        int seconds;
        std::size_t requests;
    };
    const std::string good = standardRules(server, fileRule(pictureFixture("png")));
    std::string mbBusy = "{\"/v2/lookup\": " + body(acoustidAnswer()) +
                         ", \"/ws/2/recording/\": {\"status\": 503, \"body\": \"busy\"}}";
    const Case cases[] = {
        {"no parameters", good, {}, 130, 0},
        {"file of 120 s", good, {"/W", "SONG"}, 120, 0},
        {"-W first is taken as the path", good, {"-W", "SONG"}, 130, 0},
        {"missing file", good, {"/W", "/nonexistent/song.mp3"}, 130, 0},
        {"503 from MusicBrainz, retried once each", mbBusy, {"/W", "SONG"}, 130, 1 + 3 * 2},
        {"AcoustID error document",
         "{\"/v2/lookup\": " +
             body(
                 "<?xml version='1.0' encoding='UTF-8'?><response><status>error</status><error><code>4</code>"
                 "<message>invalid API key</message></error></response>") +
             "}",
         {"SONG"},
         130,
         1},
        {"AcoustID redirects",
         "{\"/v2/lookup\": {\"mode\": \"redirect\", \"location\": \"/v2/lookup2\"}, \"/v2/lookup2\": " +
             body(acoustidAnswer()) + "}",
         {"SONG", "/W"},
         130,
         1},
        {"AcoustID hangs up mid-answer",
         "{\"/v2/lookup\": {\"mode\": \"close\", \"body\": " + jsonString(acoustidAnswer()) + "}}",
         {"/W", "SONG"},
         130,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setRules(c.rules);
        server.clearLog();
        const fs::path song = copyOf("mp3", c.seconds);
        const std::string before = readFile(song);
        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a == "SONG" ? song.string() : a);
        ProcessResult r = ombrikw(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(server.requests().size(), c.requests);
        EXPECT_EQ(readFile(song), before);
    }
}

TEST(TaggerOverHttps, TrustsTheServicesOnlyThroughTheCaFile) {
    TempDir dir;
    const TestCertificates certs = makeTestCertificates(dir.path());
    FakeServices server(dir.path(), certs.certFile, certs.keyFile);
    server.setRules(standardRules(server, fileRule(pictureFixture("png"))));
    std::map<std::string, std::string> env = {{"OMBRIKW_ACOUSTID_URL", server.baseUrl()},
                                              {"OMBRIKW_MUSICBRAINZ_URL", server.baseUrl()},
                                              {"OMBRIKW_LASTFM_URL", server.baseUrl()},
                                              {"OMBRIKW_TEST_MB_PAUSE_MS", "5"},
                                              {"XDG_RUNTIME_DIR", dir.path().string()}};
    const fs::path song = dir.path() / "song.mp3";
    fs::copy_file(audioFixture("mp3", 130), song);
    const std::string before = readFile(song);

    ProcessResult untrusting = runProcess({OMBRIKW_PROGRAM, "/W", song.string()}, env);
    EXPECT_EQ(untrusting.status, 0);
    EXPECT_EQ(untrusting.out + untrusting.err, "");
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(readFile(song), before);

    env["OMBRIKW_CA_FILE"] = certs.caFile;
    ProcessResult trusting = runProcess({OMBRIKW_PROGRAM, "/W", song.string()}, env);
    EXPECT_EQ(trusting.status, 0);
    EXPECT_EQ(trusting.out + trusting.err, "");
    const Tags t = readTags(song);
    EXPECT_EQ(t.title, "Paper Kite");
    EXPECT_EQ(t.album, "Low Tide (Remastered)");
    EXPECT_EQ(frontCovers(song).size(), 1u);
}

// Three taggers started together ask MusicBrainz nine times in all. Each request may go out only an interval
// after the one before it, whichever tagger sent that; so the k-th to arrive cannot arrive before k
// intervals have passed since the start. That bound holds however slowly the machine runs.
TEST(TaggerPace, TaggersStartedTogetherShareMusicBrainzsPace) {
    TempDir dir;
    FakeServices server(dir.path());
    server.setRules(standardRules(server, fileRule(pictureFixture("png"))));
    const int intervalMs = 300;
    std::vector<std::vector<std::string>> commands;
    for (int i = 0; i < 3; ++i) {
        const fs::path song = dir.path() / ("song" + std::to_string(i) + ".mp3");
        fs::copy_file(audioFixture("mp3", 130), song);
        commands.push_back({OMBRIKW_PROGRAM, song.string()});
    }
    const fs::path runtime = dir.path() / "run";
    fs::create_directory(runtime);
    const double start =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const auto results =
        runProcessesTogether(commands, {{"OMBRIKW_ACOUSTID_URL", server.baseUrl()},
                                        {"OMBRIKW_MUSICBRAINZ_URL", server.baseUrl()},
                                        {"OMBRIKW_TEST_MB_PAUSE_MS", std::to_string(intervalMs)},
                                        {"XDG_RUNTIME_DIR", runtime.string()}});
    for (const ProcessResult& r : results) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Mira Vale\nPaper Kite\nLow Tide\n");
    }
    const auto paths = server.requests();
    const auto times = server.arrivals();
    ASSERT_EQ(paths.size(), times.size());
    std::vector<double> musicbrainz;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].rfind("/ws/2/recording/", 0) == 0)
            musicbrainz.push_back(times[i]);
    }
    std::sort(musicbrainz.begin(), musicbrainz.end());
    ASSERT_EQ(musicbrainz.size(), 9u);
    for (std::size_t k = 0; k < musicbrainz.size(); ++k)
        EXPECT_GE(musicbrainz[k] - start + 1e-6, static_cast<double>(k) * intervalMs / 1000.0) << k;
    EXPECT_TRUE(fs::exists(runtime / "ombrikw-musicbrainz.lock"));
}

TEST_F(Tagger, HelpNamesTheEnvironment) {
    ProcessResult r = ombrikw({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* v : {"OMBRIKW_ACOUSTID_URL", "OMBRIKW_MUSICBRAINZ_URL", "OMBRIKW_LASTFM_URL",
                          "OMBRIKW_ACOUSTID_KEY", "OMBRIKW_LASTFM_KEY", "OMBRIKW_CA_FILE"})
        EXPECT_NE(r.out.find(v), std::string::npos) << v;
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
