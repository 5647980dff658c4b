// The message port: how the core shows a message box (text, caption, icon, buttons) without knowing the
// toolkit.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace quimbrel {

enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageResult { None, Ok, Cancel, Yes, No };

// Implemented by the window program with modal message boxes. May be called from any thread: a worker
// thread's call blocks until the user has dismissed the box, as the capture thread's error reports do.
class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

// Writes each message as one line "caption: text" to a stream and answers with a fixed result (default: the
// first button). For command-line tools and tests.
class StreamMessagePort final : public MessagePort {
public:
    explicit StreamMessagePort(std::ostream& out);
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
    // The answer to give to questions (YesNo and YesNoCancel boxes); Ok/OkCancel boxes answer Ok.
    void setAnswer(MessageResult answer);

private:
    std::mutex m_mutex;
    std::ostream& m_out;
    MessageResult m_answer = MessageResult::Yes;
};

// Records every message; answers questions from a script. For tests.
class RecordingMessagePort final : public MessagePort {
public:
    struct Entry {
        std::string text;
        std::string caption;
        MessageIcon icon;
        MessageButtons buttons;
    };
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
    // Answers given to the next boxes, in order; when empty, Ok boxes answer Ok and questions answer Yes.
    void queueAnswer(MessageResult answer);
    std::vector<Entry> entries() const;
    std::size_t count() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::vector<MessageResult> m_answers;
};

} // namespace quimbrel
