#pragma once

#include "sequencer/Sequence.h"

#include <QString>
#include <QStringList>

namespace zelvar {

// The activity chooser: "Default" (the sequence file of the working directory), then the
// sequence files of the activities folder.
namespace Activities {

inline const QString Folder = QStringLiteral("Activites");
inline const QString DefaultItem = QStringLiteral("Default");
inline const QString DefaultFile = QStringLiteral("Sequenceur.ini");

// "Default", then the ".ini" files (extension in any letter case) of `Folder` under
// `workingDir`, with their extension, sorted by name. Only plain files of at most 16 MB
// are listed; a name that is not UTF-8 is shown as Windows-1252.
QStringList DetectIni(const QString &workingDir = QStringLiteral("."));

// The file an item names, relative to the working directory: "Sequenceur.ini" for item 0
// ("Default"), else "Activites/<item>" (with the name as it is on disk when it is not UTF-8).
QString fileForItem(int index, const QString &itemText);

struct SelectResult
{
    bool loaded = false;
    // "Probleme avec le fichier ini" when refused, followed on a second line by the reason
    // when the file could not be read whole.
    QString message;
};

// "Probleme avec le fichier ini", followed on a second line by `reason` when there is one.
QString problemMessage(const QString &reason = {});

// Loads `file` in place of the sequence. A file whose track count is above 0 and that can
// be read whole replaces the tracks and becomes the current file; anything else (a missing
// file included) is refused and changes nothing, the current file included.
SelectResult load(SequenceState &state, const QString &file, int panelButtonCount);

// The chooser's selection: loads the item's file.
SelectResult Combo_ActivitesSelect(SequenceState &state, int index, const QString &itemText, int panelButtonCount);

// What "Enrg les reglages sous" writes for the name the user chose: a bare name goes into the
// activities folder, a name without extension gains ".ini", a file inside `workingDir` is
// named relative to it. The panel's and the scheduler's files are refused (`error` says so).
struct SaveAsTarget
{
    QString file;
    QString error;
};
SaveAsTarget saveAsTarget(const QString &chosen, const QString &workingDir = QStringLiteral("."));

// The chooser's item for a file, -1 when the chooser does not list it.
int itemForFile(const QStringList &items, const QString &file);

} // namespace Activities
} // namespace zelvar
