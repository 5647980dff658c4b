// The event editor's rules without a window: defaults, refusals, nextday, fixed dates and the weekday boxes.
#include "state/eventform.h"
#include "state/daynumber.h"

#include <gtest/gtest.h>

namespace quimbrel {
namespace {

const double kDay = makeDayNumber(2023, 12, 24);

TEST(EventForm, ANewEventIsAnHourFromMidnightAndNeedsAWeekday) {
    EventForm f = newEventForm(kDay + 0.7, "xdg-open");
    EXPECT_EQ(formatTime(f.starttime), "00:00:00");
    EXPECT_EQ(formatTime(f.stoptime), "01:00:00");
    EXPECT_EQ(f.repeat, 0);
    EXPECT_EQ(f.date, kDay);
    EXPECT_EQ(f.appname, "xdg-open");
    EXPECT_FALSE(f.task);
    EXPECT_FALSE(f.sameName);
    EXPECT_EQ(refusal(f), "Please enter event name.");
    f.name = "News";
    EXPECT_EQ(refusal(f), "Please select at least one day of week.");
    chooseRepeat(f, 1);
    EXPECT_EQ(refusal(f), "") << "a fixed date needs no weekday";
    chooseRepeat(f, 2);
    for (int d = 1; d <= 7; ++d)
        EXPECT_TRUE(f.day[static_cast<std::size_t>(d)]) << "Daily ticks day " << d;
    chooseRepeat(f, 0);
    EXPECT_TRUE(f.day[1] && f.day[7]) << "going back keeps the ticks";
    EXPECT_EQ(refusal(f), "");
}

TEST(EventForm, InitSetsNextdayAndTheFixedDateMoments) {
    EventForm f = newEventForm(kDay, "");
    f.name = "Late";
    f.sameName = true;
    chooseRepeat(f, 1);
    f.starttime = makeTimeOfDay(23, 30, 0);
    f.stoptime = makeTimeOfDay(0, 15, 0);
    recevent e;
    e.cancelled = true;
    init(f, e);
    EXPECT_TRUE(e.nextday);
    EXPECT_FALSE(e.cancelled);
    EXPECT_FALSE(e.Enabled) << "Enabled is left as it was";
    EXPECT_EQ(e.filename, "Late");
    EXPECT_NEAR(e.startdate, makeDayNumber(2023, 12, 24, 23, 30), 1e-9);
    EXPECT_NEAR(e.stopdate, makeDayNumber(2023, 12, 25, 0, 15), 1e-9);

    f.stoptime = f.starttime;
    chooseRepeat(f, 0);
    f.sameName = false;
    init(f, e);
    EXPECT_FALSE(e.nextday) << "equal times stay on one day";
    EXPECT_EQ(e.filename, "");
    EXPECT_EQ(e.startdate, kDay);

    // A stored event shows its own fields again, the daily one with every box ticked.
    e.repeat = 2;
    e.day = {};
    const EventForm back = formFor(e);
    EXPECT_EQ(back.name, "Late");
    EXPECT_EQ(back.repeat, 2);
    EXPECT_TRUE(back.day[3]);
    EXPECT_EQ(weekdaysText(e), "");
    e.day[1] = e.day[3] = e.day[5] = true;
    EXPECT_EQ(weekdaysText(e), "Mon,Wed,Fri");
}

} // namespace
} // namespace quimbrel
