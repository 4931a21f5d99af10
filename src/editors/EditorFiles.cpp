#include "editors/EditorFiles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace zelvar {

namespace K = PanelKeys;

std::optional<QString> saveRefusal(const EditorFileStatus &status)
{
    if (status.unreadable)
        return QStringLiteral("Le fichier %1 n'a pas pu être lu%2 : l'enregistrer maintenant "
                              "effacerait la configuration qu'il contient.")
            .arg(PanelFiles::config(), status.reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(status.reason));
    if (status.truncated)
        return QStringLiteral("Le fichier %1 n'a été chargé qu'en partie : l'enregistrer maintenant "
                              "effacerait les boutons et les textes qui n'ont pas été chargés.")
            .arg(PanelFiles::config());
    return std::nullopt;
}

EditorPanel loadEditorPanel(const QString &configPath, const QString &picturePath)
{
    EditorPanel panel;
    bool read = false;
    const ProfileFile profile = ProfileFile::load(configPath, &read);
    panel.config = readPanelConfig(profile, PanelReader::Editor);
    panel.status.unreadable = !panel.config.unreadable.isEmpty() || (!read && QFileInfo::exists(configPath));
    panel.status.reason = panel.config.unreadable;

    // The editor's reader stops at a file without buttons; its texts are loaded all the
    // same, or the next save would drop them.
    if (panel.config.buttons.empty()) {
        const int count = profile.readInteger(K::Settings, K::TextCount, 0);
        if (count >= 1) {
            const int texts = std::min(count, MaxPanelTexts);
            if (texts < count)
                panel.config.warnings.append(
                    QStringLiteral("Le fichier annonce %1 textes ; seuls les %2 premiers sont chargés.")
                        .arg(count)
                        .arg(texts));
            for (int k = 1; k <= texts; ++k)
                panel.config.texts.push_back(readPanelText(profile, k));
            panel.config.textsEverHeld = true;
        }
    }
    panel.status.truncated = panel.config.cut || !panel.config.warnings.isEmpty();
    panel.picture = loadPanelPicture(picturePath);
    return panel;
}

namespace {

// What the file would write as "?": each character with the section it stands in, the first
// few places only.
QString lostCharacters(const ProfileFile &profile)
{
    constexpr int PlacesNamed = 5;
    QStringList places;
    int count = 0;
    for (const ProfileFile::Section &section : profile.sections()) {
        for (const ProfileFile::Entry &entry : section.entries) {
            const QStringList lost = charactersOutsideWindows1252(entry.value);
            if (lost.isEmpty())
                continue;
            if (++count <= PlacesNamed)
                places << QStringLiteral("« %1 » dans [%2]").arg(lost.join(QStringLiteral(" », « ")), section.name);
        }
    }
    if (count > PlacesNamed)
        places << QStringLiteral("et %1 autres valeurs").arg(count - PlacesNamed);
    return places.join(QStringLiteral(", "));
}

} // namespace

EditorSaveResult saveEditorPanel(const PanelConfig &config, const QImage &picture,
                                 const QString &configPath, const QString &picturePath)
{
    EditorSaveResult result;
    // Written as "?", these would come back as something else than what the editor shows.
    const ProfileFile profile = writePanelConfig(config);
    if (const QString lost = lostCharacters(profile); !lost.isEmpty()) {
        result.file = configPath;
        result.error = QStringLiteral("ces caractères ne peuvent pas être enregistrés en Windows-1252 : %1. "
                                      "Rien n'a été enregistré ; remplacez-les puis enregistrez à nouveau.")
                           .arg(lost);
        return result;
    }
    if (!picture.isNull()) {
        QString error;
        if (!savePanelPicture(picture, picturePath, &error)) {
            result.file = picturePath;
            result.error = error;
            return result;
        }
    }
    const ProfileFile::SaveResult saved = profile.save(configPath);
    if (!saved.ok) {
        result.file = configPath;
        result.error = saved.error;
        return result;
    }
    result.ok = true;
    return result;
}

FileStamp fileStamp(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return FileStamp{true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                     qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool samePicture(const QImage &a, const QImage &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    if (a.size() != b.size())
        return false;
    const QImage first = a.convertToFormat(QImage::Format_ARGB32);
    const QImage second = b.convertToFormat(QImage::Format_ARGB32);
    const size_t rowBytes = size_t(first.width()) * 4;
    for (int y = 0; y < first.height(); ++y)
        if (std::memcmp(first.constScanLine(y), second.constScanLine(y), rowBytes) != 0)
            return false;
    return true;
}

} // namespace zelvar
