// The WMA writer: its container, encoder and average byte rate.
#include "encoder/TWMAwriter.h"

#include "encoder/CodecTable.h"

namespace quimbrel {

TWMAwriter::TWMAwriter(const std::string& path, const WaveFormat& format, int bitrate)
    : TMediaWriter(path, format, Target{"asf", "wmav2", wmabytespersecond(bitrate), false}) {}

} // namespace quimbrel
