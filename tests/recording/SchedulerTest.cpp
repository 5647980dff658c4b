// The scheduler runtime on a manual clock: windows on weekdays, across midnight and on fixed dates, several
// events in one pass, manual stops, and the program an event launches.
#include "RecorderHarness.h"

#include <gtest/gtest.h>

#include <csignal>

namespace quimbrel::testing {
namespace {

recevent weekly(const std::string& name, int h1, int m1, int h2, int m2, std::initializer_list<int> days) {
    recevent e;
    e.name = name;
    e.Enabled = true;
    e.repeat = 0;
    for (int d : days)
        e.day[static_cast<std::size_t>(d)] = true;
    e.starttime = makeTimeOfDay(h1, m1, 0);
    e.stoptime = makeTimeOfDay(h2, m2, 0);
    e.nextday = e.stoptime < e.starttime;
    return e;
}

class SchedulerHarness : public Harness {
public:
    explicit SchedulerHarness(double start = monday(21, 0)) : Harness(start) { cfg.scheduler.enabled = true; }
    void add(const recevent& e) {
        events.push_back(e);
        cfg.scheduler.numevents = static_cast<int>(events.size());
    }
};

constexpr double kBlock = 0.025 / 86400;

TEST(Scheduler, WeekdayWindowOpensAfterItsStartAndClosesAfterItsStop) {
    SchedulerHarness h;
    h.add(weekly("News", 22, 0, 22, 30, {1}));
    h.at(monday(22, 0));
    EXPECT_FALSE(h.st().schedule.scheduledrecording) << "nothing fires at the start moment itself";
    h.at(monday(22, 0) + kBlock);
    EXPECT_TRUE(h.st().schedule.scheduledrecording);
    EXPECT_EQ(h.st().schedule.currentevent, 1);
    EXPECT_EQ(h.view.scheduleStatus[0], "Record...");
    EXPECT_EQ(h.view.selectedRow, 0);
    EXPECT_NEAR(h.events[0].stopdate, monday(22, 30), 1e-9);
    ASSERT_EQ(h.log.created.size(), 1u);
    EXPECT_EQ(h.log.created[0], h.file("take100.mp3"));

    h.at(monday(22, 30) - kBlock, 0.1f);
    EXPECT_TRUE(h.st().writing);
    h.at(monday(22, 30) + kBlock, 0.1f);
    EXPECT_FALSE(h.st().schedule.scheduledrecording);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.scheduleStatus[0], "Complete");
    EXPECT_FALSE(h.events[0].cancelled);
    EXPECT_EQ(h.finished.size(), 1u);
    h.at(monday(22, 31));
    EXPECT_FALSE(h.st().schedule.scheduledrecording) << "once per window";

    SchedulerHarness tuesday(monday(22, 0) + 1.0 + kBlock);
    tuesday.add(weekly("News", 22, 0, 22, 30, {1}));
    tuesday.blockAt(0.0f);
    EXPECT_FALSE(tuesday.st().schedule.scheduledrecording) << "not on a day without its flag";
}

TEST(Scheduler, DailyWindowAcrossMidnight) {
    SchedulerHarness h(monday(23, 0));
    h.add(weekly("Late", 23, 30, 0, 15, {1, 2, 3, 4, 5, 6, 7}));
    h.events[0].repeat = 2;
    h.at(monday(23, 30) + kBlock);
    ASSERT_TRUE(h.st().schedule.scheduledrecording);
    EXPECT_NEAR(h.events[0].stopdate, monday(0, 15) + 1.0, 1e-9);
    h.at(monday(0, 14) + 1.0);
    EXPECT_TRUE(h.st().writing);
    h.at(monday(0, 15) + 1.0 + kBlock);
    EXPECT_FALSE(h.st().schedule.scheduledrecording);
    EXPECT_EQ(h.view.scheduleStatus[0], "Complete");
    h.at(monday(0, 20) + 1.0);
    EXPECT_FALSE(h.st().schedule.scheduledrecording) << "after midnight the window is not open again";
    EXPECT_EQ(h.log.created.size(), 1u);
}

TEST(Scheduler, FixedDateIncludesItsStopMoment) {
    for (const auto& [offsetSeconds, fires] : {std::pair{0.0, true}, std::pair{60.0, false}}) {
        SchedulerHarness h;
        recevent e = weekly("Once", 10, 0, 11, 0, {});
        e.repeat = 1;
        e.startdate = monday(10, 0);
        e.stopdate = monday(11, 0);
        h.add(e);
        h.at(h.events[0].stopdate + offsetSeconds / 86400);
        EXPECT_EQ(h.view.scheduleStatus.count(0) > 0, fires) << offsetSeconds;
    }
}

TEST(Scheduler, TwoEventsInOnePassBothFireAndTheLaterOneRules) {
    SchedulerHarness h;
    h.add(weekly("First", 22, 0, 22, 30, {1}));
    h.add(weekly("Second", 22, 0, 22, 45, {1}));
    h.at(monday(22, 0) + kBlock);
    EXPECT_EQ(h.view.scheduleStatus[0], "Record...");
    EXPECT_EQ(h.view.scheduleStatus[1], "Record...");
    EXPECT_EQ(h.st().schedule.currentevent, 2);
    EXPECT_EQ(h.log.created.size(), 1u) << "only the first started a recording";
    h.at(monday(22, 30) + kBlock, 0.1f);
    EXPECT_TRUE(h.st().writing);
    h.at(monday(22, 45) + kBlock, 0.1f);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.scheduleStatus[0], "Record...");
    EXPECT_EQ(h.view.scheduleStatus[1], "Complete");
}

