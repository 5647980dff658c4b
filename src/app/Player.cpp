// FFmpeg decoding into a PulseAudio playback stream. The stream's write callback runs on PulseAudio's
// main-loop thread with the loop locked; the UI thread takes the same lock for every call.
#include "Player.h"

#include <pulse/pulseaudio.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <deque>

namespace quimbrel {

namespace {

// Waits on the threaded loop until an operation finishes.
void waitFor(pa_threaded_mainloop* loop, pa_operation* op) {
    if (!op)
        return;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop);
    pa_operation_unref(op);
}

constexpr int kRecentFloats = 2048;

// One file decoded to interleaved float at its own rate and channel count.
class Decoder {
public:
    ~Decoder() {
        swr_free(&m_swr);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
    }

    bool open(const std::string& path) {
        if (avformat_open_input(&m_format, path.c_str(), nullptr, nullptr) < 0)
            return false;
        if (avformat_find_stream_info(m_format, nullptr) < 0)
            return false;
        const AVCodec* codec = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (m_stream < 0 || !codec)
            return false;
        m_codec = avcodec_alloc_context3(codec);
        if (!m_codec || avcodec_parameters_to_context(m_codec, m_format->streams[m_stream]->codecpar) < 0 ||
            avcodec_open2(m_codec, codec, nullptr) < 0)
            return false;
        m_rate = m_codec->sample_rate;
        m_channels = m_codec->ch_layout.nb_channels;
        if (m_rate <= 0 || m_channels <= 0 || m_channels > static_cast<int>(PA_CHANNELS_MAX))
            return false;
        AVChannelLayout layout;
        av_channel_layout_default(&layout, m_channels);
        AVChannelLayout in;
        if (m_codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, m_channels);
        else
            av_channel_layout_copy(&in, &m_codec->ch_layout);
        const bool ready = swr_alloc_set_opts2(&m_swr, &layout, AV_SAMPLE_FMT_FLT, m_rate, &in,
                                               m_codec->sample_fmt, m_rate, 0, nullptr) >= 0 &&
                           swr_init(m_swr) >= 0;
        av_channel_layout_uninit(&layout);
        av_channel_layout_uninit(&in);
        if (!ready)
            return false;
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        const AVStream* s = m_format->streams[m_stream];
        if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
            m_frames = av_rescale_q(s->duration, s->time_base, AVRational{1, m_rate});
        else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
            m_frames = av_rescale(m_format->duration, m_rate, AV_TIME_BASE);
        return m_frame && m_packet;
    }

    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    long long frames() const { return m_frames; }
    bool atEnd() const { return m_end && m_pending.empty(); }

