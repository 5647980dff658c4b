// The FLAC writer: 8-, 16- or 24-bit PCM widened to 32-bit integers and encoded by libFLAC, which writes the
// file itself.
#pragma once

#include "encoder/FileSyncer.h"
#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"

#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quimbrel {

struct FlacFunctions;

class TFLACwriter final : public TAudioWriter {
public:
    // bps is `codec.bps`. Throws WriterError("Can not initialize FLAC encoder") when libFLAC is missing or
    // refuses the file or the parameters.
    TFLACwriter(const std::string& path, const WaveFormat& format, int bps);
    ~TFLACwriter() override;

    // Encodes the whole frames of the block; returns 0 (libFLAC writes the file). A tail shorter than one
    // frame is dropped. Returns -1 once the encoder has failed to write (the file then ends at its last
    // whole frame).
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override;
    std::int32_t SampleFormat() const override { return m_samplecode; }

private:
    void finishfile() override;

    int bitspersample = 16;
    int framesize = 0;
    FLAC__StreamEncoder* flacencoder = nullptr;
    const FlacFunctions* m_flac = nullptr;
    int m_channels = 0;
    std::int32_t m_samplecode;
    std::vector<std::int32_t> m_wide;
    FileSyncer::Watch m_sync;
};

} // namespace quimbrel
