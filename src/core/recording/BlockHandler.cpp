// The block handler: meters, gain control, schedule test, voice activation, splitting, auto-stop, filters,
// conversion and writing of every captured block.
#include "recording/BlockHandler.h"

#include "encoder/TAudioWriter.h"
#include "ports/Clock.h"
#include "recording/RecorderContext.h"
#include "recording/RecordingController.h"
#include "recording/SchedulerRuntime.h"
#include "state/config.h"

#include <fenwave.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quimbrel {

int peakvalue(float largest) {
    const float limited = std::min(largest, 1.0f);
    return static_cast<int>(std::lround(static_cast<double>(limited) * 32767.0));
}

BlockHandler::BlockHandler(RecorderContext& ctx, RecordingController& controller, SchedulerRuntime& scheduler)
    : m_ctx(ctx), m_controller(controller), m_scheduler(scheduler),
      m_blockbuffer(kBufferBytes / sizeof(float)), m_scratch(kBufferBytes) {}

void BlockHandler::event(const float* block, int bytes) {
    // Whole floats only, and never more than the buffer holds.
    bytes = std::clamp(bytes, 0, kBufferBytes);
    bytes -= bytes % 4;
    if (!block)
        bytes = 0;
    if (bytes > 0)
        std::memcpy(m_blockbuffer.data(), block, static_cast<std::size_t>(bytes));
    m_blockbytes = bytes;

    peaks(bytes);
    if (m_ctx.cfg.agc.enabled && m_ctx.state.mode == RecorderMode::Record)
        agc();
    m_scheduler.checkschedule();

    if (!m_ctx.state.paused) {
        const double now = m_ctx.clock.now();
        if (m_ctx.cfg.vox.enabled && m_ctx.state.vox.voxarmed)
            vox(now);
        if (m_ctx.state.mode == RecorderMode::Record)
            splitAndAutostop(now);
        filter(bytes);
        write(bytes);
    }

    if (m_ctx.state.stoprequest)
        m_controller.fullstop();
    // Collect taggers and event programs that have ended, so none lingers as a zombie.
    if (!m_ctx.launcher.running().empty())
        m_ctx.launcher.reap();
}

void BlockHandler::peaks(int bytes) {
    const int n = bytes / 4;
    const float* s = m_blockbuffer.data();
    float left = 0.0f;
    float right = 0.0f;
    if (m_ctx.captureformat.channels == 2) {
        for (int i = 0; i + 1 < n; i += 2) {
            left = std::max(left, std::fabs(s[i]));
            right = std::max(right, std::fabs(s[i + 1]));
        }
        m_leftpeak = peakvalue(left);
        m_rightpeak = peakvalue(right);
    } else {
        for (int i = 0; i < n; ++i)
            left = std::max(left, std::fabs(s[i]));
        m_leftpeak = peakvalue(left);
        m_rightpeak = m_leftpeak;
    }
}

void BlockHandler::agc() {
    const int step = m_ctx.cfg.agc.mode;
    int p = m_ctx.state.knob;
    if ((m_leftpeak > 28000 || m_rightpeak > 28000) && p > 5)
        m_controller.setknob(p - step);
    p = m_ctx.state.knob;
    if ((m_leftpeak < 25000 || m_rightpeak < 25000) && p < 99 && (m_leftpeak > 3000 || m_rightpeak > 3000))
        m_controller.setknob(p + step);
}

