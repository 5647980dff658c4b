// libmorvel through MorvelLibrary: tags and covers written in each format and read back by libmorvel, by
// FFmpeg and by TagLib; bad files, null handles and a missing library.
#include "morvel_loader.h"

#include <gtest/gtest.h>

#include <fileref.h>
#include <tag.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using quimbrel::MorvelLibrary;

namespace {

struct Run {
    int status = -1;
    std::string output;
};

// Runs a program with an argument vector (no shell) and collects its standard output.
Run run(const std::vector<std::string>& args) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        std::vector<char*> argv;
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    Run result;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What FFmpeg sees in a file: its tags (keys lower-cased, common aliases folded) and attached pictures.
struct Probe {
    std::map<std::string, std::string> tags;
    std::vector<std::string> pictureCodecs;
};

Probe probe(const fs::path& file) {
    const Run r = run({"ffprobe", "-v", "error", "-show_entries",
                       "format_tags:stream_tags:stream=codec_name:stream_disposition=attached_pic", "-of",
                       "default", file.string()});
    static const std::map<std::string, std::string> aliases{{"tracknumber", "track"},
                                                            {"year", "date"},
                                                            {"wm/year", "date"},
                                                            {"description", "comment"},
                                                            {"author", "artist"}};
    Probe result;
    std::istringstream lines(r.output);
    std::string line;
    std::string codec;
    bool picture = false;
    std::map<std::string, std::string> sectionTags;
    while (std::getline(lines, line)) {
        if (line == "[STREAM]" || line == "[FORMAT]") {
            codec.clear();
            picture = false;
            sectionTags.clear();
            continue;
        }
        if (line == "[/STREAM]" || line == "[/FORMAT]") {
            // The tags of a picture stream describe the picture, not the recording.
            if (picture) {
                result.pictureCodecs.push_back(codec);
            } else {
                result.tags.insert(sectionTags.begin(), sectionTags.end());
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "codec_name") {
            codec = value;
        } else if (key == "DISPOSITION:attached_pic") {
            picture = value == "1";
        } else if (key.rfind("TAG:", 0) == 0) {
            key = key.substr(4);
            std::transform(key.begin(), key.end(), key.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (const auto alias = aliases.find(key); alias != aliases.end()) {
                key = alias->second;
            }
            sectionTags.emplace(key, value);
        }
    }
    return result;
}

// The bytes of the first attached picture, as FFmpeg demuxes them.
std::string ffmpegPicture(const fs::path& file) {
    return run({"ffmpeg", "-v", "error", "-i", file.string(), "-map", "0:v:0", "-c", "copy", "-f", "data",
                "-"})
        .output;
}

unsigned leadingNumber(const std::string& text) {
    return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
}

struct Format {
    const char* extension;
    const char* codec;
};

// CTest lists each case with its parameter: print what the case is, not its bytes.
void PrintTo(const Format& f, std::ostream* os) {
    *os << f.extension << " (" << f.codec << ")";
}

const Format kFormats[] = {
    {"mp3", "libmp3lame"}, {"ogg", "libvorbis"}, {"flac", "flac"},
    {"m4a", "aac"},        {"wma", "wmav2"},     {"wav", "pcm_s16le"},
};

// Texts with quotes, non-ASCII letters from three scripts and a character outside the BMP.
const char* const kTitle = "Zw\xC3\xB6lf \"Boxk\xC3\xA4mpfer\" \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC";
const char* const kArtist = "\xD0\x90\xD1\x80\xD1\x82\xD0\xB8\xD1\x81\xD1\x82 & Co.";
const char* const kAlbum = "Album \xF0\x9F\x8E\xB5 Two";
const char* const kGenre = "Jazz";
const char* const kComment = "Recorded o'clock";

class MorvelFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = fs::temp_directory_path() / ("morvel_test." + std::to_string(::getpid()));
        fs::create_directories(s_dir);
        const auto png = s_dir / "cover.png";
        const auto jpeg = s_dir / "cover.jpg";
        run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=red:s=8x8", "-frames:v", "1",
             png.string()});
        run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "color=c=blue:s=8x8", "-frames:v", "1",
             jpeg.string()});
        s_png = readFile(png);
        s_jpeg = readFile(jpeg);
    }

    // The short tone in the format, made on first use: each test process makes only what it needs.
    static fs::path plain(const Format& format) {
        const auto out = s_dir / (std::string("plain.") + format.extension);
        if (!fs::exists(out)) {
            run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a",
                 format.codec, out.string()});
        }
        return out;
    }

    // The same tone tagged by another program: for MP3 in both ID3v2 and ID3v1, for WAV in INFO only.
    static fs::path foreign(const Format& format) {
        const auto out = s_dir / (std::string("foreign.") + format.extension);
        if (!fs::exists(out)) {
            run({"ffmpeg", "-v", "error", "-y", "-i", plain(format).string(), "-c", "copy", "-write_id3v1",
                 "1", "-metadata", "title=Foreign Title", "-metadata", "artist=Foreign Artist", "-metadata",
                 "album=Foreign Album", out.string()});
        }
        return out;
    }

    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(s_dir, ignored);
    }

    void SetUp() override {
        ASSERT_TRUE(m_lib.load()) << m_lib.error();
        ASSERT_FALSE(s_png.empty());
        ASSERT_FALSE(s_jpeg.empty());
    }

    // A fresh copy of the generated file for the format, under the given file name.
    static fs::path copyOf(const Format& format, const std::string& name) {
        const auto source = plain(format);
        const auto target = s_dir / (name + "." + format.extension);
        fs::copy_file(source, target, fs::copy_options::overwrite_existing);
        return target;
    }

    static fs::path s_dir;
    static std::string s_png;
    static std::string s_jpeg;
    MorvelLibrary m_lib;
};

