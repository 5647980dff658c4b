// The loopback silence renderer: a playback stream on the recorded sink, its queue filled with zeros once and
// then left to run dry into the server's own silence, watched every sixth of its queue.
#include "capture/TPlayThread.h"

#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseStream.h"

#include <pulse/def.h>
#include <pulse/error.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace quimbrel {

TPlayThread::TPlayThread(std::string deviceid, std::shared_ptr<pulse::Connection> connection)
    : m_deviceid(std::move(deviceid)), m_connection(std::move(connection)) {}

TPlayThread::~TPlayThread() {
    terminate();
    waitfor();
    m_stream.reset();
}

std::int64_t TPlayThread::durationfor(std::uint32_t frames, std::uint32_t rate) {
    return rate == 0 ? 0 : static_cast<std::int64_t>(10000000) * frames / rate;
}

int TPlayThread::waitmsfor(std::int64_t actualduration) {
    return static_cast<int>(actualduration / 10000 / 6);
}

void TPlayThread::initialize() {
    m_pendingerror = nullptr;
    m_errorstate = 0;
    if (!m_connection) {
        m_errorstate = PA_ERR_CONNECTIONREFUSED;
        return;
    }
    int error = 0;
    pulse::EndpointInfo sink;
    if (!m_connection->endpoint(m_deviceid, 0, sink, error)) {
        m_errorstate = error;
        return;
    }
    const std::uint32_t blockalign = sink.channels * 4;
    const auto requestFrames = static_cast<std::uint32_t>(kBufferDuration * sink.rate / 10000000);
    m_stream = pulse::Stream::silence(*m_connection, m_deviceid, sink.rate, sink.channels,
                                      requestFrames * blockalign, error);
    if (!m_stream) {
        m_errorstate = error;
        return;
    }
    pulse::Connection::Lock lock(*m_connection);
    m_blockalign = m_stream->channels() * 4;
    const std::uint32_t rate = m_stream->rate();
    if (m_blockalign == 0 || rate == 0) {
        m_errorstate = PA_ERR_INVALID;
        return;
    }
    m_bufferframes = m_stream->bufferbytes() / m_blockalign;
    // The whole queue of zeros, once (see execute).
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(m_bufferframes) * m_blockalign, 0);
    std::size_t writable = 0;
    if (!m_stream->writable(writable, error) ||
        !m_stream->write(zeros.data(), std::min(writable, zeros.size()), error)) {
        m_errorstate = error;
        return;
    }
    m_actualduration = durationfor(m_bufferframes, rate);
    m_waitms = std::max(1, waitmsfor(m_actualduration));
}

void TPlayThread::start() {
    m_finished = false;
    m_thread = std::thread([this] { run(); });
}

void TPlayThread::terminate() {
    {
        std::lock_guard lock(m_wakeMutex);
        m_terminate = true;
    }
    m_wake.notify_all();
}

void TPlayThread::waitfor() {
    if (m_thread.joinable())
        m_thread.join();
}

void TPlayThread::run() {
    try {
        execute();
    } catch (...) {
        reporterror(std::current_exception());
    }
    m_finished = true;
}

void TPlayThread::execute() {
    m_pendingerror = nullptr;
    if (m_errorstate != 0 || !m_stream)
        return;
    int error = 0;
    {
        pulse::Connection::Lock lock(*m_connection);
        if (!m_stream->cork(false, error)) {
            m_errorstate = error;
            return;
        }
    }
    for (;;) {
        {
            std::unique_lock wake(m_wakeMutex);
            if (m_wake.wait_for(wake, std::chrono::milliseconds(m_waitms),
                                [this] { return m_terminate.load(); }))
                break;
        }
        // Once the queued zeros have been played, the server plays silence by itself: the stream does not
        // wait for a refill (no pre-buffering), and a sink with a running stream keeps running. So each turn
        // only looks whether the stream is still there. Writing more zeros made the same sound but woke the
        // PulseAudio client thread for every top-up, with the main loop's lock still held here, and again
        // for every block of zeros the server handed back.
        pulse::Connection::Lock lock(*m_connection);
        std::size_t free = 0;
        if (!m_stream->writable(free, error)) {
            // The sink or the server went away: the renderer ends; capture reports it on its own.
            m_errorstate = error;
            return;
        }
    }
    pulse::Connection::Lock lock(*m_connection);
    m_lastresult = m_stream->cork(true, error) ? 0 : error;
}

void TPlayThread::reporterror(std::exception_ptr error) {
    // Nothing of the renderer is shown to the user; an escaped error only ends it.
    m_pendingerror = error;
    m_errorstate = PA_ERR_INTERNAL;
    m_pendingerror = nullptr;
}

} // namespace quimbrel
