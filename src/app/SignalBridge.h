// SIGTERM and SIGINT turned into a Qt signal on the UI thread through a self-pipe, so a session that ends by
// a signal closes the window the orderly way (settings saved).
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quimbrel {

class SignalBridge final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one bridge per process.
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quimbrel
