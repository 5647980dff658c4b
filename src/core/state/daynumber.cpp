// Day numbers: building, splitting, and the text forms events.xml uses.
#include "state/daynumber.h"

#include <cmath>
#include <cstdio>

namespace quimbrel {

namespace {

constexpr long long kMsPerDay = 86400000LL;
// 1 January 0001 and 31 December 9999: the range of dates the recorder handles.
constexpr double kMinDay = -693593.0;
constexpr double kMaxDay = 2958465.0;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
constexpr long long daysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (m <= 2));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

constexpr long long kEpochOffset = daysFromCivil(1899, 12, 30);

// The calendar day (days since 1899-12-30) and the milliseconds into it.
void split(double dayNumber, long long& days, long long& ms) {
    if (!std::isfinite(dayNumber))
        dayNumber = 0.0;
    if (dayNumber < kMinDay)
        dayNumber = kMinDay;
    if (dayNumber > kMaxDay)
        dayNumber = kMaxDay;
    const double whole = std::trunc(dayNumber);
    days = static_cast<long long>(whole);
    ms = std::llround(std::fabs(dayNumber - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++days;
    }
}

bool allDigits(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int toInt(std::string_view s) {
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

} // namespace

bool isValidDate(int year, int month, int day) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

double makeTimeOfDay(int hour, int minute, int second, int millisecond) {
    const long long ms = hour * 3600000LL + minute * 60000LL + second * 1000LL + millisecond;
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

double makeDayNumber(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const double days = static_cast<double>(daysFromCivil(year, month, day) - kEpochOffset);
    const double time = makeTimeOfDay(hour, minute, second, millisecond);
    // Before the epoch the fraction still counts forward into the day.
    return days < 0 ? days - time : days + time;
}

double datePart(double dayNumber) {
    long long days = 0, ms = 0;
    split(dayNumber, days, ms);
    return static_cast<double>(days);
}

double timePart(double dayNumber) {
    long long days = 0, ms = 0;
    split(dayNumber, days, ms);
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

DateParts splitDate(double dayNumber) {
    long long days = 0, ms = 0;
    split(dayNumber, days, ms);
    DateParts d;
    civilFromDays(days + kEpochOffset, d.year, d.month, d.day);
    return d;
}

TimeParts splitTime(double dayNumber) {
    long long days = 0, ms = 0;
    split(dayNumber, days, ms);
    TimeParts t;
    t.hour = static_cast<int>(ms / 3600000);
    t.minute = static_cast<int>(ms / 60000 % 60);
    t.second = static_cast<int>(ms / 1000 % 60);
    t.millisecond = static_cast<int>(ms % 1000);
    return t;
}

int isoWeekday(double dayNumber) {
    long long days = 0, ms = 0;
    split(dayNumber, days, ms);
    // 30 December 1899 was a Saturday.
    return static_cast<int>(((days + 5) % 7 + 7) % 7) + 1;
}

double dayNumberFromTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return makeDayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         local.tm_sec);
}

std::tm toTm(double dayNumber) {
    const DateParts d = splitDate(dayNumber);
    const TimeParts t = splitTime(dayNumber);
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = isoWeekday(dayNumber) % 7;
    tm.tm_yday = static_cast<int>(daysFromCivil(d.year, d.month, d.day) - daysFromCivil(d.year, 1, 1));
    tm.tm_isdst = -1;
    return tm;
}

std::string formatTime(double dayNumber) {
    long long days = 0, ms = 0;
    split(dayNumber, days, ms);
    const long long secs = (ms + 500) / 1000 % 86400;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
    return buf;
}

bool parseTime(std::string_view text, double& timeOfDay) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    std::size_t pos = 0;
    while (true) {
        const auto colon = text.find(':', pos);
        const auto piece =
            text.substr(pos, colon == std::string_view::npos ? std::string_view::npos : colon - pos);
        if (count == 3 || piece.size() > 2 || !allDigits(piece))
            return false;
        parts[count++] = toInt(piece);
        if (colon == std::string_view::npos)
            break;
        pos = colon + 1;
    }
    if (count < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59)
        return false;
    timeOfDay = makeTimeOfDay(parts[0], parts[1], parts[2]);
    return true;
}

std::string formatDate(double dayNumber) {
    const DateParts d = splitDate(dayNumber);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d", d.day, d.month, (d.year % 100 + 100) % 100);
    return buf;
}

bool parseDate(std::string_view text, int referenceYear, double& date) {
    const auto first = text.find('-');
    if (first == std::string_view::npos)
        return false;
    const auto second = text.find('-', first + 1);
    if (second == std::string_view::npos)
        return false;
    const auto dd = text.substr(0, first);
    const auto mm = text.substr(first + 1, second - first - 1);
    const auto yy = text.substr(second + 1);
    if (dd.size() > 2 || mm.size() > 2 || !allDigits(dd) || !allDigits(mm) || !allDigits(yy))
        return false;
    int year = 0;
    if (yy.size() <= 2) {
        // The year within 50 years before to 49 years after the reference year.
        const int low = referenceYear - 50;
        year = (low / 100) * 100 + toInt(yy);
        if (year < low)
            year += 100;
    } else if (yy.size() == 4) {
        year = toInt(yy);
    } else {
        return false;
    }
    const int month = toInt(mm);
    const int day = toInt(dd);
    if (!isValidDate(year, month, day))
        return false;
    date = makeDayNumber(year, month, day);
    return true;
}

int currentYear() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_year + 1900;
}

} // namespace quimbrel
