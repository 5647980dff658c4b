// The writer base: the finishing protocol shared by every writer.
#include "encoder/TAudioWriter.h"

#include <cstring>
#include <utility>

namespace quimbrel {

TAudioWriter::TAudioWriter(std::string path) : FileName(std::move(path)) {}

TAudioWriter::~TAudioWriter() = default;

WriterOutcome TAudioWriter::finish() {
    if (!m_finished) {
        m_finished = true;
        finishfile();
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
