// The stream copy of a finished fragmented MP4 into a regular one, with FFmpeg's demuxer and muxer.
#include "encoder/Mp4Finish.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace quimbrel {

namespace {

struct Input {
    AVFormatContext* context = nullptr;
    ~Input() { avformat_close_input(&context); }
};

struct Output {
    AVFormatContext* context = nullptr;
    ~Output() {
        if (context != nullptr) {
            if (context->pb != nullptr)
                avio_closep(&context->pb);
            avformat_free_context(context);
        }
    }
};

struct Packet {
    AVPacket* packet = av_packet_alloc();
    ~Packet() { av_packet_free(&packet); }
};

bool syncToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes the regular file at target; false on any failure (the caller removes what was written).
bool copyInto(const std::string& source, const std::string& target) {
    Input in;
    if (avformat_open_input(&in.context, source.c_str(), nullptr, nullptr) < 0)
        return false;
    if (avformat_find_stream_info(in.context, nullptr) < 0)
        return false;
    const int audio = av_find_best_stream(in.context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio < 0)
        return false;
    Output out;
    // The muxer the M4A writer uses, with its moov at the end: no fragments.
    if (avformat_alloc_output_context2(&out.context, nullptr, "ipod", target.c_str()) < 0 || !out.context)
        return false;
    AVStream* inStream = in.context->streams[audio];
    AVStream* outStream = avformat_new_stream(out.context, nullptr);
    if (outStream == nullptr || avcodec_parameters_copy(outStream->codecpar, inStream->codecpar) < 0)
        return false;
    outStream->codecpar->codec_tag = 0;
    outStream->time_base = inStream->time_base;
    if (avio_open(&out.context->pb, target.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    if (avformat_write_header(out.context, nullptr) < 0)
        return false;
    Packet p;
    if (p.packet == nullptr)
        return false;
    int rc = 0;
    while ((rc = av_read_frame(in.context, p.packet)) >= 0) {
        if (p.packet->stream_index == audio) {
            p.packet->stream_index = 0;
            av_packet_rescale_ts(p.packet, inStream->time_base, outStream->time_base);
            p.packet->pos = -1;
            if (av_interleaved_write_frame(out.context, p.packet) < 0)
                return false;
        }
        av_packet_unref(p.packet);
    }
    // A read error other than the end means the copy would be short.
    if (rc != AVERROR_EOF)
        return false;
    if (av_write_trailer(out.context) < 0)
        return false;
    if (avio_closep(&out.context->pb) < 0)
        return false;
    return syncToDisk(target);
}

} // namespace

Mp4FinishOutcome remuxToRegularMp4(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path original(path);
    // A name of our own in the same folder, created exclusively so that nothing of someone else's is
    // replaced.
    std::string pattern = (original.parent_path() /
                           ("." + original.stem().string() + ".XXXXXX" + original.extension().string()))
                              .string();
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(original.extension().string().size()));
    if (fd < 0)
        return Mp4FinishOutcome::Kept;
    ::close(fd);
    const std::string temporary = pattern;
    bool done = copyInto(path, temporary);
    if (done) {
        // Keep the recording's permissions rather than mkstemp's owner-only ones.
        std::error_code ec;
        const fs::perms perms = fs::status(original, ec).permissions();
        if (!ec)
            fs::permissions(temporary, perms, ec);
        done = !ec && std::rename(temporary.c_str(), path.c_str()) == 0;
    }
    if (!done) {
        std::remove(temporary.c_str());
        return Mp4FinishOutcome::Kept;
    }
    return Mp4FinishOutcome::Remuxed;
}

} // namespace quimbrel
