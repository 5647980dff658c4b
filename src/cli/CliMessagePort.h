// Message boxes of the command-line front end: each message becomes one line on standard error. Any thread.
#pragma once

#include "ports/MessagePort.h"

#include <mutex>
#include <ostream>

namespace quimbrel {

class CliMessagePort final : public MessagePort {
public:
    explicit CliMessagePort(std::ostream& err) : m_err(err) {}
    // Prints "quimbrel-cli: caption: text" with the text's line breaks turned into blanks. Nobody is there to
    // answer: questions get No (nothing is overwritten, nothing is deleted), other boxes Ok.
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
    // Error boxes shown so far.
    int errors() const;

private:
    mutable std::mutex m_mutex;
    std::ostream& m_err;
    int m_errors = 0;
};

// The text on one line: CR and LF runs become one blank.
std::string oneline(const std::string& text);

} // namespace quimbrel
