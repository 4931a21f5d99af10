#include "panel/PanelExport.h"

#include "panel/PanelConfig.h"

#include <QDir>
#include <QFileInfo>

namespace zelvar {

QString picturePathBeside(const QString &configurationPath)
{
    const QFileInfo info(configurationPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".bmp"));
}

PanelExportResult exportPanel(const QString &configPath, const QString &picturePath, const QString &target)
{
    PanelExportResult result;
    const ProfileFile profile = ProfileFile::load(configPath);
    PanelConfig config = readPanelConfig(profile, PanelReader::Editor);
    config.settings = readPanelConfig(profile, PanelReader::Panel).settings;

    const ProfileFile::SaveResult saved = writePanelConfig(config).save(target);
    result.lossy = saved.lossy;
    if (!saved.ok) {
        result.error = QStringLiteral("Impossible d'écrire %1 : %2").arg(target, saved.error);
        return result;
    }
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
    result.ok = true;
    return result;
}

} // namespace zelvar
