// The writers' output file: an unbuffered file descriptor, so every block that was written survives a kill of
// the process, watched by the file syncer, so it also survives a power cut but for the last seconds. Used on
// the recording thread only.
#pragma once

#include "encoder/FileSyncer.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quimbrel {

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Creates (or truncates) the file for writing. Throws WriterError naming the file and the system's
    // reason.
    void create(const std::string& path);
    bool isOpen() const { return m_fd >= 0; }
    // Appends all bytes. Returns the bytes written; on a failure the system's error number is in lastError().
    // Data an earlier sync could not bring to the disk (EIO) fails the next write the same way.
    std::size_t write(const void* data, std::size_t bytes);
    // Writes bytes at an offset without moving the append position.
    bool writeAt(std::uint64_t offset, const void* data, std::size_t bytes);
    bool seek(std::uint64_t offset);
    void close();
    int lastError() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
    FileSyncer::Watch m_watch;
};

} // namespace quimbrel
