// One run of the command-line front end: the settings, events, names and database of the data folder, the
// capture line and the recorder, driven from the main thread's dispatcher loop until the work is done or
// SIGINT/SIGTERM arrives.
#pragma once

#include "cli/CliMessagePort.h"
#include "cli/CliView.h"
#include "ports/Clock.h"
#include "ports/Dispatcher.h"
#include "state/config.h"
#include "state/recordingsdb.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

namespace quimbrel {

class Recorder;
struct RecordOptions;
class TWASAPISource;
class WasapiRecordingSource;

class CliSession {
public:
    // signalFd: a signalfd for SIGINT and SIGTERM (blocked in every thread), or -1.
    CliSession(std::ostream& out, std::ostream& err, int signalFd);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // json: one JSON document instead of the lines.
    int devices(bool json = false);
    // The options are laid over the stored settings for this run only.
    int record(const RecordOptions& options);
    int schedule();
    int library(bool json = false);

private:
    bool load();
    bool openDatabase();
    bool folderExists();
    bool createSource();
    bool openLine();
    // Runs hand-offs until done() holds or a signal arrives; returns whether a signal arrived.
    bool runUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);
    // Stop the running recording and wait until its file is closed.
    void stopRecording();
    bool signalled();
    int fail(const std::string& reason);

    std::ostream& m_out;
    std::ostream& m_err;
    int m_signalFd;
    bool m_signalled = false;
    CliMessagePort m_messages;
    CliView m_view;
    SystemClock m_clock;
    Dispatcher m_dispatcher;
    config m_cfg;
    RecordingsDb m_db;
    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<TWASAPISource> m_source;
    std::unique_ptr<WasapiRecordingSource> m_recordingSource;
    std::chrono::steady_clock::time_point m_lastBlock;
    long long m_recordedBytes = 0;                      // audio handed on while a file was being written
    long long m_capturedBytes = 0;                      // audio captured since Record
    std::chrono::steady_clock::time_point m_firstBlock; // when the first block after Record arrived
};

} // namespace quimbrel
