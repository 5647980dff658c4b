// One run of the command-line front end.
#include "cli/CliSession.h"

#include "capture/TWASAPIDevice.h"
#include "capture/TWASAPISource.h"
#include "cli/RecordOptions.h"
#include "encoder/libVorbis.h"
#include "recording/Recorder.h"
#include "recording/RecordingSource.h"
#include "recording/RecordingState.h"
#include "recording/SchedulerRuntime.h"
#include "state/daynumber.h"
#include "state/names.h"
#include "state/recevent.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sys/signalfd.h>
#include <unistd.h>

namespace quimbrel {

namespace {

using Steady = std::chrono::steady_clock;

// A line cannot be stopped politely when no block arrives any more (the server went away): after this long
// without blocks the file is closed directly.
constexpr auto kNoBlocksGrace = std::chrono::seconds(2);

const char* statetext(std::int32_t state) {
    switch (state) {
    case TWASAPIDevice::kActive:
        return "active";
    case TWASAPIDevice::kDisabled:
        return "disabled";
    case TWASAPIDevice::kNotPresent:
        return "not present";
    case TWASAPIDevice::kUnplugged:
        return "unplugged";
    default:
        return "unknown";
    }
}

} // namespace

CliSession::CliSession(std::ostream& out, std::ostream& err, int signalFd)
    : m_out(out), m_err(err), m_signalFd(signalFd), m_messages(err), m_view(out), m_db(m_messages) {}

CliSession::~CliSession() {
    // The capture thread hands blocks to the recorder: stop it before the recorder goes.
    if (m_source)
        m_source->stopthreads();
    m_recorder.reset();
    m_db.close();
    if (vorbislibcount(kVorbisLibrary) > 0)
        unloadvorbislib(kVorbisLibrary);
    if (vorbislibcount(kOggLibrary) > 0)
        unloadvorbislib(kOggLibrary);
}

int CliSession::fail(const std::string& reason) {
    m_err << "quimbrel-cli: " << reason << std::endl;
    return 1;
}

bool CliSession::load() {
    if (!loadconfig(m_cfg, m_messages))
        m_err << "quimbrel-cli: the settings file " << m_cfg.datafolder
              << "quimbrel.xml could not be read; it "
              << "was moved aside as " << m_cfg.datafolder << "quimbrel.xml.bad and the defaults are used"
              << std::endl;
    // What a command changes (names from templates, the scheduler switched on, options) holds for this run.
    m_cfg.runonly = true;
    // As the window's start-up does: the Ogg Vorbis writer needs both libraries loaded.
    // Without them that writer fails softly with its own message.
    if (loadvorbislib(kOggLibrary))
        loadvorbislib(kVorbisLibrary);
    readeventsfile(m_cfg.datafolder + "events.xml", scheduledevents(), m_cfg, m_messages);
    clearcancelled(scheduledevents());
    readnamesfile(m_cfg.datafolder + "names.xml", autonames(), m_messages);
    m_recorder = std::make_unique<Recorder>(m_cfg, m_view, m_messages, m_clock);
    m_recorder->setEvents(&scheduledevents());
    m_recorder->setOnFileFinished(
        [this](const std::string& path) { m_out << "finished: " << path << std::endl; });
    return true;
}

bool CliSession::openDatabase() {
    if (!m_db.open(m_cfg.datafolder + "quimbrel.db") || !m_db.ensureTable())
        return false;
    if (m_recorder)
        m_recorder->setDatabase(&m_db);
    return true;
}

bool CliSession::folderExists() {
    std::error_code ec;
    return !m_cfg.archive.dir.empty() && std::filesystem::is_directory(m_cfg.archive.dir, ec);
}

bool CliSession::createSource() {
    const int errors = m_messages.errors();
    m_source = std::make_unique<TWASAPISource>(
        m_messages, m_dispatcher, [this](TWASAPISource&, const void* block, int bytes) {
            m_lastBlock = Steady::now();
            if (!m_recorder)
                return;
            // A block that arrives while a file is being written is written, to the current file or, at a
            // split, to the next one.
            if (m_recorder->state().writing && !m_recorder->state().paused)
                m_recordedBytes += bytes;
            if (m_capturedBytes == 0)
                m_firstBlock = m_lastBlock;
            m_capturedBytes += bytes;
            m_recorder->event(static_cast<const float*>(block), bytes);
        });
    return m_messages.errors() == errors;
}

bool CliSession::openLine() {
    if (!m_source && !createSource())
        return false;
    TWASAPISource& source = *m_source;
    // As the settings window's creation does at start-up: the stored card and line, the default line when
    // none is stored, then the line handled as a choice (its volume becomes the knob's).
    if (m_cfg.card.index < 0 || m_cfg.card.index >= source.cards().count())
        m_cfg.card.index = 0;
    source.filllines(m_cfg.card.index);
    if (m_cfg.mixer.line < 0)
        m_cfg.mixer.line = source.getdefaultline();
    const WaveFormat format = floatformat(static_cast<std::uint32_t>(m_cfg.current.rate),
                                          static_cast<std::uint16_t>(m_cfg.current.mode));
    m_recorder->setCaptureFormat(format);
    m_recorder->filtersupdate();
    m_recordingSource = std::make_unique<WasapiRecordingSource>(source);
    m_recorder->setSource(m_recordingSource.get());
    m_lastBlock = Steady::now();
    source.openline(m_cfg.card.index, m_cfg.mixer.line, format);
    int volume = 100;
    source.selectline(m_cfg.mixer.line, false, volume);
    m_recorder->setknob(volume);
    return m_recordingSource->usable();
}

bool CliSession::signalled() {
    if (m_signalled || m_signalFd < 0)
        return m_signalled;
    signalfd_siginfo info;
    while (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        m_signalled = true;
    return m_signalled;
}

bool CliSession::runUntil(const std::function<bool()>& done, Steady::time_point deadline) {
    while (!done() && !signalled() && Steady::now() < deadline)
        m_dispatcher.runUntil([&] { return done() || Steady::now() >= deadline; },
                              std::chrono::milliseconds(50));
    return signalled();
}

void CliSession::stopRecording() {
    Recorder& rec = *m_recorder;
    if (!rec.buttonEnabled(RecorderButton::Stop))
        return;
    rec.StopClick();
    // The file closes at the end of the next block.
    while (rec.buttonEnabled(RecorderButton::Stop) || rec.state().stoprequest) {
        m_dispatcher.runUntil(
            [&] { return !rec.buttonEnabled(RecorderButton::Stop) && !rec.state().stoprequest; },
            std::chrono::milliseconds(50));
        if (Steady::now() - m_lastBlock > kNoBlocksGrace && rec.state().stoprequest)
            rec.fullstop();
    }
}

int CliSession::devices(bool json) {
    if (!createSource())
        return 1;
    const TWASAPIDevices& cards = m_source->cards();
    nlohmann::ordered_json document = {{"cards", nlohmann::ordered_json::array()}};
    for (int c = 0; c < cards.count(); ++c) {
        const TWASAPIDevice& card = cards[c];
        nlohmann::ordered_json endpoints = nlohmann::ordered_json::array();
        if (!json)
            m_out << "card " << c << ": " << card.name << "\n";
        for (int l = 0; l < card.endpoints.count(); ++l) {
            const TWASAPIDevice& e = card.endpoints[l];
            const bool isdefault =
                e.dataflow == 0 && c == m_source->defaultcard() && l == m_source->defaultline();
            const char* direction = e.dataflow == 0 ? "playback" : "capture";
            if (json) {
                endpoints.push_back({{"position", std::to_string(c) + ":" + std::to_string(l)},
                                     {"line", l},
                                     {"name", e.name},
                                     {"id", e.id},
                                     {"direction", direction},
                                     {"state", statetext(e.state)},
                                     {"rate", e.samplerate},
                                     {"channels", e.channels},
                                     {"default", isdefault}});
                continue;
            }
            m_out << "  " << c << ":" << l << "  " << e.name << "  " << direction << "  "
                  << statetext(e.state) << "  ";
            if (e.samplerate > 0)
                m_out << e.samplerate << " Hz " << e.channels << " ch";
            else
                m_out << "format not available";
            if (isdefault)
                m_out << "  (default)";
            m_out << "\n";
        }
        if (json)
            document["cards"].push_back(
                {{"card", c}, {"name", card.name}, {"endpoints", std::move(endpoints)}});
    }
    if (json)
        m_out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    m_out.flush();
    return 0;
}

int CliSession::record(const RecordOptions& options) {
    load();
    // Template names only: nobody is there to answer a save dialog.
    m_cfg.autoname.enabled = true;
    if (auto refused = applyrecordoptions(m_cfg, options)) {
        m_err << "quimbrel-cli: " << *refused << std::endl;
        return 2;
    }
    if (options.output) {
        std::error_code ec;
        std::filesystem::create_directories(m_cfg.archive.dir, ec);
        if (ec)
            return fail("cannot create the output folder " + m_cfg.archive.dir + ": " + ec.message());
    }
    if (options.device) {
        if (!createSource())
            return fail("the recording line cannot be opened");
        DeviceChoice choice;
        if (auto refused = resolvedevice(m_source->cards(), *options.device, choice)) {
            m_err << "quimbrel-cli: " << *refused << std::endl;
            return 2;
        }
        m_cfg.card.index = choice.card;
        m_cfg.mixer.line = choice.line;
    }
    const double forSeconds = options.forSeconds;
    if (!folderExists())
        return fail("the output folder does not exist: " + m_cfg.archive.dir);
    if (!openDatabase())
        return 1;
    if (!openLine())
        return fail("the recording line cannot be opened");

    Recorder& rec = *m_recorder;
    const int errors = m_messages.errors();
    m_capturedBytes = 0;
    rec.StartClick();
    if (!rec.state().writing && !rec.state().voxarmed) {
        if (m_messages.errors() == errors)
            fail("the recording could not be started");
        return 1;
    }
    // --for runs on the wall clock, as splitting and auto-stop do, from the first block after Record, so the
    // start-up latency of the line does not shorten the recording. A line that delivers nothing is given up
    // on five seconds later.
    const auto span = std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(forSeconds));
    const auto started = Steady::now();
    const auto deadline =
        forSeconds > 0 ? started + span + std::chrono::seconds(5) : Steady::time_point::max();
    const auto ended = [&] { return !rec.buttonEnabled(RecorderButton::Stop) && !rec.state().stoprequest; };
    const auto enough = [&] {
        return ended() || (forSeconds > 0 && m_capturedBytes > 0 && Steady::now() >= m_firstBlock + span);
    };
    runUntil(enough, deadline);
    stopRecording();
    m_source->stopthreads();
    const WaveFormat& format = rec.captureFormat();
    if (format.avgBytesPerSec > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f",
                      static_cast<double>(m_recordedBytes) / format.avgBytesPerSec);
        m_out << "recorded: " << seconds << " s" << std::endl;
    }
    return m_messages.errors() == errors ? 0 : 1;
}

