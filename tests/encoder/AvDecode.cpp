// Reads writer output back through FFmpeg's libraries, independent of the writers' own code.
#include "AvDecode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace quimbrel::test {

namespace {

void append(Decoded& d, const AVFrame* f) {
    const int ch = d.channels;
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    const AVSampleFormat packed = av_get_packed_sample_fmt(fmt);
    for (int i = 0; i < f->nb_samples; ++i) {
        for (int c = 0; c < ch; ++c) {
            const int plane = planar ? c : 0;
            const int index = planar ? i : i * ch + c;
            const std::uint8_t* p = f->extended_data[plane];
            switch (packed) {
            case AV_SAMPLE_FMT_U8: {
                const int v = p[index] - 128;
                d.ints.push_back(v);
                d.samples.push_back(static_cast<float>(v) / 128.0f);
                break;
            }
            case AV_SAMPLE_FMT_S16: {
                const int v = reinterpret_cast<const std::int16_t*>(p)[index];
                d.ints.push_back(d.bits > 0 && d.bits < 16 ? v >> (16 - d.bits) : v);
                d.samples.push_back(static_cast<float>(v) / 32768.0f);
                break;
            }
            case AV_SAMPLE_FMT_S32: {
                const std::int32_t v = reinterpret_cast<const std::int32_t*>(p)[index];
                const int shift = d.bits > 0 && d.bits < 32 ? 32 - d.bits : 0;
                d.ints.push_back(v >> shift);
                d.samples.push_back(static_cast<float>(v / 2147483648.0));
                break;
            }
            case AV_SAMPLE_FMT_FLT:
                d.samples.push_back(reinterpret_cast<const float*>(p)[index]);
                break;
            case AV_SAMPLE_FMT_DBL:
                d.samples.push_back(static_cast<float>(reinterpret_cast<const double*>(p)[index]));
                break;
            default:
                break;
            }
        }
    }
}

} // namespace

Decoded decodefile(const std::string& path) {
    Decoded d;
    AVFormatContext* fc = nullptr;
    if (avformat_open_input(&fc, path.c_str(), nullptr, nullptr) < 0) {
        d.error = "cannot open";
        return d;
    }
    if (avformat_find_stream_info(fc, nullptr) < 0) {
        d.error = "no stream info";
        avformat_close_input(&fc);
        return d;
    }
    const int si = av_find_best_stream(fc, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (si < 0) {
        d.error = "no audio stream";
        avformat_close_input(&fc);
        return d;
    }
    AVStream* st = fc->streams[si];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    AVCodecContext* cc = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!cc || avcodec_parameters_to_context(cc, st->codecpar) < 0 || avcodec_open2(cc, codec, nullptr) < 0) {
        d.error = "no decoder";
        avcodec_free_context(&cc);
        avformat_close_input(&fc);
        return d;
    }
    d.container = fc->iformat->name;
    d.codec = codec->name;
    d.rate = st->codecpar->sample_rate;
    d.channels = st->codecpar->ch_layout.nb_channels;
    d.bits = st->codecpar->bits_per_raw_sample ? st->codecpar->bits_per_raw_sample
                                               : st->codecpar->bits_per_coded_sample;
    d.bitrate = st->codecpar->bit_rate;
    d.timebaseNum = st->time_base.num;
    d.timebaseDen = st->time_base.den;

    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(cc, frame) == 0) {
            append(d, frame);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(fc, pkt) >= 0) {
        if (pkt->stream_index == si) {
            d.pts.push_back(pkt->pts);
            if (avcodec_send_packet(cc, pkt) == 0)
                drain();
        }
        av_packet_unref(pkt);
    }
    avcodec_send_packet(cc, nullptr);
    drain();
    d.ok = true;
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&cc);
    avformat_close_input(&fc);
    return d;
}

std::vector<float> sine(double frequency, int rate, int channels, std::size_t frames, double amplitude,
                        std::size_t startframe) {
    std::vector<float> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * frequency *
                                              static_cast<double>(i + startframe) / rate);
        for (int c = 0; c < channels; ++c)
            out[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = static_cast<float>(v);
    }
    return out;
}

std::vector<std::uint8_t> convert(const std::vector<float>& samples, int code) {
    std::vector<std::uint8_t> out;
    for (float s : samples) {
        const double v = std::clamp(static_cast<double>(s), -1.0, 1.0);
        switch (code) {
        case 1:
            out.push_back(static_cast<std::uint8_t>(std::lround(std::clamp(v * 128.0 + 128.0, 0.0, 255.0))));
            break;
        case 2: {
            const auto x = static_cast<std::int16_t>(std::lround(std::clamp(v * 32768.0, -32768.0, 32767.0)));
            const auto u = static_cast<std::uint16_t>(x);
            out.push_back(static_cast<std::uint8_t>(u & 0xff));
            out.push_back(static_cast<std::uint8_t>(u >> 8));
            break;
        }
        case 4: {
            const auto x =
                static_cast<std::int32_t>(std::lround(std::clamp(v * 8388608.0, -8388608.0, 8388607.0)));
            const auto u = static_cast<std::uint32_t>(x);
            for (int i = 0; i < 3; ++i)
                out.push_back(static_cast<std::uint8_t>((u >> (8 * i)) & 0xff));
            break;
        }
        default: {
            std::uint8_t b[4];
            std::memcpy(b, &s, 4);
            out.insert(out.end(), b, b + 4);
        }
        }
    }
    return out;
}

std::vector<std::int32_t> integers(const std::vector<std::uint8_t>& bytes, int code) {
    std::vector<std::int32_t> out;
    if (code == 1) {
        for (auto b : bytes)
            out.push_back(b - 128);
    } else if (code == 2) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    } else if (code == 4) {
        for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
            const std::uint32_t u =
                bytes[i] | (bytes[i + 1] << 8) | (static_cast<std::uint32_t>(bytes[i + 2]) << 16);
            out.push_back(static_cast<std::int32_t>(u << 8) >> 8);
        }
    }
    return out;
}

double peakfrequency(const Decoded& d, std::size_t startframe) {
    const auto n = static_cast<std::size_t>(d.rate);
    if (d.frames() < startframe + n)
        return 0.0;
    double best = 0.0;
    double bestf = 0.0;
    for (int f = 100; f <= 5000; f += 10) {
        const double w = 2.0 * std::numbers::pi * f / d.rate;
        const double coeff = 2.0 * std::cos(w);
        double s1 = 0.0;
        double s2 = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double s0 =
                d.samples[(startframe + i) * static_cast<std::size_t>(d.channels)] + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        if (power > best) {
            best = power;
            bestf = f;
        }
    }
    return bestf;
}

std::vector<std::uint8_t> readfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string tempdir() {
    char templ[] = "/tmp/encoder_test.XXXXXX";
    const char* dir = mkdtemp(templ);
    return dir ? dir : "/tmp";
}

} // namespace quimbrel::test
