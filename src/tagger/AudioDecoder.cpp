// FFmpeg behind AudioDecoder: demuxing, decoding and the conversion to 16-bit interleaved samples.
#include "AudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace quimbrel::tagger {

namespace {

// Past these, a header is more likely damaged than real, and one second of samples would be huge.
constexpr int kMaxSampleRate = 768000;
constexpr int kMaxChannels = 32;

} // namespace

struct AudioDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    // Only when the decoder does not give interleaved 16-bit samples itself.
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int streamIndex = -1;
    // The decoder's rate and channels, and those handed out.
    int rate = 0;
    int channels = 0;
    int outRate = 0;
    int outChannels = 0;
    int converterFormat = AV_SAMPLE_FMT_NONE;
    bool demuxDone = false;
    bool decoderDone = false;
    // Decoded samples not yet handed out: either the frame's own interleaved data or the converter's output.
    const std::int16_t* pending = nullptr;
    std::size_t pendingSize = 0;
    std::size_t pendingOffset = 0;
    bool frameHeld = false;
    std::vector<std::int16_t> converted;

    bool openConverter(int inputFormat);
    bool resampling() const { return outRate != rate || outChannels != channels; }
    void releaseFrame() {
        if (frameHeld)
            av_frame_unref(frame);
        frameHeld = false;
    }

    ~State() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&swr);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

AudioDecoder::AudioDecoder() = default;
AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::isOpen() const {
    return m_state != nullptr;
}
int AudioDecoder::sampleRate() const {
    return m_state ? m_state->outRate : 0;
}
int AudioDecoder::channels() const {
    return m_state ? m_state->outChannels : 0;
}

void AudioDecoder::close() {
    m_state.reset();
}

bool AudioDecoder::open(const std::string& path, DecoderOutput output) {
    // The tagger prints nothing of its own; FFmpeg's complaints about damaged files stay quiet too.
    av_log_set_level(AV_LOG_QUIET);
    close();
    m_path = path;
    m_output = output;
    if (output.rate < 0 || output.rate > kMaxSampleRate)
        return false;
    auto s = std::make_unique<State>();
    if (avformat_open_input(&s->format, path.c_str(), nullptr, nullptr) < 0)
        return false;
    if (avformat_find_stream_info(s->format, nullptr) < 0)
        return false;
    const AVCodec* decoder = nullptr;
    s->streamIndex = av_find_best_stream(s->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (s->streamIndex < 0 || decoder == nullptr)
        return false;
    AVStream* stream = s->format->streams[s->streamIndex];
    // Cover pictures and other streams are not read past the demuxer.
    for (unsigned i = 0; i < s->format->nb_streams; ++i) {
        if (static_cast<int>(i) != s->streamIndex)
            s->format->streams[i]->discard = AVDISCARD_ALL;
    }
    s->codec = avcodec_alloc_context3(decoder);
    if (s->codec == nullptr || avcodec_parameters_to_context(s->codec, stream->codecpar) < 0)
        return false;
    // Decoders that can give interleaved 16-bit samples are asked to, so that nothing needs converting.
    s->codec->request_sample_fmt = AV_SAMPLE_FMT_S16;
    s->codec->thread_count = 1;
    if (avcodec_open2(s->codec, decoder, nullptr) < 0)
        return false;
    s->rate = s->codec->sample_rate;
    s->channels = s->codec->ch_layout.nb_channels;
    if (s->rate <= 0 || s->rate > kMaxSampleRate || s->channels <= 0 || s->channels > kMaxChannels)
        return false;
    s->outRate = output.rate > 0 ? output.rate : s->rate;
    s->outChannels = output.rate > 0 ? 1 : s->channels;
    s->packet = av_packet_alloc();
    s->frame = av_frame_alloc();
    if (s->packet == nullptr || s->frame == nullptr)
        return false;
    if ((s->codec->sample_fmt != AV_SAMPLE_FMT_S16 || s->resampling()) &&
        !s->openConverter(s->codec->sample_fmt))
        return false;
    m_state = std::move(s);
    return true;
}

bool AudioDecoder::State::openConverter(int inputFormat) {
    swr_free(&swr);
    AVChannelLayout layout;
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, channels);
    else if (av_channel_layout_copy(&layout, &codec->ch_layout) < 0)
        return false;
    AVChannelLayout outLayout;
    if (outChannels == channels)
        av_channel_layout_copy(&outLayout, &layout);
    else
        outLayout = AV_CHANNEL_LAYOUT_MONO;
    int rc = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, outRate, &layout,
                                 static_cast<AVSampleFormat>(inputFormat), rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0) {
        swr_free(&swr);
        return false;
    }
    if (outRate != rate) {
        // A short filter is enough for a fingerprint, which looks at nothing above a few kHz.
        av_opt_set_int(swr, "filter_size", 16, 0);
        av_opt_set_int(swr, "phase_shift", 8, 0);
        av_opt_set_int(swr, "linear_interp", 1, 0);
        av_opt_set_double(swr, "cutoff", 0.8, 0);
    }
    if (outChannels != channels) {
        // The plain average of the channels, so that no sum can clip.
        std::vector<double> matrix(static_cast<std::size_t>(channels), 1.0 / channels);
        if (swr_set_matrix(swr, matrix.data(), channels) < 0) {
            swr_free(&swr);
            return false;
        }
    }
    if (swr_init(swr) < 0) {
        swr_free(&swr);
        return false;
    }
    converterFormat = inputFormat;
    return true;
}

