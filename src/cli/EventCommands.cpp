// The schedule edited from the command line, with the event editor's rules.
#include "cli/EventCommands.h"

#include "cli/CliMessagePort.h"
#include "ports/Clock.h"
#include "recording/RecordingState.h"
#include "recording/SchedulerRuntime.h"
#include "state/AtomicFile.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/eventform.h"
#include "state/recevent.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <optional>

namespace quimbrel {

const char* const kEventUsage =
    "  events                  List the scheduled events, one a line, fields separated by tabs: number,\n"
    "                          on/off, name, start, stop, repeat (Daily, the weekdays or the date), file\n"
    "                          name (Auto-Name or the event's name) and the program the event starts (-).\n"
    "  event add --name TEXT --start HH:MM[:SS] --stop HH:MM[:SS]\n"
    "            (--days mon,tue,... | --date YYYY-MM-DD | --daily) [--same-name] [--task PROGRAM\n"
    "            [--task-args TEXT]] [--disabled]\n"
    "                          Add an event at the end of the schedule (enabled unless --disabled).\n"
    "  event edit N [OPTIONS]  Change event N: only the options given change; besides those of add,\n"
    "                          --auto-name, --no-task and --enabled undo --same-name, --task, --disabled.\n"
    "  event delete N, event enable N, event disable N\n"
    "                          Delete event N, or switch it on or off.\n";

namespace {

constexpr const char* kDayKeys[] = {"", "mon", "tue", "wed", "thu", "fri", "sat", "sun"};

int refuse(std::ostream& err, const std::string& reason) {
    err << "quimbrel-cli: " << reason << std::endl;
    return 2;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Tabs and line breaks inside a field would break the one-event-a-line listing.
std::string field(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string isoDate(double day) {
    const DateParts d = splitDate(day);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

bool parseIsoDate(const std::string& text, double& date) {
    int y = 0, m = 0, d = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    auto number = [&](int& v, std::size_t digits) {
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc() || static_cast<std::size_t>(r.ptr - p) != digits)
            return false;
        p = r.ptr;
        return true;
    };
    if (!number(y, 4) || p == end || *p++ != '-' || !number(m, 2) || p == end || *p++ != '-' ||
        !number(d, 2) || p != end || !isValidDate(y, m, d))
        return false;
    date = makeDayNumber(y, m, d);
    return true;
}

bool parseDays(const std::string& text, std::array<bool, 8>& days) {
    days = {};
    std::size_t pos = 0;
    while (true) {
        const auto comma = text.find(',', pos);
        const std::string word = lower(text.substr(pos, comma == std::string::npos ? comma : comma - pos));
        bool known = false;
        for (int d = 1; d <= 7; ++d)
            if (word == kDayKeys[d])
                known = days[static_cast<std::size_t>(d)] = true;
        if (!known)
            return false;
        if (comma == std::string::npos)
            return true;
        pos = comma + 1;
    }
}

bool parseEntry(const std::string& text, int count, int& entry) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), entry);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && entry >= 1 && entry <= count;
}

// What the options of add and edit change.
struct Changes {
    std::optional<std::string> name, start, stop, days, date, task, taskArgs;
    bool daily = false, sameName = false, autoName = false, noTask = false, disabled = false, enabled = false;
};

// Reads the options from args[from] on; on a wrong one, the reason.
std::optional<std::string> parseOptions(const std::vector<std::string>& args, std::size_t from, Changes& c) {
    for (std::size_t i = from; i < args.size(); ++i) {
        std::string opt = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = opt.find('='); opt.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = opt.substr(eq + 1);
            opt.resize(eq);
        }
        auto value = [&](std::optional<std::string>& target) -> std::optional<std::string> {
            if (inlineValue)
                target = *inlineValue;
            else if (i + 1 < args.size())
                target = args[++i];
            else
                return opt + " needs a value";
            return std::nullopt;
        };
        std::optional<std::string> problem;
        if (opt == "--name")
            problem = value(c.name);
        else if (opt == "--start")
            problem = value(c.start);
        else if (opt == "--stop")
            problem = value(c.stop);
        else if (opt == "--days")
            problem = value(c.days);
        else if (opt == "--date")
            problem = value(c.date);
        else if (opt == "--task")
            problem = value(c.task);
        else if (opt == "--task-args")
            problem = value(c.taskArgs);
        else if (inlineValue)
            return "unexpected argument '" + args[i] + "'";
        else if (opt == "--daily")
            c.daily = true;
        else if (opt == "--same-name")
            c.sameName = true;
        else if (opt == "--auto-name")
            c.autoName = true;
        else if (opt == "--no-task")
            c.noTask = true;
        else if (opt == "--disabled")
            c.disabled = true;
        else if (opt == "--enabled")
            c.enabled = true;
        else
            return "unexpected argument '" + args[i] + "'";
        if (problem)
            return problem;
    }
    if ((c.days ? 1 : 0) + (c.date ? 1 : 0) + (c.daily ? 1 : 0) > 1)
        return "give only one of --days, --date and --daily";
    if (c.sameName && c.autoName)
        return "give only one of --same-name and --auto-name";
    if ((c.task || c.taskArgs) && c.noTask)
        return "give --no-task without --task and --task-args";
    if (c.disabled && c.enabled)
        return "give only one of --enabled and --disabled";
    return std::nullopt;
}

