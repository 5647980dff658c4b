// The WAV writer: reserves the header, appends blocks unchanged and writes the header sizes at the end.
#include "encoder/TWAVwriter.h"

#include "encoder/CodecTable.h"

#include <algorithm>
#include <filesystem>

namespace quimbrel {

namespace {

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xff);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xff);
}

void puttag(std::uint8_t* p, const char (&tag)[5]) {
    std::copy(tag, tag + 4, p);
}

std::uint32_t channelmask(std::uint16_t channels) {
    switch (channels) {
    case 1:
        return 0x1;
    case 2:
        return 0x3;
    case 6:
        return 0x3F;
    case 8:
        return 0xFF;
    default:
        return 0;
    }
}

// KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00AA00389B71, in its little-endian byte order.
constexpr std::uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

std::int32_t TWAVwriter::SampleFormatFor(int bps) {
    return samplecodefromposition(bps);
}

TWAVwriter::TWAVwriter(const std::string& path, const WaveFormat& format, int bps, std::uint64_t maxdatabytes)
    : TAudioWriter(path), m_samplecode(SampleFormatFor(bps)),
      m_maxdatabytes(std::min(maxdatabytes, kMaxDataBytes)) {
    channels = format.channels;
    samplerate = format.samplesPerSec;
    formattag = 1;
    bitspersample = static_cast<std::uint16_t>(bitsfromposition(bps));
    extrasize = 0;
    blockalign = static_cast<std::uint16_t>((bitspersample / 8) * channels);
    bytespersecond = samplerate * blockalign;

    FileName = std::filesystem::path(path).replace_extension(".wav").string();
    databytes = 0;
    headerkind = (channels > 2 || bitspersample > 16) ? 6 : 1;
    stream.create(FileName);
    // A header with the sizes so far (none yet) keeps even an unfinished file readable.
    if (!writeheader() || !stream.seek(headerkind == 6 ? 80 : 44)) {
        const int error = stream.lastError();
        stream.close();
        std::error_code ignored;
        std::filesystem::remove(FileName, ignored); // no header, no file
        throw WriterError("Cannot write file \"" + FileName + "\": " + errortext(error));
    }
}

TWAVwriter::~TWAVwriter() {
    closeunfinished();
}

void TWAVwriter::finishfile() {
    if (!stream.isOpen())
        return;
    // The header's bytes were reserved at creation, so this rewrite needs no new space even on a full disk.
    if (!writeheader())
        fail(stream.lastError(), {});
    stream.close();
}

std::size_t TWAVwriter::buildheader(std::array<std::uint8_t, 80>& h) const {
    h.fill(0);
    std::uint8_t* p = h.data();
    if (headerkind == 1) {
        puttag(p, "RIFF");
        put32(p + 4, databytes + 36);
        puttag(p + 8, "WAVE");
        puttag(p + 12, "fmt ");
        put32(p + 16, 16);
        put16(p + 20, formattag);
        put16(p + 22, channels);
        put32(p + 24, samplerate);
        put32(p + 28, bytespersecond);
        put16(p + 32, static_cast<std::uint16_t>((bitspersample / 8) * channels));
        put16(p + 34, bitspersample);
        puttag(p + 36, "data");
        put32(p + 40, databytes);
        return 44;
    }
    const auto align = static_cast<std::uint16_t>((bitspersample * channels) / 8);
    puttag(p, "RIFF");
    put32(p + 4, databytes + 72);
    puttag(p + 8, "WAVE");
    puttag(p + 12, "fmt ");
    put32(p + 16, 40);
    put16(p + 20, 0xFFFE);
    put16(p + 22, channels);
    put32(p + 24, samplerate);
    put32(p + 28, samplerate * align);
    put16(p + 32, align);
    put16(p + 34, bitspersample);
    put16(p + 36, 22);
    put16(p + 38, bitspersample);
    put32(p + 40, channelmask(channels));
    std::copy(std::begin(kPcmGuid), std::end(kPcmGuid), p + 44);
    puttag(p + 60, "fact");
    put32(p + 64, 4);
    put32(p + 68, align ? databytes / align : 0);
    puttag(p + 72, "data");
    put32(p + 76, databytes);
    return 80;
}

bool TWAVwriter::writeheader() {
    std::array<std::uint8_t, 80> header;
    const std::size_t size = buildheader(header);
    return stream.writeAt(0, header.data(), size);
}

std::int32_t TWAVwriter::WriteBlock(const void* data, std::int32_t bytes) {
    if (failed())
        return -1;
    if (bytes <= 0 || !stream.isOpen())
        return 0;
    auto count = static_cast<std::uint32_t>(bytes);
    const std::uint64_t room = m_maxdatabytes - databytes;
    if (count > room) {
        // The file is full: keep whole frames only, so the last frame is never torn.
        count = static_cast<std::uint32_t>(room);
        if (blockalign)
            count -= count % blockalign;
        m_full = true;
        if (count == 0)
            return 0;
    }
    const std::size_t written = stream.write(data, count);
    if (written != count) {
        // A full disk or an I/O error: the header counts the whole frames that reached the file, so the file
        // plays up to the last good write; a torn last frame lies beyond the data size.
        databytes += static_cast<std::uint32_t>(blockalign ? written - written % blockalign : written);
        fail(stream.lastError(), {});
        finishfile();
        return -1;
    }
    databytes += count;
    m_sincerefresh += count;
    if (m_sincerefresh >= bytespersecond) {
        m_sincerefresh = 0;
        writeheader();
    }
    return static_cast<std::int32_t>(count);
}

} // namespace quimbrel
