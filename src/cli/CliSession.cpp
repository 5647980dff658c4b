// One run of the command-line front end.
#include "cli/CliSession.h"

#include "capture/TWASAPIDevice.h"
#include "capture/TWASAPISource.h"
#include "cli/RecordOptions.h"
#include "recording/Recorder.h"
#include "recording/RecordingState.h"
#include "state/daynumber.h"

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
// How long Record waits for the line's first block.
constexpr auto kFirstBlockWait = std::chrono::seconds(5);
// How often the loop looks at the clock and the signals between hand-offs.
constexpr auto kRecheck = std::chrono::milliseconds(50);

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
    : m_out(out), m_err(err), m_signalFd(signalFd), m_messages(err), m_view(out),
      m_session(m_view, m_messages, m_dispatcher, m_clock) {}

CliSession::~CliSession() = default;

int CliSession::fail(const std::string& reason) {
    m_err << "quimbrel-cli: " << reason << std::endl;
    return 1;
}

bool CliSession::start(const Session::Steps& steps) {
    m_session.setBlockObserver([this](int bytes) {
        m_lastBlock = Steady::now();
        if (m_recordOnNextBlock) {
            // Record is pressed at this block, which the recording starts with.
            m_recordOnNextBlock = false;
            m_firstBlock = m_lastBlock;
            m_session.recorder().StartClick();
            m_recordPressed = true;
        }
        const RecordingState& st = m_session.recorder().state();
        // A block that arrives while a file is being written is written, to the current file or, at a
        // split, to the next one.
        if (st.writing && !st.paused)
            m_recordedBytes += bytes;
    });
    m_session.recorder().setOnFileFinished(
        [this](const std::string& path) { m_out << "finished: " << path << std::endl; });
    m_lastBlock = Steady::now();
    if (m_session.open(steps) != Session::OpenResult::Opened)
        return false;
    config& cfg = m_session.cfg();
    if (steps.documents && m_session.settingsUnreadable())
        m_err << "quimbrel-cli: the settings file " << cfg.datafolder << "quimbrel.xml could not be read; it "
              << "was moved aside as " << cfg.datafolder << "quimbrel.xml.bad and the defaults are used"
              << std::endl;
    // What a command changes (names from templates, the scheduler switched on, options) holds for this run.
    cfg.runonly = true;
    return true;
}

bool CliSession::folderExists() {
    std::error_code ec;
    const std::string& dir = m_session.cfg().archive.dir;
    return !dir.empty() && std::filesystem::is_directory(dir, ec);
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
    // Everything done() looks at changes in a hand-off or with the clock: asleep between hand-offs, awake
    // every 50 ms for the clock and the signals.
    while (!done() && !signalled() && Steady::now() < deadline)
        m_dispatcher.runUntil([&] { return done() || Steady::now() >= deadline; }, kRecheck, kRecheck);
    return signalled();
}

void CliSession::stopRecording() {
    Recorder& rec = m_session.recorder();
    if (!rec.buttonEnabled(RecorderButton::Stop))
        return;
    rec.StopClick();
    // The file closes at the end of the next block.
    while (rec.buttonEnabled(RecorderButton::Stop) || rec.state().stoprequest) {
        m_dispatcher.runUntil(
            [&] { return !rec.buttonEnabled(RecorderButton::Stop) && !rec.state().stoprequest; }, kRecheck,
            kRecheck);
        if (Steady::now() - m_lastBlock > kNoBlocksGrace && rec.state().stoprequest)
            rec.fullstop();
    }
}

