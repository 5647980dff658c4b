// The scheduler runtime: tests the scheduled events once per captured block, fires and stops them, and
// launches and closes an event's program. UI thread.
#pragma once

#include <string>
#include <sys/types.h>

namespace quimbrel {

struct RecorderContext;
class RecordingController;

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
