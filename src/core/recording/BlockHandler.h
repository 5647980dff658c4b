// The block handler `event`: per captured block it measures the peaks, runs the gain control, the schedule
// test, voice activation, splitting and auto-stop, filters the block, converts it and writes it. UI thread,
// called through the capture thread's synchronous hand-off.
#pragma once

#include <cstdint>
#include <vector>

namespace quimbrel {

struct RecorderContext;
class RecordingController;
class SchedulerRuntime;

class BlockHandler {
public:
    // The largest block accepted: 2 MiB of floats.
    static constexpr int kBufferBytes = 2 * 1024 * 1024;

    BlockHandler(RecorderContext& ctx, RecordingController& controller, SchedulerRuntime& scheduler);

    void event(const float* block, int bytes);

    const float* blockbuffer() const { return m_blockbuffer.data(); }
    int blockbytes() const { return m_blockbytes; }
    int leftpeak() const { return m_leftpeak; }
    int rightpeak() const { return m_rightpeak; }
    // The capture format changed: the next block starts afresh.
    void resetBlock() { m_blockbytes = 0; }

private:
    void peaks(int bytes);
    void agc();
    void vox(double now);
    void splitAndAutostop(double now);
    void filter(int bytes);
    void write(int bytes);
    void writeconverted(const std::uint8_t* data, int count);
    // Closes the current file and opens the next part of the recording (a split, or a file that is full).
    void nextpart();

    RecorderContext& m_ctx;
    RecordingController& m_controller;
    SchedulerRuntime& m_scheduler;
    std::vector<float> m_blockbuffer;
    std::vector<std::uint8_t> m_scratch;
    int m_blockbytes = 0;
    int m_leftpeak = 0;
    int m_rightpeak = 0;
};

// Peak of a block on the 16-bit scale: the largest absolute value, limited to 1.0, times 32767, rounded.
int peakvalue(float largest);

} // namespace quimbrel
