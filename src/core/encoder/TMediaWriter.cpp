// The FFmpeg encoding and muxing behind the WMA and M4A writers.
#include "encoder/TMediaWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quimbrel {

namespace {

std::string averror(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

TMediaWriter::TMediaWriter(const std::string& path, const WaveFormat& format, const Target& target)
    : TAudioWriter(path), m_channels(format.channels), m_rate(static_cast<int>(format.samplesPerSec)) {
    bool created = false;
    auto fail = [&](const std::string& reason) {
        release();
        // A file without its container header is no recording.
        if (created)
            std::remove(path.c_str());
        throw WriterError("Cannot create file \"" + path + "\": " + reason);
    };
    if (m_channels < 1 || m_rate < 1)
        fail("unsupported format");
    const AVCodec* codec = avcodec_find_encoder_by_name(target.encoder);
    if (!codec)
        fail(std::string("no ") + target.encoder + " encoder");
    int r = avformat_alloc_output_context2(&m_format, nullptr, target.muxer, path.c_str());
    if (r < 0 || !m_format)
        fail(averror(r));

    m_codec = avcodec_alloc_context3(codec);
    if (!m_codec)
        fail("out of memory");
    m_codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_codec->sample_rate = m_rate;
    av_channel_layout_default(&m_codec->ch_layout, m_channels);
    m_codec->bit_rate = static_cast<std::int64_t>(target.bytespersecond) * 8;
    m_codec->time_base = AVRational{1, m_rate};
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    r = avcodec_open2(m_codec, codec, nullptr);
    if (r < 0)
        fail(std::string(target.encoder) + " refuses the format: " + averror(r));

    m_stream = avformat_new_stream(m_format, nullptr);
    if (!m_stream)
        fail("out of memory");
    m_stream->time_base = AVRational{1, m_rate};
    r = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
    if (r < 0)
        fail(averror(r));

    r = avio_open(&m_format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0)
        fail(averror(r));
    created = true;
    m_sync = FileSyncer::shared().watchpath(path);
    AVDictionary* options = nullptr;
    if (target.fragmented) {
        // An empty moov up front and a self-contained fragment about every second: a file never finalised
        // still plays up to its last fragment. frag_keyframe would never cut audio alone.
        av_dict_set(&options, "movflags", "empty_moov+default_base_moof", 0);
        av_dict_set(&options, "frag_duration", "1000000", 0);
    }
    r = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    if (r < 0)
        fail(averror(r));
    m_headerwritten = true;
    avio_flush(m_format->pb);

    m_fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_channels, std::max(m_codec->frame_size, 1024) * 4);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_fifo || !m_frame || !m_packet)
        fail("out of memory");
    m_planes.resize(static_cast<std::size_t>(m_channels));
}

TMediaWriter::~TMediaWriter() {
    closeunfinished();
}

void TMediaWriter::failav(int code) {
    // FFmpeg's codes for system errors are the negated error numbers.
    const int error = code < 0 && code > -4096 ? -code : 0;
    fail(error, averror(code));
}

bool TMediaWriter::checkoutput() {
    if (!failed() && m_format && m_format->pb && m_format->pb->error < 0)
        failav(m_format->pb->error);
    return !failed();
}

void TMediaWriter::finishfile() {
    // After a failure nothing more is written: a fragmented file plays up to its last whole fragment.
    if (m_headerwritten && m_fifo && m_frame && m_packet && !failed()) {
        encodefifo(true);
        avcodec_send_frame(m_codec, nullptr);
        drainencoder();
        if (!failed()) {
            const int r = av_write_trailer(m_format);
            if (r < 0)
                failav(r);
        }
        checkoutput();
    }
    if (m_format && m_format->pb) {
        const int r = avio_closep(&m_format->pb);
        if (r < 0 && m_headerwritten)
            failav(r);
    }
    release();
}

void TMediaWriter::release() {
    m_sync.release();
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    if (m_fifo) {
        av_audio_fifo_free(m_fifo);
        m_fifo = nullptr;
    }
    avcodec_free_context(&m_codec);
    if (m_format) {
        if (m_format->pb)
            avio_closep(&m_format->pb);
        avformat_free_context(m_format);
        m_format = nullptr;
    }
}

std::int32_t TMediaWriter::WriteBlock(const void* data, std::int32_t bytes) {
    if (failed())
        return -1;
    if (!m_headerwritten || !m_format || bytes <= 0)
        return 0;
    const double seconds = static_cast<double>(bytes) / (static_cast<double>(m_rate) * 2.0 * m_channels);
    m_sampletime += static_cast<std::int64_t>(seconds * 10000000.0);

    const auto* in = static_cast<const std::uint8_t*>(data);
    const std::size_t framebytes = static_cast<std::size_t>(m_channels) * 2;
    m_carry.insert(m_carry.end(), in, in + bytes);
    const std::size_t frames = m_carry.size() / framebytes;
    if (frames == 0)
        return 0;
    for (int c = 0; c < m_channels; ++c) {
        auto& plane = m_planes[static_cast<std::size_t>(c)];
        plane.resize(frames);
        const std::uint8_t* p = m_carry.data() + static_cast<std::size_t>(c) * 2;
        for (std::size_t i = 0; i < frames; ++i, p += framebytes)
            plane[i] = static_cast<float>(static_cast<std::int16_t>(p[0] | (p[1] << 8))) / 32768.0f;
    }
    m_carry.erase(m_carry.begin(), m_carry.begin() + static_cast<std::ptrdiff_t>(frames * framebytes));

    std::vector<void*> planes;
    for (auto& plane : m_planes)
        planes.push_back(plane.data());
    av_audio_fifo_write(m_fifo, planes.data(), static_cast<int>(frames));
    encodefifo(false);
    avio_flush(m_format->pb);
    if (const int lost = m_sync.error(); lost != 0 && !failed())
        fail(lost, {}); // what was written before never reached the disk
    if (!checkoutput()) {
        TMediaWriter::finishfile();
        return -1;
    }
    return 0;
}

void TMediaWriter::encodefifo(bool final) {
    const int framesize = m_codec->frame_size > 0 ? m_codec->frame_size : 1024;
    const bool smalllast = m_codec->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
    while (!failed() &&
           (av_audio_fifo_size(m_fifo) >= framesize || (final && av_audio_fifo_size(m_fifo) > 0))) {
        const int available = std::min(av_audio_fifo_size(m_fifo), framesize);
        // A short last frame is padded with silence where the encoder needs whole frames.
        const int samples = (available < framesize && !smalllast) ? framesize : available;
        av_frame_unref(m_frame);
        m_frame->nb_samples = samples;
        m_frame->format = m_codec->sample_fmt;
        m_frame->sample_rate = m_rate;
        av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout);
        if (av_frame_get_buffer(m_frame, 0) < 0)
            return;
        if (samples > available)
            for (int c = 0; c < m_channels; ++c)
                std::memset(m_frame->data[c], 0, static_cast<std::size_t>(samples) * sizeof(float));
        av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(m_frame->data), available);
        m_frame->pts = m_samplesencoded;
        m_samplesencoded += samples;
        if (avcodec_send_frame(m_codec, m_frame) == 0)
            drainencoder();
    }
}

void TMediaWriter::drainencoder() {
    while (avcodec_receive_packet(m_codec, m_packet) == 0) {
        m_packet->stream_index = m_stream->index;
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        const int r = av_interleaved_write_frame(m_format, m_packet);
        av_packet_unref(m_packet);
        if (r < 0) {
            failav(r);
            return;
        }
    }
}

} // namespace quimbrel
