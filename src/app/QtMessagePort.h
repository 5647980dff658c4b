// The message port shown as Qt message boxes; callable from any thread, the box always opens on the UI
// thread.
#pragma once

#include "ports/MessagePort.h"

#include <QObject>

class QWidget;

namespace quimbrel {

class Dispatcher;

class QtMessagePort final : public QObject, public MessagePort {
    Q_OBJECT
public:
    explicit QtMessagePort(QObject* parent = nullptr);
    // The window the boxes are centred on; may be null.
    void setParentWindow(QWidget* window) { m_window = window; }
    // The hand-off a worker thread's box goes through. The UI thread keeps serving it while it waits for a
    // worker to end, where a queued Qt call would never be delivered.
    void setDispatcher(Dispatcher* dispatcher) { m_dispatcher = dispatcher; }
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    MessageResult showHere(const std::string& text, const std::string& caption, MessageIcon icon,
                           MessageButtons buttons);
    QWidget* m_window = nullptr;
    Dispatcher* m_dispatcher = nullptr;
};

} // namespace quimbrel