fs::path MorvelFixture::s_dir;
std::string MorvelFixture::s_png;
std::string MorvelFixture::s_jpeg;

class MorvelFormat : public MorvelFixture, public ::testing::WithParamInterface<Format> {};

// The full cycle in each format: tags and a PNG cover written, replaced by a JPEG cover, then everything
// removed; each state checked through libmorvel, FFmpeg and TagLib.
TEST_P(MorvelFormat, WritesReplacesAndRemovesTagsAndCovers) {
    const Format format = GetParam();
    const fs::path path = copyOf(format, "it's a \"quoted\" name \xC3\xA4");
    ASSERT_TRUE(fs::exists(path));
    const std::string utf8Path = path.string();

    morvel_file* file = m_lib.taglib_file_newu(utf8Path.c_str());
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    const int length = m_lib.taglib_audioproperties_length(m_lib.taglib_file_audioproperties(file));
    EXPECT_GE(length, 1);
    EXPECT_LE(length, 3);
    morvel_tag* tag = m_lib.taglib_file_tag(file);
    ASSERT_NE(tag, nullptr);
    EXPECT_TRUE(m_lib.taglib_tag_set_title(tag, kTitle));
    m_lib.taglib_tag_set_artist(tag, kArtist);
    m_lib.taglib_tag_set_album(tag, kAlbum);
    m_lib.taglib_tag_set_genre(tag, kGenre);
    m_lib.taglib_tag_set_comment(tag, kComment);
    m_lib.taglib_tag_set_track(tag, 7);
    m_lib.taglib_tag_set_year(tag, 2024);
    EXPECT_TRUE(m_lib.taglib_tag_delete_allcovers(file));
    EXPECT_TRUE(m_lib.taglib_tag_set_cover(file, 3, static_cast<unsigned>(s_png.size()), "image/png", "Front",
                                           s_png.data()));
    ASSERT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);

    // Read back through libmorvel; the texts outlive the file until free_strings.
    file = m_lib.taglib_file_newu(utf8Path.c_str());
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    tag = m_lib.taglib_file_tag(file);
    const char* title = m_lib.taglib_tag_title(tag);
    const char* artist = m_lib.taglib_tag_artist(tag);
    const char* album = m_lib.taglib_tag_album(tag);
    const char* genre = m_lib.taglib_tag_genre(tag);
    const char* comment = m_lib.taglib_tag_comment(tag);
    const unsigned track = m_lib.taglib_tag_track(tag);
    const unsigned year = m_lib.taglib_tag_year(tag);
    m_lib.taglib_file_free(file);
    EXPECT_STREQ(title, kTitle);
    EXPECT_STREQ(artist, kArtist);
    EXPECT_STREQ(album, kAlbum);
    EXPECT_STREQ(genre, kGenre);
    EXPECT_STREQ(comment, kComment);
    EXPECT_EQ(track, 7u);
    EXPECT_EQ(year, 2024u);
    m_lib.taglib_tag_free_strings();

    // FFmpeg sees the same texts and the picture, byte for byte.
    Probe seen = probe(path);
    EXPECT_EQ(seen.tags["title"], kTitle);
    EXPECT_EQ(seen.tags["artist"], kArtist);
    EXPECT_EQ(seen.tags["album"], kAlbum);
    EXPECT_EQ(seen.tags["genre"], kGenre);
    EXPECT_EQ(seen.tags["comment"], kComment);
    EXPECT_EQ(leadingNumber(seen.tags["track"]), 7u);
    EXPECT_EQ(leadingNumber(seen.tags["date"]), 2024u);
    EXPECT_EQ(seen.pictureCodecs, std::vector<std::string>{"png"});
    EXPECT_EQ(ffmpegPicture(path), s_png);

    // So does TagLib's own reader.
    {
        TagLib::FileRef ref(path.c_str());
        ASSERT_FALSE(ref.isNull());
        EXPECT_EQ(ref.tag()->title().to8Bit(true), kTitle);
        EXPECT_EQ(ref.tag()->album().to8Bit(true), kAlbum);
        EXPECT_EQ(ref.tag()->track(), 7u);
    }

    // The tagger's order: delete the covers, set one, save. Only the new cover remains.
    file = m_lib.taglib_file_newu(utf8Path.c_str());
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    ASSERT_NE(m_lib.taglib_file_tag(file), nullptr);
    EXPECT_TRUE(m_lib.taglib_tag_delete_allcovers(file));
    EXPECT_TRUE(m_lib.taglib_tag_set_cover(file, 3, static_cast<unsigned>(s_jpeg.size()), "image/jpeg", "",
                                           s_jpeg.data()));
    ASSERT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);
    seen = probe(path);
    EXPECT_EQ(seen.pictureCodecs, std::vector<std::string>{"mjpeg"});
    EXPECT_EQ(ffmpegPicture(path), s_jpeg);
    EXPECT_EQ(seen.tags["title"], kTitle);

    // Removing every tag leaves no text and no picture, and the audio intact.
    file = m_lib.taglib_file_newu(utf8Path.c_str());
    ASSERT_NE(m_lib.taglib_file_tag(file), nullptr);
    EXPECT_TRUE(m_lib.taglib_tag_remove(file));
    ASSERT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);
    file = m_lib.taglib_file_newu(utf8Path.c_str());
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    tag = m_lib.taglib_file_tag(file);
    EXPECT_STREQ(m_lib.taglib_tag_title(tag), "");
    EXPECT_STREQ(m_lib.taglib_tag_artist(tag), "");
    EXPECT_STREQ(m_lib.taglib_tag_comment(tag), "");
    EXPECT_EQ(m_lib.taglib_tag_track(tag), 0u);
    EXPECT_EQ(m_lib.taglib_tag_year(tag), 0u);
    EXPECT_EQ(m_lib.taglib_audioproperties_length(m_lib.taglib_file_audioproperties(file)), length);
    m_lib.taglib_tag_free_strings();
    m_lib.taglib_file_free(file);
    seen = probe(path);
    EXPECT_EQ(seen.tags.count("title"), 0u);
    EXPECT_EQ(seen.tags.count("artist"), 0u);
    EXPECT_TRUE(seen.pictureCodecs.empty());
}