    // Takes up to `count` floats into out; decodes more as needed. Returns the count taken.
    std::size_t read(float* out, std::size_t count) {
        while (m_pending.size() < count && !m_end)
            decodeSome();
        const std::size_t n = std::min(count, m_pending.size());
        std::copy_n(m_pending.begin(), n, out);
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

    void seekFrame(long long frame) {
        const AVStream* s = m_format->streams[m_stream];
        const long long ts = av_rescale_q(frame, AVRational{1, m_rate}, s->time_base);
        av_seek_frame(m_format, m_stream, ts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(m_codec);
        swr_init(m_swr);
        m_pending.clear();
        m_end = false;
        m_skipFrames = -1;
        m_seekTarget = frame;
    }

private:
    void decodeSome() {
        while (true) {
            const int got = avcodec_receive_frame(m_codec, m_frame);
            if (got == 0) {
                append(m_frame);
                av_frame_unref(m_frame);
                return;
            }
            if (got == AVERROR_EOF) {
                m_end = true;
                return;
            }
            if (got != AVERROR(EAGAIN)) {
                m_end = true;
                return;
            }
            const int r = av_read_frame(m_format, m_packet);
            if (r < 0) {
                avcodec_send_packet(m_codec, nullptr);
                continue;
            }
            if (m_packet->stream_index == m_stream)
                avcodec_send_packet(m_codec, m_packet);
            av_packet_unref(m_packet);
        }
    }

    void append(AVFrame* frame) {
        const int outFrames = swr_get_out_samples(m_swr, frame->nb_samples);
        if (outFrames <= 0)
            return;
        std::vector<float> buffer(static_cast<std::size_t>(outFrames) * static_cast<std::size_t>(m_channels));
        auto* out = reinterpret_cast<std::uint8_t*>(buffer.data());
        const int done =
            swr_convert(m_swr, &out, outFrames, const_cast<const std::uint8_t**>(frame->extended_data),
                        frame->nb_samples);
        if (done <= 0)
            return;
        std::size_t skip = 0;
        if (m_seekTarget >= 0 && frame->pts != AV_NOPTS_VALUE) {
            // After a seek the decoder starts at a key frame before the target: drop what lies before it.
            const long long at =
                av_rescale_q(frame->pts, m_format->streams[m_stream]->time_base, AVRational{1, m_rate});
            if (at + done <= m_seekTarget)
                return;
            skip = static_cast<std::size_t>(std::max(0LL, m_seekTarget - at));
            m_seekTarget = -1;
        }
        m_pending.insert(m_pending.end(),
                         buffer.begin() +
                             static_cast<std::ptrdiff_t>(skip * static_cast<std::size_t>(m_channels)),
                         buffer.begin() + static_cast<std::ptrdiff_t>(done) * m_channels);
    }

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_stream = -1;
    int m_rate = 0;
    int m_channels = 0;
    long long m_frames = 0;
    bool m_end = false;
    long long m_skipFrames = -1;
    long long m_seekTarget = -1;
    std::deque<float> m_pending;
};

} // namespace

struct Player::Impl {
    Player* owner = nullptr;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    std::string sink; // empty: the default sink
    pa_stream* stream = nullptr;
    std::unique_ptr<Decoder> decoder;
    float volume = 1.0f;
    bool started = false;
    bool paused = false;
    bool ended = false;
    bool draining = false;
    long long writtenFrames = 0; // frame position of the next sample handed to the server
    std::vector<float> recent = std::vector<float>(kRecentFloats, 0.0f);
    std::size_t recentCount = 0;

    ~Impl() {
        freeStream();
        disconnect();
    }

    bool connect() {
        if (context)
            return true;
        loop = pa_threaded_mainloop_new();
        if (!loop)
            return false;
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Quimbrel playback");
        pa_context_set_state_callback(
            context,
            [](pa_context*, void* self) { pa_threaded_mainloop_signal(static_cast<Impl*>(self)->loop, 0); },
            this);
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0 ||
            pa_threaded_mainloop_start(loop) < 0) {
            disconnect();
            return false;
        }
        pa_threaded_mainloop_lock(loop);
        bool ok = false;
        while (true) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ok = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state))
                break;
            pa_threaded_mainloop_wait(loop);
        }
        pa_threaded_mainloop_unlock(loop);
        if (!ok)
            disconnect();
        return ok;
    }

    void disconnect() {
        if (loop)
            pa_threaded_mainloop_stop(loop);
        if (context) {
            pa_context_disconnect(context);
            pa_context_unref(context);
            context = nullptr;
        }
        if (loop) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
        }
    }

    void freeStream() {
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        if (stream) {
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
            stream = nullptr;
        }
        decoder.reset();
        started = paused = ended = draining = false;
        writtenFrames = 0;
        recentCount = 0;
        pa_threaded_mainloop_unlock(loop);
    }

    // Main-loop thread.
    void write(std::size_t bytes) {
        if (!decoder || draining)
            return;
        const std::size_t channels = static_cast<std::size_t>(decoder->channels());
        std::size_t floats = bytes / sizeof(float) / channels * channels;
        if (floats == 0)
            return;
        void* data = nullptr;
        std::size_t size = floats * sizeof(float);
        if (pa_stream_begin_write(stream, &data, &size) < 0 || !data)
            return;
        floats = std::min(floats, size / sizeof(float) / channels * channels);
        auto* out = static_cast<float*>(data);
        const std::size_t got = decoder->read(out, floats);
        for (std::size_t i = 0; i < got; ++i)
            out[i] *= volume;
        if (got > 0) {
            const std::size_t keep = std::min<std::size_t>(got, kRecentFloats);
            std::copy(out + (got - keep), out + got, recent.begin());
            recentCount = keep;
            writtenFrames += static_cast<long long>(got / channels);
            pa_stream_write(stream, data, got * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
        } else {
            pa_stream_cancel_write(stream);
        }
        if (decoder->atEnd()) {
            draining = true;
            pa_operation* op = pa_stream_drain(
                stream,
                [](pa_stream*, int, void* self) {
                    auto* impl = static_cast<Impl*>(self);
                    if (!impl->draining)
                        return;
                    impl->ended = true;
                    QMetaObject::invokeMethod(impl->owner, &Player::ended, Qt::QueuedConnection);
                },
                this);
            if (op)
                pa_operation_unref(op);
        }
    }

    long long latencyFrames() const {
        pa_usec_t usec = 0;
        int negative = 0;
        if (!stream || pa_stream_get_latency(stream, &usec, &negative) < 0 || negative)
            return 0;
        return static_cast<long long>(usec) * decoder->rate() / 1000000;
    }
};

