// The Debian package: built from this build tree, unpacked into a scratch root, its programs run from there
// and its files checked by the validators Debian ships.
#include "../support/CommandText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

using quimbrel::testsupport::CommandResult;
using quimbrel::testsupport::quote;
using quimbrel::testsupport::readFile;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string tmpl = (fs::temp_directory_path() / "package-test-XXXXXX").string();
        s_scratch = mkdtemp(tmpl.data());
        s_root = s_scratch + "/root";
        const CommandResult built = run(std::string(quote(QUIMBREL_CPACK)) + " --config " +
                                        quote(QUIMBREL_CPACK_CONFIG) + " -B " + quote(s_scratch + "/deb"));
        s_buildLog = built.out + built.err;
        for (const auto& entry : fs::directory_iterator(s_scratch + "/deb"))
            if (entry.path().extension() == ".deb")
                s_deb = entry.path().string();
        if (!s_deb.empty())
            run("dpkg -x " + quote(s_deb) + " " + quote(s_root));
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        if (!s_scratch.empty())
            fs::remove_all(s_scratch, ec);
    }
    void SetUp() override {
        ASSERT_FALSE(s_deb.empty()) << "cpack made no package:\n" << s_buildLog;
        ASSERT_TRUE(fs::is_directory(s_root + "/usr/bin")) << s_deb;
    }

    // Runs a shell command line of this test's own making.
    static CommandResult run(const std::string& command) {
        const std::string errFile = s_scratch + "/stderr";
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
    // Runs an installed program with a home of its own.
    static CommandResult installed(const std::string& program, const std::string& args,
                                   const std::string& env = {}) {
        const std::string home = s_scratch + "/home";
        fs::create_directories(home);
        return run("env " + env + " HOME=" + quote(home) + " XDG_CONFIG_HOME=" + quote(home + "/.config") +
                   " " + quote(s_root + "/usr/bin/" + program) + " " + args);
    }

    static inline std::string s_scratch, s_root, s_deb, s_buildLog;
};

TEST_F(Package, InstallsTheLayoutAndFindsItsPrivateLibraries) {
    const std::string id = QUIMBREL_APPSTREAM_ID;
    const std::vector<std::string> paths = {"usr/bin/quimbrel",
                                            "usr/bin/quimbrel-cli",
                                            "usr/bin/ombrikw",
                                            "usr/lib/quimbrel/libfenwave.so.1",
                                            "usr/lib/quimbrel/libmorvel.so.1",
                                            "usr/share/quimbrel/pellow.html",
                                            "usr/share/quimbrel/IstokFont.ttf",
                                            "usr/share/applications/quimbrel.desktop",
                                            "usr/share/icons/hicolor/scalable/apps/quimbrel.svg",
                                            "usr/share/metainfo/" + id + ".metainfo.xml",
                                            "usr/share/man/man1/quimbrel.1.gz",
                                            "usr/share/man/man1/quimbrel-cli.1.gz",
                                            "usr/share/man/man1/ombrikw.1.gz",
                                            "usr/lib/systemd/user/quimbrel-schedule.service",
                                            "usr/share/doc/quimbrel/copyright",
                                            "usr/share/doc/quimbrel/changelog.gz"};
    for (const std::string& path : paths)
        EXPECT_TRUE(fs::exists(fs::symlink_status(s_root + "/" + path))) << path;
    // A private library: no headers, no development link.
    EXPECT_FALSE(fs::exists(s_root + "/usr/include"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(s_root + "/usr/lib/quimbrel/libfenwave.so")));
    // The icon font is the system's copy, not a second one.
    EXPECT_TRUE(fs::is_symlink(s_root + "/usr/share/quimbrel/IstokFont.ttf"));

    // The installed programs load the installed libraries, not the build tree's.
    const CommandResult ldd = run("ldd " + quote(s_root + "/usr/bin/quimbrel-cli"));
    EXPECT_TRUE(contains(ldd.out, s_root + "/usr/bin/../lib/quimbrel/libfenwave.so.1")) << ldd.out;

    const std::string unit = readFile(s_root + "/usr/lib/systemd/user/quimbrel-schedule.service");
    EXPECT_TRUE(contains(unit, "ExecStart=/usr/bin/quimbrel-cli schedule\n")) << unit;
    // Installed, not enabled: no maintainer script of the package enables it.
    const CommandResult scripts =
        run("dpkg-deb --ctrl-tarfile " + quote(s_deb) + " | tar -xOf - --wildcards './post*' './pre*'");
    EXPECT_FALSE(contains(scripts.out, "systemctl")) << scripts.out;
    EXPECT_FALSE(contains(scripts.out, "quimbrel-schedule")) << scripts.out;

    const CommandResult depends = run("dpkg-deb -f " + quote(s_deb) + " Depends");
    for (const char* package : {"libc6", "libqt6widgets6", "libpulse0", "libmp3lame0", "libtag1v5",
                                "fonts-font-awesome", "libvorbisenc2", "libflac12", "libcurl4"})
        EXPECT_TRUE(contains(depends.out, package)) << package << " missing from: " << depends.out;
}

