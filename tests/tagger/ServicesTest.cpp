// The HTTP client, the service configuration, the MusicBrainz and Last.fm requests, the cover picture and
// tag writing, against local stand-ins.
#include "CoverPicture.h"
#include "HttpClient.h"
#include "LastfmQuery.h"
#include "ServiceConfig.h"
#include "TRecognize.h"
#include "TagWriter.h"
#include "TaggerTestSupport.h"

#include "morvel_loader.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace quimbrel::tagger;
using namespace tagger_test;
namespace fs = std::filesystem;

namespace {

HttpSettings settings(const std::string& caFile = {}) {
    return {"ombrikw-test/1 (x)", caFile};
}

class Services : public ::testing::Test {
protected:
    TempDir dir;
    FakeServices server{dir.path()};

    ServiceConfig config() const {
        ServiceConfig c = ServiceConfig::defaults();
        c.acoustidUrl = c.musicbrainzUrl = c.lastfmUrl = server.baseUrl();
        c.musicbrainzPause = std::chrono::milliseconds(0);
        return c;
    }
};

TEST_F(Services, DoneWhateverTheStatusFailedWhenIncompleteOrRefused) {
    server.setRules(R"({"/ok": {"status": 200, "body": "hello"},
        "/gone": {"status": 404, "body": "missing"},
        "/moved": {"mode": "redirect", "status": 302, "location": "/ok", "body": "see other"},
        "/cut": {"mode": "close", "body": "0123456789012345678901234567890123456789"},
        "/big": {"body": ")" +
                    std::string(5000, 'x') + R"("}})");
    struct Case {
        std::string path;
        HttpOutcome outcome;
        int status;
        std::string body;
    };
    const Case cases[] = {
        {"/ok", HttpOutcome::Done, 200, "hello"},
        {"/gone", HttpOutcome::Done, 404, "missing"},
        {"/moved", HttpOutcome::Done, 302, "see other"},
        {"/cut", HttpOutcome::Failed, 0, ""},
    };
    for (const Case& c : cases) {
        HttpClient http(settings());
        EXPECT_EQ(http.get(server.baseUrl() + c.path), c.outcome) << c.path;
        EXPECT_EQ(http.status(), c.status) << c.path;
        EXPECT_EQ(http.body(), c.body) << c.path;
    }
    // The redirect was not followed.
    EXPECT_EQ(server.requests(), (std::vector<std::string>{"/ok", "/gone", "/moved", "/cut"}));

    HttpClient http(settings());
    EXPECT_EQ(http.get(server.baseUrl() + "/big", 4999), HttpOutcome::Failed);
    EXPECT_EQ(http.body(), "");
    EXPECT_EQ(http.get(server.baseUrl() + "/big", 5000), HttpOutcome::Done);
    EXPECT_EQ(http.body().size(), 5000u);
    EXPECT_EQ(http.get("file:///etc/passwd"), HttpOutcome::Failed);
    EXPECT_EQ(http.get("http://127.0.0.1:1/"), HttpOutcome::Failed);
    http.reset();
    EXPECT_EQ(http.body(), "");
    EXPECT_EQ(http.status(), 0);
}

TEST_F(Services, SendsHttp10AndItsUserAgent) {
    server.setRules(R"({"/": {"body": "x"}})");
    HttpClient http({ServiceConfig::defaults().userAgent, {}});
    ASSERT_EQ(http.get(server.baseUrl() + "/a"), HttpOutcome::Done);
    const std::string log = readFile(dir.path() / "requests.log");
    EXPECT_NE(log.find("\"protocol\": \"HTTP/1.0\""), std::string::npos) << log;
    ASSERT_EQ(server.userAgents().size(), 1u);
    EXPECT_EQ(server.userAgents()[0], "ombrikw/0.1.0 (https://quimbrel.invalid/)");
}

