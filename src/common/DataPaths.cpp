#include "common/DataPaths.h"

#include "common/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar {

QString executableDir()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

QString sharedDataPath(const QString &relative)
{
    QString prefix = executableDir();
    for (int level = 0; level < 3; ++level) {
        prefix += QStringLiteral("/..");
        const QString candidate = QDir::cleanPath(prefix + QStringLiteral("/share/") + relative);
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

QString readmePath()
{
    return sharedDataPath(QStringLiteral("doc/zelvar/README.md"));
}

QString serviceFolder()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is not to be used: fall back to the usual folder.
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/zelvar"));
}

QString stateFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(state + QStringLiteral("/zelvar"));
}

bool enterServiceFolder(QString *error)
{
    const QString folder = serviceFolder();
    QDir().mkpath(QFileInfo(folder).path());
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        *error = folder + QStringLiteral(" : ") + systemErrorText(errno);
        return false;
    }
    if (::chdir(QFile::encodeName(folder).constData()) != 0) {
        *error = folder + QStringLiteral(" : ") + systemErrorText(errno);
        return false;
    }
    return true;
}

} // namespace zelvar
