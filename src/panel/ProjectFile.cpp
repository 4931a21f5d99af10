#include "panel/ProjectFile.h"

#include "common/AtomicFile.h"
#include "panel/PanelConfig.h"
#include "panel/PanelExport.h"

#include <QFile>
#include <optional>

namespace zelvar::ProjectFile {

namespace {

std::optional<QByteArray> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
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

// Copies the current file to its backup name; a missing file needs no backup.
bool backUp(const QString &path, QString *error)
{
    if (!QFile::exists(path))
        return true;
    const std::optional<QByteArray> bytes = readAll(path);
    if (!bytes) {
        *error = QStringLiteral("Impossible de lire %1").arg(path);
        return false;
    }
    return writeAll(path + backupSuffix(), *bytes, error);
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

Result importFrom(const QString &source)
{
    Result result;
    const std::optional<QByteArray> configuration = readAll(source);
    if (!configuration) {
        result.error = QStringLiteral("Impossible de lire %1").arg(source);
        return result;
    }
    if (!isPanelConfiguration(ProfileFile::fromBytes(*configuration))) {
        result.error = QStringLiteral("%1 n'est pas une configuration de panneau").arg(source);
        return result;
    }
    // The picture is taken only when it reads as one; everything is read before anything
    // is written.
    const QString picturePath = picturePathBeside(source);
    std::optional<QByteArray> picture;
    if (QFile::exists(picturePath) && !loadPanelPicture(picturePath).isNull())
        picture = readAll(picturePath);

    if (!backUp(PanelFiles::config(), &result.error)
        || !writeAll(PanelFiles::config(), *configuration, &result.error))
        return result;
    if (picture
        && (!backUp(PanelFiles::picture(), &result.error)
            || !writeAll(PanelFiles::picture(), *picture, &result.error)))
        return result;
    result.ok = true;
    return result;
}

} // namespace zelvar::ProjectFile
