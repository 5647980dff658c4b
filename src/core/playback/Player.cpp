// The player: a decoding thread fills a ring of float samples; the playback stream's write callback copies
// from it. Lock order: the connection's lock before m_mutex; nobody waits for the connection's lock while
// holding m_mutex.
#include "playback/Player.h"

#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseStream.h"
#include "playback/FileDecoder.h"
#include "ports/Dispatcher.h"

#include <pulse/error.h>

#include <algorithm>
#include <cstring>

namespace quimbrel {

namespace {
constexpr std::size_t kRecentFloats = 2048;
// The server's queue: short, so what is heard, the position and the spectrum stay close together.
constexpr std::uint32_t kQueueMs = 100;
// The decoded samples waiting in the ring.
constexpr std::uint32_t kRingMs = 500;
} // namespace

Player::Player(Dispatcher& dispatcher, ConnectionSource connection)
    : m_dispatcher(dispatcher), m_connectionSource(std::move(connection)),
      m_token(std::make_shared<Player*>(this)), m_recent(kRecentFloats, 0.0f) {}

Player::~Player() {
    stop();
    *m_token = nullptr;
}

std::vector<PlaybackDevice> Player::devices() {
    int error = 0;
    auto conn = m_connectionSource ? m_connectionSource(error) : nullptr;
    std::vector<pulse::EndpointInfo> endpoints;
    std::string defaultSink;
    if (!conn || !conn->endpoints(endpoints, error))
        return {};
    conn->defaultsink(defaultSink, error);
    std::vector<PlaybackDevice> out;
    for (const auto& e : endpoints) {
        if (e.dataflow != 0)
            continue;
        PlaybackDevice d;
        d.number = static_cast<int>(out.size()) + 1;
        d.name = e.name;
        d.description = e.description;
        d.enabled = e.state == 1;
        d.isDefault = e.name == defaultSink;
        out.push_back(std::move(d));
    }
    return out;
}

bool Player::init(int device) {
    stop();
    m_device = device;
    m_sink.clear();
    int error = 0;
    auto conn = m_connectionSource ? m_connectionSource(error) : nullptr;
    if (!conn)
        return false;
    for (const auto& d : devices())
        if (d.number == device)
            m_sink = d.name;
    return true;
}

bool Player::failOpen(const std::string& why) {
    m_error = why;
    stop();
    return false;
}

bool Player::open(const std::string& path) {
    stop();
    m_error.clear();
    int error = 0;
    m_connection = m_connectionSource ? m_connectionSource(error) : nullptr;
    if (!m_connection)
        return failOpen(std::string("no sound server: ") + pa_strerror(error));
    auto decoder = std::make_unique<FileDecoder>();
    if (!decoder->open(path))
        return failOpen(decoder->error());

    std::string sink = m_sink;
    if (sink.empty() && !m_connection->defaultsink(sink, error))
        return failOpen(std::string("no output device: ") + pa_strerror(error));
    pulse::EndpointInfo info;
    if (!m_connection->endpoint(sink, 0, info, error))
        return failOpen("output device " + sink + ": " + pa_strerror(error));
    // The stream takes the sink's own rate and channels; the decoder converts to them.
    const std::uint32_t queue = info.rate * info.channels * 4 * kQueueMs / 1000;
    auto stream = pulse::Stream::playback(*m_connection, sink, info.rate, info.channels, queue, error, true);
    if (!stream)
        return failOpen("output device " + sink + ": " + pa_strerror(error));
    {
        pulse::Connection::Lock lock(*m_connection);
        m_rate = static_cast<int>(stream->rate());
        m_channels = static_cast<int>(stream->channels());
    }
    if (!decoder->setoutput(m_rate, m_channels)) {
        stream.reset();
        return failOpen(decoder->error());
    }
    m_lengthFrames = decoder->frames();
    m_decoder = std::move(decoder);
    {
        std::lock_guard lock(m_mutex);
        m_ring.assign(
            static_cast<std::size_t>(m_rate) * static_cast<std::size_t>(m_channels) * kRingMs / 1000, 0.0f);
        m_ringStart = m_ringCount = 0;
        m_decoded = m_quit = m_starved = false;
        m_seekFrame = -1;
        m_writtenFrames = 0;
        m_recentCount = 0;
        ++m_generation;
    }
    m_started = m_paused = m_ended = false;
    m_thread = std::thread([this] { decodeLoop(); });

    pulse::Connection::Lock lock(*m_connection);
    m_stream = std::move(stream);
    m_draining = false;
    m_stream->onwritable([this](std::size_t bytes) { feed(bytes); });
    // The server's first request may have come before the callback was set.
    std::size_t writable = 0;
    if (m_stream->writable(writable, error) && writable > 0)
        feed(writable);
    return true;
}

void Player::decodeLoop() {
    std::vector<float> piece;
    for (;;) {
        unsigned generation = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] {
                return m_quit || m_seekFrame >= 0 || (!m_decoded && m_ringCount < m_ring.size());
            });
            if (m_quit)
                return;
            if (m_seekFrame >= 0) {
                const long long frame = m_seekFrame;
                m_seekFrame = -1;
                lock.unlock();
                m_decoder->seek(frame);
                continue;
            }
            generation = m_generation;
        }
        // Decoding runs without any lock.
        const bool more = m_decoder->next(piece);
        bool starved = false;
        {
            std::unique_lock lock(m_mutex);
            std::size_t done = 0;
            while (done < piece.size()) {
                m_wake.wait(lock, [&] {
                    return m_quit || m_generation != generation || m_ringCount < m_ring.size();
                });
                if (m_quit || m_generation != generation)
                    break;
                const std::size_t n = std::min(piece.size() - done, m_ring.size() - m_ringCount);
                for (std::size_t i = 0; i < n; ++i)
                    m_ring[(m_ringStart + m_ringCount + i) % m_ring.size()] = piece[done + i];
                m_ringCount += n;
                done += n;
            }
            if (m_quit)
                return;
            if (m_generation != generation)
                continue;
            if (!more)
                m_decoded = true;
            starved = m_starved;
        }
        if (starved) {
            // The server asked while the ring was empty: hand it what has arrived.
            pulse::Connection::Lock lock(*m_connection);
            int error = 0;
            std::size_t writable = 0;
            if (m_stream && m_stream->writable(writable, error) && writable > 0)
                feed(writable);
        }
    }
}

