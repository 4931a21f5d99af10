#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

class QLocalServer;
class QLocalSocket;

namespace zelvar {

// One running program per user. The first start holds a lock for its whole life and
// listens on a local socket; a later start connects to it, asks it to bring its window
// back, and ends without creating any window of its own.
//
// Socket and lock live in the user's private runtime folder, and each side talks only to a
// process of the same user, so another account can neither stop nor steer a start. The
// lock is the kernel's (flock): it goes with the process that held it, so a lock file left
// behind, whatever it holds, never stops a start. When the guard cannot be trusted (no
// private folder, a holder that never answers) the program starts normally.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr char RestoreRequest[] = "restore\n";
    // The reply of a running instance once its window has been restored.
    static constexpr char RestoredReply[] = "restored\n";
    // A client gets one line of at most this many bytes; then, or sooner, it is dropped.
    static constexpr int MaxRequestLength = 64;

    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // ZELVAR_INSTANCE_NAME replaces it (tests and side-by-side installs).
    static QString defaultName();

    // XDG_RUNTIME_DIR when it is set, a folder owned by the user with mode 0700; else
    // "zelvar-<uid>" in the temporary folder, created with mode 0700 and used only when it
    // is the user's, has mode 0700 and is no symbolic link; else, when someone else made that
    // name first, "zelvar" in the user's cache folder (~/.cache, XDG_CACHE_HOME), judged the
    // same way. Empty when none can be trusted.
    static QString privateFolder();

    // Claims the program for this process. False when another instance of this user runs:
    // it has then been asked to restore its window and this process should end.
    bool claim();
    // Whether claim() holds the lock and listens; false when it started without the guard.
    bool guarded() const { return m_lockFd >= 0; }

    // Asks a running instance of this user to restore its window; true once it has
    // acknowledged. An instance of another user is never asked.
    static bool askToRestore(const QString &name, int timeoutMs = 3000);

    QString name() const { return m_name; }

    // Reads the user id of the process at the other end of a connected local socket
    // (SO_PEERCRED); tests put another in its place. An empty function restores it.
    using PeerUidReader = std::function<std::optional<uid_t>(qintptr descriptor)>;
    static void setPeerUidReader(PeerUidReader reader);

signals:
    void restoreRequested();

private:
    enum class Lock { Taken, Busy, Broken };
    Lock tryLock(const QString &path);
    void listen(const QString &path);
    void onNewConnection();
    void serve(QLocalSocket *socket);

    QString m_name;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
};

} // namespace zelvar
