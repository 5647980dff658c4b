// The WAV writer: integer PCM in a RIFF file with the plain 44-byte or the extensible 80-byte header.
#pragma once

#include "encoder/OutputFile.h"
#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"

#include <array>
#include <cstdint>
#include <string>

namespace quimbrel {

class TWAVwriter final : public TAudioWriter {
public:
    // The most sample bytes one file holds: the RIFF sizes are 32 bits wide (see WriteBlock).
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 72;

    // bps is `codec.bps`. The file is the path with its extension replaced by ".wav".
    TWAVwriter(const std::string& path, const WaveFormat& format, int bps,
               std::uint64_t maxdatabytes = kMaxDataBytes);
    ~TWAVwriter() override;

    // Appends the block unchanged. The header's sizes are refreshed about once a second so that a file cut
    // off by a crash stays readable up to its last refresh. Once the data would pass the 32-bit size limit
    // the file is full: the last whole frames that fit are written, full() turns true and later blocks are
    // refused (returns the bytes really appended, so 0 then); the recorder goes on in a next file. A failed
    // or short write finishes the file at the last whole frame written and returns -1.
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override;
    std::int32_t SampleFormat() const override { return m_samplecode; }
    bool full() const override { return m_full; }

    static std::int32_t SampleFormatFor(int bps);

private:
    std::size_t buildheader(std::array<std::uint8_t, 80>& header) const;
    bool writeheader();
    void finishfile() override;

    std::uint8_t headerkind = 1;
    std::uint32_t databytes = 0;
    OutputFile stream;
    std::uint16_t formattag = 1;
    std::uint16_t channels = 0;
    std::uint32_t samplerate = 0;
    std::uint32_t bytespersecond = 0;
    std::uint16_t blockalign = 0;
    std::uint16_t bitspersample = 16;
    std::uint16_t extrasize = 0;

    std::int32_t m_samplecode;
    std::uint64_t m_maxdatabytes;
    std::uint32_t m_sincerefresh = 0;
    bool m_full = false;
};

} // namespace quimbrel