Player::Player(QObject* parent) : QObject(parent), m_impl(std::make_unique<Impl>()) {
    m_impl->owner = this;
}

Player::~Player() = default;

std::vector<PlaybackDevice> Player::devices() {
    struct Listing {
        pa_threaded_mainloop* loop = nullptr;
        std::vector<PlaybackDevice> devices;
        std::string defaultSink;
    } listing;
    Impl probe;
    if (!probe.connect())
        return {};
    listing.loop = probe.loop;
    pa_threaded_mainloop_lock(probe.loop);
    waitFor(probe.loop, pa_context_get_server_info(
                            probe.context,
                            [](pa_context*, const pa_server_info* info, void* self) {
                                auto* l = static_cast<Listing*>(self);
                                if (info && info->default_sink_name)
                                    l->defaultSink = info->default_sink_name;
                                pa_threaded_mainloop_signal(l->loop, 0);
                            },
                            &listing));
    waitFor(probe.loop,
            pa_context_get_sink_info_list(
                probe.context,
                [](pa_context*, const pa_sink_info* info, int eol, void* self) {
                    auto* l = static_cast<Listing*>(self);
                    if (eol || !info) {
                        pa_threaded_mainloop_signal(l->loop, 0);
                        return;
                    }
                    PlaybackDevice d;
                    d.number = static_cast<int>(l->devices.size()) + 1;
                    d.name = info->name ? info->name : "";
                    d.description = info->description ? info->description : d.name;
                    d.enabled = !(info->active_port && info->active_port->available == PA_PORT_AVAILABLE_NO);
                    l->devices.push_back(d);
                },
                &listing));
    pa_threaded_mainloop_unlock(probe.loop);
    for (auto& d : listing.devices)
        d.isDefault = d.name == listing.defaultSink;
    return listing.devices;
}

bool Player::init(int device) {
    stop();
    m_device = device;
    m_impl->sink.clear();
    for (const auto& d : devices())
        if (d.number == device)
            m_impl->sink = d.name;
    return m_impl->connect();
}

bool Player::open(const QString& path) {
    stop();
    if (!m_impl->connect())
        return false;
    auto decoder = std::make_unique<Decoder>();
    if (!decoder->open(path.toStdString()))
        return false;
    pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(decoder->rate()),
                        static_cast<std::uint8_t>(decoder->channels())};
    pa_channel_map map;
    if (!pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT))
        pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_AUX);
    pa_threaded_mainloop_lock(m_impl->loop);
    m_impl->stream = pa_stream_new(m_impl->context, "Quimbrel playback", &spec, &map);
    bool ok = m_impl->stream != nullptr;
    if (ok) {
        m_impl->decoder = std::move(decoder);
        pa_stream_set_state_callback(
            m_impl->stream,
            [](pa_stream*, void* self) { pa_threaded_mainloop_signal(static_cast<Impl*>(self)->loop, 0); },
            m_impl.get());
        pa_stream_set_write_callback(
            m_impl->stream,
            [](pa_stream*, std::size_t bytes, void* self) { static_cast<Impl*>(self)->write(bytes); },
            m_impl.get());
        // A short buffer keeps the spectrum close to what is heard.
        pa_buffer_attr attr;
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(100000, &spec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                                           PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        ok = pa_stream_connect_playback(m_impl->stream, m_impl->sink.empty() ? nullptr : m_impl->sink.c_str(),
                                        &attr, flags, nullptr, nullptr) == 0;
        while (ok) {
            const pa_stream_state_t state = pa_stream_get_state(m_impl->stream);
            if (state == PA_STREAM_READY)
                break;
            if (!PA_STREAM_IS_GOOD(state))
                ok = false;
            else
                pa_threaded_mainloop_wait(m_impl->loop);
        }
    }
    pa_threaded_mainloop_unlock(m_impl->loop);
    if (!ok)
        m_impl->freeStream();
    return ok;
}

