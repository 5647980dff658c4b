// The Ogg Vorbis writer: encoder set-up, per-block analysis and paging, end of stream on destruction.
#include "encoder/TOGGwriter.h"

#include "encoder/CodecTable.h"
#include "encoder/libVorbis.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>

namespace quimbrel {

namespace vl = vorbislib;

namespace {

int randomserial() {
    // The clock alone would give two writers created in the same tick the same serial; mix in the system's
    // entropy so that two recordings in a row are independent.
    std::random_device device;
    std::seed_seq seed{
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()), device(),
        device()};
    std::mt19937 generator(seed);
    return std::uniform_int_distribution<int>(0, 2147483646)(generator);
}

} // namespace

TOGGwriter::TOGGwriter(const std::string& path, const WaveFormat& format, int bitrate)
    : TAudioWriter(path), m_channels(format.channels), m_rate(static_cast<int>(format.samplesPerSec)) {
    oggname = std::filesystem::path(path).replace_extension(".ogg").string();
    output.create(oggname);
    FileName = oggname;

    vl::vorbis_info_init(&info);
    int result = kLibraryMissing;
    if (vorbislibcount(kOggLibrary) > 0)
        result = vl::vorbis_encode_init_vbr(&info, format.channels, static_cast<long>(format.samplesPerSec),
                                            oggquality(bitrate));
    if (result != 0) {
        vl::vorbis_info_clear(&info);
        output.close();
        std::filesystem::remove(oggname);
        throw WriterError("Vorbis_encode_init_vbr failed: " + std::to_string(result));
    }
    vl::vorbis_comment_init(&comment);
    vl::vorbis_comment_add_tag(&comment, "ENCODER", "Strovane");
    vl::vorbis_analysis_init(&dspstate, &info);
    vl::vorbis_block_init(&dspstate, &block);
    m_serial = randomserial();
    vl::ogg_stream_init(&streamstate, m_serial);
    vl::vorbis_analysis_headerout(&dspstate, &comment, &header, &headercomment, &headercode);
    vl::ogg_stream_packetin(&streamstate, &header);
    vl::ogg_stream_packetin(&streamstate, &headercomment);
    vl::ogg_stream_packetin(&streamstate, &headercode);
    // The headers end their own page, so the audio starts on a fresh one.
    while (vl::ogg_stream_flush(&streamstate, &page) > 0)
        writepage(page);
    ready = true;
    if (failed()) {
        const std::string reason = outcome().reason;
        finishfile();
        std::error_code ignored;
        std::filesystem::remove(oggname, ignored); // without its headers the stream is no Ogg Vorbis file
        throw WriterError("Cannot write file \"" + oggname + "\": " + reason);
    }
}

TOGGwriter::~TOGGwriter() {
    closeunfinished();
}

void TOGGwriter::finishfile() {
    if (ready) {
        // After a failed write the stream ends at the last whole page; nothing more is tried.
        if (!failed()) {
            vl::vorbis_analysis_wrote(&dspstate, 0);
            drain();
            while (!failed() && vl::ogg_stream_flush(&streamstate, &page) > 0)
                writepage(page);
        }
        clear();
    }
    output.close();
}

void TOGGwriter::clear() {
    vl::vorbis_block_clear(&block);
    vl::vorbis_dsp_clear(&dspstate);
    vl::vorbis_comment_clear(&comment);
    vl::vorbis_info_clear(&info);
    vl::ogg_stream_clear(&streamstate);
    ready = false;
}

std::int32_t TOGGwriter::writepage(const ogg_page& p) {
    if (failed())
        return 0;
    const auto headerbytes = static_cast<std::size_t>(p.header_len);
    const auto bodybytes = static_cast<std::size_t>(p.body_len);
    std::size_t written = output.write(p.header, headerbytes);
    if (written == headerbytes)
        written += output.write(p.body, bodybytes);
    if (written != headerbytes + bodybytes)
        fail(output.lastError(), {});
    return static_cast<std::int32_t>(written);
}

std::int32_t TOGGwriter::drain() {
    std::int32_t written = 0;
    while (!failed() && vl::vorbis_analysis_blockout(&dspstate, &block) == 1) {
        vl::vorbis_analysis(&block, nullptr);
        vl::vorbis_bitrate_addblock(&block);
        while (vl::vorbis_bitrate_flushpacket(&dspstate, &packet) == 1) {
            vl::ogg_stream_packetin(&streamstate, &packet);
            while (!failed() && vl::ogg_stream_pageout(&streamstate, &page) > 0)
                written += writepage(page);
        }
    }
    return written;
}

std::int32_t TOGGwriter::WriteBlock(const void* data, std::int32_t bytes) {
    if (failed())
        return -1;
    if (!ready || bytes <= 0 || m_channels <= 0)
        return 0;
    const int frames = bytes / (m_channels * 4);
    // Telling the encoder that no samples were written would end the stream.
    if (frames == 0)
        return 0;
    float** buffers = vl::vorbis_analysis_buffer(&dspstate, frames);
    if (!buffers)
        return 0;
    const auto* in = static_cast<const std::uint8_t*>(data);
    for (int j = 0; j < frames; ++j) {
        for (int k = 0; k < m_channels; ++k) {
            float v;
            std::memcpy(&v,
                        in + (static_cast<std::size_t>(j) * static_cast<std::size_t>(m_channels) +
                              static_cast<std::size_t>(k)) *
                                 4,
                        4);
            buffers[k][j] = v;
        }
    }
    vl::vorbis_analysis_wrote(&dspstate, frames);
    std::int32_t written = drain();
    m_sinceflush += frames;
    if (m_sinceflush >= m_rate) {
        m_sinceflush = 0;
        while (!failed() && vl::ogg_stream_flush(&streamstate, &page) > 0)
            written += writepage(page);
    }
    if (failed()) {
        finishfile();
        return -1;
    }
    return written;
}

} // namespace quimbrel
