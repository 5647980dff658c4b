// The scheduler runtime: tests the scheduled events once per captured block, fires and stops them, and
// launches and closes an event's program. UI thread.
#pragma once

#include "state/recevent.h"

#include <string>
#include <sys/types.h>

namespace quimbrel {

struct EventForm;
struct RecorderContext;
struct RecordingState;
struct config;
class RecordingController;

// Edits of the event table by the schedule window and quimbrel-cli. Entries are numbered from 1. Each keeps
// cfg.scheduler.numevents equal to the table's size, and each keeps a running scheduled recording tied to
// its event: `currentevent` follows the event when entries move, and becomes -1 when the event itself is
// deleted, so that its recording ends with the next block as at its stop moment. They return false, changing
// nothing, for an entry that does not exist or an addition to a table of kMaxEventCount entries.
bool addevent(eventtable& table, config& cfg, const EventForm& form);
// Start-up: a cancellation lasts until the program starts again, so every event may fire in the new run.
void clearcancelled(eventtable& table);
bool cloneevent(eventtable& table, config& cfg, int entry);
bool deleteevent(eventtable& table, config& cfg, RecordingState& st, int entry);
// Moves entry a to position b; the entries between shift by one toward a's old place.
bool moveevent(eventtable& table, RecordingState& st, int a, int b);
// Refills entry from the form (`Enabled` stays). When it is the event recording now, its stop moment becomes
// today's (the day of `now`) at the new stop time, one day later with nextday, so the recording stops then.
bool editevent(eventtable& table, const RecordingState& st, int entry, const EventForm& form, double now);

class SchedulerRuntime {
public:
    SchedulerRuntime(RecorderContext& ctx, RecordingController& controller)
        : m_ctx(ctx), m_controller(controller) {}

    void checkschedule();
    void schedulerhelper(int entry);
    void openURL(const std::string& program, const std::string& parameter);
    void closeurl();

    // The program launched last by openURL; 0 when none.
    pid_t launched() const { return m_launched; }

private:
    RecorderContext& m_ctx;
    RecordingController& m_controller;
    pid_t m_launched = 0;
};

} // namespace quimbrel