TEST(Https, CertificateIsVerifiedAgainstTheExtraCaFile) {
    TempDir dir;
    const TestCertificates certs = makeTestCertificates(dir.path());
    FakeServices server(dir.path(), certs.certFile, certs.keyFile);
    server.setRules(R"({"/": {"body": "secret"}})");
    HttpClient untrusting(settings());
    EXPECT_EQ(untrusting.get(server.baseUrl() + "/x"), HttpOutcome::Failed);
    EXPECT_EQ(untrusting.body(), "");
    HttpClient trusting(settings(certs.caFile));
    EXPECT_EQ(trusting.get(server.baseUrl() + "/x"), HttpOutcome::Done);
    EXPECT_EQ(trusting.body(), "secret");
    // The name must match as well: the certificate is for 127.0.0.1 only.
    HttpClient byName(settings(certs.caFile));
    EXPECT_EQ(byName.get("https://localhost:" + std::to_string(server.port()) + "/x"), HttpOutcome::Failed);
    // Only the one request that was trusted got past the handshake.
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/x"});
}

TEST(ServiceConfig, BaseAddressesAreSchemeHostAndPortOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"https://api.example.org/", "https://api.example.org"},
        {"http://[::1]:99", "http://[::1]:99"},
        {"ftp://example.org", ""},
        {"http://example.org/path", ""},
        {"http://", ""},
        {"http://host:", ""},
        {"http://host:70000", ""},
        {"http://user@host", ""},
        {"example.org", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(normalizeBaseUrl(in), out) << in;
}

TEST(ServiceConfig, EnvironmentOverridesTheDefaults) {
    const ServiceConfig d = ServiceConfig::fromEnvironment();
    EXPECT_EQ(d.acoustidUrl, "https://api.acoustid.org");
    EXPECT_EQ(d.musicbrainzUrl, "https://musicbrainz.org");
    EXPECT_EQ(d.lastfmUrl, "https://ws.audioscrobbler.com");
    EXPECT_EQ(d.acoustidKey, "Qx7pLm2RtV");
    EXPECT_EQ(d.lastfmKey, "5c0e9a7d3b1f48e2a6d0c4b8f2e17a93");
    EXPECT_EQ(d.musicbrainzPause, std::chrono::milliseconds(1000));

    const std::pair<const char*, const char*> vars[] = {
        {"OMBRIKW_ACOUSTID_URL", "http://127.0.0.1:9/"},
        {"OMBRIKW_MUSICBRAINZ_URL", "gopher://x"},
        {"OMBRIKW_LASTFM_URL", "https://lfm.test:8443"},
        {"OMBRIKW_ACOUSTID_KEY", "mine"},
        {"OMBRIKW_LASTFM_KEY", "0123"},
        {"OMBRIKW_CA_FILE", "/tmp/ca.pem"},
        {"OMBRIKW_TEST_MB_PAUSE_MS", "25"},
    };
    for (const auto& [name, value] : vars)
        setenv(name, value, 1);
    const ServiceConfig c = ServiceConfig::fromEnvironment();
    for (const auto& [name, value] : vars)
        unsetenv(name);
    EXPECT_EQ(c.acoustidUrl, "http://127.0.0.1:9");
    EXPECT_EQ(c.musicbrainzUrl, "https://musicbrainz.org");
    EXPECT_EQ(c.lastfmUrl, "https://lfm.test:8443");
    EXPECT_EQ(c.acoustidKey, "mine");
    EXPECT_EQ(c.lastfmKey, "0123");
    EXPECT_EQ(c.caFile, "/tmp/ca.pem");
    EXPECT_EQ(c.musicbrainzPause, std::chrono::milliseconds(25));
}

TEST_F(Services, MusicBrainzRetriesA503OnceAndRefusesStrangeIdentifiers) {
    const std::string ok =
        R"({"body": "<metadata><recording><title>T</title><artist-credit><name-credit><artist><name>A</name></artist></name-credit></artist-credit></recording></metadata>"})";
    const std::string busy = R"({"status": 503, "body": "slow down"})";
    server.setRules(R"({"/ws/2/recording/one": {"sequence": [)" + busy + "," + ok + R"(]},
        "/ws/2/recording/two": {"sequence": [)" +
                    busy + "," + busy + "," + ok + R"(]},
        "/v2/lookup": {"body": "<response><results><result><recordings><recording><id>one</id></recording><recording><id>two</id></recording><recording><id>../v2/lookup?x</id></recording></recordings></result></results></response>"}})");
    TRecognize recognize(config());
    ASSERT_EQ(recognize.lookup(), 1);
    ASSERT_EQ(recognize.recordingCount(0), 3);
    EXPECT_TRUE(recognize.queryRecording(0, 0));
    EXPECT_EQ(recognize.title(), "T");
    EXPECT_EQ(recognize.artist(), "A");
    EXPECT_FALSE(recognize.queryRecording(0, 1));
    EXPECT_EQ(recognize.title(), "");
    EXPECT_FALSE(recognize.queryRecording(0, 2));
    EXPECT_FALSE(recognize.queryRecording(0, 3));
    EXPECT_FALSE(recognize.queryRecording(1, 0));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[1], "/ws/2/recording/one?inc=artists+releases");
    EXPECT_EQ(requests[2], "/ws/2/recording/one?inc=artists+releases");
    EXPECT_EQ(requests[3], "/ws/2/recording/two?inc=artists+releases");
    EXPECT_EQ(requests[4], "/ws/2/recording/two?inc=artists+releases");
}

