// The writer factory: creates the writer of a codec row for one file and the running capture format.
#pragma once

#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quimbrel {

struct config;

// The settings the writers read, taken from `config` (codec.* and current.rate).
struct WriterSettings {
    int index = 0;           // codec.index
    int mode = 0;            // codec.mode
    int bitrate = 5;         // codec.bitrate
    int bps = 0;             // codec.bps
    int currentrate = 44100; // current.rate
};

WriterSettings writersettings(const config& cfg);

// Creates the writer of row settings.index (row 0 when outside the table) for path. The sample rate and
// channel count are the capture format's. Throws WriterError with the message the recorder shows.
std::unique_ptr<TAudioWriter> createwriter(const WriterSettings& settings, const std::string& path,
                                           const WaveFormat& format);
std::unique_ptr<TAudioWriter> createwriter(const config& cfg, const std::string& path,
                                           const WaveFormat& format);

// The sample code the writer of these settings accepts (class-level: settings only, no writer needed).
std::int32_t writersampleformat(const WriterSettings& settings);

} // namespace quimbrel
