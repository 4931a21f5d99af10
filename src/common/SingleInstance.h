#pragma once

#include "common/HostProtocol.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

class QSocketNotifier;

namespace zelvar {

// One host per working folder of the user: the program or the service (zelvar-cli serve),
// whichever starts first, holds a lock for its whole life and listens on the folder's
// instance socket; the other Zelvar processes of the folder ask it (see HostProtocol.h). The
// program also claims the user's window name first: a program started while another one runs
// asks that one to bring its window back and ends; started while the folder's service is the
// host, it runs in full as a guest.
//
// Socket and lock live in the user's private runtime folder, and each side talks only to a
// process of the same user, so another account can neither stop nor steer a start. The
// lock is the kernel's (flock): it goes with the process that held it, so a lock file left
// behind, whatever it holds, never stops a start. When the guard cannot be trusted (no
// private folder, a holder that never answers) the program starts as the host, unguarded; the
// service does not start.
//
// Whoever holds the lock holds the devices: a process becomes the host only after its ports
// have taken their devices back from the host that ended (setOnHold), and a guest whose host
// ended takes the lock before it takes a device (takeHostLock).
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // A client that has not sent a whole first line by then is dropped.
    static constexpr int ClientDeadlineMs = 2000;
    // After that, one that stays this long without a whole line is dropped, so that silent
    // connections cannot hold every slot.
    static constexpr int IdleDeadlineMs = 10000;
    // Connections served at once; more are refused.
    static constexpr int MaxClients = 32;
    // How often a guest looks whether its host has ended (holdIfFree): a look is one flock.
    static constexpr int HostLookMs = 500;

    explicit SingleInstance(host::Role role = host::Role::Program, const QString &name = defaultName(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // The host of the working folder's board: one per folder, so that two services of one
    // user in two folders (two boards) both run in full, and zelvar-cli in each reaches its
    // own. ZELVAR_INSTANCE_NAME replaces it (tests and side-by-side installs).
    static QString defaultName();
    // The same for `folder`.
    static QString folderName(const QString &folder);
    // The one main window of the user, whatever its folder: a second start of the program
    // brings it back (claim() answers Restored).
    static QString windowName();

    // XDG_RUNTIME_DIR when it is set, a folder owned by the user with mode 0700; else
    // "zelvar-<uid>" in the temporary folder, created with mode 0700 and used only when it
    // is the user's, has mode 0700 and is no symbolic link; else, when someone else made that
    // name first, "zelvar" in the user's cache folder (~/.cache, XDG_CACHE_HOME), judged the
    // same way. Empty when none can be trusted.
    static QString privateFolder();
    // The instance socket of that name; empty without a private folder.
    static QString socketPath(const QString &name = defaultName());

    enum class Claim {
        Held,     // this process is the host (guarded() says whether others can find it)
        Restored, // another program is the host and has brought its window back: end now
        Guest,    // another host runs; this process works through it
    };
    Claim claim();
    // Whether claim() holds the lock and listens.
    bool guarded() const { return m_lockFd >= 0; }
    // For a guest: becomes the host when no other holds the lock any more (it ended); never
    // waits for long. True when this process is the host.
    bool holdIfFree();
    // Runs when holdIfFree() makes this process the host, before it listens: the process's
    // ports take their devices for themselves.
    void setOnHold(std::function<void()> onHold) { m_onHold = std::move(onHold); }
    // From any thread: whether this process holds the host lock of `name`, taking it when no
    // one does. Only a process that can host (one with a SingleInstance of that name: the
    // program, the service) takes it, and it listens at its next holdIfFree().
    static bool takeHostLock(const QString &name = defaultName());
    static bool mayHost(const QString &name = defaultName());

    // For the service: holds the lock that says a service works in `folder` (serviceRunsIn)
    // for the life of this object. 0, EWOULDBLOCK when another service holds it, or why it
    // cannot be taken.
    int holdServiceFolder(const QString &folder);
    host::Role role() const { return m_role; }

    // Answers the host's hello and write requests, at once or later through `answer` (a
    // write is answered once it is on the wire); the connection's next lines wait for it.
    // Without a handler hello names no port and writes are refused.
    using Answer = std::function<void(const QByteArray &reply)>;
    using Handler = std::function<void(const host::Request &, Answer answer)>;
    void setHandler(Handler handler) { m_handler = std::move(handler); }

    // Asks a running program of this user to restore its window; true once it has
    // acknowledged. An instance of another user is never asked.
    static bool askToRestore(const QString &name, int timeoutMs = 3000);
    // Who the host is, when one of this user answers.
    static std::optional<host::Hello> hello(const QString &name = defaultName(), int timeoutMs = 1000);
    // Whether a service of this user runs with `folder` as its working directory.
    static bool serviceRunsIn(const QString &folder, const QString &name = defaultName());

    QString name() const { return m_name; }

    // Reads the user id of the process at the other end of a connected local socket
    // (SO_PEERCRED); tests put another in its place. An empty function restores it.
    using PeerUidReader = std::function<std::optional<uid_t>(qintptr descriptor)>;
    static void setPeerUidReader(PeerUidReader reader);
    static bool peerIsThisUser(int descriptor);

signals:
    void restoreRequested();

private:
    enum class Lock { Taken, Busy, Broken };
    struct Client;
    Lock tryLock(const QString &path);
    void releaseLock();
    void listen(const QString &path);
    void onNewConnection();
    void onReadable(Client *client);
    void drop(Client *client);
    // Answers one line through `done`, with whether the connection is kept.
    void answer(const QByteArray &line, const std::function<void(const QByteArray &, bool keep)> &done);
    void serveLines(Client *client);
    Client *findClient(quint64 id) const;
    void reply(quint64 id, const QByteArray &reply, bool keep);

    host::Role m_role;
    QString m_name;
    int m_lockFd = -1;
    int m_serviceFd = -1;
    std::function<void()> m_onHold;
    int m_listenFd = -1;
    QSocketNotifier *m_listener = nullptr;
    std::vector<std::unique_ptr<Client>> m_clients;
    quint64 m_lastClientId = 0;
    Handler m_handler;
};

// A connection to the host, for requests one at a time; blocking, with deadlines. Only a
// host of this user in another process is talked to.
class HostConnection
{
public:
    HostConnection() = default;
    ~HostConnection();
    HostConnection(const HostConnection &) = delete;
    HostConnection &operator=(const HostConnection &) = delete;

    // 0, or why not: ECONNREFUSED and the like when no host listens, EPERM for a host of
    // another user, ELOOP for this very process when `otherProcess` (its thread that serves
    // the socket could be the one waiting for the answer).
    int connectTo(const QString &socketPath, int timeoutMs, bool otherProcess = false);
    bool connected() const { return m_fd >= 0; }
    void close();
    // Sends one request line and returns the reply's line without its '\n'; none (and the
    // connection closed) when the host does not answer in time or hangs up. `delivered` tells
    // whether the whole line went out: a host gone before it did never saw the request.
    std::optional<QByteArray> request(const QByteArray &line, int timeoutMs, bool *delivered = nullptr);

private:
    int m_fd = -1;
    QByteArray m_buffer;
};

} // namespace zelvar
