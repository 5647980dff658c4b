// Decodes an audio file through FFmpeg into 16-bit interleaved samples at the file's own sample rate and
// channel count (or down-mixed and resampled, for the fingerprint), a block at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quimbrel::tagger {

// What AudioDecoder delivers: the file's own rate and channels, or mono at another rate (the channels
// averaged, then resampled), which is what the fingerprint is computed from.
struct DecoderOutput {
    int rate = 0; // 0: the file's own rate and channels
};

class AudioDecoder {
public:
    AudioDecoder();
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    // Opens the file's best audio stream; false when the file is missing, unreadable or has no audio that
    // FFmpeg decodes. Opening again first closes.
    bool open(const std::string& path, DecoderOutput output = DecoderOutput());
    void close();
    bool isOpen() const;

    // The rate and channel count of the samples read() delivers.
    int sampleRate() const;
    int channels() const;
    // The decoded length in seconds. Taken from the container when it states the stream's length, else
    // counted by decoding the whole file once.
    double lengthSeconds();

    // Fills buffer with up to `bytes` bytes of whole samples; gives the number of bytes written, which is
    // less than asked for only at the end of the stream, and 0 at the end or when nothing is open.
    long read(std::int16_t* buffer, long bytes);

private:
    struct State;
    bool fillPending();
    std::unique_ptr<State> m_state;
    std::string m_path;
    DecoderOutput m_output;
};

} // namespace quimbrel::tagger
