// The message port shown as Qt message boxes; callable from any thread, the box always opens on the UI
// thread.
#pragma once

#include "ports/MessagePort.h"

#include <QObject>

class QWidget;

namespace quimbrel {

class QtMessagePort final : public QObject, public MessagePort {
    Q_OBJECT
public:
    explicit QtMessagePort(QObject* parent = nullptr);
    // The window the boxes are centred on; may be null.
    void setParentWindow(QWidget* window) { m_window = window; }
    MessageResult show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    MessageResult showHere(const std::string& text, const std::string& caption, MessageIcon icon,
                           MessageButtons buttons);
    QWidget* m_window = nullptr;
};

} // namespace quimbrel
