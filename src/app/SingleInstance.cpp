// Single instance through QLockFile and QLocalServer; UI thread.
#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace quimbrel {

namespace {
QString runtimeFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}
} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_serverName(QStringLiteral("%1-%2").arg(name).arg(getuid())) {
    m_lock = std::make_unique<QLockFile>(runtimeFolder() + QLatin1Char('/') + m_serverName +
                                         QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

bool SingleInstance::acquire() {
    // A lock left by a crashed instance is stale (its process is gone) and is taken over.
    if (!m_lock->tryLock(0))
        return false;
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("show")) {
                    socket->write("ok\n");
                    socket->flush();
                    emit activationRequested();
                }
            });
        }
    });
    m_server->listen(m_serverName);
    return true;
}

bool SingleInstance::activateFirst() {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("show\n");
    socket.flush();
    const bool answered = socket.waitForReadyRead(3000) && socket.readAll().startsWith("ok");
    socket.disconnectFromServer();
    return answered;
}

} // namespace quimbrel
