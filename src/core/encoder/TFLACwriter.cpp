// The FLAC writer on the run-time binding of libFLAC's stream encoder.
#include "encoder/TFLACwriter.h"

#include "encoder/CodecTable.h"
#include "encoder/libFLAC.h"

#include <cerrno>
#include <cstdio>

namespace quimbrel {

namespace {
const char* const kInitError = "Can not initialize FLAC encoder";
}

TFLACwriter::TFLACwriter(const std::string& path, const WaveFormat& format, int bps)
    : TAudioWriter(path), m_flac(flaclib()), m_channels(format.channels),
      m_samplecode(samplecodefromposition(bps)) {
    if (!m_flac)
        throw WriterError(kInitError);
    flacencoder = m_flac->encoder_new();
    if (!flacencoder)
        throw WriterError(kInitError);
    m_flac->set_verify(flacencoder, false);
    m_flac->set_streamable_subset(flacencoder, true);
    m_flac->set_compression_level(flacencoder, 4);
    m_flac->set_channels(flacencoder, format.channels);
    bitspersample = bitsfromposition(bps);
    framesize = (bitspersample / 8) * m_channels;
    m_flac->set_bits_per_sample(flacencoder, static_cast<unsigned>(bitspersample));
    m_flac->set_sample_rate(flacencoder, format.samplesPerSec);

    // The file is opened here, unbuffered, so that every frame libFLAC finishes is in the file at once and a
    // recording cut off by a kill keeps all but the frame in progress. libFLAC closes it when finished.
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    FLAC__StreamEncoderInitStatus status = FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR;
    if (file) {
        std::setvbuf(file, nullptr, _IONBF, 0);
        status = m_flac->init_FILE(flacencoder, file, nullptr, nullptr);
    }
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        m_flac->encoder_delete(flacencoder);
        flacencoder = nullptr;
        if (file)
            std::remove(path.c_str());
        throw WriterError(kInitError);
    }
    m_sync = FileSyncer::shared().watch(::fileno(file), path);
}

TFLACwriter::~TFLACwriter() {
    closeunfinished();
}

void TFLACwriter::finishfile() {
    if (!flacencoder)
        return;
    // finish() writes the last frames and rewrites the stream information with the final length. When that
    // fails (or a block failed before) the frames already written stay, and the stream information keeps the
    // unknown length it was first written with, which decoders accept.
    errno = 0;
    if (!m_flac->finish(flacencoder))
        fail(errno != 0 ? errno : EIO, {});
    m_flac->encoder_delete(flacencoder);
    flacencoder = nullptr;
    m_sync.release();
}

std::int32_t TFLACwriter::WriteBlock(const void* data, std::int32_t bytes) {
    if (failed())
        return -1;
    if (!flacencoder || bytes <= 0 || framesize <= 0)
        return 0;
    if (const int lost = m_sync.error()) {
        // Frames written before never reached the disk.
        fail(lost, {});
        finishfile();
        return -1;
    }
    const int frames = bytes / framesize;
    if (frames == 0)
        return 0;
    const std::size_t n = static_cast<std::size_t>(frames) * static_cast<std::size_t>(m_channels);
    m_wide.resize(n);
    const auto* p = static_cast<const std::uint8_t*>(data);
    switch (bitspersample) {
    case 8:
        for (std::size_t i = 0; i < n; ++i)
            m_wide[i] = static_cast<std::int32_t>(p[i]) - 128;
        break;
    case 24:
        for (std::size_t i = 0; i < n; ++i, p += 3)
            m_wide[i] =
                static_cast<std::int32_t>(p[0] | (p[1] << 8) | (static_cast<std::int8_t>(p[2]) * 65536));
        break;
    default:
        for (std::size_t i = 0; i < n; ++i, p += 2)
            m_wide[i] = static_cast<std::int16_t>(p[0] | (p[1] << 8));
        break;
    }
    // libFLAC writes through an unbuffered stream, so a failed write leaves its error number in errno.
    errno = 0;
    if (!m_flac->process_interleaved(flacencoder, m_wide.data(), static_cast<unsigned>(frames))) {
        fail(errno != 0 ? errno : EIO, {});
        finishfile();
        return -1;
    }
    return 0;
}

} // namespace quimbrel
