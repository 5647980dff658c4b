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

[[maybe_unused]] void writeFile(const fs::path& path, const std::string& bytes) {
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
        for (const Format& format : kFormats) {
            const auto out = s_dir / (std::string("plain.") + format.extension);
            run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a",
                 format.codec, out.string()});
        }
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
        const auto source = s_dir / (std::string("plain.") + format.extension);
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

INSTANTIATE_TEST_SUITE_P(Formats, MorvelFormat, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& param) { return param.param.extension; });

} // namespace
