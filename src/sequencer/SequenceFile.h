#pragma once

#include "common/ProfileFile.h"
#include "sequencer/Sequence.h"

namespace zelvar {

namespace SequenceKeys {
inline const QString Info = QStringLiteral("          Info");
inline const QString Tracks = QStringLiteral("pistes");
inline const QString TrackCount = QStringLiteral("Nombre total de piste");
inline const QString Loop = QStringLiteral("Btn de boucle");
inline const QString Zoom = QStringLiteral("curseur de taille");
inline const QString TrackSection = QStringLiteral("piste");
inline const QString ButtonCount = QStringLiteral("Nombre total de btns");
inline const QString Code = QStringLiteral("Code selectionne");
inline const QString ButtonTime = QStringLiteral("Left du btn");
} // namespace SequenceKeys

// What one sequence file holds, as the sequencer reads it.
struct SequenceRead
{
    int storedCount = 0; // "Nombre total de piste" as stored (default 0)
    int loopLeft = SequenceState::MargePiste;
    int storedZoom = 1;  // "curseur de taille" as stored, before it is brought into range
    QString refused;     // why the file was not read; empty when it was
};

// Why a sequence file cannot be loaded whole (it could not be read, or it holds more than
// MaxLoadedObjects tracks and timed buttons); empty when it can.
QString refusalReason(const ProfileFile &profile);

// Reads a sequence file into `state` (tracks appended, loop marker and zoom applied) for a
// panel of `panelButtonCount` buttons, with the reader's defaults. A file refused by
// refusalReason leaves `state` as it was.
SequenceRead readSequence(const ProfileFile &profile, SequenceState &state, int panelButtonCount);

// The file a save writes, from empty, in the writer's order.
ProfileFile writeSequence(const SequenceState &state);

} // namespace zelvar