void BlockHandler::vox(double now) {
    RecordingState& st = m_ctx.state;
    const config& cfg = m_ctx.cfg;
    const int level = std::max(m_leftpeak, m_rightpeak);
    if (level >= cfg.vox.threshold) {
        st.writing = true;
        if (!st.fileopen) {
            m_controller.startrecord();
            st.vox.voxstart = now;
        }
        st.vox.silencerunning = false;
        if (st.statusindex != RecorderStatus::Recording)
            m_controller.ShowStatus(RecorderStatus::Recording);
        return;
    }
    if (!st.vox.silencerunning) {
        st.vox.silencebytes = st.totalbytes;
        st.vox.silencestart = now;
        st.vox.silencerunning = true;
        return;
    }
    st.vox.silencesecs = elapsedseconds(st.vox.silencestart, now);
    if (st.vox.silencesecs < cfg.vox.silence)
        return;
    st.vox.silencerunning = false;
    if (!st.writing)
        return;
    if (cfg.autodelete.enabled &&
        elapsedseconds(st.vox.voxstart, now) - cfg.vox.silence < cfg.autodelete.deletetime)
        st.vox.deleteshort = true;
    st.vox.cutbytes = st.vox.silencebytes;
    if (cfg.vox.action == 1) {
        st.writing = false;
    } else {
        st.stoprequest = true;
        st.vox.voxcut = true;
    }
    m_controller.ShowStatus(RecorderStatus::Scan);
}

void BlockHandler::splitAndAutostop(double now) {
    RecordingState& st = m_ctx.state;
    const config& cfg = m_ctx.cfg;
    if (cfg.splitter.enabled) {
        // A pending Stop wins over the split: opening the next part would clear the request and record on.
        if (st.writing && !st.stoprequest && elapsedseconds(st.segmentstart, now) >= cfg.splitter.timelimit)
            nextpart();
        else if (!st.writing)
            st.split.splitcount = 0;
    }
    if (cfg.autostop.enabled && elapsedseconds(st.recordstart, now) > cfg.autostop.timelimit &&
        st.stopEnabled)
        m_controller.StopClick();
}

void BlockHandler::nextpart() {
    RecordingState& st = m_ctx.state;
    ++st.split.splitcount;
    const double recordstart = st.recordstart;
    m_controller.fullstop();
    m_controller.StartClick();
    // Under voice activation StartClick only arms; the sound that kept the old part open opens the next one
    // at once, so the block the split happens on is written to it and not lost.
    if (m_ctx.cfg.vox.enabled && st.vox.voxarmed && !st.fileopen) {
        st.writing = true;
        m_controller.startrecord();
        st.vox.voxstart = m_ctx.clock.now();
        m_controller.ShowStatus(RecorderStatus::Recording);
    }
    st.recordstart = recordstart;
}

void BlockHandler::filter(int bytes) {
    const int channels = m_ctx.captureformat.channels;
    if (channels < 1)
        return;
    if (m_ctx.filters.ensureChannels(channels))
        m_ctx.filters.apply(m_ctx.cfg, static_cast<int>(m_ctx.captureformat.samplesPerSec));
    m_ctx.filters.process(m_ctx.cfg, m_blockbuffer.data(), bytes / (channels * 4));
}

void BlockHandler::write(int bytes) {
    RecordingState& st = m_ctx.state;
    if (!st.writing || !m_ctx.writer || st.writerfailed)
        return;
    TAudioWriter& writer = *m_ctx.writer;
    convertFromFloat(m_blockbuffer.data(), m_scratch.data(), writer.SampleFormat(), bytes / 4);
    int count = 0;
    switch (writer.SampleFormat()) {
    case kSampleU8:
        count = bytes / 4;
        break;
    case kSampleS16:
        count = bytes / 2;
        break;
    case kSampleS24:
        count = bytes / 4 * 3;
        break;
    case kSampleFloat:
        count = bytes;
        break;
    default:
        count = 0;
        break;
    }
    writeconverted(m_scratch.data(), count);
}

void BlockHandler::writeconverted(const std::uint8_t* data, int count) {
    RecordingState& st = m_ctx.state;
    // A file that reaches its format's size limit (a WAV at 4 GiB) goes on in the next part, named as the
    // splitter names parts, from the first frame it could not take: nothing is lost between the parts.
    for (int parts = 0; parts < 64; ++parts) {
        TAudioWriter* writer = m_ctx.writer.get();
        if (!writer || !st.writing)
            return;
        const std::int32_t written = writer->WriteBlock(data, count);
        if (written < 0) {
            // The writer has failed and takes nothing more.
            m_controller.writefailed();
            return;
        }
        st.totalbytes += written;
        if (!writer->full() || written >= count)
            return;
        data += written;
        count -= written;
        nextpart();
    }
}

} // namespace quimbrel
