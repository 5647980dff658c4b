// One run of the command-line front end: a session over the data folder and the capture line, driven from the
// main thread's dispatcher loop until the work is done or SIGINT/SIGTERM arrives.
#pragma once

#include "cli/CliMessagePort.h"
#include "cli/CliView.h"
#include "ports/Clock.h"
#include "ports/Dispatcher.h"
#include "session/Session.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

namespace quimbrel {

struct RecordOptions;

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
    // Runs the session's start-up steps; false when there is no capture device at all.
    bool start(const Session::Steps& steps);
    bool folderExists();
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
    Session m_session;
    std::chrono::steady_clock::time_point m_lastBlock;
    long long m_recordedBytes = 0;    // audio handed on while a file was being written
    bool m_recordOnNextBlock = false; // the next block presses Record
    bool m_recordPressed = false;
    std::chrono::steady_clock::time_point m_firstBlock; // the block Record was pressed at
};

} // namespace quimbrel