void Player::feed(std::size_t bytes) {
    if (!m_stream || m_channels <= 0)
        return;
    const auto channels = static_cast<std::size_t>(m_channels);
    std::size_t wanted = bytes / sizeof(float) / channels * channels;
    std::size_t n = 0;
    bool atEnd = false;
    unsigned generation = 0;
    {
        std::lock_guard lock(m_mutex);
        n = std::min(wanted, m_ringCount);
        if (m_out.size() < n)
            m_out.resize(n);
        const float volume = m_volume.load();
        for (std::size_t i = 0; i < n; ++i)
            m_out[i] = m_ring[(m_ringStart + i) % m_ring.size()] * volume;
        m_ringStart = (m_ringStart + n) % std::max<std::size_t>(1, m_ring.size());
        m_ringCount -= n;
        m_writtenFrames += static_cast<long long>(n / channels);
        // The most recent samples, oldest first: what stays of the earlier ones, then the new ones.
        const std::size_t keep = std::min(n, kRecentFloats);
        if (keep > 0) {
            const std::size_t old = std::min(m_recentCount, kRecentFloats - keep);
            std::copy(m_recent.begin() + static_cast<std::ptrdiff_t>(m_recentCount - old),
                      m_recent.begin() + static_cast<std::ptrdiff_t>(m_recentCount), m_recent.begin());
            std::copy(m_out.begin() + static_cast<std::ptrdiff_t>(n - keep),
                      m_out.begin() + static_cast<std::ptrdiff_t>(n),
                      m_recent.begin() + static_cast<std::ptrdiff_t>(old));
            m_recentCount = old + keep;
        }
        atEnd = m_decoded && m_ringCount == 0;
        m_starved = n < wanted && !atEnd;
        generation = m_generation;
    }
    m_wake.notify_all();
    int error = 0;
    if (n > 0 && !m_stream->write(m_out.data(), n * sizeof(float), error)) {
        // The output went away: the file cannot be played to its end.
        reportEnd(generation);
        return;
    }
    if (atEnd && !m_draining) {
        m_draining = true;
        if (!m_stream->drain([this, generation](bool) { reportEnd(generation); }, error))
            reportEnd(generation);
    }
}