// Files that are not audio of the kind their name says, or are cut short, give no handle or an invalid one,
// and nothing is written to them. A file cut in half may still parse; then it must stay usable.
TEST_P(MorvelFormat, RefusesNonAudioAndTruncatedFiles) {
    const Format format = GetParam();
    const std::string whole = readFile(plain(format));
    ASSERT_GT(whole.size(), 1000u);
    const std::pair<const char*, std::string> broken[] = {
        {"empty", ""},
        {"text", std::string(4000, 'x') + "This is not audio.\n"},
        {"zeros", std::string(8192, '\0')},
        {"header", whole.substr(0, 12)},
        {"cut", whole.substr(0, 200)},
    };
    for (const auto& [name, bytes] : broken) {
        SCOPED_TRACE(name);
        const fs::path path = s_dir / (std::string("broken-") + name + "." + format.extension);
        writeFile(path, bytes);
        morvel_file* file = m_lib.taglib_file_newu(path.c_str());
        if (file != nullptr) {
            EXPECT_FALSE(m_lib.taglib_file_is_valid(file));
            EXPECT_EQ(m_lib.taglib_file_tag(file), nullptr);
            EXPECT_EQ(m_lib.taglib_file_audioproperties(file), nullptr);
            EXPECT_FALSE(m_lib.taglib_tag_set_cover(file, 3, static_cast<unsigned>(s_png.size()), "image/png",
                                                    "", s_png.data()));
            EXPECT_FALSE(m_lib.taglib_tag_remove(file));
            EXPECT_FALSE(m_lib.taglib_tag_delete_allcovers(file));
            EXPECT_FALSE(m_lib.taglib_file_save_ex(file, 3));
            m_lib.taglib_file_free(file);
        }
        EXPECT_EQ(readFile(path), bytes);
    }

    const fs::path half = s_dir / (std::string("half.") + format.extension);
    writeFile(half, whole.substr(0, whole.size() / 2));
    morvel_file* file = m_lib.taglib_file_newu(half.c_str());
    if (file != nullptr && m_lib.taglib_file_is_valid(file)) {
        morvel_tag* tag = m_lib.taglib_file_tag(file);
        ASSERT_NE(tag, nullptr);
        m_lib.taglib_tag_set_title(tag, "Half");
        const bool saved = m_lib.taglib_file_save_ex(file, 3);
        m_lib.taglib_file_free(file);
        if (saved) {
            file = m_lib.taglib_file_newu(half.c_str());
            EXPECT_STREQ(m_lib.taglib_tag_title(m_lib.taglib_file_tag(file)), "Half");
            m_lib.taglib_tag_free_strings();
        }
    }
    m_lib.taglib_file_free(file);
}

