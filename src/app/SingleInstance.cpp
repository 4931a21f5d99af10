#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar {

namespace {

// Long enough for a start that holds the lock to reach its listen, short enough that a
// user who clicked twice is not kept waiting.
constexpr int ClaimDeadlineMs = 5000;
constexpr int RetryPauseMs = 100;
// A client that says nothing is not kept for long.
constexpr int ClientDeadlineMs = 2000;

std::optional<uid_t> socketPeerUid(qintptr descriptor)
{
    struct ucred credentials = {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return std::nullopt;
    return credentials.uid;
}

SingleInstance::PeerUidReader &peerUidReader()
{
    static SingleInstance::PeerUidReader reader = socketPeerUid;
    return reader;
}

bool peerIsThisUser(qintptr descriptor)
{
    const std::optional<uid_t> uid = peerUidReader()(descriptor);
    return uid && *uid == ::getuid();
}

// A folder only this user can enter: a folder (through links when `followLinks`), owned by
// the user, mode 0700.
bool isPrivateFolder(const QString &path, bool followLinks)
{
    struct stat info = {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 07777) == 0700;
}

enum class Answer { Restored, None, Foreign };

Answer ask(const QString &path, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return Answer::None;
    if (!peerIsThisUser(socket.socketDescriptor()))
        return Answer::Foreign;
    socket.write(SingleInstance::RestoreRequest);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return Answer::None;
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > SingleInstance::MaxRequestLength || deadline.hasExpired()
            || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return Answer::None;
    }
    return socket.readLine(SingleInstance::MaxRequestLength + 1) == QByteArray(SingleInstance::RestoredReply)
               ? Answer::Restored
               : Answer::None;
}

QString socketPath(const QString &folder, const QString &name)
{
    return folder + u'/' + name;
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent), m_name(name) {}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    // The lock file stays: removing it could let two starts lock two different files.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::defaultName()
{
    const QString forced = qEnvironmentVariable("ZELVAR_INSTANCE_NAME");
    return forced.isEmpty() ? QStringLiteral("zelvar") : forced;
}

QString SingleInstance::privateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime, true))
        return runtime;
    const QString own = QDir(QDir::tempPath()).filePath(QStringLiteral("zelvar-%1").arg(::getuid()));
    const QByteArray ownName = QFile::encodeName(own);
    // Earlier versions listened under this very name: a dead one's socket makes way.
    struct stat info = {};
    if (::lstat(ownName.constData(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::getuid()) {
        QLocalSocket probe;
        probe.connectToServer(own);
        if (!probe.waitForConnected(200))
            ::unlink(ownName.constData());
    }
    // An existing one (ours from an earlier start, or someone's trap) is judged as it stands.
    ::mkdir(ownName.constData(), 0700);
    if (isPrivateFolder(own, false))
        return own;
    // Anyone may create that name first: the user's own cache folder cannot be taken.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        return {};
    QDir().mkpath(cache);
    const QString fallback = QDir(cache).filePath(QStringLiteral("zelvar"));
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    return isPrivateFolder(fallback, false) ? fallback : QString();
}

void SingleInstance::setPeerUidReader(PeerUidReader reader)
{
    peerUidReader() = reader ? std::move(reader) : PeerUidReader(socketPeerUid);
}

bool SingleInstance::claim()
{
    const QString folder = privateFolder();
    if (folder.isEmpty()) {
        qWarning("zelvar: no private runtime folder can be trusted; starting without the single-instance guard");
        return true;
    }
    const QString path = socketPath(folder, m_name);
    const QDeadlineTimer deadline(ClaimDeadlineMs);
    do {
        // Connect first: listening on a live instance's name would silently take it over.
        if (ask(path, int(qMax<qint64>(deadline.remainingTime(), RetryPauseMs))) == Answer::Restored)
            return false;
        switch (tryLock(path + QStringLiteral(".lock"))) {
        case Lock::Taken:
            listen(path);
            return true;
        case Lock::Broken:
            qWarning("zelvar: cannot use the lock in %s; starting without the single-instance guard",
                     qPrintable(folder));
            return true;
        case Lock::Busy:
            // Another start holds the lock but does not answer yet: it is still starting.
            QThread::msleep(RetryPauseMs);
            break;
        }
    } while (!deadline.hasExpired());
    qWarning("zelvar: the running instance does not answer; starting without the single-instance guard");
    return true;
}

bool SingleInstance::askToRestore(const QString &name, int timeoutMs)
{
    const QString folder = privateFolder();
    return !folder.isEmpty() && ask(socketPath(folder, name), timeoutMs) == Answer::Restored;
}

SingleInstance::Lock SingleInstance::tryLock(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Lock::Broken;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(fd);
        return reason == EWOULDBLOCK ? Lock::Busy : Lock::Broken;
    }
    // For whoever looks: the holder's process id. Nothing reads it back.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.constData(), size_t(pid.size())) < 0) {
        // The lock holds whatever the file says.
    }
    m_lockFd = fd;
    return Lock::Taken;
}

void SingleInstance::listen(const QString &path)
{
    // We hold the lock, so any socket file left under this name is a dead one's.
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (!m_server->listen(path))
        qWarning("zelvar: cannot listen on %s: %s", qPrintable(path), qPrintable(m_server->errorString()));
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        serve(socket);
    }
}

void SingleInstance::serve(QLocalSocket *socket)
{
    socket->setReadBufferSize(MaxRequestLength + 1);
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    deadline->start(ClientDeadlineMs);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > MaxRequestLength) {
                socket->abort();
                socket->deleteLater();
            }
            return;
        }
        const QByteArray line = socket->readLine(MaxRequestLength + 1);
        // One line per client: whatever follows is not read.
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        if (line == QByteArray(RestoreRequest)) {
            emit restoreRequested();
            socket->write(RestoredReply);
        }
        socket->disconnectFromServer();
    });
}

} // namespace zelvar