double AudioDecoder::lengthSeconds() {
    if (!m_state)
        return 0.0;
    const AVStream* stream = m_state->format->streams[m_state->streamIndex];
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        return static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    if (m_state->format->duration != AV_NOPTS_VALUE && m_state->format->duration > 0)
        return static_cast<double>(m_state->format->duration) / AV_TIME_BASE;
    // No stated length: count the samples, then start again from the top.
    const long frameBytes = 2L * m_state->outChannels;
    std::vector<std::int16_t> block(static_cast<std::size_t>(m_state->outRate) * m_state->outChannels);
    long long bytes = 0;
    long got = 0;
    while ((got = read(block.data(), static_cast<long>(block.size()) * 2)) > 0)
        bytes += got;
    const double seconds = static_cast<double>(bytes / frameBytes) / m_state->outRate;
    const std::string path = m_path;
    open(path, m_output);
    return seconds;
}

bool AudioDecoder::fillPending() {
    State& s = *m_state;
    s.releaseFrame();
    s.pending = nullptr;
    s.pendingSize = 0;
    s.pendingOffset = 0;
    while (!s.decoderDone) {
        int rc = avcodec_receive_frame(s.codec, s.frame);
        if (rc == 0) {
            s.frameHeld = true;
            if (s.frame->nb_samples <= 0 || s.frame->ch_layout.nb_channels != s.channels) {
                s.releaseFrame();
                continue;
            }
            if (s.frame->format == AV_SAMPLE_FMT_S16 && !s.resampling()) {
                // Already what the caller wants: handed out straight from the frame.
                s.pending = reinterpret_cast<const std::int16_t*>(s.frame->data[0]);
                s.pendingSize = static_cast<std::size_t>(s.frame->nb_samples) * s.channels;
                return true;
            }
            if (s.swr == nullptr || s.converterFormat != s.frame->format) {
                if (!s.openConverter(s.frame->format))
                    return false;
            }
            const int outCount = swr_get_out_samples(s.swr, s.frame->nb_samples);
            if (outCount < 0)
                return false;
            s.converted.resize(static_cast<std::size_t>(outCount) * s.outChannels);
            auto* out = reinterpret_cast<std::uint8_t*>(s.converted.data());
            const int converted =
                swr_convert(s.swr, &out, outCount, const_cast<const std::uint8_t**>(s.frame->extended_data),
                            s.frame->nb_samples);
            s.releaseFrame();
            if (converted < 0)
                return false;
            if (converted == 0)
                continue;
            s.pending = s.converted.data();
            s.pendingSize = static_cast<std::size_t>(converted) * s.outChannels;
            return true;
        }
        if (rc == AVERROR_EOF) {
            s.decoderDone = true;
            break;
        }
        if (rc != AVERROR(EAGAIN))
            return false;
        // The decoder wants more input.
        if (s.demuxDone)
            return false;
        rc = av_read_frame(s.format, s.packet);
        if (rc < 0) {
            s.demuxDone = true;
            avcodec_send_packet(s.codec, nullptr);
            continue;
        }
        if (s.packet->stream_index == s.streamIndex) {
            // A damaged packet is passed over; the ones around it still decode.
            avcodec_send_packet(s.codec, s.packet);
        }
        av_packet_unref(s.packet);
    }
    // Whatever the converter still holds.
    if (s.swr == nullptr)
        return false;
    const int outCount = swr_get_out_samples(s.swr, 0);
    if (outCount <= 0)
        return false;
    s.converted.resize(static_cast<std::size_t>(outCount) * s.outChannels);
    auto* out = reinterpret_cast<std::uint8_t*>(s.converted.data());
    const int converted = swr_convert(s.swr, &out, outCount, nullptr, 0);
    if (converted <= 0)
        return false;
    s.pending = s.converted.data();
    s.pendingSize = static_cast<std::size_t>(converted) * s.outChannels;
    return true;
}

long AudioDecoder::read(std::int16_t* buffer, long bytes) {
    if (!m_state || bytes <= 0)
        return 0;
    State& s = *m_state;
    const std::size_t frameSamples = static_cast<std::size_t>(s.outChannels);
    const std::size_t wanted = static_cast<std::size_t>(bytes) / 2 / frameSamples * frameSamples;
    std::size_t written = 0;
    while (written < wanted) {
        if (s.pendingOffset >= s.pendingSize && !fillPending())
            break;
        const std::size_t n = std::min(wanted - written, s.pendingSize - s.pendingOffset);
        std::memcpy(buffer + written, s.pending + s.pendingOffset, n * sizeof(std::int16_t));
        written += n;
        s.pendingOffset += n;
    }
    return static_cast<long>(written * 2);
}

} // namespace quimbrel::tagger