void Player::reportEnd(unsigned generation) {
    // Any thread: the view hears of it on the owning thread, unless the file was stopped, re-opened or
    // moved in the meantime.
    std::weak_ptr<Player*> token = m_token;
    m_dispatcher.post([token, generation] {
        auto alive = token.lock();
        Player* self = alive ? *alive : nullptr;
        if (!self || !self->isOpen() || self->m_ended)
            return;
        {
            std::lock_guard lock(self->m_mutex);
            if (self->m_generation != generation)
                return;
        }
        self->m_ended = true;
        if (self->m_view)
            self->m_view->playbackEnded();
    });
}

void Player::play() {
    if (!isOpen())
        return;
    int error = 0;
    pulse::Connection::Lock lock(*m_connection);
    m_started = true;
    m_paused = false;
    m_stream->cork(false, error);
}

void Player::pause() {
    if (!isOpen())
        return;
    int error = 0;
    pulse::Connection::Lock lock(*m_connection);
    m_paused = true;
    m_stream->cork(true, error);
}

void Player::stop() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
            ++m_generation;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    // Taken out under the lock, so a write callback in progress finishes with the stream it started with;
    // its destructor removes the callbacks, so none runs after this.
    std::unique_ptr<pulse::Stream> stream;
    if (m_stream) {
        pulse::Connection::Lock lock(*m_connection);
        stream = std::move(m_stream);
        stream->onwritable({});
    }
    stream.reset();
    m_decoder.reset();
    {
        std::lock_guard lock(m_mutex);
        ++m_generation;
        m_ringCount = 0;
        m_recentCount = 0;
        m_writtenFrames = 0;
    }
    m_started = m_paused = m_ended = false;
    m_lengthFrames = 0;
    m_rate = m_channels = 0;
}

bool Player::isActive() const {
    return isOpen() && m_started && !m_paused && !m_ended;
}

long long Player::lengthBytes() const {
    return isOpen() ? m_lengthFrames * m_channels * 4 : 0;
}

long long Player::positionBytes() const {
    if (!isOpen())
        return 0;
    std::uint64_t latency = 0;
    {
        pulse::Connection::Lock lock(*m_connection);
        latency = m_stream->latency();
    }
    long long written = 0;
    {
        std::lock_guard lock(m_mutex);
        written = m_writtenFrames;
    }
    const auto queued = static_cast<long long>(latency * static_cast<std::uint64_t>(m_rate) / 1000000);
    return std::max(0LL, written - queued) * m_channels * 4;
}

double Player::bytesToSeconds(long long bytes) const {
    return m_rate > 0 && m_channels > 0 ? static_cast<double>(bytes) / (4.0 * m_channels * m_rate) : 0.0;
}

PlaybackPosition Player::position() const {
    PlaybackPosition p;
    p.lengthBytes = lengthBytes();
    p.positionBytes = positionBytes();
    p.seconds = bytesToSeconds(p.positionBytes);
    p.active = isActive();
    return p;
}

void Player::setVolume(float volume) {
    m_volume = std::clamp(volume, 0.0f, 1.0f);
}

void Player::setPosition(long long bytes) {
    if (!isOpen())
        return;
    long long frame = std::max(0LL, bytes) / (4LL * m_channels);
    if (m_lengthFrames > 0)
        frame = std::min(frame, m_lengthFrames);
    int error = 0;
    pulse::Connection::Lock lock(*m_connection);
    {
        // Nothing is handed to the server while the connection's lock is held, so the flush below drops
        // exactly what was queued before the seek.
        std::lock_guard inner(m_mutex);
        ++m_generation;
        m_seekFrame = frame;
        m_ringStart = m_ringCount = 0;
        m_decoded = false;
        m_starved = true;
        m_writtenFrames = frame;
    }
    m_wake.notify_all();
    m_draining = false;
    m_ended = false;
    m_stream->flush(error);
}

int Player::getData(float* buffer, int bytes) const {
    if (!isOpen() || bytes <= 0)
        return 0;
    std::lock_guard lock(m_mutex);
    const std::size_t floats = std::min(static_cast<std::size_t>(bytes) / sizeof(float), m_recentCount);
    std::copy_n(m_recent.begin() + static_cast<std::ptrdiff_t>(m_recentCount - floats), floats, buffer);
    return static_cast<int>(floats * sizeof(float));
}

} // namespace quimbrel