// Tags another program wrote are read, and removed completely.
TEST_P(MorvelFormat, ReadsAndRemovesTagsOfOtherWriters) {
    const Format format = GetParam();
    const fs::path path = foreign(format);
    ASSERT_EQ(probe(path).tags["title"], "Foreign Title");

    morvel_file* file = m_lib.taglib_file_newu(path.c_str());
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    morvel_tag* tag = m_lib.taglib_file_tag(file);
    EXPECT_STREQ(m_lib.taglib_tag_title(tag), "Foreign Title");
    EXPECT_STREQ(m_lib.taglib_tag_artist(tag), "Foreign Artist");
    EXPECT_STREQ(m_lib.taglib_tag_album(tag), "Foreign Album");
    m_lib.taglib_tag_free_strings();
    EXPECT_TRUE(m_lib.taglib_tag_remove(file));
    ASSERT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);

    const Probe seen = probe(path);
    EXPECT_EQ(seen.tags.count("title"), 0u);
    EXPECT_EQ(seen.tags.count("artist"), 0u);
    EXPECT_EQ(seen.tags.count("album"), 0u);
    if (std::string(format.extension) == "mp3") {
        // No ID3v1 tag is left at the end of the file.
        const std::string bytes = readFile(path);
        EXPECT_NE(bytes.substr(bytes.size() - 128, 3), "TAG");
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MorvelFormat, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& param) { return param.param.extension; });

