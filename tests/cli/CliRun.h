#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace zelvar::testing {

struct CliResult
{
    int status = -1; // -1 when the program crashed or did not end
    QByteArray out;
    QByteArray err;
};

// Runs zelvar-cli in a working directory, with the serial messages in English.
inline CliResult runCli(const QString &dir, const QStringList &arguments)
{
    QProcess p;
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
