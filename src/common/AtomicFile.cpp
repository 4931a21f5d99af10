#include "common/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <unistd.h>

namespace zelvar {

namespace {

constexpr int StaleTemporarySeconds = 10 * 60;
// The random part of the temporary name the writer (QSaveFile) makes: six ASCII letters.
constexpr int RandomLength = 6;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

void removeStaleTemporaries(const QString &path)
{
    const QFileInfo target(path);
    const QDir folder = target.absoluteDir();
    const QDateTime limit = QDateTime::currentDateTimeUtc().addSecs(-StaleTemporarySeconds);
    const QString prefix = target.fileName() + u'.';
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || !isWriterTemporaryName(name, target.fileName()))
            continue;
        const QFileInfo candidate(folder.filePath(name));
        if (candidate.ownerId() != ::getuid() || candidate.lastModified().toUTC() >= limit)
            continue;
        QFile::remove(candidate.filePath());
    }
}

} // namespace

bool isWriterTemporaryName(const QString &fileName, const QString &target)
{
    if (fileName.size() != target.size() + 1 + RandomLength || !fileName.startsWith(target)
        || fileName[target.size()] != u'.')
        return false;
    const QStringView random = QStringView(fileName).right(RandomLength);
    int upper = 0;
    for (QChar c : random) {
        if (!isAsciiLetter(c))
            return false;
        upper += c.isUpper() ? 1 : 0;
    }
    // All small, all capitals, or one capital then small letters: a name a person gave.
    const bool word = upper == 0 || upper == RandomLength || (upper == 1 && random[0].isUpper());
    return !word;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!saved && error)
        *error = file.errorString();
    removeStaleTemporaries(path);
    return saved;
}

} // namespace zelvar
