// The Ogg Vorbis writer: float blocks encoded by libvorbis in quality mode into an Ogg stream, through the
// run-time loader of libogg and libvorbis.
#pragma once

#include "encoder/OutputFile.h"
#include "encoder/TAudioWriter.h"
#include "ports/WaveFormat.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <cstdint>
#include <string>

namespace quimbrel {

class TOGGwriter final : public TAudioWriter {
public:
    // bitrate is `codec.bitrate`, read as a quality. The file is the path with its extension replaced by
    // ".ogg", and FileName becomes that path. Throws WriterError("Vorbis_encode_init_vbr failed: <code>")
    // when the libraries are not loaded (-4001) or the encoder refuses the format; the file is then removed.
    TOGGwriter(const std::string& path, const WaveFormat& format, int bitrate);
    ~TOGGwriter() override;

    // Encodes the block's whole frames; returns the bytes written to the file by this call. Pages are forced
    // out at least once a second of audio: libogg alone holds a page back until it is 4 KiB full, which at
    // the low rates of quiet or simple sound is many seconds a kill would lose. A failed or short write ends
    // the file at the last whole page and returns -1.
    std::int32_t WriteBlock(const void* data, std::int32_t bytes) override;
    std::int32_t SampleFormat() const override { return kSampleFloat; }

    // The serial number of the stream this writer writes.
    int serialnumber() const { return m_serial; }

private:
    std::int32_t drain();
    std::int32_t writepage(const ogg_page& page);
    void clear();
    void finishfile() override;

    ogg_stream_state streamstate{};
    ogg_page page{};
    ogg_packet packet{};
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dspstate{};
    vorbis_block block{};
    ogg_packet header{};
    ogg_packet headercomment{};
    ogg_packet headercode{};
    OutputFile output;
    std::string oggname;
    bool ready = false;
    int m_channels = 0;
    int m_rate = 0;
    int m_serial = 0;
    int m_sinceflush = 0; // frames encoded since pages were last forced out
};

} // namespace quimbrel
