// Record and playback streams of 32-bit float frames.
#include "capture/pulse/PulseStream.h"

#include <pulse/pulseaudio.h>

namespace quimbrel::pulse {

namespace {
void streamState(pa_stream*, void* c) {
    static_cast<Connection*>(c)->signal();
}
} // namespace

std::unique_ptr<Stream> Stream::record(Connection& c, const std::string& device, std::uint32_t rate,
                                       std::uint32_t channels, std::uint32_t bufferBytes,
                                       std::uint32_t fragmentBytes, int& error) {
    return connect(c, Kind::Record, device, rate, channels, bufferBytes, fragmentBytes, error);
}

std::unique_ptr<Stream> Stream::playback(Connection& c, const std::string& sink, std::uint32_t rate,
                                         std::uint32_t channels, std::uint32_t targetBytes, int& error,
                                         bool prebuffer) {
    return connect(c, prebuffer ? Kind::Prebuffered : Kind::Playback, sink, rate, channels, targetBytes, 0,
                   error);
}

std::unique_ptr<Stream> Stream::silence(Connection& c, const std::string& sink, std::uint32_t rate,
                                        std::uint32_t channels, std::uint32_t targetBytes, int& error) {
    return connect(c, Kind::Silence, sink, rate, channels, targetBytes, 0, error);
}

std::unique_ptr<Stream> Stream::connect(Connection& c, Kind kind, const std::string& device,
                                        std::uint32_t rate, std::uint32_t channels, std::uint32_t bufferBytes,
                                        std::uint32_t fragmentBytes, int& error) {
    const bool recording = kind == Kind::Record;
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_FLOAT32LE;
    spec.rate = rate;
    spec.channels = static_cast<std::uint8_t>(channels);
    if (!pa_sample_spec_valid(&spec)) {
        error = PA_ERR_INVALID;
        return nullptr;
    }
    // The device's own channel layout for its channel count, so the server neither remixes nor reorders.
    pa_channel_map map;
    if (!pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT)) {
        error = PA_ERR_INVALID;
        return nullptr;
    }
    Connection::Lock lock(c);
    const char* name = recording ? "capture" : kind == Kind::Silence ? "silence" : "playback";
    pa_stream* s = pa_stream_new(c.context(), name, &spec, &map);
    if (!s) {
        error = pa_context_errno(c.context());
        return nullptr;
    }
    std::unique_ptr<Stream> stream(new Stream(c, s, recording));
    pa_stream_set_state_callback(s, streamState, &c);

    pa_buffer_attr attr;
    attr.maxlength = bufferBytes;
    attr.tlength = recording ? static_cast<std::uint32_t>(-1) : bufferBytes;
    attr.prebuf = recording || kind == Kind::Prebuffered ? static_cast<std::uint32_t>(-1) : 0;
    // Each request of the server wakes our main-loop thread: silence needs one only every quarter of its
    // queue.
    attr.minreq = kind == Kind::Silence ? bufferBytes / 4 : static_cast<std::uint32_t>(-1);
    attr.fragsize = recording ? fragmentBytes : static_cast<std::uint32_t>(-1);
    // Take the device's own rate, channels and channel map, so the server neither resamples nor remixes;
    // stay on this device; start corked.
    auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                       PA_STREAM_DONT_MOVE | PA_STREAM_FIX_RATE | PA_STREAM_FIX_CHANNELS);
    // Playback of sound keeps its timing current, so latency() answers without a round trip.
    if (kind == Kind::Playback || kind == Kind::Prebuffered)
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_INTERPOLATE_TIMING |
                                               PA_STREAM_AUTO_TIMING_UPDATE);
    int rc = recording ? pa_stream_connect_record(s, device.c_str(), &attr, flags)
                       : pa_stream_connect_playback(s, device.c_str(), &attr, flags, nullptr, nullptr);
    if (rc < 0) {
        error = pa_context_errno(c.context());
        return nullptr;
    }
    for (;;) {
        pa_stream_state_t st = pa_stream_get_state(s);
        if (st == PA_STREAM_READY)
            return stream;
        if (!PA_STREAM_IS_GOOD(st)) {
            error = pa_context_errno(c.context());
            if (error == 0)
                error = PA_ERR_UNKNOWN;
            return nullptr;
        }
        c.wait();
    }
}

Stream::~Stream() {
    Connection::Lock lock(m_connection);
    canceldrain();
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
        pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
}