// Paths that name nothing openable give no handle.
TEST_F(MorvelFixture, GivesNoHandleForMissingOrUnknownFiles) {
    writeFile(s_dir / "notes.txt", "plain text, no audio");
    const std::string paths[] = {"", (s_dir / "absent.mp3").string(), s_dir.string(),
                                 (s_dir / "notes.txt").string()};
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(m_lib.taglib_file_newu(path.c_str()), nullptr);
    }
    EXPECT_EQ(m_lib.taglib_file_newu(nullptr), nullptr);
}

// Every export takes null handles: nothing happens and the results are null, 0 or "".
TEST_F(MorvelFixture, AcceptsNullHandles) {
    EXPECT_FALSE(m_lib.taglib_file_is_valid(nullptr));
    EXPECT_EQ(m_lib.taglib_file_tag(nullptr), nullptr);
    EXPECT_EQ(m_lib.taglib_file_audioproperties(nullptr), nullptr);
    EXPECT_EQ(m_lib.taglib_audioproperties_length(nullptr), 0);
    EXPECT_FALSE(m_lib.taglib_file_save_ex(nullptr, 3));
    EXPECT_FALSE(m_lib.taglib_tag_remove(nullptr));
    EXPECT_FALSE(m_lib.taglib_tag_delete_allcovers(nullptr));
    EXPECT_FALSE(m_lib.taglib_tag_set_cover(nullptr, 3, 4, "image/png", "", "data"));
    EXPECT_STREQ(m_lib.taglib_tag_title(nullptr), "");
    EXPECT_STREQ(m_lib.taglib_tag_artist(nullptr), "");
    EXPECT_STREQ(m_lib.taglib_tag_album(nullptr), "");
    EXPECT_STREQ(m_lib.taglib_tag_genre(nullptr), "");
    EXPECT_STREQ(m_lib.taglib_tag_comment(nullptr), "");
    EXPECT_EQ(m_lib.taglib_tag_track(nullptr), 0u);
    EXPECT_EQ(m_lib.taglib_tag_year(nullptr), 0u);
    m_lib.taglib_tag_set_title(nullptr, "x");
    m_lib.taglib_tag_set_year(nullptr, 1);
    m_lib.taglib_file_free(nullptr);
    m_lib.taglib_tag_free_strings();
}

