#include "common/DataPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

} // namespace zelvar
