// The writer factory: the codec table's row picks the writer class.
#include "encoder/createwriter.h"

#include "encoder/CodecTable.h"
#include "encoder/TFLACwriter.h"
#include "encoder/TM4Awriter.h"
#include "encoder/TMP3writer.h"
#include "encoder/TOGGwriter.h"
#include "encoder/TWAVwriter.h"
#include "encoder/TWMAwriter.h"
#include "state/config.h"

namespace quimbrel {

WriterSettings writersettings(const config& cfg) {
    WriterSettings s;
    s.index = cfg.codec.index;
    s.mode = cfg.codec.mode;
    s.bitrate = cfg.codec.bitrate;
    s.bps = cfg.codec.bps;
    s.currentrate = cfg.current.rate;
    return s;
}

std::unique_ptr<TAudioWriter> createwriter(const WriterSettings& s, const std::string& path,
                                           const WaveFormat& format) {
    switch (validcodec(s.index) ? s.index : kCodecMP3) {
    case kCodecOGG:
        return std::make_unique<TOGGwriter>(path, format, s.bitrate);
    case kCodecWMA:
        return std::make_unique<TWMAwriter>(path, format, s.bitrate);
    case kCodecWAV:
        return std::make_unique<TWAVwriter>(path, format, s.bps);
    case kCodecFLAC:
        return std::make_unique<TFLACwriter>(path, format, s.bps);
    case kCodecM4A:
        return std::make_unique<TM4Awriter>(path, format, s.bitrate);
    default:
        return std::make_unique<TMP3writer>(path, format, s.mode, s.bitrate, s.currentrate);
    }
}

std::unique_ptr<TAudioWriter> createwriter(const config& cfg, const std::string& path,
                                           const WaveFormat& format) {
    return createwriter(writersettings(cfg), path, format);
}

std::int32_t writersampleformat(const WriterSettings& s) {
    switch (validcodec(s.index) ? s.index : kCodecMP3) {
    case kCodecOGG:
        return kSampleFloat;
    case kCodecWAV:
    case kCodecFLAC:
        return samplecodefromposition(s.bps);
    default:
        return kSampleS16;
    }
}

} // namespace quimbrel
