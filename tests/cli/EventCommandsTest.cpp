// quimbrel-cli's event commands: a schedule built, listed, edited, switched and deleted through events.xml,
// and the command lines they refuse.
#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"

#include "../support/CommandText.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace quimbrel {
namespace {

namespace fs = std::filesystem;

using Result = testsupport::CommandResult;
using testsupport::quote;
using testsupport::readFile;

class EventCommands : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "cli-events-XXXXXX").string();
        m_root = mkdtemp(tmpl.data());
        setenv("XDG_CONFIG_HOME", m_root.c_str(), 1);
        m_data = m_root / "Tarvolt" / "quimbrel";
    }
    void TearDown() override { fs::remove_all(m_root); }

    Result cli(const std::vector<std::string>& args) {
        std::string command = quote(QUIMBREL_CLI);
        for (const std::string& a : args)
            command += " " + quote(a);
        const fs::path errFile = m_root / "stderr";
        Result r;
        FILE* p = popen((command + " 2>" + quote(errFile.string())).c_str(), "r");
        if (!p)
            return r;
        std::array<char, 4096> buf;
        for (std::size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;)
            r.out.append(buf.data(), n);
        const int status = pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = readFile(errFile);
        return r;
    }

    eventtable stored() {
        RecordingMessagePort port;
        config cfg;
        eventtable table;
        EXPECT_TRUE(readeventsfile((m_data / "events.xml").string(), table, cfg, port));
        return table;
    }

    fs::path m_root;
    fs::path m_data;
};

TEST_F(EventCommands, AddListEditSwitchAndDeleteRoundTripThroughEventsXml) {
    EXPECT_EQ(cli({"events"}).out, "") << "no schedule yet";
    ASSERT_EQ(cli({"event", "add", "--name", "Morning news", "--start", "7:00", "--stop", "07:30:15",
                   "--days", "mon,Fri"})
                  .status,
              0);
    ASSERT_EQ(cli({"event", "add", "--name=../Late", "--start=23:30", "--stop=00:15", "--date=2026-12-24",
                   "--same-name", "--task", "xdg-open", "--task-args", "http://127.0.0.1/", "--disabled"})
                  .status,
              0);
    ASSERT_EQ(
        cli({"event", "add", "--name", "Every day", "--start", "12:00", "--stop", "13:00", "--daily"}).status,
        0);
    EXPECT_EQ(cli({"events"}).out,
              "1\ton\tMorning news\t07:00:00\t07:30:15\tMon,Fri\tAuto-Name\t-\n"
              "2\toff\t../Late\t23:30:00\t00:15:00\t2026-12-24\t../Late\txdg-open \"http://127.0.0.1/\"\n"
              "3\ton\tEvery day\t12:00:00\t13:00:00\tDaily\tAuto-Name\t-\n");

    eventtable t = stored();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_TRUE(t[0].day[1] && t[0].day[5] && !t[0].day[2]);
    EXPECT_TRUE(t[1].nextday);
    EXPECT_NEAR(t[1].startdate, makeDayNumber(2026, 12, 24, 23, 30), 1e-9);
    EXPECT_NEAR(t[1].stopdate, makeDayNumber(2026, 12, 25, 0, 15), 1e-9);
    EXPECT_TRUE(t[1].Task);

    // Only the options given change; editing keeps Enabled unless told otherwise.
    ASSERT_EQ(cli({"event", "edit", "1", "--stop", "08:00", "--same-name"}).status, 0);
    ASSERT_EQ(cli({"event", "edit", "2", "--no-task", "--auto-name", "--daily"}).status, 0);
    ASSERT_EQ(cli({"event", "enable", "2"}).status, 0);
    ASSERT_EQ(cli({"event", "disable", "3"}).status, 0);
    t = stored();
    EXPECT_EQ(t[0].name, "Morning news");
    EXPECT_EQ(formatTime(t[0].stoptime), "08:00:00");
    EXPECT_EQ(formatTime(t[0].starttime), "07:00:00");
    EXPECT_EQ(t[0].filename, "Morning news");
    EXPECT_TRUE(t[0].Enabled);
    EXPECT_EQ(t[1].repeat, 2);
    EXPECT_FALSE(t[1].Task);
    EXPECT_EQ(t[1].filename, "");
    EXPECT_TRUE(t[1].Enabled);
    EXPECT_FALSE(t[2].Enabled);

    ASSERT_EQ(cli({"event", "delete", "1"}).status, 0);
    t = stored();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].name, "../Late");
    EXPECT_EQ(t[1].name, "Every day");

    std::vector<std::string> files;
    for (const auto& f : fs::directory_iterator(m_data))
        files.push_back(f.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"events.xml"}) << "the event commands write events.xml only";
}

TEST_F(EventCommands, RefusalsExitWithStatus2AndTheEditorsMessages) {
    ASSERT_EQ(cli({"event", "add", "--name", "One", "--start", "1:00", "--stop", "2:00", "--daily"}).status,
              0);
    const std::string before = readFile(m_data / "events.xml");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"event", "add", "--start", "1:00", "--stop", "2:00", "--daily"}, "Please enter event name."},
        {{"event", "add", "--name", "", "--daily"}, "Please enter event name."},
        {{"event", "add", "--name", "X", "--start", "1:00", "--stop", "2:00"},
         "Please select at least one day of week."},
        {{"event", "edit", "1", "--days", "mon", "--name", ""}, "Please enter event name."},
        {{"event", "add", "--name", "X", "--start", "24:00", "--daily"}, "--start needs a time"},
        {{"event", "add", "--name", "X", "--stop", "1:60", "--daily"}, "--stop needs a time"},
        {{"event", "add", "--name", "X", "--date", "2026-02-30"}, "--date needs a date"},
        {{"event", "add", "--name", "X", "--days", "mon,funday"}, "--days needs weekdays"},
        {{"event", "add", "--name", "X", "--daily", "--days", "mon"},
         "only one of --days, --date and --daily"},
        {{"event", "add", "--name"}, "--name needs a value"},
        {{"event", "edit", "2", "--daily"}, "there is no event '2'"},
        {{"event", "delete", "0"}, "there is no event '0'"},
        {{"event", "enable", "1x"}, "there is no event '1x'"},
        {{"event", "disable"}, "needs an event number"},
        {{"event", "delete", "1", "2"}, "unexpected argument '2'"},
        {{"event", "rename", "1"}, "unknown event command 'rename'"},
        {{"events", "all"}, "unexpected argument 'all'"},
    };
    for (const Case& c : cases) {
        const Result r = cli(c.args);
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        EXPECT_EQ(r.status, 2) << line;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << line << "\n" << r.err;
    }
    EXPECT_EQ(readFile(m_data / "events.xml"), before) << "a refused command changes nothing";
}

TEST_F(EventCommands, AnUnreadableScheduleIsNotWrittenOver) {
    fs::create_directories(m_data);
    const std::string broken = "<Scheduler><events number=\"2\"/><event1 name=\"half\"/></Scheduler>";
    std::ofstream(m_data / "events.xml") << broken;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"events"},
                                                 {"event", "add", "--name", "X", "--daily"},
                                                 {"event", "delete", "1"}}) {
        const Result r = cli(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("Can't Load Scheduler Data"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(m_data / "events.xml"), broken);
}

} // namespace
} // namespace quimbrel
