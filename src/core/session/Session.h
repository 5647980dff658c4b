// One running recorder without its windows: the settings record, the scheduled events, the remembered name
// templates, the recordings database, the endpoint catalogue with the open capture line, the recorder and
// the player of recordings.
// The window program and quimbrel-cli both start and end through it. Owning (UI) thread only.
#pragma once

#include "ports/WaveFormat.h"
#include "state/config.h"
#include "state/recevent.h"
#include "state/recordingsdb.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quimbrel {

class Clock;
class Dispatcher;
class MessagePort;
class Player;
class Recorder;
class RecorderView;
class RecordingSource;
class TWASAPISource;

class Session {
public:
    // Which start-up steps open() runs. The window runs them all; a command that only lists devices or the
    // library leaves out what it does not need. The line needs the catalogue.
    struct Steps {
        bool catalogue = true; // the endpoint catalogue (and the block handler behind it)
        bool documents = true; // quimbrel.xml, events.xml, names.xml and the Ogg Vorbis libraries
        bool database = true;  // quimbrel.db
        bool line = true;      // the configured card and line, opened: capture runs
    };

    enum class OpenResult {
        None,
        Opened,
        NoCaptureDevice, // the catalogue is empty: the program ends without saving anything
    };

    // All references must outlive the session. The recorder exists from here on, on the default settings.
    Session(RecorderView& view, MessagePort& messages, Dispatcher& dispatcher, Clock& clock);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The start-up order: the endpoint catalogue; the three documents (every event's cancelled mark cleared);
    // the capture format; the Ogg and Vorbis libraries (a missing one only disables the Ogg writer; an error
    // raised while loading shows "Vorbis DDL Initialization Error" and the program runs on); the database;
    // the configured card and line, whose volume becomes the knob's.
    OpenResult open(const Steps& steps);
    OpenResult open() { return open(Steps{}); }
    bool isOpen() const { return m_open; }
    // Opens the configured card and line in the configured format, as open() does with Steps::line; for a
    // front end that chooses the line or the format after the documents are read. Needs the catalogue.
    void openLine();
    // quimbrel.xml was there but could not be read at open() (it was moved aside, the defaults stand).
    bool settingsUnreadable() const { return m_settingsUnreadable; }

    // The shut-down order: a running or voice-armed recording is finished, playback stopped, capture stopped,
    // then, when `save` is set, the three documents are written. Does nothing unless open() succeeded.
    void close(bool save);
    // Writes quimbrel.xml, events.xml and names.xml; each failure is reported through the message port.
    // events.xml is written only when the table differs from the file's last known contents.
    bool save();

    // Re-opens the line in the new capture format (after the codec settings changed) and hands the format to
    // the recorder.
    void reconfig(int rate, int channels);

    // What the session owns.
    config& cfg() { return m_cfg; }
    const config& cfg() const { return m_cfg; }
    eventtable& events() { return m_events; }
    std::vector<std::string>& names() { return m_names; }
    RecordingsDb& database() { return m_database; }
    Recorder& recorder() { return *m_recorder; }
    const Recorder& recorder() const { return *m_recorder; }
    // Plays recordings over the catalogue's connection to the sound server; without the catalogue it finds no
    // server and plays nothing.
    Player& player() { return *m_player; }
    // The catalogue and line; null before open() built it.
    TWASAPISource* source() { return m_source.get(); }
    const WaveFormat& captureformat() const { return m_captureformat; }
    // Whether the configured line is open and active.
    bool lineUsable() const;

    // Called for every captured block before the block handler, with its byte count.
    void setBlockObserver(std::function<void(int bytes)> observer) { m_blockObserver = std::move(observer); }

private:
    bool openCatalogue();
    void loadDocuments();
    void loadLibraries();
    void openDatabase();
    // The capture format from current.rate and current.mode, handed to the recorder.
    void applyCaptureFormat();

    RecorderView& m_view;
    MessagePort& m_messages;
    Dispatcher& m_dispatcher;
    Clock& m_clock;

    config m_cfg;
    eventtable m_events;
    // The table as events.xml held it when read or last written; unset when there was no readable file.
    // close() leaves an unchanged table's file alone, so events another program (quimbrel-cli) wrote
    // meanwhile are kept.
    std::optional<eventtable> m_eventsOnDisk;
    std::vector<std::string> m_names;
    RecordingsDb m_database;
    WaveFormat m_captureformat;
    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<TWASAPISource> m_source;
    std::unique_ptr<RecordingSource> m_recordingSource;
    std::unique_ptr<Player> m_player;
    std::function<void(int)> m_blockObserver;
    bool m_open = false;
    bool m_settingsUnreadable = false;
    bool m_oggLoaded = false;
    bool m_vorbisLoaded = false;
};

} // namespace quimbrel
