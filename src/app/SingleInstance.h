// The single-instance rule: a per-user lock and a local socket named after the program. The first instance
// holds the lock and listens; a later start asks it to show its window and then exits. UI thread.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace quimbrel {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // name: the program's name ("quimbrel"); the lock and the socket are per user.
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance (it then holds the lock and listens).
    bool acquire();
    // From a later instance: ask the first one to show its window. True when it answered.
    bool activateFirst();

    QString serverName() const { return m_serverName; }

signals:
    // A later instance asked this one to show its window.
    void activationRequested();

private:
    QString m_serverName;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace quimbrel
