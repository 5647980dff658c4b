// The writer interface: one writer per recording file. finish() completes and closes the file, raises
// OnFinished with the path it wrote and returns how the file ended. Writers run on the thread that owns the
// recording (the UI thread).
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

// How a file ended: complete, or cut short by the first failure (a full disk, an I/O error, an encoder or
// container error). A file cut short keeps what was written before the failure.
struct WriterOutcome {
    int error = 0;      // the system's error number when there is one (ENOSPC, EIO, EFBIG), else 0
    std::string reason; // the failure in words; empty when the file is complete
    bool ok() const { return reason.empty(); }
};

class TAudioWriter {
public:
    // Receives the path of the finished file. Raised by finish(), after the file is complete and closed, so
    // the handler may read, truncate or delete it.
    using FinishedHandler = std::function<void(const std::string& fileName)>;

    TAudioWriter(const TAudioWriter&) = delete;
    TAudioWriter& operator=(const TAudioWriter&) = delete;
    // A writer destroyed without finish() still completes and closes its file as far as it can, but reports
    // nothing and raises no OnFinished.
    virtual ~TAudioWriter();

    // Appends one block of interleaved samples in SampleFormat(). Returns the bytes the writer appended to
    // the file, 0 for writers whose library writes the file itself (FLAC, WMA, M4A), or -1 once the writer
    // has failed (outcome() says why) and accepts nothing more.
    virtual std::int32_t WriteBlock(const void* data, std::int32_t bytes) = 0;

    // The sample code this writer accepts (1, 2, 4 or 16); fixed for the writer's life.
    virtual std::int32_t SampleFormat() const = 0;

    // The file has reached a size limit of its format: the last WriteBlock took only the whole frames that
    // fit, and the rest of the recording belongs in a next file.
    virtual bool full() const { return false; }

    // Completes and closes the file (trailing encoder output, header fields), then raises OnFinished. Returns
    // the first failure of the file's life, from a block or from finishing; a file that failed while still
    // empty is removed before OnFinished. Only the first call does work.
    WriterOutcome finish();
    // The first failure so far; ok while the file is sound.
    const WriterOutcome& outcome() const { return m_outcome; }
    bool failed() const { return !m_outcome.ok(); }

    FinishedHandler OnFinished;
    // The path the writer was created with; the WAV and Ogg writers replace it by the path they really write.
    std::string FileName;

protected:
    explicit TAudioWriter(std::string path);

    // Completes and closes the file; records failures with fail(). Called once, by finish() or, for a writer
    // never finished, by closeunfinished() from the derived destructor.
    virtual void finishfile() = 0;
    // Records a failure; the first one is kept.
    void fail(int error, const std::string& reason);
    // For derived destructors: closes a file that finish() never closed, silently.
    void closeunfinished() noexcept;

private:
    WriterOutcome m_outcome;
    bool m_finished = false;
    bool m_notified = false;
};

// The system's words for an error number ("No space left on device").
std::string errortext(int error);

} // namespace quimbrel
