// The start-up and shut-down order of one running recorder.
#include "session/Session.h"

#include "capture/TWASAPISource.h"
#include "encoder/libVorbis.h"
#include "playback/Player.h"
#include "ports/MessagePort.h"
#include "recording/Recorder.h"
#include "recording/RecordingSource.h"
#include "recording/RecordingState.h"
#include "recording/SchedulerRuntime.h"
#include "state/AtomicFile.h"
#include "state/names.h"

namespace quimbrel {

Session::Session(RecorderView& view, MessagePort& messages, Dispatcher& dispatcher, Clock& clock)
    : m_view(view), m_messages(messages), m_dispatcher(dispatcher), m_clock(clock), m_database(messages) {
    m_cfg.datafolder = dataFolder();
    defaultconfig(m_cfg);
    m_captureformat = floatformat(static_cast<std::uint32_t>(m_cfg.current.rate),
                                  static_cast<std::uint16_t>(m_cfg.current.mode));
    m_recorder = std::make_unique<Recorder>(m_cfg, m_view, m_messages, m_clock);
    m_recorder->setEvents(&m_events);
    m_recorder->setDispatcher(&m_dispatcher);
    m_player = std::make_unique<Player>(m_dispatcher, [this](int& error) {
        return m_source ? m_source->connection(error) : std::shared_ptr<pulse::Connection>();
    });
}

Session::~Session() {
    m_player.reset();
    // The capture thread hands blocks to the recorder: it ends before the recorder goes.
    if (m_source)
        m_source->stopthreads();
    m_source.reset();
    m_recordingSource.reset();
    m_recorder.reset();
    if (m_vorbisLoaded)
        unloadvorbislib(kVorbisLibrary);
    if (m_oggLoaded)
        unloadvorbislib(kOggLibrary);
    m_database.close();
}

Session::OpenResult Session::open(const Steps& steps) {
    if (steps.catalogue && !openCatalogue())
        return OpenResult::NoCaptureDevice;
    if (steps.documents) {
        loadDocuments();
        loadLibraries();
    }
    applyCaptureFormat();
    if (steps.database)
        openDatabase();
    if (steps.line && m_source)
        openLine();
    m_open = true;
    return OpenResult::Opened;
}

bool Session::openCatalogue() {
    m_source = std::make_unique<TWASAPISource>(
        m_messages, m_dispatcher, [this](TWASAPISource&, const void* block, int bytes) {
            if (m_blockObserver)
                m_blockObserver(bytes);
            if (m_recorder)
                m_recorder->event(static_cast<const float*>(block), bytes);
        });
    if (m_source->cards().count() == 0) {
        m_messages.show(
            "Can not find any active recording device\r\nOn Linux you need to enable recording devices "
            "in the sound settings",
            "Sound cards enumeration error!", MessageIcon::Information, MessageButtons::Ok);
        m_source.reset();
        return false;
    }
    m_recordingSource = std::make_unique<WasapiRecordingSource>(*m_source);
    m_recorder->setSource(m_recordingSource.get());
    return true;
}

void Session::loadDocuments() {
    m_settingsUnreadable = !loadconfig(m_cfg, m_messages);
    const std::string eventsPath = m_cfg.datafolder + "events.xml";
    m_eventsOnDisk.reset();
    if (readeventsfile(eventsPath, m_events, m_cfg, m_messages) && fileExists(eventsPath))
        m_eventsOnDisk = m_events;
    // A cancellation holds for the run of the program it was made in.
    clearcancelled(m_events);
    m_names.clear();
    readnamesfile(m_cfg.datafolder + "names.xml", m_names, m_messages);
}

void Session::loadLibraries() {
    // The Ogg Vorbis writer needs both; without them it fails softly with its own message.
    const VorbisLoad loaded = loadvorbislibs(m_messages);
    m_oggLoaded = loaded.ogg;
    m_vorbisLoaded = loaded.vorbis;
}

void Session::applyCaptureFormat() {
    m_captureformat = floatformat(static_cast<std::uint32_t>(m_cfg.current.rate),
                                  static_cast<std::uint16_t>(m_cfg.current.mode));
    m_recorder->setCaptureFormat(m_captureformat);
    m_recorder->filtersupdate();
}

void Session::openDatabase() {
    if (m_database.open(m_cfg.datafolder + "quimbrel.db"))
        m_database.ensureTable();
    m_recorder->setDatabase(m_database.isOpen() ? &m_database : nullptr);
}

void Session::openLine() {
    if (!m_source)
        return;
    // The settings may have changed since open() (a front end's options): the line opens in their format.
    applyCaptureFormat();
    TWASAPISource& source = *m_source;
    // The stored card and line; the first card when the stored one is gone, the default line when none is
    // stored.
    if (m_cfg.card.index < 0 || m_cfg.card.index >= source.cards().count())
        m_cfg.card.index = 0;
    source.filllines(m_cfg.card.index);
    if (m_cfg.mixer.line < 0)
        m_cfg.mixer.line = source.getdefaultline();
    // A stored line the card no longer has: its first line, as when no line is chosen.
    else if (m_cfg.mixer.line >= static_cast<int>(source.lines().size()))
        m_cfg.mixer.line = 0;
    source.openline(m_cfg.card.index, m_cfg.mixer.line, m_captureformat);
    // The level the opened line reports becomes the recording level and the knob's position.
    int volume = m_cfg.mixer.record;
    source.selectline(m_cfg.mixer.line, false, volume);
    m_cfg.mixer.record = volume;
    if (m_recorder->state().mode == RecorderMode::Record)
        m_recorder->setknob(volume);
}

bool Session::lineUsable() const {
    return m_recordingSource && m_recordingSource->usable();
}

void Session::reconfig(int rate, int channels) {
    if (!m_source)
        return;
    m_source->setformat(rate, channels, m_captureformat);
    m_recorder->setCaptureFormat(m_captureformat);
    m_recorder->filtersupdate();
}

void Session::close(bool saveDocuments) {
    if (!m_open)
        return;
    m_open = false;
    const RecordingState& st = m_recorder->state();
    if (st.writing || st.vox.voxarmed || st.fileopen)
        m_recorder->fullstop();
    m_player->stop();
    if (m_source)
        m_source->stopthreads();
    if (saveDocuments)
        save();
}

bool Session::save() {
    // The count written beside the events is the one of the table saved with them.
    m_cfg.scheduler.numevents = static_cast<int>(m_events.size());
    const std::string folder = m_cfg.datafolder.empty() ? dataFolder() : m_cfg.datafolder;
    if (!makeFolders(folder)) {
        reportsavefailure(m_messages, "Cannot create the folder " + folder);
        return false;
    }
    bool ok = saveconfig(m_cfg, m_messages);
    std::string error;
    if (m_eventsOnDisk != m_events) {
        if (writeeventsfile(folder + "events.xml", m_events, &error)) {
            m_eventsOnDisk = m_events;
        } else {
            reportsavefailure(m_messages, error);
            ok = false;
        }
    }
    error.clear();
    if (!writenamesfile(folder + "names.xml", m_names, &error)) {
        reportsavefailure(m_messages, error);
        ok = false;
    }
    return ok;
}

} // namespace quimbrel
