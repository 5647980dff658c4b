// The recorder's audio source: the endpoint catalogue grouped by card, the selection, and the opening of the
// selected endpoint (capture thread, plus the silence renderer for loopback). All operations: owning thread.
#pragma once

#include "capture/TWASAPIDevice.h"
#include "capture/TWASAPIDevices.h"
#include "ports/Dispatcher.h"
#include "ports/MessagePort.h"
#include "ports/WaveFormat.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quimbrel {

namespace pulse {
class Connection;
}
class TInputRecordThread;
class TPlayThread;

// Caption of every message the audio layer shows.
inline constexpr const char* kAudioDeviceErrorCaption = "Audio Device Error";

class TWASAPISource {
public:
    // The block handler. Called on the owning thread (through the dispatcher) with interleaved 32-bit float
    // frames in `format`; `block` belongs to the capture thread and is valid only during the call, so the
    // handler copies what it keeps. A block is never larger than TInputRecordThread::kMaxBlockBytes. The
    // capture thread waits while the handler runs, so the handler must not stop or re-open lines itself (post
    // that to a later turn of the owning thread's loop instead). An exception it throws ends the capture
    // thread, which shows it.
    using DataHandler = std::function<void(TWASAPISource& source, const void* block, int bytes)>;

    // Builds the catalogue (a failure shows "Audio devices enumeration error."), then filllines(0).
    // `messages` receives every message of the audio layer; `dispatcher` is the hand-off to this (the owning)
    // thread; `server` is a PulseAudio server address, empty for the default (PULSE_SERVER or the session's).
    // Nothing is opened until opencard or openline.
    TWASAPISource(MessagePort& messages, Dispatcher& dispatcher, DataHandler onData = {},
                  std::string server = {});
    ~TWASAPISource();
    TWASAPISource(const TWASAPISource&) = delete;
    TWASAPISource& operator=(const TWASAPISource&) = delete;

    // Rebuilds `cards`: endpoints grouped by adapter name (exact, case-sensitive), the default sink's card
    // moved first.
    void enumerate();
    // `lines` := the names of the endpoints of that card (empty for a position outside the catalogue).
    void filllines(int card);
    // `defaultline` when the selected card is `defaultcard`, else 0.
    int getdefaultline() const;
    // The selected endpoint's state is active.
    bool isactive() const;

    // Opens (card, line): silence renderer for a sink, then the capture thread. Returns whether that endpoint
    // is active. The capture thread's initialisation result is in opened(). Does not stop running threads.
    bool openendpoint(int card, int line);
    // stopthreads; selects the card and its first active line (0 if none); opens it. False, with "Could not
    // initialize selected audio device.", when the position is outside the catalogue.
    bool opencard(int card, const WaveFormat& format);
    // stopthreads; selects (card, line); opens it. False, with the message above, for a bad position.
    bool openline(int card, int line, const WaveFormat& format);
    // When forced or the line differs: stopthreads, select, re-open. Always reads the volume back into
    // `volume` (returned through the second out-parameter). Returns 0.
    int selectline(int line, bool force, int& volumeOut);
    // format := floatformat(rate, channels), handed back; then a forced re-open of the current line.
    void setformat(int rate, int channels, WaveFormat& formatOut);
    // Capture volume of our own stream, in percent (0..100); ignored while no capture runs.
    void setvolume(int percent);
    // The stream's volume read back in percent; 100 while no capture runs.
    int getvolume();
    // Capture thread, then silence renderer: request the end, wait (running pending hand-offs meanwhile),
    // destroy. Safe to call at any time.
    void stopthreads();

    // Fields, read-only.
    TInputRecordThread* capturethread() const { return m_capturethread.get(); }
    TPlayThread* silencethread() const { return m_silencethread.get(); }
    int volume() const { return m_volume; }
    int cardindex() const { return m_cardindex; }
    int lineindex() const { return m_lineindex; }
    const WaveFormat& format() const { return m_format; }
    bool loopback() const { return m_loopback; }
    int defaultline() const { return m_defaultline; }
    int defaultcard() const { return m_defaultcard; }
    const std::vector<std::string>& lines() const { return m_lines; }
    const TWASAPIDevices& cards() const { return m_cards; }
    bool opened() const { return m_opened; }

    // The `OnData` event: copied into every capture thread opened after the change.
    void setOnData(DataHandler handler) { m_onData = std::move(handler); }
    const DataHandler& OnData() const { return m_onData; }

    // A connection that is up, reconnecting when the server went away since the last use; null with the
    // PulseAudio error number in `error` when no server answers. Playback shares it.
    std::shared_ptr<pulse::Connection> connection(int& error);

private:
    bool openselected(int card, int line);

    MessagePort& m_messages;
    Dispatcher& m_dispatcher;
    std::string m_server;
    std::shared_ptr<pulse::Connection> m_connection;

    std::unique_ptr<TInputRecordThread> m_capturethread;
    std::unique_ptr<TPlayThread> m_silencethread;
    int m_volume = 100;
    int m_cardindex = 0;
    int m_lineindex = 0;
    WaveFormat m_format = floatformat(44100, 2);
    DataHandler m_onData;
    bool m_loopback = false;
    int m_defaultline = 0;
    int m_defaultcard = 0;
    std::vector<std::string> m_lines;
    TWASAPIDevices m_cards;
    bool m_opened = false;
};

} // namespace quimbrel