void Player::play() {
    if (!isOpen())
        return;
    pa_threaded_mainloop_lock(m_impl->loop);
    m_impl->started = true;
    m_impl->paused = false;
    waitFor(m_impl->loop, pa_stream_cork(
                              m_impl->stream, 0,
                              [](pa_stream*, int, void* self) {
                                  pa_threaded_mainloop_signal(static_cast<Impl*>(self)->loop, 0);
                              },
                              m_impl.get()));
    pa_threaded_mainloop_unlock(m_impl->loop);
}

void Player::pause() {
    if (!isOpen())
        return;
    pa_threaded_mainloop_lock(m_impl->loop);
    m_impl->paused = true;
    waitFor(m_impl->loop, pa_stream_cork(
                              m_impl->stream, 1,
                              [](pa_stream*, int, void* self) {
                                  pa_threaded_mainloop_signal(static_cast<Impl*>(self)->loop, 0);
                              },
                              m_impl.get()));
    pa_threaded_mainloop_unlock(m_impl->loop);
}

void Player::stop() {
    m_impl->freeStream();
}

bool Player::isOpen() const {
    return m_impl->loop && m_impl->stream && m_impl->decoder;
}

bool Player::isActive() const {
    if (!isOpen())
        return false;
    pa_threaded_mainloop_lock(m_impl->loop);
    const bool active = m_impl->started && !m_impl->paused && !m_impl->ended;
    pa_threaded_mainloop_unlock(m_impl->loop);
    return active;
}

int Player::channels() const {
    return isOpen() ? m_impl->decoder->channels() : 0;
}
int Player::rate() const {
    return isOpen() ? m_impl->decoder->rate() : 0;
}

long long Player::lengthBytes() const {
    return isOpen() ? m_impl->decoder->frames() * m_impl->decoder->channels() * 4 : 0;
}

long long Player::positionBytes() const {
    if (!isOpen())
        return 0;
    pa_threaded_mainloop_lock(m_impl->loop);
    const long long frames = std::max(0LL, m_impl->writtenFrames - m_impl->latencyFrames());
    const long long bytes = frames * m_impl->decoder->channels() * 4;
    pa_threaded_mainloop_unlock(m_impl->loop);
    return bytes;
}

double Player::bytesToSeconds(long long bytes) const {
    const int r = rate();
    const int c = channels();
    return r > 0 && c > 0 ? static_cast<double>(bytes) / (4.0 * c * r) : 0.0;
}

void Player::setVolume(float volume) {
    const float v = std::clamp(volume, 0.0f, 1.0f);
    if (!m_impl->loop) {
        m_impl->volume = v;
        return;
    }
    pa_threaded_mainloop_lock(m_impl->loop);
    m_impl->volume = v;
    pa_threaded_mainloop_unlock(m_impl->loop);
}

void Player::setPosition(long long bytes) {
    if (!isOpen())
        return;
    pa_threaded_mainloop_lock(m_impl->loop);
    const long long frame = std::max(0LL, bytes) / (4LL * m_impl->decoder->channels());
    m_impl->decoder->seekFrame(frame);
    m_impl->writtenFrames = frame;
    m_impl->draining = false;
    m_impl->ended = false;
    waitFor(m_impl->loop, pa_stream_flush(
                              m_impl->stream,
                              [](pa_stream*, int, void* self) {
                                  pa_threaded_mainloop_signal(static_cast<Impl*>(self)->loop, 0);
                              },
                              m_impl.get()));
    pa_threaded_mainloop_unlock(m_impl->loop);
}

int Player::getData(float* buffer, int bytes) const {
    if (!isOpen() || bytes <= 0)
        return 0;
    pa_threaded_mainloop_lock(m_impl->loop);
    const std::size_t floats = std::min(static_cast<std::size_t>(bytes) / sizeof(float), m_impl->recentCount);
    std::copy_n(m_impl->recent.begin() + static_cast<std::ptrdiff_t>(m_impl->recentCount - floats), floats,
                buffer);
    pa_threaded_mainloop_unlock(m_impl->loop);
    return static_cast<int>(floats * sizeof(float));
}

} // namespace quimbrel
