// The system clock as a local-time day number.
#include "ports/Clock.h"

#include <chrono>
#include <ctime>

namespace quimbrel {

namespace {
// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
} // namespace

double SystemClock::now() const {
    using namespace std::chrono;
    const auto t = system_clock::now();
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count() % 1000;
    const std::time_t secs = system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&secs, &local);
    const long long days = daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                         static_cast<unsigned>(local.tm_mday)) -
                           daysFromCivil(1899, 12, 30);
    const double seconds =
        local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + static_cast<double>(ms) / 1000.0;
    return static_cast<double>(days) + seconds / 86400.0;
}

} // namespace quimbrel
