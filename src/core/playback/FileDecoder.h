// One audio file decoded with FFmpeg to interleaved 32-bit float at a rate and channel count of the caller's
// choice (the output device's). Used by one thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct SwrContext;
struct AVFrame;
struct AVPacket;

namespace quimbrel {

class FileDecoder {
public:
    FileDecoder() = default;
    ~FileDecoder();
    FileDecoder(const FileDecoder&) = delete;
    FileDecoder& operator=(const FileDecoder&) = delete;

    // Opens the file's best audio stream. False, with a reason in error(), when it cannot be decoded.
    bool open(const std::string& path);
    // The file's own format.
    int filerate() const { return m_inRate; }
    int filechannels() const { return m_inChannels; }
    // Sets the output format; false when the converter cannot be made. Call once after open.
    bool setoutput(int rate, int channels);
    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    // The length in output frames as the container states it (0 when it does not say).
    long long frames() const { return m_frames; }
    const std::string& error() const { return m_error; }

    // Replaces `out` with the next decoded piece (whole frames, maybe empty); false at the end of the file or
    // on a decoding error that ends it.
    bool next(std::vector<float>& out);
    // Moves to an output frame; the next piece starts there.
    void seek(long long frame);

private:
    bool fail(const std::string& what, int code);
    void convert(AVFrame* frame, std::vector<float>& out);

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    SwrContext* m_swr = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_stream = -1;
    int m_inRate = 0;
    int m_inChannels = 0;
    int m_rate = 0;
    int m_channels = 0;
    long long m_frames = 0;
    long long m_seekTarget = -1;
    bool m_flushed = false;
    bool m_end = false;
    std::string m_error;
};

} // namespace quimbrel