int Stream::failure() const {
    int e = pa_context_errno(m_connection.context());
    if (e == 0)
        e = pa_stream_get_state(m_stream) == PA_STREAM_READY ? PA_ERR_UNKNOWN : PA_ERR_CONNECTIONTERMINATED;
    return e;
}

bool Stream::ready() const {
    return pa_stream_get_state(m_stream) == PA_STREAM_READY &&
           pa_context_get_state(m_connection.context()) == PA_CONTEXT_READY;
}

std::uint32_t Stream::index() const {
    return pa_stream_get_index(m_stream);
}

std::uint32_t Stream::bufferbytes() const {
    const pa_buffer_attr* a = pa_stream_get_buffer_attr(m_stream);
    if (!a)
        return 0;
    return m_recording ? a->maxlength : a->tlength;
}

std::uint32_t Stream::rate() const {
    const pa_sample_spec* spec = pa_stream_get_sample_spec(m_stream);
    return spec ? spec->rate : 0;
}

std::uint32_t Stream::channels() const {
    const pa_sample_spec* spec = pa_stream_get_sample_spec(m_stream);
    return spec ? spec->channels : 0;
}

bool Stream::cork(bool paused, int& error) {
    pa_operation* op = pa_stream_cork(m_stream, paused ? 1 : 0, nullptr, nullptr);
    if (!op) {
        error = failure();
        return false;
    }
    // The request is queued; no need to wait for the server's answer.
    pa_operation_unref(op);
    return true;
}

bool Stream::readable(std::size_t& bytes, int& error) {
    if (!ready()) {
        error = failure();
        return false;
    }
    bytes = pa_stream_readable_size(m_stream);
    if (bytes == static_cast<std::size_t>(-1)) {
        error = failure();
        return false;
    }
    return true;
}

bool Stream::peek(const void*& data, std::size_t& bytes, int& error) {
    if (pa_stream_peek(m_stream, &data, &bytes) < 0) {
        error = failure();
        return false;
    }
    return true;
}

bool Stream::drop(int& error) {
    if (pa_stream_drop(m_stream) < 0) {
        error = failure();
        return false;
    }
    return true;
}

bool Stream::writable(std::size_t& bytes, int& error) {
    if (!ready()) {
        error = failure();
        return false;
    }
    bytes = pa_stream_writable_size(m_stream);
    if (bytes == static_cast<std::size_t>(-1)) {
        error = failure();
        return false;
    }
    return true;
}

bool Stream::write(const void* data, std::size_t bytes, int& error) {
    if (pa_stream_write(m_stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        error = failure();
        return false;
    }
    return true;
}

void Stream::onwritable(std::function<void(std::size_t)> request) {
    m_request = std::move(request);
    if (!m_request) {
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        return;
    }
    pa_stream_set_write_callback(
        m_stream,
        [](pa_stream*, std::size_t bytes, void* self) {
            auto* s = static_cast<Stream*>(self);
            if (s->m_request)
                s->m_request(bytes);
        },
        this);
}

void Stream::canceldrain() {
    if (!m_drain)
        return;
    pa_operation_cancel(m_drain);
    pa_operation_unref(m_drain);
    m_drain = nullptr;
    m_drained = nullptr;
}

bool Stream::drain(std::function<void(bool)> done, int& error) {
    canceldrain();
    m_drained = std::move(done);
    m_drain = pa_stream_drain(
        m_stream,
        [](pa_stream*, int success, void* self) {
            auto* s = static_cast<Stream*>(self);
            auto report = std::move(s->m_drained);
            s->m_drained = nullptr;
            if (s->m_drain) {
                pa_operation_unref(s->m_drain);
                s->m_drain = nullptr;
            }
            if (report)
                report(success != 0);
        },
        this);
    if (!m_drain) {
        m_drained = nullptr;
        error = failure();
        return false;
    }
    return true;
}

bool Stream::flush(int& error) {
    canceldrain();
    pa_operation* op = pa_stream_flush(
        m_stream, [](pa_stream*, int, void* c) { static_cast<Connection*>(c)->signal(); }, &m_connection);
    if (!op) {
        error = failure();
        return false;
    }
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING && ready())
        m_connection.wait();
    pa_operation_unref(op);
    return true;
}

std::uint64_t Stream::latency() const {
    pa_usec_t usec = 0;
    int negative = 0;
    if (pa_stream_get_latency(m_stream, &usec, &negative) < 0 || negative)
        return 0;
    return usec;
}

} // namespace quimbrel::pulse
