// The M4A writer: its container, encoder and average byte rate.
#include "encoder/TM4Awriter.h"

#include "encoder/CodecTable.h"
#include "encoder/Mp4Finish.h"

namespace quimbrel {

TM4Awriter::TM4Awriter(const std::string& path, const WaveFormat& format, int bitrate)
    : TMediaWriter(path, format, Target{"ipod", "aac", m4abytespersecond(bitrate), true}) {}

void TM4Awriter::finishfile() {
    TMediaWriter::finishfile();
    // When the copy fails, the fragmented file stays: every player still reads it.
    if (!failed())
        remuxToRegularMp4(FileName);
}

} // namespace quimbrel
