#pragma once

#include "panel/PanelButtons.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace zelvar {

// One track: the panel button it fires and the seconds at which it fires it.
struct TPiste
{
    // 0 fires nothing ("Off"), k >= 1 fires panel button k; -1 when the action stored in the
    // file could not be selected in the track's action list (the panel has fewer buttons).
    int Code = 0;
    // The action number read from the file when it could not be selected: saved back as it
    // was, so opening a sequence with a smaller panel does not lose its bindings.
    int keptCode = 0;
    // The button count read from the file; only the status texts show it.
    int NbBtns = 0;
    // Times in whole seconds from the start of the sequence, in the order the buttons were
    // added; indexed from 1, slot 0 unused. Two buttons may hold the same time.
    std::vector<int> Btns{0};

    int btnCount() const { return int(Btns.size()) - 1; }
    // The action number a save writes for this track.
    int savedCode() const;
    // The action number as the file stored it.
    int storedCode() const { return Code >= 0 ? Code : keptCode; }
    friend bool operator==(const TPiste &, const TPiste &) = default;
};

// The sequence and the sequencer's toggles, one set for the whole program: every opening of
// the sequencer window works on the same state, and playback keeps its position across them.
struct SequenceState
{
    static constexpr int MargePiste = 120; // width of the track column: origin of the time axis
    static constexpr int MinCoefTaille = 1;
    static constexpr int MaxCoefTaille = 12;
    static constexpr int SecondsPerStep = 600; // the ruler spans 600 × CoefTaille seconds
    // Tracks and timed buttons one file may hold; a file asking for more is refused whole.
    static constexpr int MaxLoadedObjects = 100000;

    // Indexed from 1, slot 0 unused. Empty when never filled since the program started, or
    // dropped by "Nouveau", a load or the window's closing; only slot 0 once emptied by
    // removing the last track. The file tells the two apart (count -1 and 0).
    std::vector<TPiste> Pistes;
    int PisteEnCours = 0; // current track, 0 for none
    int BtnEnCours = 0;   // current button within the current track, 0 for none
    int CoefTaille = 1;   // zoom step 1..12
    int loopLeft = MargePiste; // the loop marker's left edge: loop time + 120; 120 never loops
    QString FichierSeq = QStringLiteral("Sequenceur.ini"); // relative to the working directory
    int PositionLecture = 0; // play position in seconds
    int EtatLecture = 1;     // 1 not playing, 0 playing; kept for the whole run
    int EtatPistes = 1;
    int EtatRegle = 1;

    int trackCount() const { return Pistes.empty() ? 0 : int(Pistes.size()) - 1; }
    // The count a save writes: -1 for a list never filled, 0 for an emptied one.
    int storedTrackCount() const { return int(Pistes.size()) - 1; }
    long long loopTime() const { return (long long)loopLeft - MargePiste; }
    int rulerSeconds() const { return SecondsPerStep * CoefTaille; }
    static int clampZoom(int step);

    // Appends a track (the first one also creates slot 0) and makes it current.
    TPiste &AddPiste2();
    // Removes a track; later tracks move up one place. The last track becomes current with
    // its last button. Out-of-range indexes do nothing.
    void removePiste(int track);
    // Appends a timed button to a track and makes it current; returns its index.
    int addBtn(int track, int time);
    void removeBtn(int track, int button);
    // Drops every track (count -1 on the next save) and the current indexes.
    void AllDestroy();

    // Loads the current file (FichierSeq) on top of the tracks already there, for a panel of
    // `panelButtonCount` buttons. A missing file reads as defaults: no tracks. A file that is
    // there but cannot be read (a pipe, over 16 MB…) or holds too many objects changes
    // nothing: the reason is returned, else an empty text.
    QString Chargement(int panelButtonCount);
    // Writes the sequence to `path` atomically. False with the message for the user
    // ("Erreur d'enregistrement dans le fichier ini", then the file and the system's reason)
    // and the old file left whole.
    bool EnregistrerIni_Seq(const QString &path, QString *message = nullptr) const;

    // Whether the tracks, the loop marker or the zoom differ from what was last loaded or
    // saved (markUnchanged).
    bool changed() const;
    void markUnchanged();

private:
    struct Content
    {
        std::vector<TPiste> tracks; // tracks 1.. in order
        int loopLeft = MargePiste;
        int CoefTaille = 1;
    };
    Content m_unchanged;
};

// A play position as the window shows it: a time of day, hh:mm:ss (00:05:00 for 300).
QString playTimeText(long long seconds);

// The action list of a track: "Off", then every panel button's description in panel order.
QStringList actionList(const PanelButtons &buttons);

} // namespace zelvar
