#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace zelvar {

// One running program per user. The first start holds a lock file for its whole life and
// listens on a local socket; a later start connects to it, asks it to bring its window
// back, and ends without creating any window of its own.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The reply of a running instance once its window has been restored.
    static constexpr char RestoreRequest[] = "restore\n";
    static constexpr char RestoredReply[] = "restored\n";

    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Per user; ZELVAR_INSTANCE_NAME replaces it (tests and side-by-side installs).
    static QString defaultName();

    // Claims the program for this process. False when another instance runs: it has then
    // been asked to restore its window and this process should end.
    bool claim();

    // Asks a running instance to restore its window; true once it has acknowledged.
    static bool askToRestore(const QString &name, int timeoutMs = 3000);

    QString name() const { return m_name; }

signals:
    void restoreRequested();

private:
    void onNewConnection();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};

} // namespace zelvar
