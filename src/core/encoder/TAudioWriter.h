// The writer interface: one writer per recording file. Destroying a writer finishes and closes its file, then
// raises OnFinished with the path it wrote. Writers run on the thread that owns the recording (the UI
// thread).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace quimbrel {

// Sample codes: the layout a writer accepts and the block handler converts each float block to.
inline constexpr std::int32_t kSampleU8 = 1;     // 8-bit unsigned, 128 is zero
inline constexpr std::int32_t kSampleS16 = 2;    // 16-bit signed little-endian
inline constexpr std::int32_t kSampleS24 = 4;    // 24-bit signed little-endian, 3 bytes
inline constexpr std::int32_t kSampleFloat = 16; // 32-bit float

// A writer could not be created. what() is the message the recorder shows inside its creation message.
class WriterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TAudioWriter {
public:
    // Receives the path of the finished file. Raised from the destructor, after the file is complete and
    // closed, so the handler may read, truncate or delete it. It must not throw (an escaping error is
    // dropped).
    using FinishedHandler = std::function<void(const std::string& fileName)>;

    TAudioWriter(const TAudioWriter&) = delete;
    TAudioWriter& operator=(const TAudioWriter&) = delete;
    virtual ~TAudioWriter();

    // Appends one block of interleaved samples in SampleFormat(). Returns the bytes the writer appended to
    // the file, 0 for writers whose library writes the file itself (FLAC, WMA, M4A), or -1 once the writer
    // has failed and accepts nothing more.
    virtual std::int32_t WriteBlock(const void* data, std::int32_t bytes) = 0;

    // The sample code this writer accepts (1, 2, 4 or 16); fixed for the writer's life.
    virtual std::int32_t SampleFormat() const = 0;

    FinishedHandler OnFinished;
    // The path the writer was created with; the WAV and Ogg writers replace it by the path they really write.
    std::string FileName;

protected:
    explicit TAudioWriter(std::string path);
};

} // namespace quimbrel
