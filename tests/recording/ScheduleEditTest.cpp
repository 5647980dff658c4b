// Editing the schedule while it runs: entries moved, deleted, cloned and edited keep the running scheduled
// recording tied to its event; event names and templates that would lead out of the output folder.
#include "RecorderHarness.h"

#include "recording/SchedulerRuntime.h"
#include "state/eventform.h"

#include <gtest/gtest.h>

namespace quimbrel::testing {
namespace {

constexpr double kBlock = 0.025 / 86400;

recevent daily(const std::string& name, int h1, int m1, int h2, int m2) {
    recevent e;
    e.name = name;
    e.Enabled = true;
    e.repeat = 2;
    for (int d = 1; d <= 7; ++d)
        e.day[static_cast<std::size_t>(d)] = true;
    e.starttime = makeTimeOfDay(h1, m1, 0);
    e.stoptime = makeTimeOfDay(h2, m2, 0);
    return e;
}

std::string names(const eventtable& t) {
    std::string s;
    for (const recevent& e : t)
        s += e.name;
    return s;
}

TEST(ScheduleEdit, MoveShiftsTheEntriesBetweenAndCurrentEventFollowsItsEvent) {
    struct Case {
        int from, to;
        const char* order;
        int current, currentAfter; // the running event's entry before and after
    };
    const Case cases[] = {
        {1, 3, "BCA", 1, 3}, {1, 3, "BCA", 2, 1}, {1, 3, "BCA", 3, 2}, {1, 3, "BCA", -1, -1},
        {3, 1, "CAB", 3, 1}, {3, 1, "CAB", 1, 2}, {3, 1, "CAB", 2, 3}, {2, 2, "ABC", 2, 2},
    };
    for (const Case& c : cases) {
        eventtable t = {daily("A", 1, 0, 2, 0), daily("B", 1, 0, 2, 0), daily("C", 1, 0, 2, 0)};
        RecordingState st;
        st.schedule.currentevent = c.current;
        ASSERT_TRUE(moveevent(t, st, c.from, c.to));
        EXPECT_EQ(names(t), c.order) << c.from << "->" << c.to;
        EXPECT_EQ(st.schedule.currentevent, c.currentAfter)
            << c.from << "->" << c.to << " current " << c.current;
    }
    eventtable t = {daily("A", 1, 0, 2, 0)};
    RecordingState st;
    EXPECT_FALSE(moveevent(t, st, 1, 2));
    EXPECT_FALSE(moveevent(t, st, 0, 1));
}

TEST(ScheduleEdit, DeleteAndCloneKeepTheCountAndTheCurrentEvent) {
    eventtable t = {daily("A", 1, 0, 2, 0), daily("B", 1, 0, 2, 0), daily("C", 1, 0, 2, 0)};
    config cfg;
    cfg.scheduler.numevents = 3;
    RecordingState st;
    st.schedule.currentevent = 3;
    ASSERT_TRUE(cloneevent(t, cfg, 2));
    EXPECT_EQ(names(t), "ABCB");
    EXPECT_EQ(t[3], t[1]);
    EXPECT_EQ(cfg.scheduler.numevents, 4);
    EXPECT_EQ(st.schedule.currentevent, 3);
    ASSERT_TRUE(deleteevent(t, cfg, st, 1));
    EXPECT_EQ(names(t), "BCB");
    EXPECT_EQ(st.schedule.currentevent, 2) << "C moved up one place";
    ASSERT_TRUE(deleteevent(t, cfg, st, 2));
    EXPECT_EQ(st.schedule.currentevent, -1) << "the running event itself is gone";
    EXPECT_EQ(cfg.scheduler.numevents, 2);
    EXPECT_FALSE(deleteevent(t, cfg, st, 3));
    EXPECT_FALSE(cloneevent(t, cfg, 0));

    eventtable full(static_cast<std::size_t>(kMaxEventCount));
    EXPECT_FALSE(cloneevent(full, cfg, 1)) << "a table that could not be read back is refused";
    EXPECT_FALSE(addevent(full, cfg, newEventForm(0, "")));
}

class RunningSchedule : public Harness {
public:
    RunningSchedule() : Harness(monday(20, 0)) {
        cfg.scheduler.enabled = true;
        events = {daily("Early", 9, 0, 10, 0), daily("Show", 21, 0, 22, 0), daily("Late", 23, 0, 23, 30)};
        cfg.scheduler.numevents = 3;
        at(monday(21, 0) + kBlock);
    }
};

TEST(ScheduleEdit, TheRunningRecordingStopsAtItsOwnEventAfterTheTableChanges) {
    RunningSchedule h;
    ASSERT_TRUE(h.st().schedule.scheduledrecording);
    ASSERT_EQ(h.st().schedule.currentevent, 2);

    ASSERT_TRUE(h.rec->moveevent(2, 3)); // Early, Late, Show
    ASSERT_TRUE(h.rec->deleteevent(1));  // Late, Show
    ASSERT_TRUE(h.rec->cloneevent(1));   // Late, Show, Late
    EXPECT_EQ(h.st().schedule.currentevent, 2);
    // Late's window is not reached yet; Show's stop moment decides.
    h.at(monday(21, 59));
    EXPECT_TRUE(h.st().writing);
    h.at(monday(22, 0) + kBlock);
    EXPECT_FALSE(h.st().schedule.scheduledrecording);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.scheduleStatus[1], "Complete");
    EXPECT_EQ(h.finished.size(), 1u);
}

TEST(ScheduleEdit, DeletingTheRunningEventEndsItsRecordingWithTheNextBlock) {
    RunningSchedule h;
    ASSERT_TRUE(h.rec->deleteevent(2));
    h.at(monday(21, 1));
    EXPECT_FALSE(h.st().schedule.scheduledrecording);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.finished.size(), 1u);
    EXPECT_FALSE(h.events[0].cancelled);
    EXPECT_FALSE(h.events[1].cancelled) << "no other event is marked for it";
}

