// The event editor's fields and rules.
#include "state/eventform.h"

#include "state/daynumber.h"

namespace quimbrel {

namespace {
constexpr const char* kDayNames[] = {"", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
}

EventForm newEventForm(double today, const std::string& browser) {
    EventForm f;
    f.starttime = 0.0;
    f.stoptime = makeTimeOfDay(1, 0, 0);
    f.repeat = 0;
    f.date = datePart(today);
    f.appname = browser;
    return f;
}

EventForm formFor(const recevent& e) {
    EventForm f;
    f.name = e.name;
    f.starttime = timePart(e.starttime);
    f.stoptime = timePart(e.stoptime);
    f.repeat = e.repeat >= 0 && e.repeat <= 2 ? e.repeat : 0;
    f.url = e.URL;
    f.appname = e.Appname;
    f.task = e.Task;
    f.sameName = !e.filename.empty();
    f.date = datePart(e.startdate);
    if (f.repeat == 0)
        f.day = e.day;
    else if (f.repeat == 2)
        for (int d = 1; d <= 7; ++d)
            f.day[static_cast<std::size_t>(d)] = true;
    return f;
}

void chooseRepeat(EventForm& form, int repeat) {
    form.repeat = repeat;
    if (repeat == 2)
        for (int d = 1; d <= 7; ++d)
            form.day[static_cast<std::size_t>(d)] = true;
}

std::string refusal(const EventForm& form) {
    if (form.name.empty())
        return "Please enter event name.";
    if (form.repeat == 0) {
        bool any = false;
        for (int d = 1; d <= 7; ++d)
            any = any || form.day[static_cast<std::size_t>(d)];
        if (!any)
            return "Please select at least one day of week.";
    }
    return {};
}

void init(const EventForm& form, recevent& e) {
    e.name = form.name;
    e.starttime = timePart(form.starttime);
    e.stoptime = timePart(form.stoptime);
    e.repeat = form.repeat;
    e.cancelled = false;
    e.URL = form.url;
    e.Appname = form.appname;
    e.Task = form.task;
    e.filename = form.sameName ? form.name : std::string();
    e.startdate = datePart(form.date);
    e.stopdate = datePart(form.date);
    e.day[0] = false;
    for (int d = 1; d <= 7; ++d)
        e.day[static_cast<std::size_t>(d)] = form.day[static_cast<std::size_t>(d)];
    e.nextday = e.stoptime < e.starttime;
    if (e.nextday)
        e.stopdate += 1.0;
    if (e.repeat == 1) {
        e.startdate += e.starttime;
        e.stopdate += e.stoptime;
    }
}

std::string weekdaysText(const recevent& e) {
    std::string text;
    for (int d = 1; d <= 7; ++d) {
        if (!e.day[static_cast<std::size_t>(d)])
            continue;
        if (!text.empty())
            text += ',';
        text += kDayNames[d];
    }
    return text;
}

} // namespace quimbrel
