#include "panel/PanelExport.h"

#include "panel/PanelConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <sys/stat.h>

namespace zelvar {

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// Two names of one file: the same inode when both exist, else the same place once the
// folder's links are resolved.
bool sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    auto place = [](const QString &path) {
        const QFileInfo info(path);
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        return QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) + u'/' + info.fileName());
    };
    return place(a) == place(b);
}

// Why the export may not write `target` (and the picture beside it): empty when it may.
QString targetRefusal(const QString &configPath, const QString &picturePath, const QString &target)
{
    const QString pictureTarget = picturePathBeside(target);
    if (sameFile(pictureTarget, target))
        return QStringLiteral("%1 ne peut pas recevoir le projet : son image, écrite à côté sous le même nom "
                              "en .bmp, le remplacerait. Choisissez un nom en .zel.")
            .arg(shown(target));
    const QString factoryPath = QFileInfo(configPath).dir().filePath(PanelFiles::factory());
    for (const QString &own : {configPath, picturePath, factoryPath}) {
        for (const QString &written : {target, pictureTarget}) {
            if (sameFile(written, own))
                return QStringLiteral("Exporter vers %1 remplacerait %2, un fichier du panneau : rien n'a été "
                                      "écrit. Choisissez un autre nom, en .zel.")
                    .arg(shown(target), shown(own));
        }
    }
    return QString();
}

} // namespace

QString picturePathBeside(const QString &configurationPath)
{
    const QFileInfo info(configurationPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".bmp"));
}

PanelExportResult exportPanel(const QString &configPath, const QString &picturePath, const QString &target)
{
    PanelExportResult result;
    result.error = targetRefusal(configPath, picturePath, target);
    if (!result.error.isEmpty())
        return result;
    const ProfileFile profile = ProfileFile::load(configPath);
    PanelConfig config = readPanelConfig(profile, PanelReader::Editor);
    config.settings = readPanelConfig(profile, PanelReader::Panel).settings;
    result.error = config.saveRefusal(configPath);
    if (!result.error.isEmpty())
        return result;

    // The picture first: a project never stands without the picture it names.
    if (config.wantsPicture) {
        const QImage picture = loadPanelPicture(picturePath);
        if (!picture.isNull()) {
            const QString pictureTarget = picturePathBeside(target);
            QString error;
            if (!savePanelPicture(picture, pictureTarget, &error)) {
                result.error = QStringLiteral("Impossible d'écrire %1 : %2").arg(pictureTarget, error);
                return result;
            }
            result.picturePath = pictureTarget;
        }
    }
    const ProfileFile::SaveResult saved = writePanelConfig(config).save(target);
    result.lossy = saved.lossy;
    if (!saved.ok) {
        result.error = QStringLiteral("Impossible d'écrire %1 : %2").arg(target, saved.error);
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace zelvar