TEST_F(Services, LastfmRequestValuesAreLowerCasedAndEncoded) {
    ServiceConfig c = config();
    c.lastfmUrl = "https://lfm";
    c.lastfmKey = "K";
    EXPECT_EQ(lastfmRequestUrl(c, LastfmMode::Album, "Sun/Moon", "T", "Red Sky"),
              "https://lfm/2.0/?method=album.getinfo&api_key=K&artist=sun%2Fmoon&album=red%20sky");
    EXPECT_EQ(lastfmRequestUrl(c, LastfmMode::Track, "Sun/Moon", "\xC3\x89t\xC3\xA9 Song", ""),
              "https://lfm/2.0/?method=track.getinfo&api_key=K&artist=sun%2Fmoon&track=%C3%A9t%C3%A9%20song");
    EXPECT_EQ(lastfmRequestUrl(c, LastfmMode::Album, "A", "T", ""),
              "https://lfm/2.0/?method=album.getinfo&api_key=K&artist=a&album=");
}

TEST_F(Services, LastfmAlbumIsReplacedEvenWhenThePictureFails) {
    const std::string png = pictureFixture("png").string();
    const std::string base = server.baseUrl();
    server.setRules(
        R"({"/2.0/": {"body": "<lfm>\n<title>Better &amp; Album</title>\n<image size=\"extralarge\">)" +
        base + R"(/cover.png</image>\n<image size=\"extralarge\">)" + base +
        R"(/second.png</image>\n"},
        "/cover.png": {"body": "<html>not a picture</html>"},
        "/second.png": {"file": )" +
        jsonString(png) + "}}");
    std::string album = "Old";
    CoverPicture picture;
    EXPECT_FALSE(lastfmQuery(config(), "Artist", "Title", album, LastfmMode::Album, picture));
    EXPECT_EQ(album, "Better & Album");
    EXPECT_TRUE(picture.empty());
    EXPECT_EQ(server.requests(),
              (std::vector<std::string>{"/2.0/?method=album.getinfo&api_key=5c0e9a7d3b1f48e2a6d0c4b8f2e17a93"
                                        "&artist=artist&album=old",
                                        "/cover.png"}));

    // A picture address of one character is not fetched.
    server.setRules(R"({"/2.0/": {"body": "<image size=\"extralarge\">x</image>"}})");
    server.clearLog();
    EXPECT_FALSE(lastfmQuery(config(), "Artist", "Title", album, LastfmMode::Track, picture));
    EXPECT_EQ(server.requests().size(), 1u);

    server.setRules(R"({"/2.0/": {"body": "<image size=\"extralarge\">)" + base + R"(/second.png</image>"},
        "/second.png": {"status": 404, "file": )" +
                    jsonString(png) + "}}");
    EXPECT_TRUE(lastfmQuery(config(), "Artist", "Title", album, LastfmMode::Track, picture));
    EXPECT_EQ(picture.format(), PictureFormat::Png);
}

