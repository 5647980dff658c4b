// A record or playback stream of 32-bit float frames on one Connection (see PulseConnection.h for locking).
#pragma once

#include "capture/pulse/PulseConnection.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct pa_stream;
struct pa_operation;

namespace quimbrel::pulse {

class Stream {
public:
    // Both constructors take the lock themselves and return a stream that is ready and corked (not yet
    // running), or null with the PulseAudio error number in `error`.
    // Record: `device` is a source (a sink's monitor for loopback); the server keeps up to bufferBytes and
    // hands over fragments of about fragmentBytes.
    static std::unique_ptr<Stream> record(Connection& c, const std::string& device, std::uint32_t rate,
                                          std::uint32_t channels, std::uint32_t bufferBytes,
                                          std::uint32_t fragmentBytes, int& error);
    // Playback on a sink with a queue of targetBytes. Without `prebuffer` the server plays whatever is
    // queued (running dry plays silence); with it, it starts, and starts again after running dry, only once
    // the queue is full, and a drain ends when the last queued sample has been played.
    static std::unique_ptr<Stream> playback(Connection& c, const std::string& sink, std::uint32_t rate,
                                            std::uint32_t channels, std::uint32_t targetBytes, int& error,
                                            bool prebuffer = false);
    // Playback that only keeps a sink running: the server plays whatever is queued, asks for more only once a
    // quarter of the queue has been played, and sends no timing updates (latency() stays 0).
    static std::unique_ptr<Stream> silence(Connection& c, const std::string& sink, std::uint32_t rate,
                                           std::uint32_t channels, std::uint32_t targetBytes, int& error);
    // Disconnects under the lock.
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Everything below: with the Connection's Lock held. A false result leaves the error number in `error`.
    bool cork(bool paused, int& error);
    // The stream is still connected (false when the server or the device went away).
    bool ready() const;
    // The server-side index (the source output or sink input).
    std::uint32_t index() const;
    // The size of the server-side buffer in bytes (record: maxlength; playback: tlength).
    std::uint32_t bufferbytes() const;
    // The stream's format: the device's own rate and channel count (the stream is always 32-bit float).
    std::uint32_t rate() const;
    std::uint32_t channels() const;

    // Record. readable: bytes waiting. peek: the next fragment; data null with bytes > 0 is a hole (silence),
    // bytes 0 means nothing is waiting. Each successful peek with bytes > 0 is followed by drop.
    bool readable(std::size_t& bytes, int& error);
    bool peek(const void*& data, std::size_t& bytes, int& error);
    bool drop(int& error);

    // Playback: bytes that can be queued now; queue a copy of `bytes` bytes.
    bool writable(std::size_t& bytes, int& error);
    bool write(const void* data, std::size_t bytes, int& error);
    // Playback: `request` runs on the main-loop thread, with the lock held, whenever the server asks for more
    // (the argument: bytes it would take). An empty function removes it.
    void onwritable(std::function<void(std::size_t)> request);
    // Playback: `done` runs on the main-loop thread, lock held, once everything queued has been played
    // (true) or the drain failed (false). Replaces and cancels an earlier drain.
    bool drain(std::function<void(bool)> done, int& error);
    // Playback: drops what is queued and not yet played; cancels a pending drain. Waits for the server.
    bool flush(int& error);
    // Playback: how long until a sample written now is heard, in microseconds (0 while unknown).
    std::uint64_t latency() const;

private:
    Stream(Connection& c, pa_stream* s, bool recording)
        : m_connection(c), m_stream(s), m_recording(recording) {}
    enum class Kind { None, Record, Playback, Prebuffered, Silence };
    static std::unique_ptr<Stream> connect(Connection& c, Kind kind, const std::string& device,
                                           std::uint32_t rate, std::uint32_t channels,
                                           std::uint32_t bufferBytes, std::uint32_t fragmentBytes,
                                           int& error);
    int failure() const;

    void canceldrain();

    Connection& m_connection;
    pa_stream* m_stream;
    bool m_recording;
    std::function<void(std::size_t)> m_request;
    std::function<void(bool)> m_drained;
    pa_operation* m_drain = nullptr;
};

} // namespace quimbrel::pulse
