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
    QString message; // "Probleme avec le fichier ini" when refused
};

// The chooser's selection: the item's file becomes the current file at once; a file whose
// track count is above 0 replaces the sequence, anything else (missing file included) is
// refused and the tracks stay as they were.
SelectResult Combo_ActivitesSelect(SequenceState &state, int index, const QString &itemText, int panelButtonCount);

} // namespace Activities
} // namespace zelvar
