// The recorder: the non-visual half of the main window. Owns the recording state, the active writer, the
// block buffer and the filters, and runs the block handler, the recording controller and the scheduler check.
// Everything here runs on the UI thread (the capture thread hands blocks over synchronously).
#pragma once

#include "ports/WaveFormat.h"
#include "recording/RecorderView.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quimbrel {

class Clock;
class Dispatcher;
class MessagePort;
class RecordingSource;
class RecordingsDb;
class TAudioWriter;
struct EventForm;
enum class RecorderStatus;
struct RecordingState;
struct config;
struct recevent;

class Recorder {
public:
    // cfg is the process-wide settings record; all references must outlive the recorder.
    Recorder(config& cfg, RecorderView& view, MessagePort& messages, Clock& clock);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Wiring, done once after construction (see the .cpp for the defaults used when a hook is not set).
    // The opened capture line: whether it is usable, and the volume the knob sets. Null = no line.
    void setSource(RecordingSource* source);
    // Called with the path of every finished file after it entered the database and the tagger was started.
    void setOnFileFinished(std::function<void(const std::string& path)> handler);
    // The scheduled events the scheduler tests (entry i is events[i - 1]). Null = none.
    void setEvents(std::vector<recevent>* events);
    // The recordings database finished files are added to. Null = none.
    void setDatabase(RecordingsDb* database);
    // Replaces the writer factory (default: the writer of codec.index from the codec table). Throws
    // WriterError with the message to show.
    using WriterFactory =
        std::function<std::unique_ptr<TAudioWriter>(const std::string& path, const WaveFormat& format)>;
    void setWriterFactory(WriterFactory factory);

    // The capture format of the blocks handed to event(); the window's reconfig calls it after re-opening.
    void setCaptureFormat(const WaveFormat& format);
    const WaveFormat& captureFormat() const;
    // Apply the filter settings (kind, frequency, Q) to the three filters at the capture rate.
    void filtersupdate();

    // The owning thread's dispatcher. Messages raised while the recorder is busy (in the block handler, a
    // start or a stop) are shown after it is done; with a dispatcher they are posted to its event loop, so
    // no box keeps the capture hand-off waiting. Without one they are shown as the operation returns.
    void setDispatcher(Dispatcher* dispatcher);

    // The block handler: subscribed to the capture source's OnData. A block that arrives while the recorder
    // is busy (from a nested event loop: the save dialog, a question) is queued and handled, in order, as
    // soon as the running operation is done; none is dropped.
    void event(const float* block, int bytes);

    // The recording controller.
    void StartClick();
    int startrecord();
    void StopClick();
    void fullstop();
    void pausebuttonClick();
    std::string getautoname();
    void ShowStatus(RecorderStatus status);

    // The scheduler runtime.
    void checkschedule();
    void schedulerhelper(int entry);
    void openURL(const std::string& program, const std::string& parameter);
    void closeurl();
    // Edits of the scheduled events (entries from 1) that keep a running scheduled recording tied to its
    // event; false when there are no events or no such entry (see SchedulerRuntime.h).
    bool addevent(const EventForm& form);
    bool cloneevent(int entry);
    bool deleteevent(int entry);
    bool moveevent(int from, int to);
    bool editevent(int entry, const EventForm& form);

    // The volume knob: setknob clamps to 1..100, moves the knob and applies the position (as the knob's own
    // change handler would); volumemainChange is what the window calls when the user turns the knob.
    void setknob(int position);
    void volumemainChange(int position);
    int knobPosition() const;

    // Playback mode, entered and left by the window's player (the stream itself stays in the window).
    void beginPlayback(const std::string& path);
    void endPlayback();

    // What the window reads.
    const RecordingState& state() const;
    // A file is open, also while voice operation holds it between sounds: its format must not change.
    bool writerOpen() const;
    bool buttonEnabled(RecorderButton button) const;
    // The time display text for now (formatelapsed of now minus segmentstart), "00:00:00" when idle.
    std::string elapsedText() const;
    const float* blockbuffer() const;
    int blockbytes() const;
    int leftpeak() const;
    int rightpeak() const;
    // The processes started for the tagger and scheduled events that have not ended yet.
    std::size_t runningPrograms();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quimbrel