TEST(ScheduleEdit, EditingTheRunningEventMovesItsStop) {
    RunningSchedule h;
    EventForm form = formFor(h.events[1]);
    form.stoptime = makeTimeOfDay(21, 30, 0);
    ASSERT_TRUE(h.rec->editevent(2, form));
    EXPECT_NEAR(h.events[1].stopdate, monday(21, 30), 1e-9);
    h.at(monday(21, 30) + kBlock);
    EXPECT_FALSE(h.st().writing);
    EXPECT_EQ(h.view.scheduleStatus[1], "Complete");

    // Another event's edit leaves its stop moment to the scheduler.
    EventForm other = formFor(h.events[0]);
    other.stoptime = makeTimeOfDay(1, 30, 0);
    ASSERT_TRUE(h.rec->editevent(1, other));
    EXPECT_TRUE(h.events[0].nextday);
    EXPECT_NEAR(h.events[0].stopdate, 1.0, 1e-9) << "the editor's date, plus the next day";
}

TEST(ScheduleEdit, EventNamesAndTemplatesStayInsideTheOutputFolder) {
    struct Case {
        const char* name;
        const char* filename;
        const char* expression;
        const char* expected;
    };
    const Case cases[] = {
        {"../../escape", "../../escape", "takeNUM", ".._.._escape.mp3"},
        {"..", "..", "takeNUM", "__.mp3"},
        {"a/b", "", "EVENT", "a_b.mp3"},
        {"news", "", "../YY/EVENT", ".._2026_news.mp3"},
    };
    for (const Case& c : cases) {
        Harness h(monday(20, 0));
        h.cfg.scheduler.enabled = true;
        h.cfg.autoname.expression = c.expression;
        h.events = {daily(c.name, 21, 0, 22, 0)};
        h.events[0].filename = c.filename;
        h.cfg.scheduler.numevents = 1;
        h.at(monday(21, 0) + kBlock);
        ASSERT_EQ(h.log.created.size(), 1u) << c.name;
        EXPECT_EQ(h.log.created[0], h.file(c.expected)) << c.name << " / " << c.expression;
        EXPECT_EQ(h.events[0].name, c.name) << "the event keeps its name as typed";
    }
}

} // namespace
} // namespace quimbrel::testing