int CliSession::devices(bool json) {
    const int errors = m_messages.errors();
    if (!start({.catalogue = true, .documents = false, .database = false, .line = false}) ||
        m_messages.errors() != errors)
        return 1;
    const TWASAPISource& source = *m_session.source();
    const TWASAPIDevices& cards = source.cards();
    nlohmann::ordered_json document = {{"cards", nlohmann::ordered_json::array()}};
    for (int c = 0; c < cards.count(); ++c) {
        const TWASAPIDevice& card = cards[c];
        nlohmann::ordered_json endpoints = nlohmann::ordered_json::array();
        if (!json)
            m_out << "card " << c << ": " << card.name << "\n";
        for (int l = 0; l < card.endpoints.count(); ++l) {
            const TWASAPIDevice& e = card.endpoints[l];
            const bool isdefault = e.dataflow == 0 && c == source.defaultcard() && l == source.defaultline();
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
    // The line opens once the options have chosen it.
    if (!start({.catalogue = true, .documents = true, .database = true, .line = false}))
        return fail("the recording line cannot be opened");
    config& cfg = m_session.cfg();
    // Template names only: nobody is there to answer a save dialog.
    cfg.autoname.enabled = true;
    if (auto refused = applyrecordoptions(cfg, options)) {
        m_err << "quimbrel-cli: " << *refused << std::endl;
        return 2;
    }
    if (options.output) {
        std::error_code ec;
        std::filesystem::create_directories(cfg.archive.dir, ec);
        if (ec)
            return fail("cannot create the output folder " + cfg.archive.dir + ": " + ec.message());
    }
    if (options.device) {
        DeviceChoice choice;
        if (auto refused = resolvedevice(m_session.source()->cards(), *options.device, choice)) {
            m_err << "quimbrel-cli: " << *refused << std::endl;
            return 2;
        }
        cfg.card.index = choice.card;
        cfg.mixer.line = choice.line;
    }
    const double forSeconds = options.forSeconds;
    if (!folderExists())
        return fail("the output folder does not exist: " + cfg.archive.dir);
    if (!m_session.database().isOpen())
        return 1;
    m_session.openLine();
    if (!m_session.lineUsable())
        return fail("the recording line cannot be opened");

    Recorder& rec = m_session.recorder();
    const int errors = m_messages.errors();
    // Record is pressed when the line's first block arrives, so the line's start-up does not shorten the
    // recording and --for, splitting and auto-stop all count from that block. A line that delivers nothing
    // for five seconds is recorded from then on all the same.
    m_recordOnNextBlock = true;
    runUntil([&] { return m_recordPressed; }, Steady::now() + kFirstBlockWait);
    if (!m_recordPressed) {
        m_recordOnNextBlock = false;
        m_firstBlock = Steady::now();
        rec.StartClick();
    }
    if (!rec.state().writing && !rec.state().vox.voxarmed) {
        if (m_messages.errors() == errors)
            fail("the recording could not be started");
        return 1;
    }
    // --for runs on the wall clock, as splitting and auto-stop do. A line that stops delivering is given up
    // on five seconds later.
    const auto span = std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(forSeconds));
    const auto deadline = forSeconds > 0 ? m_firstBlock + span + kFirstBlockWait : Steady::time_point::max();
    const auto ended = [&] { return !rec.buttonEnabled(RecorderButton::Stop) && !rec.state().stoprequest; };
    const auto enough = [&] { return ended() || (forSeconds > 0 && Steady::now() >= m_firstBlock + span); };
    runUntil(enough, deadline);
    stopRecording();
    m_session.close(false);
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
    if (!start({}))
        return fail("the recording line cannot be opened");
    // The schedule is what this command is for, whatever the window's switch says.
    m_session.cfg().scheduler.enabled = true;
    if (!folderExists())
        return fail("the output folder does not exist: " + m_session.cfg().archive.dir);
    if (!m_session.database().isOpen())
        return 1;
    if (!m_session.lineUsable())
        return fail("the recording line cannot be opened");
    m_out << "status: Ready" << std::endl;
    runUntil([] { return false; }, Steady::time_point::max());
    stopRecording();
    m_session.recorder().closeurl();
    m_session.close(false);
    return 0;
}

int CliSession::library(bool json) {
    start({.catalogue = false, .documents = true, .database = true, .line = false});
    if (!m_session.database().isOpen())
        return 1;
    std::vector<RecordingRow> rows;
    if (!m_session.database().listRecordings(rows))
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