TEST(CoverPicture, FormatsMimeTypesAndEncodingAgain) {
    struct Case {
        const char* ext;
        PictureFormat format;
        const char* mime;
        const char* extension;
    };
    const Case cases[] = {
        {"png", PictureFormat::Png, "image/png", ".png"},
        {"jpg", PictureFormat::Jpeg, "image/jpg", ".jpg"},
        {"bmp", PictureFormat::Bmp, "image/bmp", ".bmp"},
        {"gif", PictureFormat::Gif, "image/gif", ".gif"},
        {"tiff", PictureFormat::Tiff, "image/tiff", ".tiff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        CoverPicture picture;
        ASSERT_TRUE(picture.decode(readFile(pictureFixture(c.ext))));
        EXPECT_EQ(picture.format(), c.format);
        EXPECT_EQ(picture.mimeType(), c.mime);
        EXPECT_EQ(picture.extension(), c.extension);
        CoverPicture again;
        ASSERT_TRUE(again.decode(picture.encoded()));
        EXPECT_EQ(again.format(), c.format);
    }
}

TEST(CoverPicture, AnAnimationKeepsOnlyItsFirstFrame) {
    TempDir dir;
    const std::filesystem::path animation = dir.path() / "anim.gif";
    ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                  "testsrc=size=16x16:rate=3:d=1", "-loop", "0", animation.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    auto frames = [](const std::filesystem::path& file) {
        return runProcess({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                           "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", file.string()})
            .out;
    };
    ASSERT_EQ(frames(animation), "3\n");
    CoverPicture picture;
    ASSERT_TRUE(picture.decode(readFile(animation)));
    EXPECT_EQ(picture.format(), PictureFormat::Gif);
    const std::filesystem::path again = dir.path() / "again.gif";
    writeFile(again, picture.encoded());
    EXPECT_EQ(frames(again), "1\n");
}

TEST(CoverPicture, RefusesWhatIsNotAPictureOrTooLarge) {
    std::string bmpHeader = "BM";
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmpHeader += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto le16 = [&](std::uint16_t v) {
        bmpHeader += static_cast<char>(v & 0xFF);
        bmpHeader += static_cast<char>(v >> 8);
    };
    // A BMP header claiming 20000 x 20000 pixels, with almost no data behind it.
    le32(54 + 16);
    le32(0);
    le32(54);
    le32(40);
    le32(20000);
    le32(20000);
    le16(1);
    le16(24);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    bmpHeader += std::string(16, '\0');

    const std::string png = readFile(pictureFixture("png"));
    TempDir dir;
    const std::filesystem::path wide = dir.path() / "wide.png";
    ProcessResult made = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                     "color=size=4097x8,format=rgb24", "-frames:v", "1", wide.string()});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::pair<const char*, std::string> cases[] = {
        {"one pixel wider than allowed", readFile(wide)},
        {"empty", ""},
        {"html", "<html>404</html>"},
        {"truncated png", png.substr(0, png.size() / 3)},
        {"huge bmp", bmpHeader},
        {"over 32 MiB", png + std::string(CoverPicture::kMaxBytes, '\0')},
        {"svg is not run", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"1\"/>"},
    };
    for (const auto& [name, bytes] : cases) {
        CoverPicture picture;
        EXPECT_FALSE(picture.decode(bytes)) << name;
        EXPECT_TRUE(picture.empty()) << name;
        EXPECT_EQ(picture.encoded(), "") << name;
    }
}

TEST(CoverPicture, APictureWithOnlyWarningsIsAcceptedAndTheLargestAllowedFits) {
    // A JPEG that ends early is only warned about: the decoder fills in the missing rows.
    const std::string jpeg = readFile(pictureFixture("jpg"));
    CoverPicture warned;
    EXPECT_TRUE(warned.decode(jpeg.substr(0, jpeg.size() * 2 / 3)));
    EXPECT_EQ(warned.format(), PictureFormat::Jpeg);

    TempDir dir;
    const std::filesystem::path largest = dir.path() / "largest.jpg";
    ProcessResult made = runProcess({"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                     "color=size=4096x4096", "-frames:v", "1", largest.string()});
    ASSERT_EQ(made.status, 0) << made.err;
    CoverPicture picture;
    EXPECT_TRUE(picture.decode(readFile(largest)));
    EXPECT_FALSE(picture.encoded().empty());
}

TEST(TagWriter, WithoutTheTagComponentTheFailureIsShown) {
    quimbrel::MorvelLibrary missing;
    missing.load("/nonexistent/libmorvel.so");
    std::ostringstream warnings;
    CoverPicture none;
    TagWriter(missing).write("/tmp/x.mp3", "A", "T", "Al", none, warnings);
    EXPECT_EQ(warnings.str(), "Can not save tag to the file: /tmp/x.mp3\n");
}

} // namespace
