// Test helpers for the writers: reads a file back through libavformat/libavcodec and makes test signals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quimbrel::test {

struct Decoded {
    bool ok = false;
    std::string error;
    std::string container; // the demuxer's name, e.g. "wav", "mp3", "ogg"
    std::string codec;     // e.g. "pcm_s16le", "mp3", "vorbis", "flac", "wmav2", "aac"
    int rate = 0;
    int channels = 0;
    int bits = 0;                   // bits per raw sample for integer codecs
    std::int64_t bitrate = 0;       // the stream's bit rate as the container states it
    std::vector<float> samples;     // interleaved, full scale 1.0
    std::vector<std::int32_t> ints; // interleaved, integer codecs only, at their own width (8-bit as signed)
    std::vector<std::int64_t> pts;  // packet time stamps in the stream's time base
    int timebaseNum = 0;
    int timebaseDen = 1;
    std::size_t frames() const { return channels ? samples.size() / static_cast<std::size_t>(channels) : 0; }
    double seconds() const { return rate ? static_cast<double>(frames()) / rate : 0.0; }
};

// Decodes the whole file; stops quietly at a damaged tail (as after a kill) and keeps what came before it.
Decoded decodefile(const std::string& path);

// An interleaved float sine of the given frequency and amplitude on every channel.
std::vector<float> sine(double frequency, int rate, int channels, std::size_t frames, double amplitude = 0.5,
                        std::size_t startframe = 0);
// Converts float samples to a sample code (1, 2, 4, 16) the way the block handler does.
std::vector<std::uint8_t> convert(const std::vector<float>& samples, int code);
// Integer values of converted samples, for bit-exact comparison: 8-bit as v - 128.
std::vector<std::int32_t> integers(const std::vector<std::uint8_t>& bytes, int code);

// The frequency (Hz, 10 Hz steps between 100 and 5000) with the most energy in channel 0 of one second of
// decoded audio starting at startframe.
double peakfrequency(const Decoded& d, std::size_t startframe);

std::vector<std::uint8_t> readfile(const std::string& path);
std::string tempdir();

} // namespace quimbrel::test
