// The writers' output file on plain POSIX calls.
#include "encoder/OutputFile.h"

#include "encoder/TAudioWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quimbrel {

OutputFile::~OutputFile() {
    close();
}

void OutputFile::create(const std::string& path) {
    close();
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        const int error = errno;
        throw WriterError("Cannot create file \"" + path + "\": " + std::strerror(error));
    }
    m_watch = FileSyncer::shared().watch(m_fd, path);
}

std::size_t OutputFile::write(const void* data, std::size_t bytes) {
    if (const int lost = m_watch.error()) {
        m_error = lost;
        return 0;
    }
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::write(m_fd, p + done, bytes - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            break;
        }
        if (n == 0) {
            m_error = EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool OutputFile::writeAt(std::uint64_t offset, const void* data, std::size_t bytes) {
    const auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pwrite(m_fd, p + done, bytes - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool OutputFile::seek(std::uint64_t offset) {
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        m_error = errno;
        return false;
    }
    return true;
}

void OutputFile::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    // The syncer syncs the file once more, on its own thread, for what was written since its last sync.
    m_watch.release();
}

} // namespace quimbrel
