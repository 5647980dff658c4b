// Scheduled events: the events.xml round trip for the three repeat kinds, missing and bad entries, the
// table's growth past 100 entries, and dates that ignore the user's date format.
#include "StateFixture.h"

#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"

namespace quimbrel {
namespace {

using test::readFile;
using test::writeFile;

recevent daily() {
    recevent e;
    e.name = "Daily news";
    e.starttime = makeTimeOfDay(22, 0, 0);
    e.stoptime = makeTimeOfDay(22, 30, 0);
    e.startdate = makeDayNumber(2024, 3, 1);
    e.stopdate = makeDayNumber(2024, 3, 2); // only the date of a repeating event is kept
    e.repeat = 2;
    e.day.fill(true);
    e.day[0] = false;
    e.Appname = "xdg-open";
    e.URL = "https://example.invalid/?a=1&b=\"2\"";
    e.Task = true;
    e.Enabled = true;
    return e;
}

recevent fixedOverMidnight() {
    recevent e;
    e.name = "Christmas <night> & 'more'";
    e.starttime = makeTimeOfDay(23, 30, 0);
    e.stoptime = makeTimeOfDay(0, 15, 0);
    e.startdate = makeDayNumber(2023, 12, 24, 23, 30);
    e.stopdate = makeDayNumber(2023, 12, 25, 0, 15);
    e.repeat = 1;
    e.nextday = true;
    e.filename = e.name;
    e.Appname = "/usr/bin/some player";
    e.Enabled = true;
    return e;
}

recevent mondayFriday() {
    recevent e;
    e.name = "\xc3\x9c"
             "bung\nzwei";
    e.starttime = makeTimeOfDay(7, 5, 9);
    e.stoptime = makeTimeOfDay(8, 0, 0);
    e.startdate = makeDayNumber(2024, 1, 1);
    e.stopdate = makeDayNumber(2024, 1, 1);
    e.repeat = 0;
    e.day[1] = true;
    e.day[5] = true;
    e.cancelled = true;
    e.Enabled = false;
    return e;
}

class Events : public test::TempHome {
protected:
    std::string path() const { return root() + "events.xml"; }
    RecordingMessagePort port;
    config cfg;
};

TEST_F(Events, ThreeRepeatKindsRoundTrip) {
    const eventtable table = {daily(), fixedOverMidnight(), mondayFriday()};
    ASSERT_TRUE(writeeventsfile(path(), table));
    const std::string text = readFile(path());
    EXPECT_NE(text.find("<events number=\"3\""), std::string::npos);
    // The daily event carries no weekday attributes.
    const std::string first = text.substr(text.find("<event1"), text.find("<event2") - text.find("<event1"));
    EXPECT_EQ(first.find("day1"), std::string::npos);
    EXPECT_NE(first.find("starttime=\"22:00:00\" stoptime=\"22:30:00\""), std::string::npos);
    // The fixed date is split into day-first dates and times.
    EXPECT_NE(text.find("starttime=\"23:30:00\" stoptime=\"00:15:00\" startdate=\"24-12-23\" "
                        "stopdate=\"25-12-23\" repeat=\"1\""),
              std::string::npos);
    EXPECT_NE(
        text.find("repeat=\"0\" day1=\"true\" day2=\"false\" day3=\"false\" day4=\"false\" day5=\"true\" "
                  "day6=\"false\" day7=\"false\" cancelled=\"1\""),
        std::string::npos);

    eventtable back = {recevent{}};
    cfg.scheduler.numevents = 99;
    ASSERT_TRUE(readeventsfile(path(), back, cfg, port));
    EXPECT_EQ(port.count(), 0u);
    EXPECT_EQ(cfg.scheduler.numevents, 3);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], table[0]);
    EXPECT_EQ(back[1], table[1]);
    EXPECT_DOUBLE_EQ(back[1].startdate, makeDayNumber(2023, 12, 24, 23, 30));
    EXPECT_DOUBLE_EQ(back[1].stopdate, makeDayNumber(2023, 12, 25, 0, 15));
    EXPECT_EQ(back[2], table[2]);
}

TEST_F(Events, MissingElementGivesABlankDisabledEntry) {
    eventtable table = {daily(), fixedOverMidnight(), mondayFriday()};
    ASSERT_TRUE(writeeventsfile(path(), table));
    std::string text = readFile(path());
    const auto from = text.find("<event2");
    text.erase(from, text.find("<event3") - from);
    writeFile(path(), text);

    eventtable back;
    ASSERT_TRUE(readeventsfile(path(), back, cfg, port));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], table[0]);
    EXPECT_EQ(back[1], recevent{});
    EXPECT_FALSE(back[1].Enabled);
    EXPECT_EQ(back[2], table[2]);
}

