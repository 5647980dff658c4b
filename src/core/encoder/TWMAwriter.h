// The WMA writer: 16-bit PCM encoded as Windows Media Audio (wmav2) in an ASF file.
#pragma once

#include "encoder/TMediaWriter.h"

namespace quimbrel {

class TWMAwriter final : public TMediaWriter {
public:
    // bitrate is `codec.bitrate`, the position in the WMA bit-rate list.
    TWMAwriter(const std::string& path, const WaveFormat& format, int bitrate);
};

} // namespace quimbrel
