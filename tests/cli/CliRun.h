#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

namespace zelvar::testing {

struct CliResult
{
    int status = -1; // -1 when the program crashed or did not end
    QByteArray out;
    QByteArray err;
};

// Runs zelvar-cli in a working directory, with the serial messages in English; `inChild`
// runs in the new process before the program starts (limits, signals).
inline CliResult runCli(const QString &dir, const QStringList &arguments, const std::function<void()> &inChild = {})
{
    QProcess p;
    if (inChild)
        p.setChildProcessModifier(inChild);
    p.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZELVAR_CLI), arguments);
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

} // namespace zelvar::testing
