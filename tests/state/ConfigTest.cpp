// The settings document: defaults, round trip, read-time corrections, bad documents, atomic saving, and the
// per-user places (music folder, autostart entry, tagger folder).
#include "StateFixture.h"

#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/names.h"
#include "state/recevent.h"

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace quimbrel {
namespace {

using test::exists;
using test::readFile;
using test::writeFile;

// A value other than the default in every setting, with texts that need escaping.
config everySettingChanged() {
    config c;
    c.codec = {5, 3, 2, 7, 1};
    c.autoname = {false, "rec <\"&'> NUM", -12};
    c.card = {3, 2};
    c.archive.dir = "/srv/music with space/Ünïcode \"q\"/";
    c.path.dir = "/opt/quimbrel/";
    c.stayontop.enabled = true;
    c.startup.enabled = true;
    c.minstartup.enabled = true;
    c.runtagger.enabled = false;
    c.display.index = 7;
    c.pauserecord.enabled = true;
    c.hotkeys.enabled = true;
    c.scheduler.enabled = true;
    c.vox = {true, true, 32768, 60, 2, true, 100};
    c.autodelete = {true, 100};
    c.current = {48000, 1};
    c.agc = {true, 5, 42};
    c.mixer = {1, 100, 3};
    c.highpass = {true, 3};
    c.lowpass = {true, 9999};
    c.notch = {true, 555};
    c.splitter = {true, 1};
    c.autostop = {true, 3600};
    c.autoupdates.enabled = false;
    c.position = {-100, 2000};
    c.confirmations.ask = false;
    return c;
}

class Config : public test::TempHome {
protected:
    void SetUp() override { TempHome::SetUp(); }
    // A full document with every element, from the writer itself, with one attribute replaced.
    std::string documentWith(const std::string& from, const std::string& to) {
        config c;
        c.datafolder = dataDir();
        std::string text;
        const std::string path = root() + "full.xml";
        EXPECT_TRUE(writeConfigFile(path, c));
        text = readFile(path);
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        return text;
    }
    RecordingMessagePort port;
};

TEST_F(Config, FirstStartCreatesTheFolderRunsOnDefaultsAndSavesOnlyTheSettings) {
    ASSERT_FALSE(exists(dataDir()));
    config cfg;
    cfg.codec.index = 4;
    EXPECT_TRUE(loadconfig(cfg, port));
    EXPECT_EQ(port.count(), 0u);
    EXPECT_TRUE(exists(dataDir()));
    EXPECT_EQ(cfg.datafolder, dataDir());
    EXPECT_EQ(cfg.codec.index, 0);
    EXPECT_EQ(cfg.autoname.expression, "YY-MM-DD-HH-NN-SS");
    EXPECT_EQ(cfg.archive.dir, home() + "Music/");
    EXPECT_EQ(cfg.path.dir.back(), '/');
    EXPECT_EQ(cfg.taggerpath, cfg.path.dir + "ombrikw");

    cfg.scheduler.numevents = 2;
    ASSERT_TRUE(saveconfig(cfg, port));
    EXPECT_TRUE(exists(dataDir() + "quimbrel.xml"));
    // The event table and the name list belong to the session, which saves them itself.
    EXPECT_FALSE(exists(dataDir() + "events.xml"));
    EXPECT_FALSE(exists(dataDir() + "names.xml"));
    EXPECT_NE(readFile(dataDir() + "quimbrel.xml").find("numevents=\"2\""), std::string::npos);
    cfg.scheduler.numevents = 0; // not read back: events.xml holds the count
    config again;
    EXPECT_TRUE(loadconfig(again, port));
    EXPECT_EQ(again, cfg);
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(Config, EverySettingRoundTrips) {
    const config c = everySettingChanged();
    const std::string path = root() + "quimbrel.xml";
    ASSERT_TRUE(writeConfigFile(path, c));
    config back;
    std::string error;
    ASSERT_TRUE(readConfigFile(path, back, &error)) << error;
    EXPECT_EQ(back, c);
}

// The saved document is part of what stays readable by earlier and later versions: for the same settings it
// comes out byte for byte as the files kept beside this test.
TEST_F(Config, TheSavedDocumentIsByteIdenticalToTheKeptOne) {
    const std::pair<const char*, config> cases[] = {
        {"quimbrel-defaults.xml", config{}},
        {"quimbrel-changed.xml", everySettingChanged()},
    };
    for (const auto& [kept, c] : cases) {
        SCOPED_TRACE(kept);
        const std::string path = root() + kept;
        ASSERT_TRUE(writeConfigFile(path, c));
        EXPECT_EQ(readFile(path), readFile(std::string(QUIMBREL_SOURCE_DIR "/tests/state/data/") + kept));
    }
}

TEST_F(Config, WritesTheElementsInTheirOrder) {
    const std::string path = root() + "quimbrel.xml";
    ASSERT_TRUE(writeConfigFile(path, config{}));
    const std::string text = readFile(path);
    std::size_t last = 0;
    for (const char* e : {"<Config>",
                          "<codec index=\"0\" mode=\"0\" rate=\"1\" bitrate=\"5\" bps=\"0\"",
                          "<autoname enabled=\"1\" expression=\"YY-MM-DD-HH-NN-SS\" number=\"100\"",
                          "<card",
                          "<archive",
                          "<path",
                          "<stayontop",
                          "<startup",
                          "<minstartup",
                          "<runtagger",
                          "<display",
                          "<pauserecord",
                          "<hotkeys",
                          "<scheduler enabled=\"0\" numevents=\"0\"",
                          "<vox enabled=\"0\" cutoff=\"0\" threshold=\"1635\" silence=\"2\" action=\"1\" "
                          "autodelete=\"0\" deletetime=\"1\"",
                          "<autodelete",
                          "<current rate=\"44100\" mode=\"2\"",
                          "<agc",
                          "<mixer",
                          "<highpass",
                          "<lowpass",
                          "<notch",
                          "<splitter",
                          "<autostop",
                          "<autoupdates",
                          "<position x=\"-1\" y=\"-1\"",
                          "<confirmations ask=\"1\""}) {
        const auto at = text.find(e, last);
        ASSERT_NE(at, std::string::npos) << e;
        last = at;
    }
}

TEST_F(Config, ReadTimeCorrections) {
    struct Correction {
        std::string from, to;
        int expected;
        int (*field)(const config&);
    };
    const Correction cases[] = {
        {"record=\"99\"", "record=\"65535\"", 100, [](const config& c) { return c.mixer.record; }},
        {"record=\"99\"", "record=\"90\"", 90, [](const config& c) { return c.mixer.record; }},
        {"<agc enabled=\"0\" mode=\"3\"", "<agc enabled=\"0\" mode=\"300\"", 3,
         [](const config& c) { return c.agc.mode; }},
        {"<agc enabled=\"0\" mode=\"3\"", "<agc enabled=\"0\" mode=\"100\"", 100,
         [](const config& c) { return c.agc.mode; }},
        {"threshold=\"1635\"", "threshold=\"0\"", 1, [](const config& c) { return c.vox.threshold; }},
    };
    for (const Correction& c : cases) {
        SCOPED_TRACE(c.to);
        const std::string path = root() + "c.xml";
        writeFile(path, documentWith(c.from, c.to));
        config cfg;
        cfg.numoffset = 9;
        ASSERT_TRUE(readConfigFile(path, cfg));
        EXPECT_EQ(c.field(cfg), c.expected);
        EXPECT_EQ(cfg.numoffset, 0);
    }
}

TEST_F(Config, FlagsAcceptNumbersAndWordsOnly) {
    struct Case {
        const char* text;
        bool ok;
        bool value;
    };
    const Case cases[] = {
        {"0", true, false},    {"1", true, true},      {"2", true, true},       {"-1", true, true},
        {"TRUE", true, true},  {"fAlSe", true, false}, {"yes", false, false},   {"", false, false},
        {"1.0", false, false}, {" 1", false, false},   {"truex", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = root() + "f.xml";
        writeFile(path, documentWith("<stayontop enabled=\"0\"",
                                     std::string("<stayontop enabled=\"") + c.text + "\""));
        config cfg;
        EXPECT_EQ(readConfigFile(path, cfg), c.ok);
        if (c.ok) {
            EXPECT_EQ(cfg.stayontop.enabled, c.value);
        }
    }
}

TEST_F(Config, MissingElementsAndOptionalAttributesKeepDefaultsAndUnknownOnesAreIgnored) {
    writeFile(root() + "m.xml",
              "<?xml version=\"1.0\"?><Config><codec index=\"2\" mode=\"0\" rate=\"1\" "
              "bitrate=\"5\" bps=\"0\"/><card index=\"1\"/><vox enabled=\"1\" threshold=\"9\" "
              "silence=\"3\" action=\"2\"/><future thing=\"x\"/><codec index=\"3\"/></Config>");
    config cfg;
    std::string error;
    ASSERT_TRUE(readConfigFile(root() + "m.xml", cfg, &error)) << error;
    EXPECT_EQ(cfg.codec.index, 2); // the first element of a name counts
    EXPECT_EQ(cfg.autoname.expression, "YY-MM-DD-HH-NN-SS");
    EXPECT_EQ(cfg.autoname.number, 100);
    EXPECT_EQ(cfg.card.playback, -1);
    EXPECT_TRUE(cfg.runtagger.enabled);
    EXPECT_FALSE(cfg.vox.cutoff);
    EXPECT_EQ(cfg.vox.threshold, 9);
}

TEST_F(Config, FolderWithoutClosingSlashGetsOne) {
    const std::string path = root() + "d.xml";
    writeFile(path, documentWith("<archive dir=\"\"", "<archive dir=\"/srv/rec\""));
    config cfg;
    ASSERT_TRUE(readConfigFile(path, cfg));
    EXPECT_EQ(cfg.archive.dir, "/srv/rec/");
}

TEST_F(Config, UnreadableDocumentsAreReportedMovedAsideAndReplacedByDefaults) {
    const std::string good = documentWith("<codec index=\"0\"", "<codec index=\"3\"");
    const std::pair<const char*, std::string> cases[] = {
        {"codec without bps", documentWith(" bps=\"0\"", "")},
        {"integer out of range", documentWith("index=\"2\"", "index=\"2147483648\"")},
        {"not a number", documentWith("<current rate=\"44100\"", "<current rate=\"44k\"")},
        {"truncated", good.substr(0, good.size() / 2)},
        {"empty", ""},
        {"binary", std::string("\x00\xff\xfe<Config>\x01\x02", 12)},
        {"other root", "<Settings/>"},
        {"malformed", "<Config><codec index=\"1\"></Config>"},
    };
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        port.clear();
        writeFile(dataDir() + "quimbrel.xml.bad", "older");
        writeFile(dataDir() + "quimbrel.xml", text);
        config cfg;
        EXPECT_FALSE(loadconfig(cfg, port));
        ASSERT_EQ(port.count(), 1u);
        const auto entry = port.entries()[0];
        EXPECT_EQ(entry.text, "Error loading settings. Default settings will be restored");
        EXPECT_EQ(entry.icon, MessageIcon::Information);
        EXPECT_EQ(entry.buttons, MessageButtons::Ok);
        EXPECT_FALSE(exists(dataDir() + "quimbrel.xml"));
        EXPECT_EQ(readFile(dataDir() + "quimbrel.xml.bad"), text);
        config defaults;
        defaults.datafolder = dataDir();
        defaultconfig(defaults);
        EXPECT_EQ(cfg, defaults);
    }
}

TEST_F(Config, AFailedSaveKeepsTheOldFileAndIsReported) {
    config cfg;
    ASSERT_TRUE(loadconfig(cfg, port));
    ASSERT_TRUE(saveconfig(cfg, port));
    const std::string before = readFile(dataDir() + "quimbrel.xml");

    // A disk that fills up during the save: every file may grow to 64 bytes only.
    auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    cfg.codec.index = 3;
    const bool saved = saveconfig(cfg, port);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_GE(port.count(), 1u);
    EXPECT_EQ(readFile(dataDir() + "quimbrel.xml"), before);
    for (const auto& entry : std::filesystem::directory_iterator(dataDir()))
        EXPECT_EQ(entry.path().filename().string().find(".xml."), std::string::npos) << entry.path();
}

TEST_F(Config, MusicFolderFromUserDirs) {
    EXPECT_EQ(musicFolder(), home() + "Music/");
    writeFile(configDir() + "user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                              "XDG_MUSIC_DIR=\"$HOME/Muziek mijn\"\n");
    EXPECT_EQ(musicFolder(), home() + "Muziek mijn/");
    writeFile(configDir() + "user-dirs.dirs", "XDG_MUSIC_DIR=\"/data/audio\"\n");
    EXPECT_EQ(musicFolder(), "/data/audio/");
    writeFile(configDir() + "user-dirs.dirs", "XDG_MUSIC_DIR=\"$HOME/\"\n"); // switched off
    EXPECT_EQ(musicFolder(), home() + "Music/");
}

TEST_F(Config, RunAtLogonIsTheAutostartEntry) {
    EXPECT_FALSE(getrunatlogon());
    ASSERT_TRUE(setrunatlogon(true));
    EXPECT_TRUE(getrunatlogon());
    const std::string entry = readFile(configDir() + "autostart/quimbrel.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]"), std::string::npos);
    EXPECT_NE(entry.find("Exec=" + programPath()), std::string::npos);
    ASSERT_TRUE(setrunatlogon(false));
    EXPECT_FALSE(getrunatlogon());
    EXPECT_TRUE(setrunatlogon(false));

    writeFile(configDir() + "autostart/quimbrel.desktop", "[Desktop Entry]\nExec=\n");
    EXPECT_FALSE(getrunatlogon());
}

TEST_F(Config, TaggerFolderFromItsSettings) {
    EXPECT_EQ(taggerfolder(), "");
    EXPECT_EQ(taggerprogram(), programFolder() + "ombrikw");
    writeFile(configDir() + "Selvane/Ombrik.conf",
              "[General]\nPath=/wrong\n[Settings]\nPath = /opt/ombrik \n");
    EXPECT_EQ(taggerfolder(), "/opt/ombrik/");
    EXPECT_EQ(taggerprogram(), "/opt/ombrik/ombrikw");
    config cfg;
    defaultconfig(cfg);
    EXPECT_EQ(cfg.taggerpath, "/opt/ombrik/ombrikw");
}

} // namespace
} // namespace quimbrel