TEST_F(Package, ValidatorsAcceptItsFiles) {
    CommandResult r =
        run("desktop-file-validate " + quote(s_root + "/usr/share/applications/quimbrel.desktop"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out + r.err, "");

    r = run("appstreamcli validate --no-net " +
            quote(s_root + "/usr/share/metainfo/" + QUIMBREL_APPSTREAM_ID + ".metainfo.xml"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;

    for (const char* page : {"quimbrel", "quimbrel-cli", "ombrikw"}) {
        r = run("zcat " + quote(s_root + "/usr/share/man/man1/" + page + ".1.gz") +
                " | groff -man -Tutf8 -ww -z");
        EXPECT_EQ(r.status, 0) << page;
        EXPECT_EQ(r.err, "") << page;
    }

    // Lintian's errors: none. Its warnings are advice and stay out of the verdict.
    r = run("lintian --no-tag-display-limit " + quote(s_deb));
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(line.rfind("E: ", 0), 0u) << line;
}

TEST_F(Package, InstalledProgramsRun) {
    CommandResult r = installed("quimbrel-cli", "--version");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(std::string("quimbrel-cli ") + QUIMBREL_TEST_VERSION + " (", 0), 0u) << r.out;

    r = installed("ombrikw", "--help");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Usage: ombrikw", 0), 0u) << r.out;
    r = installed("ombrikw", "--version");
    EXPECT_EQ(r.out.rfind(std::string("ombrikw ") + QUIMBREL_TEST_VERSION + " (", 0), 0u) << r.out;

    r = installed("quimbrel", "--version", "QT_QPA_PLATFORM=offscreen");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(std::string("quimbrel ") + QUIMBREL_TEST_VERSION + " (", 0), 0u) << r.out;

    // Without any display the window program says so in one line and points to quimbrel-cli.
    r = installed("quimbrel", "", "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(contains(r.err, "quimbrel-cli")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(Package, InstalledRecorderRecords) {
    if (!std::getenv("QUIMBREL_TEST_PULSE"))
        GTEST_SKIP() << "needs the private PulseAudio daemon (scripts/with-services)";
    CommandResult r = installed("quimbrel-cli", "devices");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "card 0: ")) << r.out;

    const std::string out = s_scratch + "/recordings/new";
    r = installed("quimbrel-cli", "record --for 3 --format flac --name take --output " + quote(out));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string file = out + "/take.flac";
    ASSERT_TRUE(contains(r.out, "finished: " + file)) << r.out;
    r = run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quote(file));
    EXPECT_NEAR(std::atof(r.out.c_str()), 3.0, 0.3) << r.out << r.err;
}

} // namespace
