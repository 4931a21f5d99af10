#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

namespace zelvar {

namespace {

// Long enough for a start that holds the lock to reach its listen, short enough that a
// user who clicked twice is not kept waiting.
constexpr int ClaimDeadlineMs = 5000;
constexpr int RetryPauseMs = 100;

QString lockPath(const QString &name)
{
    return QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock"));
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(name), m_lock(std::make_unique<QLockFile>(lockPath(name)))
{
    // Held for the program's whole life: only a dead holder makes it stale.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    const QString forced = qEnvironmentVariable("ZELVAR_INSTANCE_NAME");
    if (!forced.isEmpty())
        return forced;
    return QStringLiteral("zelvar-") + QString::number(::getuid());
}

bool SingleInstance::claim()
{
    const QDeadlineTimer deadline(ClaimDeadlineMs);
    do {
        // Connect first: listening on a live instance's name would silently take it over.
        if (askToRestore(m_name, int(qMax<qint64>(deadline.remainingTime(), RetryPauseMs))))
            return false;
        if (m_lock->tryLock(0)) {
            // We hold the lock, so any socket file left under this name is a dead one's.
            QLocalServer::removeServer(m_name);
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
            if (!m_server->listen(m_name))
                qWarning("zelvar: cannot listen on %s: %s", qPrintable(m_name),
                         qPrintable(m_server->errorString()));
            return true;
        }
        // Another start holds the lock but does not answer yet: it is still starting.
        QThread::msleep(RetryPauseMs);
    } while (!deadline.hasExpired());
    qWarning("zelvar: another instance holds %s but does not answer", qPrintable(lockPath(m_name)));
    return false;
}

bool SingleInstance::askToRestore(const QString &name, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(RestoreRequest);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine() == QByteArray(RestoredReply);
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() != QByteArray(RestoreRequest))
                    continue;
                emit restoreRequested();
                socket->write(RestoredReply);
                socket->flush();
            }
        });
    }
}

} // namespace zelvar
