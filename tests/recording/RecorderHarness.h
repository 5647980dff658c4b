// A recorder on a fake view, a recording message port, a manual clock and writers that write plain files, for
// driving the block handler, the controller and the scheduler through any timeline.
#pragma once

#include "encoder/TAudioWriter.h"
#include "ports/Clock.h"
#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecorderView.h"
#include "recording/RecordingSource.h"
#include "recording/RecordingState.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/recevent.h"

#include <cerrno>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace quimbrel::testing {

class FakeView final : public RecorderView {
public:
    void setButtonEnabled(RecorderButton button, bool enabled) override { buttons[button] = enabled; }
    void showFileLabel(const std::string& text, const std::string& hint) override {
        fileLabel = text;
        fileHint = hint;
    }
    void showStatus(const std::string& text, StatusColour colour) override {
        status = text;
        statusColour = colour;
    }
    void showTime(const std::string& text) override { time = text; }
    void showVolume(int position) override { volume = position; }
    std::optional<std::string> runSaveDialog(const SaveDialogRequest& request) override {
        lastDialog = request;
        ++dialogRuns;
        // What the dialog's nested event loop does while it is open (capture hand-offs arriving).
        if (duringDialog)
            duringDialog();
        if (dialogAnswers.empty())
            return std::nullopt;
        std::optional<std::string> answer = dialogAnswers.front();
        dialogAnswers.pop_front();
        return answer;
    }
    void setScheduleStatus(int row, const std::string& text) override { scheduleStatus[row] = text; }
    void selectScheduleRow(int row) override { selectedRow = row; }
    void refreshLibrary() override { ++libraryRefreshes; }

    std::map<RecorderButton, bool> buttons;
    std::string fileLabel, fileHint, status, time;
    StatusColour statusColour;
    int volume = -1;
    std::deque<std::optional<std::string>> dialogAnswers;
    SaveDialogRequest lastDialog;
    int dialogRuns = 0;
    std::map<int, std::string> scheduleStatus;
    int selectedRow = -1;
    int libraryRefreshes = 0;
    std::function<void()> duringDialog;
};

// Records every message like RecordingMessagePort; duringBox runs while a box is "open", as its nested event
// loop would run capture hand-offs.
class TestMessages final : public MessagePort {
public:
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override {
        const MessageResult result = m_inner.show(text, caption, icon, buttons);
        if (duringBox)
            duringBox();
        return result;
    }
    void queueAnswer(MessageResult answer) { m_inner.queueAnswer(answer); }
    std::vector<RecordingMessagePort::Entry> entries() const { return m_inner.entries(); }
    std::size_t count() const { return m_inner.count(); }
    std::function<void()> duringBox;

private:
    RecordingMessagePort m_inner;
};

class FakeSource final : public RecordingSource {
public:
    bool usable() const override { return ok; }
    void setvolume(int position) override { volume = position; }
    bool ok = true;
    int volume = -1;
};

// What the fake writers did.
struct WriterLog {
    std::vector<std::string> created;
    int writeCalls = 0;
    int failAfter = -1; // blocks accepted before WriteBlock returns -1; -1 = never fails
    std::int32_t code = kSampleS16;
};

// Writes the converted samples to a plain file, so truncation and deletion can be observed.
class FakeWriter final : public TAudioWriter {
public:
    FakeWriter(const std::string& path, WriterLog& log) : TAudioWriter(path), m_log(log) {
        m_out.open(path, std::ios::binary | std::ios::trunc);
        if (!m_out)
            throw WriterError("cannot create " + path);
        log.created.push_back(path);
    }
    ~FakeWriter() override { closeunfinished(); }
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override {
        ++m_log.writeCalls;
        if (failed() || (m_log.failAfter >= 0 && m_blocks >= m_log.failAfter)) {
            fail(ENOSPC, {});
            return -1;
        }
        ++m_blocks;
        m_out.write(static_cast<const char*>(data), bytes);
        m_out.flush();
        return bytes;
    }
    std::int32_t SampleFormat() const override { return m_log.code; }

private:
    void finishfile() override { m_out.close(); }

    WriterLog& m_log;
    std::ofstream m_out;
    int m_blocks = 0;
};

// Monday 7 December 2026.
inline double monday(int hour, int minute, int second = 0, int ms = 0) {
    return makeDayNumber(2026, 12, 7, hour, minute, second, ms);
}

class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "recorder-XXXXXX").string();
        path = mkdtemp(tmpl.data());
        path += '/';
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

class Harness {
public:
    explicit Harness(double start = monday(10, 0)) : clock(start) {
        cfg.archive.dir = folder.path;
        cfg.path.dir = folder.path;
        cfg.autoname.enabled = true;
        cfg.autoname.expression = "takeNUM";
        cfg.autoname.number = 100;
        cfg.runtagger.enabled = false;
        cfg.codec.index = 0;
        cfg.current.rate = 44100;
        cfg.current.mode = 2;
        rec = std::make_unique<Recorder>(cfg, view, messages, clock);
        rec->setSource(&source);
        rec->setEvents(&events);
        rec->setWriterFactory([this](const std::string& path, const WaveFormat&) {
            return std::unique_ptr<TAudioWriter>(new FakeWriter(path, log));
        });
        rec->setOnFileFinished([this](const std::string& path) { finished.push_back(path); });
    }

    // One 25 ms stereo block of constant amplitude, after moving the clock on by `step` seconds.
    void block(float amplitude, double step = 0.025) {
        clock.advanceSeconds(step);
        blockAt(amplitude);
    }
    // One block at the clock's current time.
    void blockAt(float amplitude) {
        std::vector<float> samples(2 * 1102, amplitude);
        rec->event(samples.data(), static_cast<int>(samples.size() * sizeof(float)));
    }
    // Blocks of `amplitude` every `step` seconds for `seconds`.
    void run(float amplitude, double seconds, double step = 1.0) {
        for (double t = 0; t < seconds - 1e-9; t += step)
            block(amplitude, step);
    }
    void at(double dayNumber, float amplitude = 0.0f) {
        clock.set(dayNumber);
        blockAt(amplitude);
    }
    const RecordingState& st() const { return rec->state(); }
    std::string file(const std::string& name) const { return folder.path + name; }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

    TempFolder folder;
    config cfg;
    FakeView view;
    TestMessages messages;
    ManualClock clock;
    FakeSource source;
    eventtable events;
    WriterLog log;
    std::vector<std::string> finished;
    std::unique_ptr<Recorder> rec;
};

} // namespace quimbrel::testing
