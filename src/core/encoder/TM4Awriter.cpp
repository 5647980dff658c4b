// The M4A writer: its container, encoder and average byte rate.
#include "encoder/TM4Awriter.h"

#include "encoder/CodecTable.h"

namespace quimbrel {

TM4Awriter::TM4Awriter(const std::string& path, const WaveFormat& format, int bitrate)
    : TMediaWriter(path, format, Target{"ipod", "aac", m4abytespersecond(bitrate), true}) {}

} // namespace quimbrel
