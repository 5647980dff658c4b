// The recorder: wires the block handler, the recording controller and the scheduler runtime to one shared
// state and forwards the main window's operations to them.
#include "recording/Recorder.h"

#include "encoder/createwriter.h"
#include "ports/Clock.h"
#include "ports/MessagePort.h"
#include "recording/BlockHandler.h"
#include "recording/RecorderContext.h"
#include "recording/RecordingController.h"
#include "recording/SchedulerRuntime.h"
#include "state/config.h"

#include "ports/Dispatcher.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

namespace quimbrel {

namespace {

// Holds the information boxes raised while the recorder is busy (in the block handler, a start or a stop) and
// shows them once it is done, so no box keeps the capture thread waiting for the block handler. The same
// text raised again before it was shown is shown once. Questions cannot wait for their answer and pass on.
class DeferredMessages final : public MessagePort {
public:
    DeferredMessages(MessagePort& target, const int& busy) : m_target(target), m_busy(busy) {}
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override {
        if (m_busy == 0 || buttons != MessageButtons::Ok)
            return m_target.show(text, caption, icon, buttons);
        for (const Held& h : m_held)
            if (h.text == text && h.caption == caption)
                return MessageResult::Ok;
        m_held.push_back({text, caption, icon});
        return MessageResult::Ok;
    }
    bool holding() const { return !m_held.empty(); }
    // Shows what is held, oldest first. A box shown here may run a nested event loop in which the recorder
    // holds new messages; those wait for the next call.
    void release() {
        std::deque<Held> held;
        held.swap(m_held);
        for (const Held& h : held)
            m_target.show(h.text, h.caption, h.icon, MessageButtons::Ok);
    }

private:
    struct Held {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };
    MessagePort& m_target;
    const int& m_busy;
    std::deque<Held> m_held;
};

} // namespace

struct Recorder::Impl {
    Impl(config& cfg, RecorderView& view, MessagePort& messages, Clock& clock)
        : deferred(messages, busy), ctx(cfg, view, deferred, clock), controller(ctx),
          scheduler(ctx, controller), blocks(ctx, controller, scheduler) {}

    // Runs one recorder operation. The block handler can be entered again from inside it, through a nested
    // event loop (the save dialog, a question): such blocks are queued and handled after the operation, in
    // order, and the messages it raised are shown after that.
    template <typename F> void run(F&& operation) {
        ++busy;
        try {
            operation();
        } catch (...) {
            --busy;
            throw;
        }
        --busy;
        if (busy == 0)
            settle();
    }
    void settle() {
        while (!pending.empty()) {
            const std::vector<float> block = std::move(pending.front());
            pending.pop_front();
            ++busy;
            blocks.event(block.data(), static_cast<int>(block.size() * sizeof(float)));
            --busy;
        }
        if (!deferred.holding() || releasePosted)
            return;
        if (dispatcher) {
            // After the hand-off that raised them has returned, from the event loop.
            releasePosted = true;
            dispatcher->post([this, alive = std::weak_ptr<Impl*>(self)] {
                if (alive.expired())
                    return;
                releasePosted = false;
                deferred.release();
            });
        } else {
            deferred.release();
        }
    }

