// Message boxes for the core; a worker thread's call blocks until the user has answered on the UI thread.
#include "QtMessagePort.h"

#include "ports/Dispatcher.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

namespace quimbrel {

QtMessagePort::QtMessagePort(QObject* parent) : QObject(parent) {}

MessageResult QtMessagePort::show(const std::string& text, const std::string& caption, MessageIcon icon,
                                  MessageButtons buttons) {
    if (QThread::currentThread() == thread())
        return showHere(text, caption, icon, buttons);
    MessageResult result = MessageResult::None;
    if (m_dispatcher) {
        m_dispatcher->invoke([&] { result = showHere(text, caption, icon, buttons); });
        return result;
    }
    QMetaObject::invokeMethod(
        this, [&] { result = showHere(text, caption, icon, buttons); }, Qt::BlockingQueuedConnection);
    return result;
}

MessageResult QtMessagePort::showHere(const std::string& text, const std::string& caption, MessageIcon icon,
                                      MessageButtons buttons) {
    QMessageBox::Icon kind = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::Error:
        kind = QMessageBox::Critical;
        break;
    case MessageIcon::Warning:
        kind = QMessageBox::Warning;
        break;
    case MessageIcon::Information:
        kind = QMessageBox::Information;
        break;
    case MessageIcon::Question:
        kind = QMessageBox::Question;
        break;
    case MessageIcon::None:
        break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    switch (buttons) {
    case MessageButtons::Ok:
        set = QMessageBox::Ok;
        break;
    case MessageButtons::OkCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MessageButtons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        break;
    case MessageButtons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    }
    QMessageBox box(kind, QString::fromStdString(caption), QString::fromStdString(text), set, m_window);
    box.setObjectName(QStringLiteral("quimbrelMessage"));
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MessageResult::Ok;
    case QMessageBox::Cancel:
        return MessageResult::Cancel;
    case QMessageBox::Yes:
        return MessageResult::Yes;
    case QMessageBox::No:
        return MessageResult::No;
    default:
        // Closing the box by its frame: the answer a cancel would give.
        return buttons == MessageButtons::YesNo ? MessageResult::No
               : buttons == MessageButtons::Ok  ? MessageResult::Ok
                                                : MessageResult::Cancel;
    }
}

} // namespace quimbrel