// Clearing fields, dropping unsaved changes, refusing empty pictures and the Latin-1 text mode.
TEST_F(MorvelFixture, ClearsFieldsAndHonoursTextMode) {
    const fs::path path = copyOf(kFormats[0], "modes");
    const std::string original = readFile(path);

    morvel_file* file = m_lib.taglib_file_newu(path.c_str());
    m_lib.taglib_tag_set_title(m_lib.taglib_file_tag(file), "Never saved");
    EXPECT_FALSE(m_lib.taglib_tag_set_cover(file, 3, 0, "image/png", "", s_png.data()));
    EXPECT_FALSE(m_lib.taglib_tag_set_cover(file, 3, 10, "image/png", "", nullptr));
    m_lib.taglib_file_free(file);
    EXPECT_EQ(readFile(path), original);

    // Latin-1 in, UTF-8 out.
    m_lib.taglib_set_strings_unicode(0);
    file = m_lib.taglib_file_newu(path.c_str());
    morvel_tag* tag = m_lib.taglib_file_tag(file);
    m_lib.taglib_tag_set_title(tag, "\xE9t\xE9");
    m_lib.taglib_tag_set_artist(tag, "Someone");
    m_lib.taglib_tag_set_year(tag, 1999);
    m_lib.taglib_tag_set_track(tag, 3);
    EXPECT_STREQ(m_lib.taglib_tag_title(tag), "\xE9t\xE9");
    ASSERT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);
    m_lib.taglib_set_strings_unicode(1);

    file = m_lib.taglib_file_newu(path.c_str());
    tag = m_lib.taglib_file_tag(file);
    EXPECT_STREQ(m_lib.taglib_tag_title(tag), "\xC3\xA9t\xC3\xA9");
    m_lib.taglib_tag_set_title(tag, "");
    m_lib.taglib_tag_set_artist(tag, nullptr);
    m_lib.taglib_tag_set_year(tag, 0);
    m_lib.taglib_tag_set_track(tag, 0);
    ASSERT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);

    file = m_lib.taglib_file_newu(path.c_str());
    tag = m_lib.taglib_file_tag(file);
    EXPECT_STREQ(m_lib.taglib_tag_title(tag), "");
    EXPECT_STREQ(m_lib.taglib_tag_artist(tag), "");
    EXPECT_EQ(m_lib.taglib_tag_year(tag), 0u);
    EXPECT_EQ(m_lib.taglib_tag_track(tag), 0u);
    m_lib.taglib_tag_free_strings();
    m_lib.taglib_file_free(file);
}

// Success means the file holds the tags afterwards: a file replaced on disk while its handle was open takes
// nothing, and the save says so.
TEST_F(MorvelFixture, ASaveThatDidNotTakeFails) {
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.extension);
        const fs::path path = copyOf(format, "replaced");
        morvel_file* file = m_lib.taglib_file_newu(path.c_str());
        ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
        m_lib.taglib_tag_set_title(m_lib.taglib_file_tag(file), "Lost");
        fs::copy_file(plain(format), s_dir / "replacement", fs::copy_options::overwrite_existing);
        fs::rename(s_dir / "replacement", path);
        EXPECT_FALSE(m_lib.taglib_file_save_ex(file, 3));
        m_lib.taglib_file_free(file);
    }
}

// A WAV a few bytes short of 4 GiB (sparse, so it takes no disk): a tag would wrap its 32-bit RIFF size, so
// the save fails and the file is left exactly as it was.
TEST_F(MorvelFixture, RefusesToGrowAWavPastFourGiB) {
    const fs::path path = s_dir / "huge.wav";
    constexpr std::uint32_t kData = 0xFFFFFFFFu - 36 - 64; // RIFF size = 36 + data, 64 bytes left over
    std::string header(44, '\0');
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            header[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const auto put16 = [&](std::size_t at, std::uint16_t v) {
        header[at] = static_cast<char>(v & 0xFF);
        header[at + 1] = static_cast<char>(v >> 8);
    };
    header.replace(0, 4, "RIFF");
    put32(4, 36 + kData);
    header.replace(8, 8, "WAVEfmt ");
    put32(16, 16);
    put16(20, 1);
    put16(22, 2);
    put32(24, 48000);
    put32(28, 48000 * 4);
    put16(32, 4);
    put16(34, 16);
    header.replace(36, 4, "data");
    put32(40, kData);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
    }
    fs::resize_file(path, 44ull + kData);

    morvel_file* file = m_lib.taglib_file_newu(path.c_str());
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    m_lib.taglib_tag_set_title(m_lib.taglib_file_tag(file), kTitle);
    EXPECT_FALSE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);

    EXPECT_EQ(fs::file_size(path), 44ull + kData);
    std::ifstream in(path, std::ios::binary);
    std::string after(44, '\0');
    in.read(after.data(), 44);
    EXPECT_EQ(after, header);
    fs::remove(path);
}

