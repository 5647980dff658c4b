// The scheduler runtime: the per-block schedule test, firing an event and its program.
#include "recording/SchedulerRuntime.h"

#include "ports/Clock.h"
#include "ports/MessagePort.h"
#include "recording/RecorderContext.h"
#include "recording/RecordingController.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/eventform.h"
#include "state/safename.h"

#include <algorithm>
#include <cstring>

namespace quimbrel {

namespace {

bool exists(const eventtable& table, int entry) {
    return entry >= 1 && static_cast<std::size_t>(entry) <= table.size();
}

bool hasRoom(const eventtable& table) {
    return table.size() < static_cast<std::size_t>(kMaxEventCount);
}

} // namespace

bool addevent(eventtable& table, config& cfg, const EventForm& form) {
    if (!hasRoom(table))
        return false;
    recevent e;
    init(form, e);
    e.Enabled = true;
    table.push_back(std::move(e));
    cfg.scheduler.numevents = static_cast<int>(table.size());
    return true;
}

void clearcancelled(eventtable& table) {
    for (recevent& e : table)
        e.cancelled = false;
}

bool cloneevent(eventtable& table, config& cfg, int entry) {
    if (!exists(table, entry) || !hasRoom(table))
        return false;
    const recevent copy = table[static_cast<std::size_t>(entry) - 1];
    table.push_back(copy);
    cfg.scheduler.numevents = static_cast<int>(table.size());
    return true;
}

bool deleteevent(eventtable& table, config& cfg, RecordingState& st, int entry) {
    if (!exists(table, entry))
        return false;
    table.erase(table.begin() + (entry - 1));
    cfg.scheduler.numevents = static_cast<int>(table.size());
    if (st.schedule.currentevent == entry)
        st.schedule.currentevent = -1;
    else if (st.schedule.currentevent > entry)
        --st.schedule.currentevent;
    return true;
}

bool moveevent(eventtable& table, RecordingState& st, int a, int b) {
    if (!exists(table, a) || !exists(table, b))
        return false;
    if (a == b)
        return true;
    const recevent moved = table[static_cast<std::size_t>(a) - 1];
    if (a > b)
        std::move_backward(table.begin() + (b - 1), table.begin() + (a - 1), table.begin() + a);
    else
        std::move(table.begin() + a, table.begin() + b, table.begin() + (a - 1));
    table[static_cast<std::size_t>(b) - 1] = moved;
    int& cur = st.schedule.currentevent;
    if (cur == a)
        cur = b;
    else if (a > b && cur >= b && cur < a)
        ++cur;
    else if (a < b && cur > a && cur <= b)
        --cur;
    return true;
}

bool editevent(eventtable& table, const RecordingState& st, int entry, const EventForm& form, double now) {
    if (!exists(table, entry))
        return false;
    recevent copy = table[static_cast<std::size_t>(entry) - 1];
    init(form, copy);
    if (st.schedule.scheduledrecording && st.schedule.currentevent == entry)
        copy.stopdate = datePart(now) + copy.stoptime + (copy.nextday ? 1.0 : 0.0);
    table[static_cast<std::size_t>(entry) - 1] = std::move(copy);
    return true;
}

void SchedulerRuntime::checkschedule() {
    if (!m_ctx.cfg.scheduler.enabled || !m_ctx.events)
        return;
    RecordingState& st = m_ctx.state;
    const double now = m_ctx.clock.now();
    const double nowtime = timePart(now);
    const double today = datePart(now);
    const int dow = isoWeekday(now);

    if (!st.schedule.scheduledrecording) {
        const int count =
            std::min<int>(m_ctx.cfg.scheduler.numevents, static_cast<int>(m_ctx.events->size()));
        for (int i = 1; i <= count; ++i) {
            recevent& e = (*m_ctx.events)[static_cast<std::size_t>(i) - 1];
            if (e.cancelled || !e.Enabled)
                continue;
            if (e.repeat == 1) {
                if (now < e.startdate || now > e.stopdate)
                    continue;
            } else {
                if (dow < 1 || dow > 7 || !e.day[static_cast<std::size_t>(dow)])
                    continue;
                if (!e.nextday) {
                    if (!(nowtime > e.starttime && nowtime < e.stoptime))
                        continue;
                    e.stopdate = today + e.stoptime;
                } else {
                    if (!(nowtime > e.starttime))
                        continue;
                    e.stopdate = today + e.stoptime + 1.0;
                }
            }
            schedulerhelper(i);
        }
    }

    if (st.schedule.scheduledrecording) {
        recevent* e = m_ctx.event(st.schedule.currentevent);
        if (!e || now > e->stopdate) {
            if (st.stopEnabled)
                m_controller.StopClick();
            if (e) {
                e->cancelled = false;
                m_ctx.view.setScheduleStatus(st.schedule.currentevent - 1, "Complete");
                if (e->Task)
                    closeurl();
            }
            st.schedule.scheduledrecording = false;
        }
    }
}

void SchedulerRuntime::schedulerhelper(int entry) {
    recevent* e = m_ctx.event(entry);
    if (!e)
        return;
    if (e->Task)
        openURL(e->Appname, e->URL);
    RecordingState& st = m_ctx.state;
    st.schedule.currentevent = entry;
    m_ctx.view.selectScheduleRow(entry - 1);
    m_ctx.view.setScheduleStatus(entry - 1, "Record...");
    // The event's name as a file name, made safe for the output folder (the name itself stays as typed).
    st.schedule.eventfilename = e->filename.empty() ? std::string() : safefilename(e->filename);
    st.schedule.scheduledrecording = true;
    if (st.recordEnabled)
        m_controller.StartClick();
}

void SchedulerRuntime::openURL(const std::string& program, const std::string& parameter) {
    if (program.empty() && parameter.empty()) {
        m_ctx.messages.show("Scheduler error: Application not specified", "Quimbrel", MessageIcon::None,
                            MessageButtons::Ok);
        return;
    }
    // The program text may carry its own arguments; the parameter is one argument, passed on as it stands.
    std::optional<std::vector<std::string>> argv = splitcommandline(program);
    if (!argv) {
        m_ctx.messages.show(std::string("Scheduler error: ") + std::strerror(EINVAL), "Quimbrel",
                            MessageIcon::None, MessageButtons::Ok);
        return;
    }
    if (!parameter.empty())
        argv->push_back(parameter);
    const pid_t pid = m_ctx.launcher.launch(*argv);
    if (pid <= 0) {
        m_ctx.messages.show(std::string("Scheduler error: ") + std::strerror(pid < 0 ? -pid : ENOENT),
                            "Quimbrel", MessageIcon::None, MessageButtons::Ok);
        return;
    }
    m_launched = pid;
}

void SchedulerRuntime::closeurl() {
    if (m_launched > 0)
        m_ctx.launcher.closeprocess(m_launched, 100);
    m_launched = 0;
}

} // namespace quimbrel
