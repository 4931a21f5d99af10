#include "sequencer/Activities.h"

#include "common/ProfileFile.h"
#include "sequencer/SequenceFile.h"

#include <QCollator>
#include <QDir>

#include <algorithm>

namespace zelvar::Activities {

QStringList DetectIni(const QString &workingDir)
{
    QStringList files;
    const QDir folder(QDir(workingDir).filePath(Folder));
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort))
        if (name.endsWith(QStringLiteral(".ini"), Qt::CaseInsensitive))
            files << name;
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
    return index <= 0 ? DefaultFile : Folder + u'/' + itemText;
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
        return {false, problemMessage(reason)};
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

int itemForFile(const QStringList &items, const QString &file)
{
    for (int k = 0; k < items.size(); ++k)
        if (fileForItem(k, items[k]) == file)
            return k;
    return -1;
}

} // namespace zelvar::Activities