// Applies the changes to the editor's fields; on a value that cannot be read, the reason.
std::optional<std::string> apply(const Changes& c, EventForm& f) {
    if (c.name)
        f.name = *c.name;
    if (c.start && !parseTime(*c.start, f.starttime))
        return "--start needs a time HH:MM or HH:MM:SS, not '" + *c.start + "'";
    if (c.stop && !parseTime(*c.stop, f.stoptime))
        return "--stop needs a time HH:MM or HH:MM:SS, not '" + *c.stop + "'";
    if (c.days) {
        if (!parseDays(*c.days, f.day))
            return "--days needs weekdays such as mon,wed,fri, not '" + *c.days + "'";
        chooseRepeat(f, 0);
    }
    if (c.date) {
        if (!parseIsoDate(*c.date, f.date))
            return "--date needs a date YYYY-MM-DD, not '" + *c.date + "'";
        chooseRepeat(f, 1);
    }
    if (c.daily)
        chooseRepeat(f, 2);
    if (c.sameName)
        f.sameName = true;
    if (c.autoName)
        f.sameName = false;
    if (c.task) {
        f.task = true;
        f.appname = *c.task;
    }
    if (c.taskArgs) {
        f.task = true;
        f.url = *c.taskArgs;
    }
    if (c.noTask)
        f.task = false;
    return std::nullopt;
}

void list(const eventtable& table, std::ostream& out) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        const recevent& e = table[i];
        std::string repeat;
        if (e.repeat == 2)
            repeat = "Daily";
        else if (e.repeat == 1)
            repeat = isoDate(e.startdate);
        else
            repeat = weekdaysText(e);
        std::string task = "-";
        if (e.Task) {
            task = e.Appname;
            if (!e.URL.empty())
                task += (task.empty() ? "\"" : " \"") + e.URL + "\"";
        }
        out << i + 1 << '\t' << (e.Enabled ? "on" : "off") << '\t' << field(e.name) << '\t'
            << formatTime(e.starttime) << '\t' << formatTime(e.stoptime) << '\t' << repeat << '\t'
            << field(e.filename.empty() ? std::string("Auto-Name") : e.filename) << '\t' << field(task)
            << '\n';
    }
    out.flush();
}

} // namespace

bool isEventCommand(const std::vector<std::string>& args) {
    return !args.empty() && (args[0] == "events" || args[0] == "event");
}

int runEventCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string folder = dataFolder();
    const std::string path = folder + "events.xml";
    CliMessagePort messages(err);
    config cfg;
    eventtable table;
    // An unreadable schedule is never written over: what could not be read would be lost.
    if (!readeventsfile(path, table, cfg, messages))
        return 1;
    const int count = static_cast<int>(table.size());

    if (args[0] == "events") {
        if (args.size() > 1)
            return refuse(err, "unexpected argument '" + args[1] + "'");
        list(table, out);
        return 0;
    }
    if (args.size() < 2)
        return refuse(err, "event needs add, edit, delete, enable or disable");
    const std::string& verb = args[1];
    int entry = 0;
    if (verb == "edit" || verb == "delete" || verb == "enable" || verb == "disable") {
        if (args.size() < 3)
            return refuse(err, "event " + verb + " needs an event number");
        if (!parseEntry(args[2], count, entry))
            return refuse(err, "there is no event '" + args[2] + "' (the schedule has " +
                                   std::to_string(count) + (count == 1 ? " event)" : " events)"));
        if (verb != "edit" && args.size() > 3)
            return refuse(err, "unexpected argument '" + args[3] + "'");
    } else if (verb != "add") {
        return refuse(err, "unknown event command '" + verb + "'");
    }

    RecordingState none;
    if (verb == "delete") {
        deleteevent(table, cfg, none, entry);
    } else if (verb == "enable" || verb == "disable") {
        table[static_cast<std::size_t>(entry) - 1].Enabled = verb == "enable";
    } else {
        Changes changes;
        if (auto problem = parseOptions(args, verb == "add" ? 2 : 3, changes))
            return refuse(err, *problem);
        EventForm form = verb == "add" ? newEventForm(SystemClock().now(), defaultbrowser())
                                       : formFor(table[static_cast<std::size_t>(entry) - 1]);
        if (auto problem = apply(changes, form))
            return refuse(err, *problem);
        if (const std::string why = refusal(form); !why.empty())
            return refuse(err, why);
        if (verb == "add") {
            if (!addevent(table, cfg, form))
                return refuse(err, "the schedule is full (" + std::to_string(kMaxEventCount) + " events)");
            entry = static_cast<int>(table.size());
        } else {
            editevent(table, none, entry, form, SystemClock().now());
        }
        recevent& e = table[static_cast<std::size_t>(entry) - 1];
        if (changes.disabled)
            e.Enabled = false;
        if (changes.enabled)
            e.Enabled = true;
    }

    std::string error;
    if (!makeFolders(folder) || !writeeventsfile(path, table, &error)) {
        err << "quimbrel-cli: cannot save " << path << (error.empty() ? "" : ": " + error) << std::endl;
        return 1;
    }
    if (verb == "add")
        out << "added event " << entry << std::endl;
    return 0;
}

} // namespace quimbrel
