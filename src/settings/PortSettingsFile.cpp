#include "settings/PortSettingsFile.h"

#include "common/ProfileFile.h"
#include "panel/PanelConfig.h"

#include <QDir>
#include <QFileInfo>

namespace zelvar {

PortSettingsSaveResult savePortSettings(const QString &path, const QString &portName,
                                        const QString &portSpeed)
{
    PortSettingsSaveResult result;
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    bool lossy = false;
    encodeWindows1252(portName + portSpeed, &lossy);
    if (lossy) {
        result.error = QStringLiteral("Le nom du port « %1 » contient des caractères que le fichier %2 "
                                      "ne peut pas contenir : rien n'a été enregistré.")
                           .arg(portName, shown);
        return result;
    }
    ProfileFile profile = ProfileFile::load(path);
    if (profile.unreadable()) {
        result.error = QStringLiteral("Le fichier %1 existe mais ne peut pas être lu (%2) : "
                                      "il n'a pas été modifié.")
                           .arg(shown, profile.readError());
        return result;
    }
    profile.writeString(PanelKeys::Com, PanelKeys::PortName, portName);
    profile.writeString(PanelKeys::Com, PanelKeys::PortSpeed, portSpeed);
    const ProfileFile::SaveResult saved = profile.save(path);
    if (!saved.ok) {
        result.error = QStringLiteral("Les réglages du port n'ont pas pu être enregistrés dans %1 (%2). "
                                      "Le fichier est resté tel qu'il était.")
                           .arg(shown, saved.error);
        return result;
    }
    result.ok = true;
    return result;
}

QString storedPortName(const QString &path)
{
    return ProfileFile::load(path).readString(PanelKeys::Com, PanelKeys::PortName, QString());
}

} // namespace zelvar
