#include "sequencer/Activities.h"

#include "common/FileName.h"
#include "common/ProfileFile.h"
#include "common/RegularFile.h"
#include "sequencer/SequenceFile.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace zelvar::Activities {

namespace {

struct ActivityFile
{
    QString shown; // the chooser's text
    QString name;  // the name that opens it (see decodeFileName)
};

// The folder's sequence files: plain files (through links) small enough to be read, listed
// from the bytes the system holds, so that a name copied from Windows is shown in its code
// page and still opens. Pipes, devices and oversized files are left out: reading them would
// hang or never end.
std::vector<ActivityFile> activityFiles(const QString &workingDir)
{
    std::vector<ActivityFile> files;
    const QByteArray folder = encodeFileName(QDir(workingDir).filePath(Folder));
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return files;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw.size() < 4 || raw.right(4).toLower() != ".ini")
            continue;
        struct stat info = {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)
            || info.st_size > MaxReadFileBytes)
            continue;
        const QString name = decodeFileName(raw);
        files.push_back({isEscapedFileName(name) ? decodeWindows1252(raw) : name, name});
    }
    ::closedir(dir);
    return files;
}

} // namespace

QStringList DetectIni(const QString &workingDir)
{
    QStringList files;
    for (const ActivityFile &file : activityFiles(workingDir))
        files << file.shown;
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(files.begin(), files.end(), [&](const QString &a, const QString &b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    files.prepend(DefaultItem);
    return files;
}

QString fileForItem(int index, const QString &itemText)
{
    if (index <= 0)
        return DefaultFile;
    const QString path = Folder + u'/' + itemText;
    if (QFileInfo::exists(path))
        return path;
    // A name that is not UTF-8 is shown in its code page: find the name that opens it.
    for (const ActivityFile &file : activityFiles(QStringLiteral(".")))
        if (file.shown == itemText)
            return Folder + u'/' + file.name;
    return path;
}

QString problemMessage(const QString &reason)
{
    const QString problem = QStringLiteral("Probleme avec le fichier ini");
    return reason.isEmpty() ? problem : problem + u'\n' + reason;
}

SelectResult load(SequenceState &state, const QString &file, int panelButtonCount)
{
    const ProfileFile profile = ProfileFile::load(file);
    if (const QString reason = refusalReason(profile); !reason.isEmpty())
        return {false, problemMessage(profile.unreadable() ? file + QStringLiteral(" : ") + reason : reason)};
    if (profile.readInteger(SequenceKeys::Tracks, SequenceKeys::TrackCount, 0) < 1)
        return {false, problemMessage()};
    state.FichierSeq = file;
    state.AllDestroy();
    readSequence(profile, state, panelButtonCount);
    return {true, {}};
}

SelectResult Combo_ActivitesSelect(SequenceState &state, int index, const QString &itemText, int panelButtonCount)
{
    return load(state, fileForItem(index, itemText), panelButtonCount);
}

SaveAsTarget saveAsTarget(const QString &chosen, const QString &workingDir)
{
    const QString name = chosen.trimmed();
    if (name.isEmpty())
        return {};
    QString path = name.contains(u'/') ? name : Folder + u'/' + name;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".ini");
    // Writing a sequence over these would leave the panel or the schedule unreadable.
    static const QStringList reserved{QStringLiteral("Zelvar2.ini"), QStringLiteral("Default.ini"),
                                      QStringLiteral("Programateur.ini")};
    const QString fileName = QFileInfo(path).fileName();
    for (const QString &own : reserved)
        if (fileName.compare(own, Qt::CaseInsensitive) == 0)
            return {{}, QStringLiteral(u"« %1 » est un fichier du programme : choisissez un autre nom.").arg(fileName)};
    const QDir dir(workingDir);
    const QString relative = dir.relativeFilePath(dir.absoluteFilePath(path));
    return {relative.startsWith(QStringLiteral("..")) ? QFileInfo(dir.absoluteFilePath(path)).absoluteFilePath()
                                                      : relative,
            {}};
}

int itemForFile(const QStringList &items, const QString &file)
{
    for (int k = 0; k < items.size(); ++k)
        if (fileForItem(k, items[k]) == file)
            return k;
    return -1;
}

} // namespace zelvar::Activities
