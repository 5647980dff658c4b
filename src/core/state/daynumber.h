// Day numbers: local dates and times as days since 30 December 1899 00:00, the fraction being the time of
// day.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace quimbrel {

struct DateParts {
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
};

struct TimeParts {
    int hour = 0; // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Builds a day number. Out-of-range parts are not checked; use isValidDate first where input comes from
// outside.
double makeDayNumber(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                     int millisecond = 0);
double makeTimeOfDay(int hour, int minute, int second, int millisecond = 0);
bool isValidDate(int year, int month, int day);

// Splitting. A negative day number counts its days backwards from 1899-12-30 while its fraction is still the
// time of day (-1.25 is 29 December 1899, 06:00). Times are rounded to the millisecond; 23:59:59.9996 rounds
// up into the next day.
double datePart(double dayNumber); // whole days, no fraction
double timePart(double dayNumber); // the time of day, 0 <= t < 1
DateParts splitDate(double dayNumber);
TimeParts splitTime(double dayNumber);
int isoWeekday(double dayNumber); // 1 Monday ... 7 Sunday

// Conversions from and to the system's clock, in local time.
double dayNumberFromTime(std::time_t t);
std::tm toTm(double dayNumber); // tm_wday, tm_yday filled; tm_isdst -1

// "HH:MM:SS", 24-hour, the form events.xml uses for times of day.
std::string formatTime(double dayNumber);
// Accepts "H:MM", "HH:MM:SS" (hours 0..23, minutes and seconds 0..59, no blanks). Gives the fraction only.
bool parseTime(std::string_view text, double& timeOfDay);

// "dd-mm-yy", the form events.xml uses for dates.
std::string formatDate(double dayNumber);
// Accepts "d-m-yy" .. "dd-mm-yyyy". A two-digit year lies from 50 years before to 49 years after
// referenceYear.
bool parseDate(std::string_view text, int referenceYear, double& date);
// The current local year, for parseDate.
int currentYear();

} // namespace quimbrel
