// The run-time binding of libFLAC's stream encoder: the recorder does not link libFLAC but loads it once per
// process, so a machine without it records every other format. Main (UI) thread only.
#pragma once

#include <FLAC/stream_encoder.h>

#include <string>

namespace quimbrel {

// The stream encoder functions the FLAC writer calls, bound by name.
struct FlacFunctions {
    decltype(&::FLAC__stream_encoder_new) encoder_new = nullptr;
    decltype(&::FLAC__stream_encoder_set_verify) set_verify = nullptr;
    decltype(&::FLAC__stream_encoder_set_streamable_subset) set_streamable_subset = nullptr;
    decltype(&::FLAC__stream_encoder_set_compression_level) set_compression_level = nullptr;
    decltype(&::FLAC__stream_encoder_set_channels) set_channels = nullptr;
    decltype(&::FLAC__stream_encoder_set_bits_per_sample) set_bits_per_sample = nullptr;
    decltype(&::FLAC__stream_encoder_set_sample_rate) set_sample_rate = nullptr;
    decltype(&::FLAC__stream_encoder_init_FILE) init_FILE = nullptr;
    decltype(&::FLAC__stream_encoder_process_interleaved) process_interleaved = nullptr;
    decltype(&::FLAC__stream_encoder_finish) finish = nullptr;
    decltype(&::FLAC__stream_encoder_delete) encoder_delete = nullptr;
};

// Loads the library (default "libFLAC.so.12") and binds the functions; true when every one was found. A
// second call while loaded does nothing and returns true.
bool loadflaclib(const std::string& filename = {});
void unloadflaclib();
// The bound functions, or null when the library is not loaded. The first call in a process that never tried
// to load the library loads the default one.
const FlacFunctions* flaclib();

} // namespace quimbrel