    int busy = 0;
    // Expires with the recorder, so a release posted to the event loop never reaches a destroyed one.
    std::shared_ptr<Impl*> self = std::make_shared<Impl*>(this);
    std::deque<std::vector<float>> pending;
    Dispatcher* dispatcher = nullptr;
    bool releasePosted = false;
    DeferredMessages deferred;
    RecorderContext ctx;
    RecordingController controller;
    SchedulerRuntime scheduler;
    BlockHandler blocks;
};

Recorder::Recorder(config& cfg, RecorderView& view, MessagePort& messages, Clock& clock)
    : m_impl(std::make_unique<Impl>(cfg, view, messages, clock)) {
    RecorderContext& ctx = m_impl->ctx;
    ctx.captureformat = floatformat(static_cast<std::uint32_t>(cfg.current.rate),
                                    static_cast<std::uint16_t>(cfg.current.mode));
    ctx.state.knob = std::clamp(cfg.mixer.record, 1, 100);
    ctx.createWriter = [&cfg](const std::string& path, const WaveFormat& format) {
        return createwriter(cfg, path, format);
    };
}

Recorder::~Recorder() {
    // Blocks still queued belong to a recording that is ending with the program; they are dropped with it.
    // A writer still open is finished here, so its file is complete and listed; no message is shown any more.
    if (std::unique_ptr<TAudioWriter> writer = std::move(m_impl->ctx.writer))
        writer->finish();
}

bool Recorder::addevent(const EventForm& form) {
    RecorderContext& ctx = m_impl->ctx;
    return ctx.events && quimbrel::addevent(*ctx.events, ctx.cfg, form);
}
bool Recorder::cloneevent(int entry) {
    RecorderContext& ctx = m_impl->ctx;
    return ctx.events && quimbrel::cloneevent(*ctx.events, ctx.cfg, entry);
}
bool Recorder::deleteevent(int entry) {
    RecorderContext& ctx = m_impl->ctx;
    return ctx.events && quimbrel::deleteevent(*ctx.events, ctx.cfg, ctx.state, entry);
}
bool Recorder::moveevent(int from, int to) {
    RecorderContext& ctx = m_impl->ctx;
    return ctx.events && quimbrel::moveevent(*ctx.events, ctx.state, from, to);
}
bool Recorder::editevent(int entry, const EventForm& form) {
    RecorderContext& ctx = m_impl->ctx;
    return ctx.events && quimbrel::editevent(*ctx.events, ctx.state, entry, form, ctx.clock.now());
}

void Recorder::setSource(RecordingSource* source) {
    m_impl->ctx.source = source;
}
void Recorder::setOnFileFinished(std::function<void(const std::string&)> handler) {
    m_impl->ctx.onFileFinished = std::move(handler);
}
void Recorder::setEvents(std::vector<recevent>* events) {
    m_impl->ctx.events = events;
}
void Recorder::setDatabase(RecordingsDb* database) {
    m_impl->ctx.database = database;
}
void Recorder::setWriterFactory(WriterFactory factory) {
    m_impl->ctx.createWriter = std::move(factory);
}

void Recorder::setCaptureFormat(const WaveFormat& format) {
    m_impl->ctx.captureformat = format;
    m_impl->blocks.resetBlock();
}
const WaveFormat& Recorder::captureFormat() const {
    return m_impl->ctx.captureformat;
}

void Recorder::filtersupdate() {
    RecorderContext& ctx = m_impl->ctx;
    ctx.filters.apply(ctx.cfg, static_cast<int>(ctx.captureformat.samplesPerSec));
}

void Recorder::setDispatcher(Dispatcher* dispatcher) {
    m_impl->dispatcher = dispatcher;
}

void Recorder::event(const float* block, int bytes) {
    Impl& impl = *m_impl;
    if (impl.busy > 0) {
        // Entered from a nested event loop: keep the block for when the running operation is done.
        const int floats = block ? std::clamp(bytes, 0, BlockHandler::kBufferBytes) / 4 : 0;
        impl.pending.emplace_back(block, block + floats);
        return;
    }
    impl.run([&] { impl.blocks.event(block, bytes); });
}

void Recorder::StartClick() {
    m_impl->run([this] { m_impl->controller.StartClick(); });
}
int Recorder::startrecord() {
    int result = 1;
    m_impl->run([&] { result = m_impl->controller.startrecord(); });
    return result;
}
void Recorder::StopClick() {
    m_impl->run([this] { m_impl->controller.StopClick(); });
}
void Recorder::fullstop() {
    m_impl->run([this] { m_impl->controller.fullstop(); });
}
void Recorder::pausebuttonClick() {
    m_impl->controller.pausebuttonClick();
}
std::string Recorder::getautoname() {
    return m_impl->controller.getautoname();
}
void Recorder::ShowStatus(RecorderStatus status) {
    m_impl->controller.ShowStatus(status);
}

void Recorder::checkschedule() {
    m_impl->scheduler.checkschedule();
}
void Recorder::schedulerhelper(int entry) {
    m_impl->scheduler.schedulerhelper(entry);
}
void Recorder::openURL(const std::string& program, const std::string& parameter) {
    m_impl->scheduler.openURL(program, parameter);
}
void Recorder::closeurl() {
    m_impl->scheduler.closeurl();
}

void Recorder::setknob(int position) {
    m_impl->controller.setknob(position);
}
void Recorder::volumemainChange(int position) {
    m_impl->controller.volumemainChange(position);
}
int Recorder::knobPosition() const {
    return m_impl->ctx.state.knob;
}

void Recorder::beginPlayback(const std::string& path) {
    m_impl->controller.beginPlayback(path);
}
void Recorder::endPlayback() {
    m_impl->controller.endPlayback();
}

const RecordingState& Recorder::state() const {
    return m_impl->ctx.state;
}

bool Recorder::writerOpen() const {
    return m_impl->ctx.writer != nullptr;
}

bool Recorder::buttonEnabled(RecorderButton button) const {
    const RecordingState& st = m_impl->ctx.state;
    switch (button) {
    case RecorderButton::Record:
        return st.recordEnabled;
    case RecorderButton::Stop:
        return st.stopEnabled;
    case RecorderButton::Pause:
        return st.pauseEnabled;
    case RecorderButton::Play:
        return st.playEnabled;
    case RecorderButton::Library:
        return st.libraryEnabled;
    case RecorderButton::None:
        break;
    }
    return false;
}

std::string Recorder::elapsedText() const {
    const RecordingState& st = m_impl->ctx.state;
    if (st.mode != RecorderMode::Record || !st.fileopen || !st.writing)
        return "00:00:00";
    const double now = st.paused ? st.pausestart : m_impl->ctx.clock.now();
    return formatelapsed(now - st.segmentstart);
}

const float* Recorder::blockbuffer() const {
    return m_impl->blocks.blockbuffer();
}
int Recorder::blockbytes() const {
    return m_impl->blocks.blockbytes();
}
int Recorder::leftpeak() const {
    return m_impl->blocks.leftpeak();
}
int Recorder::rightpeak() const {
    return m_impl->blocks.rightpeak();
}

std::size_t Recorder::runningPrograms() {
    m_impl->ctx.launcher.reap();
    return m_impl->ctx.launcher.running().size();
}

} // namespace quimbrel
