// The codec table: one row per output format (list entry, extension, save-dialog filter) with the value lists
// the settings dialog offers, and the rules that turn stored list positions into values. Stored positions are
// read only through these functions, so a hand-edited position outside its list falls back to the default.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace quimbrel {

// Rows of the table, by `codec.index`.
inline constexpr int kCodecMP3 = 0;
inline constexpr int kCodecOGG = 1;
inline constexpr int kCodecWMA = 2;
inline constexpr int kCodecWAV = 3;
inline constexpr int kCodecFLAC = 4;
inline constexpr int kCodecM4A = 5;
inline constexpr int kCodecCount = 6;

struct CodecInfo {
    std::string_view entry;     // the format list's entry, e.g. "MPEG Layer3"
    std::string_view extension; // without the dot, e.g. "mp3"
    std::string_view filter;    // save-dialog filter: description, '|', pattern
    std::span<const int> rates; // sample rates (Hz) in list order
    std::span<const std::string_view> modes;
    // Bit rates in kbit/s in list order; empty for MP3 (see mp3bitrates) and for WAV and FLAC.
    std::span<const int> bitrates;
    std::span<const std::string_view> bits; // "24-bit", "16-bit", "8-bit" for WAV and FLAC, else empty
    int defaultbitrate;                     // the position used when the stored one is outside the list
};

// The row of `codec.index`; an index outside the table gives row 0 (MP3), the default.
const CodecInfo& codecinfo(int index);
// Whether `codec.index` names a row of the table.
bool validcodec(int index);

// A stored position inside a list of `size` entries, or `fallback` when it lies outside.
int listposition(int position, std::size_t size, int fallback);

// The MP3 bit-rate list for a capture rate (`current.rate`): 14, 14 or 12 entries; empty for an unlisted
// rate.
std::span<const int> mp3bitrates(int currentrate);
// The MP3 constant bit rate in kbit/s for `current.rate` and `codec.bitrate`: 128 for an unlisted rate.
int mp3bitrate(int currentrate, int position);
// The LAME channel mode for `codec.mode`: 0 stereo, 1 joint stereo, 2 dual channel, 3 mono; else 0.
int mp3channelmode(int position);

// Vorbis quality for `codec.bitrate`: (10 - position) / 10, so 0 gives 1.0 and 10 gives 0.0.
float oggquality(int position);

// Average bytes per second asked of the WMA encoder for `codec.bitrate` (40001 ... 6003).
int wmabytespersecond(int position);
// Average bytes per second asked of the AAC encoder for `codec.bitrate`: (kbit/s div 8) x 1000.
int m4abytespersecond(int position);

// Bits per sample of the WAV and FLAC writers for `codec.bps`: 0 -> 24, 1 -> 16, 2 -> 8, any other -> 16.
int bitsfromposition(int bps);
// The sample code for `codec.bps`: 0 -> 4, 1 -> 2, 2 -> 1, any other -> 2.
std::int32_t samplecodefromposition(int bps);

} // namespace quimbrel
