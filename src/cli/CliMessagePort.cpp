// Message boxes of the command-line front end as lines on standard error.
#include "cli/CliMessagePort.h"

namespace quimbrel {

std::string oneline(const std::string& text) {
    std::string out;
    bool breaking = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            breaking = true;
            continue;
        }
        if (breaking && !out.empty() && out.back() != ' ')
            out += ' ';
        breaking = false;
        out += c;
    }
    return out;
}

MessageResult CliMessagePort::show(const std::string& text, const std::string& caption, MessageIcon icon,
                                   MessageButtons buttons) {
    std::lock_guard lock(m_mutex);
    if (icon == MessageIcon::Error)
        ++m_errors;
    m_err << "quimbrel-cli: ";
    if (!caption.empty())
        m_err << oneline(caption) << ": ";
    m_err << oneline(text) << std::endl;
    switch (buttons) {
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return MessageResult::No;
    case MessageButtons::OkCancel:
    case MessageButtons::Ok:
        break;
    }
    return MessageResult::Ok;
}

int CliMessagePort::errors() const {
    std::lock_guard lock(m_mutex);
    return m_errors;
}

} // namespace quimbrel
