// The capture hand-off through the Qt event loop: a worker's invoke() wakes the UI thread with a queued call.
#pragma once

#include "ports/Dispatcher.h"

#include <QObject>

namespace quimbrel {

class QtDispatcher final : public QObject, public Dispatcher {
    Q_OBJECT
public:
    // Construct on the UI thread.
    explicit QtDispatcher(QObject* parent = nullptr) : QObject(parent) {}

protected:
    void wake() override {
        QMetaObject::invokeMethod(
            this, [this] { runPending(); }, Qt::QueuedConnection);
    }
};

} // namespace quimbrel
