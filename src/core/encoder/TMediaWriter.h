// The common part of the WMA and M4A writers: 16-bit PCM encoded by an FFmpeg audio encoder into a container
// that FFmpeg writes. Fed the same types, times and bit rates as the media sink writer it stands in for.
#pragma once

#include "encoder/FileSyncer.h"
#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVStream;
struct AVAudioFifo;
struct AVFrame;
struct AVPacket;

namespace quimbrel {

class TMediaWriter : public TAudioWriter {
public:
    ~TMediaWriter() override;

    // Encodes the block (a frame cut by the block's end waits for the next block) and flushes the container's
    // output, so a recording cut off by a kill keeps what was encoded. Returns 0 (FFmpeg writes the file), or
    // -1 once a write has failed; the file then ends where the failure left it.
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override;
    std::int32_t SampleFormat() const override { return kSampleS16; }

    // The presentation time of the next block in 100-nanosecond units: the running sum of the truncated
    // block durations.
    std::int64_t sampletime() const { return m_sampletime; }

protected:
    struct Target {
        const char* muxer;   // FFmpeg's container name
        const char* encoder; // FFmpeg's encoder name
        int bytespersecond;  // average bytes per second of the encoded stream
        bool fragmented;     // fragmented MP4 with fragments of about a second
    };
    // The path is used unchanged. Throws WriterError naming the file and the reason when any step fails.
    TMediaWriter(const std::string& path, const WaveFormat& format, const Target& target);

    // Drains the encoder, writes the container's trailer and closes the file. A writer that adds a step after
    // the container is complete overrides this and calls it first; such a step runs only through finish(),
    // never for a writer destroyed unfinished.
    void finishfile() override;

private:
    void failav(int code);
    // False (and the failure recorded) once the container's output has hit an error.
    bool checkoutput();
    void encodefifo(bool final);
    void drainencoder();
    void release();

    std::int64_t m_sampletime = 0;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVAudioFifo* m_fifo = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_channels = 0;
    int m_rate = 0;
    std::int64_t m_samplesencoded = 0;
    std::vector<std::uint8_t> m_carry;        // bytes of an incomplete frame from the previous block
    std::vector<std::vector<float>> m_planes; // the block converted for the encoder
    bool m_headerwritten = false;
    FileSyncer::Watch m_sync; // FFmpeg's I/O layer keeps its descriptor to itself: the path is watched
};

} // namespace quimbrel