int CliSession::schedule() {
    load();
    // The schedule is what this command is for, whatever the window's switch says.
    m_cfg.scheduler.enabled = true;
    if (!folderExists())
        return fail("the output folder does not exist: " + m_cfg.archive.dir);
    if (!openDatabase())
        return 1;
    if (!openLine())
        return fail("the recording line cannot be opened");
    m_out << "status: Ready" << std::endl;
    runUntil([] { return false; }, Steady::time_point::max());
    stopRecording();
    m_recorder->closeurl();
    m_source->stopthreads();
    return 0;
}

int CliSession::library(bool json) {
    load();
    if (!openDatabase())
        return 1;
    std::vector<RecordingRow> rows;
    if (!m_db.listRecordings(rows))
        return 1;
    nlohmann::ordered_json recordings = nlohmann::ordered_json::array();
    for (const RecordingRow& row : rows) {
        const std::string path = row.musicPath + row.musicName;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            continue;
        if (!json) {
            m_out << path << "\n";
            continue;
        }
        const DateParts date = splitDate(row.dateAdded);
        const TimeParts time = splitTime(row.dateAdded);
        char added[32];
        std::snprintf(added, sizeof added, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month, date.day,
                      time.hour, time.minute, time.second);
        const auto size = std::filesystem::file_size(path, ec);
        recordings.push_back({{"id", row.musicId},
                              {"path", path},
                              {"folder", row.musicPath},
                              {"name", row.musicName},
                              {"added", added},
                              {"bytes", ec ? nlohmann::ordered_json() : nlohmann::ordered_json(size)}});
    }
    if (json)
        m_out << nlohmann::ordered_json{{"recordings", std::move(recordings)}}.dump(
                     2, ' ', false, nlohmann::json::error_handler_t::replace)
              << "\n";
    m_out.flush();
    return 0;
}

} // namespace quimbrel
