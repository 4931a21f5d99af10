#include "common/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zelvar {

namespace {

// Long enough for a start that holds the lock to reach its listen, short enough that a
// user who clicked twice is not kept waiting.
constexpr int ClaimDeadlineMs = 5000;
constexpr int RetryPauseMs = 100;

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

bool peerIsThisProcess(int descriptor)
{
    struct ucred credentials = {};
    socklen_t length = sizeof credentials;
    return ::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0
           && credentials.pid == ::getpid();
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

bool socketAddress(const QString &path, sockaddr_un &address)
{
    const QByteArray name = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    return true;
}

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(std::max<qint64>(deadline.remainingTime(), 0));
}

// The host locks this process holds, by lock file. A port's thread may take one while the
// main thread serves the socket (takeHostLock), so both go through here; `owner` is the
// SingleInstance that listens for it, none until one adopts it.
struct HeldLock
{
    int fd = -1;
    const SingleInstance *owner = nullptr;
};
std::mutex heldLocksMutex;
std::map<QByteArray, HeldLock> heldLocks;
// The names this process can host, one count per SingleInstance; under heldLocksMutex.
std::map<QString, int> hostNames;

// Opens and locks `path`: the descriptor, or -1 with errno set.
int lockedFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

// The lock that says a service works in `folder`: one per folder, so that what it holds
// never matters.
QString serviceLockName(const QString &name, const QString &folder)
{
    const QByteArray where = QFile::encodeName(QDir(folder).canonicalPath());
    return name + QStringLiteral(".service-")
           + QString::fromLatin1(QCryptographicHash::hash(where, QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

struct SingleInstance::Client
{
    quint64 id = 0;
    // A request handed to the handler and not answered yet: the next lines wait for it.
    bool answering = false;
    bool reading = false;
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer *deadline = nullptr;
    QByteArray buffer;
};

SingleInstance::SingleInstance(host::Role role, const QString &name, QObject *parent)
    : QObject(parent), m_role(role), m_name(name)
{
    std::lock_guard guard(heldLocksMutex);
    ++hostNames[m_name];
}

SingleInstance::~SingleInstance()
{
    while (!m_clients.empty())
        drop(m_clients.back().get());
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    // The lock files stay: removing one could let two starts lock two different files.
    releaseLock();
    {
        std::lock_guard guard(heldLocksMutex);
        if (--hostNames[m_name] == 0)
            hostNames.erase(m_name);
    }
    if (m_serviceFd >= 0)
        ::close(m_serviceFd);
}

QString SingleInstance::defaultName()
{
    return folderName(QDir::currentPath());
}

QString SingleInstance::folderName(const QString &folder)
{
    const QString forced = qEnvironmentVariable("ZELVAR_INSTANCE_NAME");
    if (!forced.isEmpty())
        return forced;
    const QFileInfo info(folder);
    const QString path = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    return QStringLiteral("zelvar-")
           + QString::fromLatin1(QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha1).toHex().left(16));
}

QString SingleInstance::windowName()
{
    const QString forced = qEnvironmentVariable("ZELVAR_INSTANCE_NAME");
    return forced.isEmpty() ? QStringLiteral("zelvar") : forced + QStringLiteral("-fenetre");
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
        HostConnection probe;
        if (probe.connectTo(own, 200) == ECONNREFUSED)
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

QString SingleInstance::socketPath(const QString &name)
{
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : folder + u'/' + name;
}

void SingleInstance::setPeerUidReader(PeerUidReader reader)
{
    peerUidReader() = reader ? std::move(reader) : PeerUidReader(socketPeerUid);
}

bool SingleInstance::peerIsThisUser(int descriptor)
{
    const std::optional<uid_t> uid = peerUidReader()(descriptor);
    return uid && *uid == ::getuid();
}

SingleInstance::Claim SingleInstance::claim()
{
    const QString folder = privateFolder();
    if (folder.isEmpty()) {
        qWarning("zelvar: no private runtime folder can be trusted; starting without the single-instance guard");
        return Claim::Held;
    }
    const QString path = folder + u'/' + m_name;
    const QDeadlineTimer deadline(ClaimDeadlineMs);
    do {
        // Connect first: listening on a live host's name would silently take it over.
        HostConnection host;
        const int wait = std::max(remainingMs(deadline), RetryPauseMs);
        if (host.connectTo(path, wait) == 0) {
            const std::optional<QByteArray> reply = host.request(host::helloRequest(), wait);
            if (const std::optional<host::Hello> hello = reply ? host::parseHello(*reply) : std::nullopt) {
                if (m_role == host::Role::Service || hello->role == host::Role::Service)
                    return Claim::Guest;
                const std::optional<QByteArray> restored = host.request(host::restoreRequest(), wait);
                if (restored && host::parseReply(*restored).ok)
                    return Claim::Restored;
            }
        }
        switch (tryLock(path + QStringLiteral(".lock"))) {
        case Lock::Taken:
            listen(path);
            return Claim::Held;
        case Lock::Broken:
            qWarning("zelvar: cannot use the lock in %s; starting without the single-instance guard",
                     qPrintable(folder));
            return Claim::Held;
        case Lock::Busy:
            // Another start holds the lock but does not answer yet: it is still starting.
            QThread::msleep(RetryPauseMs);
            break;
        }
    } while (!deadline.hasExpired());
    qWarning("zelvar: the running instance does not answer; starting without the single-instance guard");
    return Claim::Held;
}

bool SingleInstance::holdIfFree()
{
    if (guarded())
        return true;
    const QString path = socketPath(m_name);
    if (path.isEmpty() || tryLock(path + QStringLiteral(".lock")) != Lock::Taken)
        return false;
    // A host that started without the guard may still listen under the name.
    HostConnection host;
    if (host.connectTo(path, RetryPauseMs, true) == 0 && host.request(host::helloRequest(), RetryPauseMs)) {
        releaseLock();
        return false;
    }
    if (m_onHold)
        m_onHold();
    listen(path);
    return true;
}

bool SingleInstance::takeHostLock(const QString &name)
{
    const QString path = socketPath(name);
    if (path.isEmpty())
        return false;
    const QByteArray key = QFile::encodeName(path + QStringLiteral(".lock"));
    std::lock_guard guard(heldLocksMutex);
    if (heldLocks.count(key))
        return true;
    if (!hostNames.count(name))
        return false;
    const int fd = lockedFile(key);
    if (fd < 0)
        return false;
    heldLocks[key] = HeldLock{fd, nullptr};
    return true;
}

bool SingleInstance::mayHost(const QString &name)
{
    std::lock_guard guard(heldLocksMutex);
    return hostNames.count(name) > 0;
}

bool SingleInstance::askToRestore(const QString &name, int timeoutMs)
{
    const QString path = socketPath(name);
    HostConnection host;
    if (path.isEmpty() || host.connectTo(path, timeoutMs) != 0)
        return false;
    const std::optional<QByteArray> reply = host.request(host::restoreRequest(), timeoutMs);
    return reply && host::parseReply(*reply).ok;
}

std::optional<host::Hello> SingleInstance::hello(const QString &name, int timeoutMs)
{
    const QString path = socketPath(name);
    HostConnection host;
    if (path.isEmpty() || host.connectTo(path, timeoutMs) != 0)
        return std::nullopt;
    const std::optional<QByteArray> reply = host.request(host::helloRequest(), timeoutMs);
    return reply ? host::parseHello(*reply) : std::nullopt;
}

bool SingleInstance::serviceRunsIn(const QString &folder, const QString &name)
{
    const QString path = socketPath(serviceLockName(name, folder));
    if (path.isEmpty())
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The service holds it locked for its whole life; what the file holds does not count.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

int SingleInstance::holdServiceFolder(const QString &folder)
{
    if (m_serviceFd >= 0)
        return 0;
    const QString path = socketPath(serviceLockName(m_name, folder));
    if (path.isEmpty())
        return EACCES;
    const int fd = lockedFile(QFile::encodeName(path));
    if (fd < 0)
        return errno;
    // For whoever looks; nothing reads it back.
    const QByteArray where = QFile::encodeName(QDir(folder).canonicalPath()) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::write(fd, where.constData(), size_t(where.size())) < 0) {
        // A full folder changes nothing: the lock is what counts.
    }
    m_serviceFd = fd;
    return 0;
}

SingleInstance::Lock SingleInstance::tryLock(const QString &path)
{
    const QByteArray key = QFile::encodeName(path);
    std::lock_guard guard(heldLocksMutex);
    if (const auto found = heldLocks.find(key); found != heldLocks.end()) {
        // Taken by a port of this process whose host had ended (takeHostLock), this one's now.
        if (found->second.owner && found->second.owner != this)
            return Lock::Busy;
        found->second.owner = this;
        m_lockFd = found->second.fd;
        return Lock::Taken;
    }
    const int fd = lockedFile(key);
    if (fd < 0)
        return errno == EWOULDBLOCK ? Lock::Busy : Lock::Broken;
    // For whoever looks: the holder's process id. Nothing reads it back.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::write(fd, pid.constData(), size_t(pid.size())) < 0) {
        // The lock holds whatever the file says.
    }
    heldLocks[key] = HeldLock{fd, this};
    m_lockFd = fd;
    return Lock::Taken;
}

void SingleInstance::releaseLock()
{
    if (m_lockFd < 0)
        return;
    std::lock_guard guard(heldLocksMutex);
    for (auto held = heldLocks.begin(); held != heldLocks.end(); ++held) {
        if (held->second.fd == m_lockFd) {
            heldLocks.erase(held);
            break;
        }
    }
    ::close(m_lockFd);
    m_lockFd = -1;
}

void SingleInstance::listen(const QString &path)
{
    sockaddr_un address;
    if (!socketAddress(path, address)) {
        qWarning("zelvar: the socket path %s is too long", qPrintable(path));
        return;
    }
    // We hold the lock, so any socket file left under this name is a dead one's.
    ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // Only the user may connect, whatever the folder's mode.
    const mode_t previous = ::umask(0077);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::umask(previous);
    if (!bound || ::listen(fd, 16) != 0) {
        qWarning("zelvar: cannot listen on %s: %s", qPrintable(path), std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_listenFd = fd;
    m_listener = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listener, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
}

void SingleInstance::onNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (!peerIsThisUser(fd)) {
            ::close(fd);
            continue;
        }
        if (m_clients.size() >= size_t(MaxClients)) {
            const QByteArray busy = host::errorReply(EBUSY, QStringLiteral("trop de connexions"));
            [[maybe_unused]] const ssize_t n = ::send(fd, busy.constData(), size_t(busy.size()), MSG_NOSIGNAL);
            ::close(fd);
            continue;
        }
        auto client = std::make_unique<Client>();
        Client *c = client.get();
        c->id = ++m_lastClientId;
        c->fd = fd;
        c->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(c->notifier, &QSocketNotifier::activated, this, [this, c] { onReadable(c); });
        // A client that says nothing is not kept for long.
        c->deadline = new QTimer(this);
        c->deadline->setSingleShot(true);
        connect(c->deadline, &QTimer::timeout, this, [this, c] { drop(c); });
        c->deadline->start(ClientDeadlineMs);
        m_clients.push_back(std::move(client));
    }
}

void SingleInstance::drop(Client *client)
{
    const auto found = std::find_if(m_clients.begin(), m_clients.end(),
                                    [client](const std::unique_ptr<Client> &c) { return c.get() == client; });
    if (found == m_clients.end())
        return;
    client->notifier->setEnabled(false);
    client->notifier->deleteLater();
    client->deadline->stop();
    client->deadline->deleteLater();
    ::close(client->fd);
    m_clients.erase(found);
}

void SingleInstance::onReadable(Client *client)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(client->fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            drop(client);
            return;
        }
        client->buffer.append(chunk, int(n));
        if (client->buffer.size() > host::MaxLineLength)
            break;
    }
    // One request at a time: a client that piles up more while waiting is not served.
    if (client->answering && client->buffer.size() > host::MaxLineLength) {
        drop(client);
        return;
    }
    serveLines(client);
}

void SingleInstance::serveLines(Client *client)
{
    // An answer given at once, from inside the loop, lets the loop go on by itself.
    client->reading = true;
    while (!client->answering) {
        const qsizetype end = client->buffer.indexOf('\n');
        if (end < 0 || end >= host::MaxLineLength) {
            if (client->buffer.size() >= host::MaxLineLength || end >= host::MaxLineLength) {
                const QByteArray refusal = host::errorReply(
                    E2BIG, QStringLiteral("ligne trop longue (plus de %1 octets)").arg(host::MaxLineLength));
                [[maybe_unused]] const ssize_t n =
                    ::send(client->fd, refusal.constData(), size_t(refusal.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
                drop(client);
                return;
            }
            break;
        }
        const QByteArray line = client->buffer.left(end);
        client->buffer.remove(0, end + 1);
        client->deadline->stop();
        client->answering = true;
        const quint64 id = client->id;
        answer(line, [self = QPointer<SingleInstance>(this), id](const QByteArray &reply, bool keep) {
            if (self)
                self->reply(id, reply, keep);
        });
        // The reply may have dropped the client.
        if (!findClient(id))
            return;
    }
    client->reading = false;
}

SingleInstance::Client *SingleInstance::findClient(quint64 id) const
{
    for (const std::unique_ptr<Client> &c : m_clients)
        if (c->id == id)
            return c.get();
    return nullptr;
}

void SingleInstance::reply(quint64 id, const QByteArray &reply, bool keep)
{
    Client *client = findClient(id);
    if (!client)
        return; // gone while its request was under way
    // Replies are short: a client that does not read them is not waited for.
    const ssize_t sent = ::send(client->fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (!keep || sent != reply.size()) {
        drop(client);
        return;
    }
    client->answering = false;
    // The idle deadline counts again from each answer; a request under way is not idle.
    client->deadline->start(IdleDeadlineMs);
    if (!client->reading)
        serveLines(client);
}

void SingleInstance::answer(const QByteArray &line, const std::function<void(const QByteArray &, bool)> &done)
{
    const host::Request request = host::parseRequest(line);
    const bool keep = request.kind == host::Request::Kind::Hello || request.kind == host::Request::Kind::Write;
    switch (request.kind) {
    case host::Request::Kind::Refused:
        return done(host::errorReply(request.error, request.reason), keep);
    case host::Request::Kind::Restore:
        if (m_role == host::Role::Service)
            return done(host::errorReply(EOPNOTSUPP, QStringLiteral("le service n'a pas de fenêtre")), keep);
        emit restoreRequested();
        return done(host::okReply(), keep);
    case host::Request::Kind::Hello:
    case host::Request::Kind::Write:
        if (m_handler)
            return m_handler(request, [done, keep](const QByteArray &reply) { done(reply, keep); });
        return done(request.kind == host::Request::Kind::Hello
                        ? host::helloReply(m_role, QString(), false)
                        : host::errorReply(ENODEV, host::roleName(m_role) + QStringLiteral(" ne tient aucun port")),
                    keep);
    }
    done({}, keep);
}

HostConnection::~HostConnection()
{
    close();
}

void HostConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer.clear();
}

int HostConnection::connectTo(const QString &socketPath, int timeoutMs, bool otherProcess)
{
    close();
    sockaddr_un address;
    if (!socketAddress(socketPath, address))
        return ENAMETOOLONG;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    const QDeadlineTimer deadline(timeoutMs);
    // A full backlog refuses a non-blocking connect for now: the host is busy, not gone.
    while (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EAGAIN || deadline.hasExpired()) {
            ::close(fd);
            return error;
        }
        QThread::msleep(5);
    }
    const int refusal = !SingleInstance::peerIsThisUser(fd) ? EPERM : otherProcess && peerIsThisProcess(fd) ? ELOOP : 0;
    if (refusal) {
        ::close(fd);
        return refusal;
    }
    m_fd = fd;
    return 0;
}

std::optional<QByteArray> HostConnection::request(const QByteArray &line, int timeoutMs, bool *delivered)
{
    if (delivered)
        *delivered = false;
    if (m_fd < 0)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype offset = 0;
    while (offset < line.size()) {
        const ssize_t n = ::send(m_fd, line.constData() + offset, size_t(line.size() - offset), MSG_NOSIGNAL);
        if (n > 0) {
            offset += n;
            continue;
        }
        pollfd p{m_fd, POLLOUT, 0};
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || deadline.hasExpired()
            || ::poll(&p, 1, remainingMs(deadline)) < 0) {
            close();
            return std::nullopt;
        }
    }
    if (delivered)
        *delivered = true;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0) {
            const QByteArray reply = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            return reply;
        }
        if (m_buffer.size() > host::MaxLineLength || deadline.hasExpired()) {
            close();
            return std::nullopt;
        }
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(deadline)) < 0 && errno != EINTR) {
            close();
            return std::nullopt;
        }
        char chunk[1024];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            close();
            return std::nullopt;
        }
        if (n > 0)
            m_buffer.append(chunk, int(n));
    }
}

} // namespace zelvar
