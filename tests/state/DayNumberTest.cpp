// Day numbers: building and splitting, and the time and date texts of events.xml.
#include "state/daynumber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quimbrel {
namespace {

TEST(DayNumber, BuildsAndSplitsKnownMoments) {
    struct Case {
        int y, mo, d, h, mi, s;
        double expected;
        int weekday;
    };
    const Case cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0, 6},
        {1900, 1, 1, 0, 0, 0, 2.0, 1},
        {1899, 12, 29, 6, 0, 0, -1.25, 5},    // before the epoch the fraction still counts into the day
        {2024, 6, 12, 18, 0, 0, 45455.75, 3}, // the database's example date
        {2024, 2, 29, 12, 0, 0, 45351.5, 4},
        {2006, 8, 8, 22, 15, 7, 38937.0 + (22 * 3600 + 15 * 60 + 7) / 86400.0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.mo << "-" << c.d);
        const double n = makeDayNumber(c.y, c.mo, c.d, c.h, c.mi, c.s);
        EXPECT_DOUBLE_EQ(n, c.expected);
        const DateParts d = splitDate(n);
        const TimeParts t = splitTime(n);
        EXPECT_EQ(d.year, c.y);
        EXPECT_EQ(d.month, c.mo);
        EXPECT_EQ(d.day, c.d);
        EXPECT_EQ(t.hour, c.h);
        EXPECT_EQ(t.minute, c.mi);
        EXPECT_EQ(t.second, c.s);
        EXPECT_EQ(isoWeekday(n), c.weekday);
    }
}

TEST(DayNumber, RoundsToTheMillisecondAcrossMidnight) {
    const double almost = makeDayNumber(2023, 12, 31) + (86400000.0 - 0.4) / 86400000.0;
    const DateParts d = splitDate(almost);
    EXPECT_EQ(d.year, 2024);
    EXPECT_EQ(d.month, 1);
    EXPECT_EQ(d.day, 1);
    EXPECT_EQ(splitTime(almost).hour, 0);
    EXPECT_EQ(formatTime(makeTimeOfDay(23, 59, 59, 600)), "00:00:00");
    EXPECT_DOUBLE_EQ(datePart(makeDayNumber(2023, 12, 24, 23, 30)), makeDayNumber(2023, 12, 24));
    EXPECT_DOUBLE_EQ(timePart(makeDayNumber(2023, 12, 24, 23, 30)), makeTimeOfDay(23, 30, 0));
}

TEST(DayNumber, NonFiniteAndHugeValuesDoNotBreakSplitting) {
    for (double v :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), -1e300, 1e300}) {
        const DateParts d = splitDate(v);
        EXPECT_TRUE(isValidDate(d.year, d.month, d.day));
        EXPECT_EQ(formatTime(v).size(), 8u);
        EXPECT_EQ(formatDate(v).size(), 8u);
    }
}

TEST(DayNumber, TimeTexts) {
    EXPECT_EQ(formatTime(makeTimeOfDay(22, 15, 0)), "22:15:00");
    EXPECT_EQ(formatTime(makeTimeOfDay(0, 5, 9)), "00:05:09");
    EXPECT_EQ(formatTime(makeDayNumber(2023, 12, 25, 0, 15)), "00:15:00");

    struct Case {
        const char* text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"22:15:00", true, makeTimeOfDay(22, 15, 0)},
        {"0:00:00", true, 0.0},
        {"7:05", true, makeTimeOfDay(7, 5, 0)},
        {"23:59:59", true, makeTimeOfDay(23, 59, 59)},
        {"24:00:00", false, 0},
        {"12:60:00", false, 0},
        {"12:00:60", false, 0},
        {"12", false, 0},
        {"1:2:3:4", false, 0},
        {"", false, 0},
        {" 12:00", false, 0},
        {"-1:00", false, 0},
        {"10:15 PM", false, 0},
        {"123:00", false, 0},
        {"12::00", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double v = -1;
        EXPECT_EQ(parseTime(c.text, v), c.ok);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value);
        }
    }
}

TEST(DayNumber, DateTextsWithTheTwoDigitYearWindow) {
    EXPECT_EQ(formatDate(makeDayNumber(2023, 12, 24, 23, 30)), "24-12-23");
    EXPECT_EQ(formatDate(makeDayNumber(2005, 1, 2)), "02-01-05");

    struct Case {
        const char* text;
        int reference;
        bool ok;
        int y, m, d;
    };
    const Case cases[] = {
        {"24-12-23", 2026, true, 2023, 12, 24},
        {"01-01-76", 2026, true, 1976, 1, 1}, // 50 years before
        {"01-01-75", 2026, true, 2075, 1, 1}, // 49 years after
        {"01-01-99", 2000, true, 1999, 1, 1},
        {"01-01-49", 2000, true, 2049, 1, 1},
        {"01-01-50", 2000, true, 1950, 1, 1},
        {"1-2-03", 2026, true, 2003, 2, 1},
        {"29-02-2024", 2026, true, 2024, 2, 29},
        {"29-02-23", 2026, false, 0, 0, 0},
        {"31-04-23", 2026, false, 0, 0, 0},
        {"00-01-23", 2026, false, 0, 0, 0},
        {"01-13-23", 2026, false, 0, 0, 0},
        {"12/24/23", 2026, false, 0, 0, 0},
        {"24-12-123", 2026, false, 0, 0, 0},
        {"24-12-", 2026, false, 0, 0, 0},
        {"--", 2026, false, 0, 0, 0},
        {"", 2026, false, 0, 0, 0},
        {"2a-12-23", 2026, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double v = -1;
        EXPECT_EQ(parseDate(c.text, c.reference, v), c.ok);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, makeDayNumber(c.y, c.m, c.d));
        }
    }
}

TEST(DayNumber, FromTheSystemClockInLocalTime) {
    const std::time_t t = 1700000000; // some moment; compare with the C library's own local split
    std::tm local{};
    localtime_r(&t, &local);
    const double n = dayNumberFromTime(t);
    const std::tm back = toTm(n);
    EXPECT_EQ(back.tm_year, local.tm_year);
    EXPECT_EQ(back.tm_mon, local.tm_mon);
    EXPECT_EQ(back.tm_mday, local.tm_mday);
    EXPECT_EQ(back.tm_hour, local.tm_hour);
    EXPECT_EQ(back.tm_min, local.tm_min);
    EXPECT_EQ(back.tm_sec, local.tm_sec);
    EXPECT_EQ(back.tm_wday, local.tm_wday);
    EXPECT_EQ(back.tm_yday, local.tm_yday);
}

} // namespace
} // namespace quimbrel
