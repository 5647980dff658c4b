// Plain message ports for command-line tools and tests.
#include "ports/MessagePort.h"

namespace quimbrel {

namespace {
MessageResult defaultAnswer(MessageButtons buttons, MessageResult question) {
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel:
        return MessageResult::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel:
        return question;
    }
    return MessageResult::Ok;
}
} // namespace

StreamMessagePort::StreamMessagePort(std::ostream& out) : m_out(out) {}

MessageResult StreamMessagePort::show(const std::string& text, const std::string& caption, MessageIcon,
                                      MessageButtons buttons) {
    std::lock_guard lock(m_mutex);
    std::string flat = text;
    for (auto& c : flat) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    if (caption.empty())
        m_out << flat << '\n';
    else
        m_out << caption << ": " << flat << '\n';
    m_out.flush();
    return defaultAnswer(buttons, m_answer);
}

void StreamMessagePort::setAnswer(MessageResult answer) {
    std::lock_guard lock(m_mutex);
    m_answer = answer;
}

MessageResult RecordingMessagePort::show(const std::string& text, const std::string& caption,
                                         MessageIcon icon, MessageButtons buttons) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({text, caption, icon, buttons});
    if (!m_answers.empty()) {
        MessageResult r = m_answers.front();
        m_answers.erase(m_answers.begin());
        return r;
    }
    return defaultAnswer(buttons, MessageResult::Yes);
}

void RecordingMessagePort::queueAnswer(MessageResult answer) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<RecordingMessagePort::Entry> RecordingMessagePort::entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::size_t RecordingMessagePort::count() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void RecordingMessagePort::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
    m_answers.clear();
}

} // namespace quimbrel
