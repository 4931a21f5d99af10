#include "panel/ProjectFile.h"

#include "common/AtomicFile.h"
#include "common/RegularFile.h"
#include "panel/PanelConfig.h"
#include "panel/PanelExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <vector>

namespace zelvar::ProjectFile {

namespace {

// A picture may be larger than any settings file; Qt refuses to decode one above this.
constexpr qint64 MaxPictureBytes = 256 * 1024 * 1024;

std::optional<QByteArray> readAll(const QString &path, qint64 maxBytes = MaxReadFileBytes)
{
    return readRegularFile(path, nullptr, maxBytes);
}

// Replaces `path` with `bytes` atomically: the old file stays whole until the new one is.
bool writeAll(const QString &path, const QByteArray &bytes, QString *error)
{
    QString reason;
    if (writeFileAtomically(path, bytes, &reason))
        return true;
    *error = QStringLiteral("Impossible d'écrire %1 : %2").arg(path, reason);
    return false;
}

struct Backup
{
    QString name;
    QString stamp;
    int number = 1; // the second backup within one second is 2, and so on
};

// The backups of `path` found beside it, oldest first.
std::vector<Backup> backupsBeside(const QString &path)
{
    const QFileInfo info(path);
    const QRegularExpression pattern(QStringLiteral("^%1\\.(\\d{8}-\\d{6})(?:-(\\d+))?\\.bak$")
                                         .arg(QRegularExpression::escape(info.fileName())));
    std::vector<Backup> found;
    for (const QString &name : info.dir().entryList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch())
            found.push_back({name, match.captured(1), match.hasCaptured(2) ? match.captured(2).toInt() : 1});
    }
    std::sort(found.begin(), found.end(), [](const Backup &a, const Backup &b) {
        return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
    });
    return found;
}

// Copies the current file to a backup of its own, then drops the oldest beyond the kept
// number (never the one just made, even when the clock went back). A missing file needs
// no backup.
bool backUp(const QString &path, const QDateTime &now, QString *error)
{
    if (!QFile::exists(path))
        return true;
    const std::optional<QByteArray> bytes = readAll(path, MaxPictureBytes);
    if (!bytes) {
        *error = QStringLiteral("Impossible de lire %1").arg(path);
        return false;
    }
    const QString stamped = path + u'.' + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString backup = stamped + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(backup); ++n)
        backup = stamped + u'-' + QString::number(n) + QStringLiteral(".bak");
    if (!writeAll(backup, *bytes, error))
        return false;

    std::vector<Backup> backups = backupsBeside(path);
    const QString made = QFileInfo(backup).fileName();
    std::erase_if(backups, [&](const Backup &b) { return b.name == made; });
    const QDir folder = QFileInfo(path).dir();
    for (size_t i = 0; i + (KeptBackups - 1) < backups.size(); ++i)
        QFile::remove(folder.filePath(backups[i].name));
    return true;
}

} // namespace

bool isPanelConfiguration(const ProfileFile &profile)
{
    if (!profile.hasKey(PanelKeys::Settings, PanelKeys::ButtonCount))
        return false;
    int count = 0;
    return ProfileFile::parseInteger(
        profile.readString(PanelKeys::Settings, PanelKeys::ButtonCount, QString()), &count);
}

Result exportTo(const QString &target)
{
    const PanelExportResult exported = exportPanel(PanelFiles::config(), PanelFiles::picture(), target);
    return Result{exported.ok, exported.error};
}

QStringList backupsOf(const QString &path)
{
    QStringList names;
    // Named the way `path` is: beside it, relative when it is.
    const QString folder = path.left(path.size() - QFileInfo(path).fileName().size());
    for (const Backup &backup : backupsBeside(path))
        names.append(folder + backup.name);
    return names;
}

Result importFrom(const QString &source, const QDateTime &now, const std::optional<Port> &keptPort)
{
    Result result;
    FileReadFailure failure;
    std::optional<QByteArray> configuration = readRegularFile(source, &failure);
    if (!configuration) {
        result.error = failure.missing ? QStringLiteral("Impossible de lire %1").arg(source)
                                       : QStringLiteral("Impossible de lire %1 : %2").arg(source, failure.reason);
        return result;
    }
    ProfileFile profile = ProfileFile::fromBytes(*configuration);
    if (!isPanelConfiguration(profile)) {
        result.error = QStringLiteral("%1 n'est pas une configuration de panneau").arg(source);
        return result;
    }
    if (keptPort) {
        profile.writeString(PanelKeys::Com, PanelKeys::PortName, keptPort->name);
        profile.writeString(PanelKeys::Com, PanelKeys::PortSpeed, keptPort->speed);
        bool lossy = false;
        const QByteArray withPort = profile.toBytes(&lossy);
        if (!lossy)
            configuration = withPort;
    }
    // The picture is taken only when it reads as one; everything is read before anything
    // is written.
    const QString picturePath = picturePathBeside(source);
    std::optional<QByteArray> picture;
    if (QFile::exists(picturePath) && !loadPanelPicture(picturePath).isNull())
        picture = readAll(picturePath, MaxPictureBytes);

    if (!backUp(PanelFiles::config(), now, &result.error)
        || !writeAll(PanelFiles::config(), *configuration, &result.error))
        return result;
    if (picture
        && (!backUp(PanelFiles::picture(), now, &result.error)
            || !writeAll(PanelFiles::picture(), *picture, &result.error)))
        return result;
    result.ok = true;
    return result;
}

} // namespace zelvar::ProjectFile
