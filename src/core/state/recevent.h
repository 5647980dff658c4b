// Scheduled events: the record `recevent`, the event table and its document events.xml.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace quimbrel {

class MessagePort;
struct config;

struct recevent {
    std::string name;
    double starttime = 0.0;    // time of day (fraction only)
    double stoptime = 0.0;     // time of day (fraction only)
    double startdate = 0.0;    // fixed date (repeat 1): the full start moment; else the editor's date
    double stopdate = 0.0;     // fixed date: the full stop moment; else the stop moment of the last run
    int repeat = 0;            // 0 on the weekdays in day, 1 once on a fixed date, 2 daily
    std::array<bool, 8> day{}; // day[1] Monday ... day[7] Sunday; day[0] unused
    bool cancelled = false;
    bool nextday = false; // the stop time of day is on the following day
    std::string filename; // empty: name from the template
    bool Task = false;    // launch Appname with URL when the event fires
    std::string URL;
    std::string Appname;
    bool Enabled = false;

    bool operator==(const recevent&) const = default;
};

// The event table. Entry number i (1-based, as the scheduler's currentevent counts) is table[i - 1]. The
// table grows as events are added; it has no fixed end at 100 entries.
using eventtable = std::vector<recevent>;

// The largest event count readeventsfile accepts; a larger events.number is reported as unreadable.
inline constexpr int kMaxEventCount = 10000;

// Replaces table's contents from the file. A missing file empties the table silently and returns true. A file
// that cannot be read shows "Can't Load Scheduler Data"; the entries read before the fault stay, the
// remaining ones up to the file's count stay blank and disabled, and the result is false.
// cfg.scheduler.numevents is set to the table's size either way.
bool readeventsfile(const std::string& path, eventtable& table, config& cfg, MessagePort& port);

// Writes the table; the file is replaced atomically. On failure the old file stays and *error says why.
bool writeeventsfile(const std::string& path, const eventtable& table, std::string* error = nullptr);

// The command new events launch: the desktop's default handler for web pages ("xdg-open"), or an empty text
// when it is not installed.
std::string defaultbrowser();

} // namespace quimbrel
