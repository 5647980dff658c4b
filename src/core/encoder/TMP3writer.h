// The MP3 writer: 16-bit PCM encoded by libmp3lame at a constant bit rate, appended frame by frame to the
// file.
#pragma once

#include "encoder/OutputFile.h"
#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"

#include <cstdint>
#include <string>
#include <vector>

struct lame_global_struct;

namespace quimbrel {

class TMP3writer final : public TAudioWriter {
public:
    // mode is `codec.mode`, bitrate `codec.bitrate`, currentrate `current.rate` (chooses the bit-rate list).
    TMP3writer(const std::string& path, const WaveFormat& format, int mode, int bitrate, int currentrate);
    ~TMP3writer() override;

    // Returns the encoded bytes appended (the encoder may hold samples back, so 0 is normal), or -1 after an
    // encoder or write failure (outcome() says which), after which the
    // writer is finished and every later call returns -1.
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override;
    std::int32_t SampleFormat() const override { return kSampleS16; }

private:
    void release();
    void finishfile() override;

    OutputFile stream;
    lame_global_struct* encoder = nullptr;
    int result = 0;
    std::vector<unsigned char> mp3buffer;
    std::vector<short> m_aligned;
    int m_channels = 0;
};

} // namespace quimbrel
