// FFmpeg demuxing, decoding and conversion to the output's float format.
#include "playback/FileDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace quimbrel {

FileDecoder::~FileDecoder() {
    swr_free(&m_swr);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
}

bool FileDecoder::fail(const std::string& what, int code) {
    m_error = what;
    if (code < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        m_error += std::string(": ") + text;
    }
    return false;
}

bool FileDecoder::open(const std::string& path) {
    int rc = avformat_open_input(&m_format, path.c_str(), nullptr, nullptr);
    if (rc < 0)
        return fail("cannot open " + path, rc);
    if ((rc = avformat_find_stream_info(m_format, nullptr)) < 0)
        return fail("cannot read " + path, rc);
    const AVCodec* codec = nullptr;
    m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (m_stream < 0 || !codec)
        return fail("no audio to play in " + path, m_stream < 0 ? m_stream : 0);
    m_codec = avcodec_alloc_context3(codec);
    if (!m_codec)
        return fail("out of memory", 0);
    if ((rc = avcodec_parameters_to_context(m_codec, m_format->streams[m_stream]->codecpar)) < 0 ||
        (rc = avcodec_open2(m_codec, codec, nullptr)) < 0)
        return fail("cannot decode " + path, rc);
    m_inRate = m_codec->sample_rate;
    m_inChannels = m_codec->ch_layout.nb_channels;
    if (m_inRate <= 0 || m_inChannels <= 0)
        return fail("no sample rate or channel count in " + path, 0);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_frame || !m_packet)
        return fail("out of memory", 0);
    return true;
}

bool FileDecoder::setoutput(int rate, int channels) {
    if (rate <= 0 || channels <= 0)
        return fail("bad output format", 0);
    m_rate = rate;
    m_channels = channels;
    AVChannelLayout out;
    av_channel_layout_default(&out, channels);
    AVChannelLayout in;
    if (m_codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, m_inChannels);
    else
        av_channel_layout_copy(&in, &m_codec->ch_layout);
    int rc = swr_alloc_set_opts2(&m_swr, &out, AV_SAMPLE_FMT_FLT, rate, &in, m_codec->sample_fmt, m_inRate, 0,
                                 nullptr);
    if (rc >= 0)
        rc = swr_init(m_swr);
    av_channel_layout_uninit(&out);
    av_channel_layout_uninit(&in);
    if (rc < 0)
        return fail("cannot convert to the output format", rc);
    const AVStream* s = m_format->streams[m_stream];
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        m_frames = av_rescale_q(s->duration, s->time_base, AVRational{1, rate});
    else if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0)
        m_frames = av_rescale(m_format->duration, rate, AV_TIME_BASE);
    return true;
}

void FileDecoder::convert(AVFrame* frame, std::vector<float>& out) {
    const int inSamples = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(m_swr, inSamples);
    if (room <= 0)
        return;
    out.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(m_channels));
    auto* dst = reinterpret_cast<std::uint8_t*>(out.data());
    const int done =
        swr_convert(m_swr, &dst, room,
                    frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, inSamples);
    out.resize(static_cast<std::size_t>(std::max(0, done)) * static_cast<std::size_t>(m_channels));
    if (done <= 0 || m_seekTarget < 0)
        return;
    // After a seek the decoder starts at a key frame before the target: drop what lies before it.
    long long at = m_seekTarget;
    if (frame && frame->pts != AV_NOPTS_VALUE)
        at = av_rescale_q(frame->pts, m_format->streams[m_stream]->time_base, AVRational{1, m_rate});
    if (at + done <= m_seekTarget) {
        out.clear();
        return;
    }
    const long long skip = std::max(0LL, m_seekTarget - at);
    out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(skip * m_channels));
    m_seekTarget = -1;
}

bool FileDecoder::next(std::vector<float>& out) {
    out.clear();
    while (!m_end) {
        const int got = avcodec_receive_frame(m_codec, m_frame);
        if (got == 0) {
            convert(m_frame, out);
            av_frame_unref(m_frame);
            return true;
        }
        if (got != AVERROR(EAGAIN)) {
            // The decoder is drained (or broken): what the converter still holds comes last.
            m_end = true;
            if (!m_flushed) {
                m_flushed = true;
                convert(nullptr, out);
            }
            return !out.empty();
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
    return false;
}

void FileDecoder::seek(long long frame) {
    const AVStream* s = m_format->streams[m_stream];
    const long long ts = av_rescale_q(std::max(0LL, frame), AVRational{1, m_rate}, s->time_base);
    av_seek_frame(m_format, m_stream, ts, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(m_codec);
    swr_init(m_swr);
    m_end = false;
    m_flushed = false;
    m_seekTarget = std::max(0LL, frame);
}

} // namespace quimbrel