TEST_F(Events, OptionalAttributesDefault) {
    writeFile(path(), "<Scheduler><events number=\"1\"/><event1 name=\"n\" starttime=\"10:00:00\" "
                      "stoptime=\"11:00:00\" startdate=\"01-02-24\" stopdate=\"01-02-24\" repeat=\"7\" "
                      "cancelled=\"TRUE\" nextday=\"0\" filename=\"\" URL=\"\"/></Scheduler>");
    eventtable back;
    ASSERT_TRUE(readeventsfile(path(), back, cfg, port));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Appname, defaultbrowser());
    EXPECT_FALSE(back[0].Task);
    EXPECT_TRUE(back[0].Enabled);
    EXPECT_TRUE(back[0].cancelled);
    // An unknown repeat kind has no weekdays, and its dates stay dates.
    EXPECT_EQ(back[0].day, (std::array<bool, 8>{}));
    EXPECT_DOUBLE_EQ(back[0].startdate, makeDayNumber(2024, 2, 1));
}

TEST_F(Events, MissingFileEmptiesTheTableSilently) {
    eventtable table = {daily()};
    cfg.scheduler.numevents = 1;
    EXPECT_TRUE(readeventsfile(path(), table, cfg, port));
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(cfg.scheduler.numevents, 0);
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(Events, UnreadableFilesKeepWhatWasReadAndAreReported) {
    ASSERT_TRUE(writeeventsfile(path(), {daily(), fixedOverMidnight(), mondayFriday()}));
    const std::string good = readFile(path());
    auto without = [&](const std::string& event, const std::string& attribute) {
        std::string t = good;
        const auto at = t.find(attribute, t.find("<" + event));
        t.erase(at, attribute.size());
        return t;
    };
    struct Case {
        const char* what;
        std::string text;
        std::size_t size; // the table's size afterwards
        std::size_t read; // entries read as stored before the fault
    };
    const Case cases[] = {
        {"second lacks a required attribute", without("event2", "startdate=\"24-12-23\""), 3, 1},
        {"weekday event lacks day3", without("event3", "day3=\"false\""), 3, 2},
        {"bad time", without("event1", "starttime=\"22:00:00\""), 3, 0},
        {"bad date",
         [&] {
             std::string t = good;
             t.replace(t.find("24-12-23"), 8, "31-02-23");
             return t;
         }(),
         3, 1},
        {"bad flag",
         [&] {
             std::string t = good;
             t.replace(t.find("nextday=\"1\""), 11, "nextday=\"y\"");
             return t;
         }(),
         3, 1},
        {"no events element", "<Scheduler><event1 name=\"x\"/></Scheduler>", 0, 0},
        {"negative count", "<Scheduler><events number=\"-1\"/></Scheduler>", 0, 0},
        {"absurd count", "<Scheduler><events number=\"2000000000\"/></Scheduler>", 0, 0},
        {"other root", "<Config/>", 0, 0},
        {"truncated", good.substr(0, good.size() * 2 / 3), 0, 0},
        {"binary", std::string("\0\x01\x02\x03<Scheduler>", 15), 0, 0},
    };
    const eventtable stored = {daily(), fixedOverMidnight(), mondayFriday()};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port.clear();
        writeFile(path(), c.text);
        eventtable back;
        EXPECT_FALSE(readeventsfile(path(), back, cfg, port));
        ASSERT_EQ(back.size(), c.size);
        EXPECT_EQ(cfg.scheduler.numevents, static_cast<int>(c.size));
        for (std::size_t i = 0; i < back.size(); ++i)
            EXPECT_EQ(back[i], i < c.read ? stored[i] : recevent{}) << "entry " << i + 1;
        ASSERT_EQ(port.count(), 1u);
        EXPECT_EQ(port.entries()[0].text, "Can't Load Scheduler Data");
        EXPECT_EQ(port.entries()[0].icon, MessageIcon::Information);
    }
}

TEST_F(Events, TheTableGrowsPastOneHundredEntries) {
    eventtable table;
    for (int i = 0; i < 150; ++i) {
        recevent e = mondayFriday();
        e.name = "event " + std::to_string(i + 1);
        table.push_back(e);
    }
    ASSERT_TRUE(writeeventsfile(path(), table));
    eventtable back;
    ASSERT_TRUE(readeventsfile(path(), back, cfg, port));
    EXPECT_EQ(cfg.scheduler.numevents, 150);
    EXPECT_EQ(back, table);
}

TEST_F(Events, DatesStayDayFirstUnderAMonthFirstLocale) {
    test::ScopedLocale us("en_US", "UTF-8");
    if (!us.ok())
        GTEST_SKIP() << "no month-first locale";
    ASSERT_TRUE(writeeventsfile(path(), {fixedOverMidnight()}));
    EXPECT_NE(readFile(path()).find("startdate=\"24-12-23\" stopdate=\"25-12-23\""), std::string::npos);
    eventtable back;
    ASSERT_TRUE(readeventsfile(path(), back, cfg, port));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], fixedOverMidnight());
}

} // namespace
} // namespace quimbrel