// A fragmented MP4, as the recorder leaves one it could not finish as a regular file, states no length but
// is whole audio: it is tagged, and FFmpeg still reads the tags and every sample.
TEST_F(MorvelFixture, TagsAFragmentedMp4) {
    const fs::path path = s_dir / "fragmented.m4a";
    run({"ffmpeg", "-v", "error", "-y", "-i", plain(kFormats[3]).string(), "-c", "copy", "-movflags",
         "empty_moov+default_base_moof", "-frag_duration", "500000", path.string()});
    const auto decoded = [](const fs::path& p) {
        return run({"ffmpeg", "-v", "error", "-i", p.string(), "-map", "0:a", "-f", "md5", "-"}).output;
    };
    const std::string before = decoded(path);
    ASSERT_FALSE(before.empty());

    morvel_file* file = m_lib.taglib_file_newu(path.c_str());
    ASSERT_TRUE(m_lib.taglib_file_is_valid(file));
    m_lib.taglib_tag_set_title(m_lib.taglib_file_tag(file), kTitle);
    EXPECT_TRUE(m_lib.taglib_tag_set_cover(file, 3, static_cast<unsigned>(s_png.size()), "image/png", "",
                                           s_png.data()));
    EXPECT_TRUE(m_lib.taglib_file_save_ex(file, 3));
    m_lib.taglib_file_free(file);

    EXPECT_EQ(probe(path).tags["title"], kTitle);
    EXPECT_EQ(decoded(path), before);
}

// Without the library, or with one lacking the entry points, nothing is bound and every call fails
// without effect.
TEST(MorvelLoader, FailsSoftlyWithoutTheLibrary) {
    const fs::path dir = fs::temp_directory_path() / ("morvel_loader." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path audio = dir / "a.wav";
    run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=duration=1", "-c:a", "pcm_s16le",
         audio.string()});
    const std::string before = readFile(audio);
    ASSERT_FALSE(before.empty());

    const std::string wrong[] = {"libmorvel-absent.so.1", (dir / "libmorvel.so.1").string(), "libz.so.1"};
    for (const auto& name : wrong) {
        SCOPED_TRACE(name);
        MorvelLibrary lib;
        EXPECT_FALSE(lib.load(name));
        EXPECT_FALSE(lib.isLoaded());
        EXPECT_FALSE(lib.error().empty());
        EXPECT_EQ(lib.taglib_file_newu(audio.c_str()), nullptr);
        EXPECT_FALSE(lib.taglib_file_is_valid(nullptr));
        EXPECT_FALSE(lib.taglib_tag_set_title(nullptr, "x"));
        EXPECT_FALSE(lib.taglib_tag_set_year(nullptr, 1));
        EXPECT_STREQ(lib.taglib_tag_title(nullptr), "");
        EXPECT_FALSE(lib.taglib_file_save_ex(nullptr, 3));
        EXPECT_FALSE(lib.taglib_tag_set_cover(nullptr, 3, 1, "image/png", "", "x"));
        lib.taglib_tag_free_strings();
        lib.taglib_file_free(nullptr);
    }
    {
        MorvelLibrary lib;
        EXPECT_FALSE(lib.load("libz.so.1"));
        EXPECT_NE(lib.error().find("taglib_file_newu"), std::string::npos) << lib.error();
    }
    EXPECT_EQ(readFile(audio), before);

    // An explicit path is opened as given; unloading makes every call fail again.
    MorvelLibrary lib;
    ASSERT_TRUE(lib.load(MORVEL_LIBRARY_PATH)) << lib.error();
    EXPECT_EQ(lib.loadedFrom(), MORVEL_LIBRARY_PATH);
    morvel_file* file = lib.taglib_file_newu(audio.c_str());
    EXPECT_TRUE(lib.taglib_file_is_valid(file));
    lib.taglib_file_free(file);
    lib.unload();
    EXPECT_FALSE(lib.isLoaded());
    EXPECT_EQ(lib.taglib_file_newu(audio.c_str()), nullptr);

    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

} // namespace
