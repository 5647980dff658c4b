// The writer base: the finishing protocol shared by every writer.
#include "encoder/TAudioWriter.h"

#include <cstring>
#include <filesystem>
#include <utility>

namespace quimbrel {

TAudioWriter::TAudioWriter(std::string path) : FileName(std::move(path)) {}

TAudioWriter::~TAudioWriter() = default;

WriterOutcome TAudioWriter::finish() {
    if (!m_finished) {
        m_finished = true;
        finishfile();
        // A file that failed before any of it reached the disk holds no recording: it goes, so that nothing
        // lists or tags it.
        std::error_code ec;
        if (failed() && std::filesystem::is_regular_file(FileName, ec) &&
            std::filesystem::file_size(FileName, ec) == 0 && !ec)
            std::filesystem::remove(FileName, ec);
    }
    if (OnFinished && !m_notified) {
        m_notified = true;
        OnFinished(FileName);
    }
    return m_outcome;
}

void TAudioWriter::fail(int error, const std::string& reason) {
    if (!m_outcome.ok())
        return;
    m_outcome.error = error;
    m_outcome.reason = reason.empty() ? errortext(error) : reason;
    if (m_outcome.reason.empty())
        m_outcome.reason = "write error";
}

void TAudioWriter::closeunfinished() noexcept {
    if (m_finished)
        return;
    m_finished = true;
    try {
        finishfile();
    } catch (...) {
        // Nothing can be reported from here; the file is as complete as it could be made.
    }
}

std::string errortext(int error) {
    if (error == 0)
        return {};
    char buffer[256] = {};
    // GNU strerror_r returns the text, which may or may not be in buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

} // namespace quimbrel
