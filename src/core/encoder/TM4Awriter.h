// The M4A writer: 16-bit PCM encoded as AAC in a fragmented MP4 (.m4a) file, made regular when finished.
#pragma once

#include "encoder/TMediaWriter.h"

namespace quimbrel {

class TM4Awriter final : public TMediaWriter {
public:
    // bitrate is `codec.bitrate`, the position in the M4A bit-rate list.
    TM4Awriter(const std::string& path, const WaveFormat& format, int bitrate);

protected:
    // The fragments kept the file safe while recording; a complete file becomes a regular MP4.
    void finishfile() override;
};

} // namespace quimbrel
