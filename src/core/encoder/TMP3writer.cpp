// The MP3 writer on libmp3lame: constant bit rate, no VBR/info frame, no tag.
#include "encoder/TMP3writer.h"

#include "encoder/CodecTable.h"
#include <cerrno>

#include <cstring>
#include <lame/lame.h>

namespace quimbrel {

namespace {

MPEG_mode lamemode(int channelmode) {
    switch (channelmode) {
    case 1:
        return JOINT_STEREO;
    case 2:
        return DUAL_CHANNEL;
    case 3:
        return MONO;
    default:
        return STEREO;
    }
}

// The output rate that keeps the MPEG version the capture rate calls for: MPEG-1 from 32000 Hz, MPEG-2 below.
// Left to itself LAME would resample low bit rates down (32000 Hz at 32 kbit/s becomes MPEG-2) and would
// encode 8000 to 12000 Hz as MPEG-2.5, whose bit rates end at 64 kbit/s; those rates go out doubled.
int outputrate(int rate) {
    switch (rate) {
    case 48000:
    case 44100:
    case 32000:
    case 24000:
    case 22050:
    case 16000:
        return rate;
    case 12000:
    case 11025:
    case 8000:
        return 2 * rate;
    default:
        return 0; // the encoder decides
    }
}

} // namespace

TMP3writer::TMP3writer(const std::string& path, const WaveFormat& format, int mode, int bitrate,
                       int currentrate)
    : TAudioWriter(path), m_channels(format.channels) {
    const int rate = static_cast<int>(format.samplesPerSec);
    const int kbps = mp3bitrate(currentrate, bitrate);

    encoder = lame_init();
    bool ok = encoder != nullptr && m_channels >= 1 && m_channels <= 2;
    if (ok) {
        lame_set_in_samplerate(encoder, rate);
        lame_set_num_channels(encoder, m_channels);
        lame_set_out_samplerate(encoder, outputrate(rate));
        // A mono recording is encoded mono whatever mode is stored.
        lame_set_mode(encoder, m_channels == 1 ? MONO : lamemode(mp3channelmode(mode)));
        lame_set_VBR(encoder, vbr_off);
        lame_set_brate(encoder, kbps);
        lame_set_quality(encoder, 5);
        lame_set_copyright(encoder, 0);
        lame_set_original(encoder, 1);
        lame_set_extension(encoder, 0);
        lame_set_error_protection(encoder, 0);
        lame_set_emphasis(encoder, 0);
        lame_set_strict_ISO(encoder, 0);
        lame_set_disable_reservoir(encoder, 0);
        lame_set_bWriteVbrTag(encoder, 0);
        lame_set_write_id3tag_automatic(encoder, 0);
        ok = lame_init_params(encoder) >= 0;
    }
    if (!ok) {
        if (encoder)
            lame_close(encoder);
        encoder = nullptr;
        throw WriterError(
            "MP3 encoding parameters incompatible with this samplerate: " + std::to_string(rate) + "Hz");
    }
    mp3buffer.resize(16u * static_cast<std::size_t>(rate));
    try {
        stream.create(FileName);
    } catch (...) {
        release();
        throw;
    }
}

TMP3writer::~TMP3writer() {
    closeunfinished();
}

void TMP3writer::finishfile() {
    if (encoder && stream.isOpen()) {
        const int flushbytes =
            lame_encode_flush(encoder, mp3buffer.data(), static_cast<int>(mp3buffer.size()));
        if (flushbytes > 0 && stream.write(mp3buffer.data(), static_cast<std::size_t>(flushbytes)) !=
                                  static_cast<std::size_t>(flushbytes))
            fail(stream.lastError(), {});
    }
    release();
}

void TMP3writer::release() {
    stream.close();
    std::vector<unsigned char>().swap(mp3buffer);
    if (encoder) {
        lame_close(encoder);
        encoder = nullptr;
    }
}

std::int32_t TMP3writer::WriteBlock(const void* data, std::int32_t bytes) {
    if (failed() || !encoder)
        return -1;
    if (bytes <= 0)
        return 0;
    const int frames = bytes / 2 / m_channels;
    // LAME's worst case for one call; the buffer only grows for blocks far longer than the capture's.
    const std::size_t need = static_cast<std::size_t>(frames) * 5 / 4 + 7200;
    if (mp3buffer.size() < need)
        mp3buffer.resize(need);

    const short* pcm = static_cast<const short*>(data);
    if (reinterpret_cast<std::uintptr_t>(data) % alignof(short) != 0) {
        m_aligned.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(m_channels));
        std::memcpy(m_aligned.data(), data, m_aligned.size() * sizeof(short));
        pcm = m_aligned.data();
    }
    const int size = static_cast<int>(mp3buffer.size());
    int chunkbytes = 0;
    if (m_channels == 1)
        chunkbytes = lame_encode_buffer(encoder, pcm, nullptr, frames, mp3buffer.data(), size);
    else
        chunkbytes =
            lame_encode_buffer_interleaved(encoder, const_cast<short*>(pcm), frames, mp3buffer.data(), size);
    result = chunkbytes < 0 ? chunkbytes : 0;
    if (result != 0) {
        fail(0, "MP3 encoder error " + std::to_string(result));
        release();
        return -1;
    }
    const std::size_t writtenbytes = stream.write(mp3buffer.data(), static_cast<std::size_t>(chunkbytes));
    if (writtenbytes != static_cast<std::size_t>(chunkbytes)) {
        // A short write: the frames before it stay whole in the file; the recorder shows the one message.
        const int error = stream.lastError();
        fail(error, {});
        release();
        return -1;
    }
    return chunkbytes;
}

} // namespace quimbrel
