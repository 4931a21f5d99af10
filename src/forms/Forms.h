#pragma once

#include "panel/PanelConfig.h"
#include "sequencer/Sequence.h"

#include <QObject>
#include <QPointer>

namespace zelvar {

class TForm_Base;
class TForm_ActBtn;
class TFSequenceur;
class TForm_CfgErreur;
class TformDynamique;
class TForm_Splash;

// The program-wide references to the newest instance of each window, and the few values
// the whole program shares. Every window that opens, closes or calls into another one goes
// through here; nothing else is global.
class Forms : public QObject
{
    Q_OBJECT

public:
    static Forms &instance();

    QPointer<TForm_Base> Form_Base;
    QPointer<TForm_ActBtn> Form_ActBtn;
    QPointer<TFSequenceur> FSequenceur;
    QPointer<TForm_CfgErreur> Form_CfgErreur;
    QPointer<TformDynamique> formDynamique;
    QPointer<TForm_Splash> Form_Splash;

    // CurrentPortName, CurrentPortSpeed and the three general flags, as the panel load
    // read them and the settings forms changed them.
    PanelSettings settings;
    // The sequence and the sequencer's toggles: every opening of the sequencer shares them.
    SequenceState sequence;
    // Lets the main window close without asking again.
    bool QuitConfirmed = false;

signals:
    // The main window's switch for seven of its commands (1 enables, 0 disables, any other
    // value leaves the command alone). The main window connects to it; with no main window
    // the call does nothing.
    void commandsSwitched(int p1, int p2, int p3, int p4, int p5, int p6, int p7);

private:
    Forms() = default;
};

// Every caller switches the main window's commands through this procedure.
void ActivBtnP(int p1, int p2, int p3, int p4, int p5, int p6, int p7);

} // namespace zelvar
