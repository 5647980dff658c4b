// The event editor's fields and rules without a window: the defaults of a new event, the fields of a stored
// one, the two refusals, and filling an event from the fields (`init`). Used by the event editor window and
// by quimbrel-cli's event commands.
#pragma once

#include "state/recevent.h"

#include <array>
#include <string>

namespace quimbrel {

struct EventForm {
    std::string name;
    double starttime = 0.0; // time of day (fraction only)
    double stoptime = 0.0;
    int repeat = 0;            // the "Repeat:" position: 0 days of week, 1 fixed date, 2 daily
    std::array<bool, 8> day{}; // the weekday boxes, day[1] Monday ... day[7] Sunday
    double date = 0.0;         // the date picker (whole days)
    bool sameName = false;     // "Same as Event Name" rather than "Auto Name"
    bool task = false;         // "Additional Task"
    std::string appname;
    std::string url;
};

// A new event: 00:00:00 to 01:00:00, days of week with none ticked, the date `today`, no task with the
// default browser as its program, automatic names.
EventForm newEventForm(double today, const std::string& browser);

// The fields showing a stored event (for a daily event every weekday box is ticked).
EventForm formFor(const recevent& e);

// Choosing "Daily" ticks all seven weekday boxes; choosing another page leaves them as they are.
void chooseRepeat(EventForm& form, int repeat);

// Why the editor refuses the fields, in its own words, or an empty text when they can be stored.
std::string refusal(const EventForm& form);

// Fills e from the fields; `Enabled` stays as it is.
void init(const EventForm& form, recevent& e);

// The texts of the schedule list's Repeat column for days of week: the marked days, Monday first, joined
// by ",".
std::string weekdaysText(const recevent& e);

} // namespace quimbrel
