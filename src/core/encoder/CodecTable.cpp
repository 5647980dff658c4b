// The codec table's rows and value lists, and the position-to-value rules every writer reads its settings by.
#include "encoder/CodecTable.h"
#include "encoder/TAudioWriter.h"

#include <array>

namespace quimbrel {

namespace {

using namespace std::string_view_literals;

constexpr std::array kSevenRates{48000, 44100, 32000, 22050, 16000, 11025, 8000};
constexpr std::array kFlacRates{96000, 88200, 48000, 44100, 32000, 22050, 16000, 11025, 8000};
constexpr std::array kM4aRates{48000, 44100};

constexpr std::array kMp3Modes{"Stereo"sv, "Joint stereo"sv, "Dual channel"sv, "Mono"sv};
constexpr std::array kTwoModes{"Stereo"sv, "Mono"sv};
constexpr std::array kBits{"24-bit"sv, "16-bit"sv, "8-bit"sv};

constexpr std::array kOggBitrates{500, 320, 256, 224, 192, 160, 128, 112, 96, 80, 64};
constexpr std::array kWmaBitrates{320, 256, 192, 160, 128, 96, 80, 64, 48};
constexpr std::array kWmaByteRates{40001, 32002, 24002, 20002, 16002, 12003, 10003, 8003, 6003};
constexpr std::array kM4aBitrates{192, 160, 128, 96};

constexpr std::array kMp3High{320, 256, 224, 192, 160, 128, 112, 96, 80, 64, 56, 48, 40, 32};
constexpr std::array kMp3Mid{160, 144, 128, 112, 96, 80, 64, 56, 48, 40, 32, 24, 16, 8};
// The low rates' list is the middle list without its first two entries.
constexpr std::span<const int> kMp3Low{kMp3Mid.data() + 2, kMp3Mid.size() - 2};

constexpr int kDefaultBitrate = 5;
// The M4A list has four entries, so the stored default 5 lies outside it: 128 kbit/s stands in for it.
constexpr int kM4aDefaultBitrate = 2;

const std::array<CodecInfo, kCodecCount> kCodecs{{
    {"MPEG Layer3", "mp3", "MP3 files (*.mp3)|*.mp3", kSevenRates, kMp3Modes, {}, {}, kDefaultBitrate},
    {"Ogg Vorbis",
     "ogg",
     "OGG Vorbis files (*.ogg)|*.ogg",
     kSevenRates,
     kTwoModes,
     kOggBitrates,
     {},
     kDefaultBitrate},
    {"Windows Media Audio",
     "wma",
     "Windows Media files (*.wma)|*.wma",
     kSevenRates,
     kTwoModes,
     kWmaBitrates,
     {},
     kDefaultBitrate},
    {"WAV", "wav", "WAV files (*.wav)|*.wav", kSevenRates, kTwoModes, {}, kBits, kDefaultBitrate},
    {"FLAC", "flac", "FLAC Audio files (*.flac)|*.flac", kFlacRates, kTwoModes, {}, kBits, kDefaultBitrate},
    {"M4A AAC",
     "m4a",
     "M4A Audio files (*.m4a)|*.m4a",
     kM4aRates,
     kTwoModes,
     kM4aBitrates,
     {},
     kM4aDefaultBitrate},
}};

} // namespace

bool validcodec(int index) {
    return index >= 0 && index < kCodecCount;
}

const CodecInfo& codecinfo(int index) {
    return kCodecs[static_cast<std::size_t>(validcodec(index) ? index : kCodecMP3)];
}

int listposition(int position, std::size_t size, int fallback) {
    if (position >= 0 && static_cast<std::size_t>(position) < size)
        return position;
    return fallback;
}

std::span<const int> mp3bitrates(int currentrate) {
    switch (currentrate) {
    case 48000:
    case 44100:
    case 32000:
        return kMp3High;
    case 22050:
    case 16000:
        return kMp3Mid;
    case 11025:
    case 8000:
        return kMp3Low;
    default:
        return {};
    }
}

int mp3bitrate(int currentrate, int position) {
    const auto list = mp3bitrates(currentrate);
    if (list.empty())
        return 128;
    return list[static_cast<std::size_t>(listposition(position, list.size(), kDefaultBitrate))];
}

int mp3channelmode(int position) {
    return listposition(position, kMp3Modes.size(), 0);
}

float oggquality(int position) {
    const int p = listposition(position, kOggBitrates.size(), kDefaultBitrate);
    return static_cast<float>(10 - p) / 10.0f;
}

int wmabytespersecond(int position) {
    return kWmaByteRates[static_cast<std::size_t>(
        listposition(position, kWmaByteRates.size(), kDefaultBitrate))];
}

int m4abytespersecond(int position) {
    const int p = listposition(position, kM4aBitrates.size(), kM4aDefaultBitrate);
    return kM4aBitrates[static_cast<std::size_t>(p)] / 8 * 1000;
}

int bitsfromposition(int bps) {
    switch (bps) {
    case 0:
        return 24;
    case 2:
        return 8;
    default:
        return 16;
    }
}

std::int32_t samplecodefromposition(int bps) {
    switch (bps) {
    case 0:
        return kSampleS24;
    case 2:
        return kSampleU8;
    default:
        return kSampleS16;
    }
}

} // namespace quimbrel