TEST(Scheduler, ManualStopCancelsTheEventUntilItIsReset) {
    SchedulerHarness h;
    h.add(weekly("News", 22, 0, 22, 30, {1, 2}));
    h.at(monday(22, 0) + kBlock);
    h.rec->StopClick();
    EXPECT_EQ(h.view.scheduleStatus[0], "Canceled");
    EXPECT_TRUE(h.events[0].cancelled);
    EXPECT_FALSE(h.st().schedule.scheduledrecording);
    h.block(0.1f);
    EXPECT_FALSE(h.st().writing);
    h.at(monday(22, 1));
    h.at(monday(22, 0) + 1.0 + kBlock);
    EXPECT_FALSE(h.st().schedule.scheduledrecording) << "not even on a later day";
    EXPECT_EQ(h.log.created.size(), 1u);
}

TEST(Scheduler, FiringDuringAManualRecordingStopsItAtTheEnd) {
    SchedulerHarness h(monday(21, 59));
    h.add(weekly("News", 22, 0, 22, 30, {1}));
    h.rec->StartClick();
    h.at(monday(22, 0) + kBlock, 0.1f);
    EXPECT_TRUE(h.st().schedule.scheduledrecording);
    EXPECT_EQ(h.view.scheduleStatus[0], "Record...");
    EXPECT_EQ(h.log.created.size(), 1u) << "no second recording";
    h.at(monday(22, 30) + kBlock, 0.1f);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.scheduleStatus[0], "Complete");
}

TEST(Scheduler, EventFileNameNamesTheRecording) {
    SchedulerHarness h;
    recevent e = weekly("Show", 22, 0, 22, 30, {1});
    e.filename = "Show";
    h.add(e);
    h.at(monday(22, 0) + kBlock);
    ASSERT_EQ(h.log.created.size(), 1u);
    EXPECT_EQ(h.log.created[0], h.file("Show.mp3"));
}

TEST(Scheduler, SwitchedOffItNeitherFiresNorStops) {
    SchedulerHarness h;
    h.add(weekly("News", 22, 0, 22, 30, {1}));
    h.at(monday(22, 0) + kBlock);
    ASSERT_TRUE(h.st().schedule.scheduledrecording);
    h.cfg.scheduler.enabled = false;
    h.at(monday(22, 31), 0.1f);
    EXPECT_TRUE(h.st().writing);
}

TEST(Scheduler, TaskLaunchErrorsAreShownAndTheRecordingStillStarts) {
    struct Case {
        std::string app, url, message;
    };
    const Case cases[] = {
        {"", "", "Scheduler error: Application not specified"},
        {"", "http://example.invalid/", "Scheduler error: No such file or directory"},
        {"no-such-program-here", "", "Scheduler error: No such file or directory"},
        {"prog 'unclosed", "", "Scheduler error: Invalid argument"},
    };
    for (const Case& c : cases) {
        SchedulerHarness h;
        recevent e = weekly("Task", 22, 0, 22, 30, {1});
        e.Task = true;
        e.Appname = c.app;
        e.URL = c.url;
        h.add(e);
        h.at(monday(22, 0) + kBlock);
        ASSERT_EQ(h.messages.count(), 1u) << c.app << "|" << c.url;
        EXPECT_EQ(h.messages.entries()[0].text, c.message);
        EXPECT_EQ(h.log.created.size(), 1u);
    }
}

TEST(Scheduler, TaskProgramIsClosedAtTheStop) {
    SchedulerHarness h;
    recevent e = weekly("Task", 22, 0, 22, 30, {1});
    e.Task = true;
    e.Appname = "sleep";
    e.URL = "30";
    h.add(e);
    h.at(monday(22, 0) + kBlock);
    EXPECT_EQ(h.messages.count(), 0u);
    ASSERT_EQ(h.rec->runningPrograms(), 1u);
    h.at(monday(22, 30) + kBlock);
    EXPECT_EQ(h.rec->runningPrograms(), 0u);
}

} // namespace
} // namespace quimbrel::testing
