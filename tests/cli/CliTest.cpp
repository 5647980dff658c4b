// quimbrel-cli end to end: records what a sine played into the default sink sounds like, in every format,
// with voice activation, splitting and the scheduler, and checks the files by decoding them with FFmpeg.
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"

#include "../encoder/SmallDisk.h"
#include "../support/CommandText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quimbrel {
namespace {

namespace fs = std::filesystem;

using quimbrel::testsupport::CommandResult;
using quimbrel::testsupport::quote;
using quimbrel::testsupport::readFile;

// Runs a shell command line of this test's own making; standard error goes to a file.
CommandResult shell(const std::string& command, const std::string& errFile) {
    CommandResult r;
    FILE* p = popen((command + " 2>" + quote(errFile)).c_str(), "r");
    if (!p)
        return r;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readFile(errFile);
    return r;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line.substr(prefix.size()));
    return found;
}

// A 16-bit stereo WAV at 48000 Hz: tone (440 Hz at half scale) and silence in the given order of seconds.
void writeSignal(const std::string& path, const std::vector<std::pair<double, bool>>& parts) {
    std::vector<std::int16_t> samples;
    long long n = 0;
    for (const auto& [seconds, tone] : parts)
        for (long long i = 0; i < static_cast<long long>(seconds * 48000); ++i, ++n) {
            const auto v =
                tone ? static_cast<std::int16_t>(16383 * std::sin(2 * M_PI * 440.0 * n / 48000.0)) : 0;
            samples.push_back(v);
            samples.push_back(v);
        }
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(48000);
    u32(48000 * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

// Plays a file into the default sink until stopped.
class Player {
public:
    explicit Player(const std::string& file) {
        std::vector<std::string> args = {"paplay", "--device=quimbrel_speakers", file};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, "paplay", nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = 0;
    }
    ~Player() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

private:
    pid_t m_pid = 0;
};

double decodedSeconds(const std::string& file, const std::string& errFile) {
    const CommandResult r =
        shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quote(file), errFile);
    return r.status == 0 ? std::atof(r.out.c_str()) : -1.0;
}

// The frequency of the decoded file's middle second, from its zero crossings.
double decodedFrequency(const std::string& file) {
    FILE* p =
        popen(("ffmpeg -v error -i " + quote(file) + " -f s16le -ac 1 -ar 44100 - 2>/dev/null").c_str(), "r");
    if (!p)
        return 0;
    std::vector<std::int16_t> samples;
    std::array<std::int16_t, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 2, buf.size(), p)) > 0)
        samples.insert(samples.end(), buf.begin(), buf.begin() + static_cast<long>(n));
    pclose(p);
    if (samples.size() < 44100 * 2)
        return 0;
    const std::size_t from = samples.size() / 2 - 22050;
    int crossings = 0;
    for (std::size_t i = from + 1; i < from + 44100; ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++crossings;
    return crossings / 2.0;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("QUIMBREL_TEST_PULSE"))
            GTEST_SKIP() << "needs the private PulseAudio daemon (scripts/with-services)";
        // These tests play into and record the default sink: one at a time, also when CTest runs them in
        // parallel processes.
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string lock = std::string(runtime ? runtime : "/tmp") + "/quimbrel_speakers.lock";
        m_lock = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_lock >= 0)
            flock(m_lock, LOCK_EX);
        std::string tmpl = (fs::temp_directory_path() / "cli-test-XXXXXX").string();
        m_root = mkdtemp(tmpl.data());
        m_home = m_root + "/home";
        m_out = m_root + "/out/";
        m_taggerDir = m_root + "/tagger/";
        fs::create_directories(m_home + "/.config/Tarvolt/quimbrel");
        fs::create_directories(m_home + "/.config/Selvane");
        fs::create_directories(m_out);
        fs::create_directories(m_taggerDir);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            if (const char* v = std::getenv(name))
                m_savedEnv.emplace_back(name, v);
        setenv("HOME", m_home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_home + "/.config").c_str(), 1);

        // The tagger: a stub that notes its arguments, found through the tagger's own settings file.
        std::ofstream(m_home + "/.config/Selvane/Ombrik.conf") << "[Settings]\nPath=" << m_taggerDir << "\n";
        std::ofstream(m_taggerDir + "ombrikw")
            << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " << quote(m_taggerDir + "log")
            << "\n";
        chmod((m_taggerDir + "ombrikw").c_str(), 0755);

        defaultconfig(cfg);
        cfg.archive.dir = m_out;
        cfg.autoname.enabled = true;
        cfg.autoname.expression = "take-NUM";
        cfg.autoname.number = 1;
        cfg.runtagger.enabled = true;
        cfg.current.rate = 44100;
        cfg.current.mode = 2;
    }
    void TearDown() override {
        if (m_lock >= 0)
            close(m_lock);
        for (const auto& [name, value] : m_savedEnv)
            setenv(name.c_str(), value.c_str(), 1);
        if (!m_root.empty()) {
            std::error_code ec;
            fs::remove_all(m_root, ec);
        }
    }

    void saveSettings() {
        std::string error;
        ASSERT_TRUE(writeConfigFile(m_home + "/.config/Tarvolt/quimbrel/quimbrel.xml", cfg, &error)) << error;
    }
    CommandResult cli(const std::string& args, const std::string& prefix = {}) {
        return shell(prefix + quote(QUIMBREL_CLI) + " " + args, m_root + "/stderr");
    }
    std::string signal(const std::vector<std::pair<double, bool>>& parts) {
        const std::string file = m_root + "/signal.wav";
        writeSignal(file, parts);
        return file;
    }
    std::vector<std::string> taggerLog() {
        // The recorder does not wait for the tagger.
        for (int i = 0; i < 100 && !fs::exists(m_taggerDir + "log"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return linesStartingWith(readFile(m_taggerDir + "log"), "");
    }

    config cfg;
    std::string m_root, m_home, m_out, m_taggerDir;
    std::vector<std::pair<std::string, std::string>> m_savedEnv;
    int m_lock = -1;
};

struct CliFormat {
    int codec;
    const char* extension;
};

// CTest lists each case with its parameter: print what the case is, not its address.
void PrintTo(const CliFormat& f, std::ostream* os) {
    *os << f.extension << " (codec.index " << f.codec << ")";
}

class CliFormats : public Cli, public ::testing::WithParamInterface<CliFormat> {};

TEST_P(CliFormats, RecordsThreeSecondsOfTheSineAndFilesIt) {
    const auto [codec, ext] = GetParam();
    cfg.codec.index = codec;
    saveSettings();
    Player player(signal({{20.0, true}}));
    const CommandResult r = cli("record --for 3");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string expected = m_out + "take-001." + ext;
    EXPECT_EQ(linesStartingWith(r.out, "finished: "), std::vector<std::string>{expected}) << r.out << r.err;
    EXPECT_FALSE(linesStartingWith(r.out, "status: Recording").empty());
    ASSERT_TRUE(fs::exists(expected));
    const double seconds = decodedSeconds(expected, m_root + "/ffprobe.err");
    EXPECT_NEAR(seconds, 3.0, 0.3) << ext;
    EXPECT_NEAR(decodedFrequency(expected), 440.0, 15.0) << ext;

    const CommandResult library = cli("library");
    EXPECT_EQ(library.status, 0) << library.err;
    EXPECT_EQ(library.out, expected + "\n");
    EXPECT_EQ(taggerLog(), (std::vector<std::string>{"/W", expected}));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, CliFormats,
                         ::testing::Values(CliFormat{0, "mp3"}, CliFormat{1, "ogg"}, CliFormat{2, "wma"},
                                           CliFormat{3, "wav"}, CliFormat{4, "flac"}, CliFormat{5, "m4a"}),
                         [](const auto& p) { return std::string(p.param.extension); });

// Seconds of sound FFmpeg decodes from the whole file (a file cut short may state no length of its own).
double decodedLength(const std::string& file) {
    FILE* p = popen(
        ("ffmpeg -nostdin -v error -i " + quote(file) + " -f s16le -ac 1 -ar 8000 - 2>/dev/null").c_str(),
        "r");
    if (!p)
        return -1;
    std::size_t bytes = 0;
    std::array<char, 65536> buf;
    for (std::size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;)
        bytes += n;
    return pclose(p) == 0 ? static_cast<double>(bytes) / 2 / 8000 : -1;
}

struct DiskCase {
    int codec;
    const char* extension;
    std::size_t kib; // a few seconds of the format's stream
    double slack;    // seconds an encoder or container may still hold back at the failure
};

void PrintTo(const DiskCase& c, std::ostream* os) {
    *os << c.extension << " on " << c.kib << " KiB";
}

class CliFullDisk : public Cli, public ::testing::WithParamInterface<DiskCase> {};

// A recording into a file system that fills up ends by itself: status 1, one line on standard error naming
// the file and the reason, the status back at "Ready", and the file decodes up to the failure, is listed and
// tagged.
TEST_P(CliFullDisk, EndsWithTheReasonAndStatusOne) {
    const DiskCase c = GetParam();
    test::SmallDisk disk(c.kib * 1024);
    if (!disk.skipReason().empty())
        GTEST_SKIP() << disk.skipReason();
    cfg.codec.index = c.codec;
    cfg.archive.dir = disk.path() + "/";
    saveSettings();
    Player player(signal({{60.0, true}}));
    const CommandResult r = cli("record --for 50");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    const std::string expected = disk.path() + "/take-001." + c.extension;
    EXPECT_EQ(linesStartingWith(r.out, "finished: "), std::vector<std::string>{expected}) << r.out << r.err;
    const auto errors = linesStartingWith(r.err, "quimbrel-cli: ");
    ASSERT_EQ(errors.size(), 1u) << r.err;
    EXPECT_NE(errors[0].find("\"" + expected + "\""), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
    const auto statuses = linesStartingWith(r.out, "status: ");
    ASSERT_FALSE(statuses.empty()) << r.out;
    EXPECT_EQ(statuses.back(), "Ready") << r.out;
    const auto recorded = linesStartingWith(r.out, "recorded: ");
    ASSERT_EQ(recorded.size(), 1u) << r.out;
    const double fed = std::atof(recorded[0].c_str());
    const double decoded = decodedLength(expected);
    EXPECT_GT(decoded, 0.2);
    EXPECT_GE(decoded, fed - c.slack) << "recorded " << fed;
    EXPECT_LE(decoded, fed + 0.2) << "recorded " << fed;

    const CommandResult library = cli("library");
    EXPECT_EQ(library.status, 0) << library.err;
    EXPECT_EQ(library.out, expected + "\n");
    EXPECT_EQ(taggerLog(), (std::vector<std::string>{"/W", expected}));
}

// Ogg forces pages out once a second of audio and M4A cuts fragments of a second; WMA's packets and the
// encoders' look-ahead hold back less. A sine makes Ogg's stream thin: its disk is the smallest.
INSTANTIATE_TEST_SUITE_P(AllFormats, CliFullDisk,
                         ::testing::Values(DiskCase{0, "mp3", 96, 0.5}, DiskCase{1, "ogg", 16, 2.2},
                                           DiskCase{2, "wma", 96, 1.0}, DiskCase{3, "wav", 256, 0.1},
                                           DiskCase{4, "flac", 160, 0.5}, DiskCase{5, "m4a", 96, 2.2}),
                         [](const auto& p) { return std::string(p.param.extension); });

TEST_F(Cli, VoxStartsOneFilePerBurst) {
    cfg.codec.index = 3;
    cfg.vox.enabled = true;
    cfg.vox.action = 2;
    cfg.vox.silence = 1;
    saveSettings();
    Player player(signal(
        {{1.0, false}, {1.5, true}, {2.5, false}, {1.5, true}, {2.5, false}, {1.5, true}, {3.0, false}}));
    const CommandResult r = cli("record --for 11");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto files = linesStartingWith(r.out, "finished: ");
    ASSERT_EQ(files.size(), 3u) << r.out;
    for (const auto& f : files) {
        const double seconds = decodedSeconds(f, m_root + "/ffprobe.err");
        EXPECT_GT(seconds, 1.5) << f << " holds its burst";
        EXPECT_LT(seconds, 4.0) << f << " ends after its silence";
    }
}

TEST_F(Cli, SplitPartsAddUpToTheRecordedTime) {
    cfg.codec.index = 3;
    cfg.splitter.enabled = true;
    cfg.splitter.timelimit = 2;
    saveSettings();
    Player player(signal({{20.0, true}}));
    const CommandResult r = cli("record --for 7");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto files = linesStartingWith(r.out, "finished: ");
    ASSERT_EQ(files.size(), 4u) << r.out;
    const auto recorded = linesStartingWith(r.out, "recorded: ");
    ASSERT_EQ(recorded.size(), 1u);
    double total = 0;
    for (const auto& f : files)
        total += decodedSeconds(f, m_root + "/ffprobe.err");
    EXPECT_NEAR(total, std::atof(recorded[0].c_str()), 0.1);
    EXPECT_EQ(files[0], m_out + "take-001.wav");
    EXPECT_EQ(files[3], m_out + "take-004.wav");
}

TEST_F(Cli, ScheduledEventStartsAndStopsARecording) {
    const double now = dayNumberFromTime(std::time(nullptr));
    const double start = std::ceil(timePart(now) * 86400.0 + 3.0) / 86400.0;
    const double stop = start + 3.0 / 86400.0;
    if (stop >= 1.0)
        GTEST_SKIP() << "too close to midnight";
    cfg.codec.index = 3;
    saveSettings();
    recevent e;
    e.name = "Soon";
    e.Enabled = true;
    e.repeat = 2;
    e.day.fill(true);
    e.starttime = start;
    e.stoptime = stop;
    std::string error;
    ASSERT_TRUE(writeeventsfile(m_home + "/.config/Tarvolt/quimbrel/events.xml", {e}, &error)) << error;
    Player player(signal({{20.0, true}}));
    const CommandResult r = cli("schedule", "timeout --preserve-status -s TERM 12 ");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(linesStartingWith(r.out, "event 1: Record...").empty()) << r.out << r.err;
    EXPECT_FALSE(linesStartingWith(r.out, "event 1: Complete").empty()) << r.out;
    const auto files = linesStartingWith(r.out, "finished: ");
    ASSERT_EQ(files.size(), 1u) << r.out;
    const double seconds = decodedSeconds(files[0], m_root + "/ffprobe.err");
    EXPECT_GT(seconds, 2.0) << r.out;
    EXPECT_LT(seconds, 4.5) << r.out;
}

TEST_F(Cli, AnEventCancelledInAnEarlierRunFiresAgain) {
    const double now = timePart(dayNumberFromTime(std::time(nullptr)));
    if (now < 70.0 / 86400 || now > 1.0 - 700.0 / 86400)
        GTEST_SKIP() << "too close to midnight";
    saveSettings();
    recevent e;
    e.name = "Stopped by hand yesterday";
    e.Enabled = true;
    e.repeat = 2;
    e.day.fill(true);
    e.starttime = now - 60.0 / 86400;
    e.stoptime = now + 600.0 / 86400;
    e.cancelled = true; // as the window stores an event whose recording the user stopped
    std::string error;
    ASSERT_TRUE(writeeventsfile(m_home + "/.config/Tarvolt/quimbrel/events.xml", {e}, &error)) << error;
    Player player(signal({{20.0, true}}));
    const CommandResult r = cli("schedule", "timeout --preserve-status -s TERM 6 ");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(linesStartingWith(r.out, "event 1: Record...").empty()) << r.out << r.err;
    EXPECT_EQ(linesStartingWith(r.out, "finished: ").size(), 1u) << r.out;
}

TEST_F(Cli, FailuresGiveAReasonAndANonZeroStatus) {
    cfg.archive.dir = m_root + "/missing/";
    saveSettings();
    CommandResult r = cli("record --for 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("output folder"), std::string::npos) << r.err;

    EXPECT_EQ(cli("record --for abc").status, 2);
    EXPECT_EQ(cli("frobnicate").status, 2);
    EXPECT_EQ(cli("").status, 2);
    r = cli("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--for SECONDS"), std::string::npos);
}

TEST_F(Cli, DevicesListsTheCatalogueWithTheDefaultMarked) {
    const CommandResult r = cli("devices");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("card 0: "), std::string::npos) << r.out;
    const auto marked = r.out.find("(default)");
    ASSERT_NE(marked, std::string::npos) << r.out;
    const auto lineStart = r.out.rfind('\n', marked);
    EXPECT_NE(r.out.substr(lineStart, marked - lineStart)
                  .find("0:0  Test Speakers  playback  active  48000 Hz 2 ch"),
              std::string::npos)
        << r.out;
}

// What ffprobe says about a file's first audio stream: codec, rate, channels and bit rate.
struct StreamFacts {
    std::string codec;
    int rate = 0;
    int channels = 0;
    long long bitrate = 0;
};

StreamFacts probe(const std::string& file, const std::string& errFile) {
    const CommandResult r = shell("ffprobe -v error -select_streams a:0 -show_entries "
                                  "stream=codec_name,sample_rate,channels:format=bit_rate -of json " +
                                      quote(file),
                                  errFile);
    StreamFacts facts;
    const auto json = nlohmann::json::parse(r.out, nullptr, false);
    if (json.is_discarded() || !json.contains("streams") || json["streams"].empty())
        return facts;
    const auto& s = json["streams"][0];
    facts.codec = s.value("codec_name", "");
    facts.rate = std::atoi(s.value("sample_rate", "0").c_str());
    facts.channels = s.value("channels", 0);
    facts.bitrate = std::atoll(json["format"].value("bit_rate", "0").c_str());
    return facts;
}

struct OverrideCase {
    const char* label;
    int storedCodec;
    int storedRate;
    const char* args; // after "record --for 3 --output OUT/made/here --name clip-NUM"
    const char* extension;
    StreamFacts expected; // bit rate 0: not checked
};

// CTest lists each case with its parameter: print what the case is, not its bytes.
void PrintTo(const OverrideCase& c, std::ostream* os) {
    *os << c.label << " (" << c.args << ")";
}

class CliOverrides : public Cli, public ::testing::WithParamInterface<OverrideCase> {};

// Each option reaches the recording, the missing output folder is made, and the settings file keeps every
// byte: the next plain run records as stored.
TEST_P(CliOverrides, ChangeThisRunOnly) {
    const OverrideCase& c = GetParam();
    cfg.codec.index = c.storedCodec;
    cfg.current.rate = c.storedRate;
    // Stored: a line that hears nothing of the test signal; every case records the default sink.
    cfg.card.index = 0;
    cfg.mixer.line = 1;
    saveSettings();
    const std::string settings = m_home + "/.config/Tarvolt/quimbrel/quimbrel.xml";
    const std::string before = readFile(settings);
    Player player(signal({{20.0, true}}));
    const std::string out = m_root + "/made/here";
    const CommandResult r = cli("record --for 3 --output " + quote(out) + " --name clip-NUM " + c.args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string expected = out + "/clip-001." + c.extension;
    ASSERT_EQ(linesStartingWith(r.out, "finished: "), std::vector<std::string>{expected}) << r.out << r.err;
    const StreamFacts facts = probe(expected, m_root + "/ffprobe.err");
    EXPECT_EQ(facts.codec, c.expected.codec);
    EXPECT_EQ(facts.rate, c.expected.rate);
    EXPECT_EQ(facts.channels, c.expected.channels);
    if (c.expected.bitrate > 0) {
        EXPECT_NEAR(static_cast<double>(facts.bitrate), static_cast<double>(c.expected.bitrate),
                    c.expected.bitrate * 0.1);
    }
    EXPECT_NEAR(decodedFrequency(expected), 440.0, 15.0) << "recorded the line --device named";
    EXPECT_EQ(readFile(settings), before);
    EXPECT_FALSE(fs::exists(settings + ".bad"));

    const CommandResult library = cli("library --json");
    ASSERT_EQ(library.status, 0) << library.err;
    const auto json = nlohmann::json::parse(library.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << library.out;
    ASSERT_EQ(json["recordings"].size(), 1u) << library.out;
    const auto& row = json["recordings"][0];
    EXPECT_EQ(row["path"], expected);
    EXPECT_EQ(row["folder"], out + "/");
    EXPECT_EQ(row["name"], "clip-001." + std::string(c.extension));
    EXPECT_GT(row["bytes"].get<long long>(), 0);
    EXPECT_EQ(row["added"].get<std::string>().size(), 19u) << row["added"];
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliOverrides,
    ::testing::Values(
        OverrideCase{"Mp3MonoLowRate",
                     3,
                     44100,
                     "--format mp3 --bitrate 64 --rate 32000 --channels 1 --device 'Test Speakers'",
                     "mp3",
                     {"mp3", 32000, 1, 64000}},
        // The stored 32000 Hz is not offered for M4A: 44100 stands in.
        OverrideCase{"M4aFromStoredRateItLacks",
                     3,
                     32000,
                     "--format m4a --bitrate 96 --device 0:0",
                     "m4a",
                     {"aac", 44100, 2, 96000}},
        OverrideCase{"FlacByDeviceId",
                     0,
                     44100,
                     "--format FLAC --rate 48000 --device quimbrel_speakers",
                     "flac",
                     {"flac", 48000, 2, 0}},
        OverrideCase{
            "OggStereoToMono", 1, 44100, "--channels 1 --device 0:0", "ogg", {"vorbis", 44100, 1, 0}}),
    [](const auto& p) { return std::string(p.param.label); });

// Bad values: one line on standard error naming the option, status 2, nothing recorded, settings untouched.
TEST_F(Cli, BadValuesAreRefusedInOneLine) {
    cfg.codec.index = 3;
    saveSettings();
    const std::string settings = m_home + "/.config/Tarvolt/quimbrel/quimbrel.xml";
    const std::string before = readFile(settings);
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"record --format aiff", "--format"},
        {"record --format", "needs a value"},
        {"record --bitrate 0", "--bitrate"},
        {"record --bitrate 12k", "--bitrate"},
        {"record --format mp3 --bitrate 100", "--bitrate 100 is not offered"},
        {"record --format wav --bitrate 128", "--bitrate does not apply"},
        {"record --format m4a --rate 32000", "--rate 32000 is not offered"},
        {"record --rate -44100", "--rate"},
        {"record --channels 3", "--channels"},
        {"record --for -1", "--for"},
        {"record --for 1e999", "--for"},
        {"record --name 'a/b'", "--name"},
        {"record --name ''", "--name"},
        {"record --output ''", "--output"},
        {"record --device 7:0", "--device 7:0"},
        {"record --device 0:99", "--device 0:99"},
        {"record --device 'No Such Line'", "--device"},
        {"record --frobnicate", "unknown option '--frobnicate'"},
        {"record extra", "unexpected argument 'extra'"},
        {"devices --json extra", "unexpected argument"},
        {"library --all", "unknown option"},
        {"--verbose", "unknown option"},
        {"frobnicate", "unknown command"},
        {"", "no command"},
    };
    for (const auto& c : cases) {
        const CommandResult r = cli(c.args);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << "\n" << r.err;
        EXPECT_TRUE(linesStartingWith(r.out, "recording: ").empty()) << c.args << "\n" << r.out;
    }
    EXPECT_TRUE(fs::is_empty(m_out));
    EXPECT_EQ(readFile(settings), before);
}

TEST_F(Cli, HelpAndVersion) {
    for (const char* args :
         {"--help", "devices --help", "record --help", "schedule --help", "library --help"}) {
        const CommandResult r = cli(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(r.out.rfind("Usage: quimbrel-cli ", 0), 0u) << args << "\n" << r.out;
    }
    EXPECT_NE(cli("--help").out.find("--device CARD:LINE|NAME"), std::string::npos);
    const CommandResult r = cli("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(std::string("quimbrel-cli ") + QUIMBREL_TEST_VERSION + " (", 0), 0u) << r.out;
}

TEST_F(Cli, CorruptSettingsAreMovedAsideAndNamed) {
    const std::string settings = m_home + "/.config/Tarvolt/quimbrel/quimbrel.xml";
    std::ofstream(settings) << "<quimbrel><codec index=";
    const CommandResult r = cli("library");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(settings + ".bad"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(settings + ".bad"), "<quimbrel><codec index=");
}

TEST_F(Cli, DevicesAsJson) {
    const CommandResult r = cli("devices --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto json = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << r.out;
    ASSERT_GE(json["cards"].size(), 3u) << r.out;
    const auto& speakers = json["cards"][0]["endpoints"][0];
    EXPECT_EQ(json["cards"][0]["name"], "Test Card A");
    EXPECT_EQ(speakers["position"], "0:0");
    EXPECT_EQ(speakers["id"], "quimbrel_speakers");
    EXPECT_EQ(speakers["name"], "Test Speakers");
    EXPECT_EQ(speakers["direction"], "playback");
    EXPECT_EQ(speakers["state"], "active");
    EXPECT_EQ(speakers["rate"], 48000);
    EXPECT_EQ(speakers["channels"], 2);
    EXPECT_EQ(speakers["default"], true);
    int defaults = 0;
    bool capture = false;
    for (const auto& card : json["cards"])
        for (const auto& e : card["endpoints"]) {
            defaults += e["default"].get<bool>();
            capture = capture || (e["direction"] == "capture" && e["id"] == "quimbrel_mic");
        }
    EXPECT_EQ(defaults, 1);
    EXPECT_TRUE(capture) << r.out;
}

} // namespace
} // namespace quimbrel
