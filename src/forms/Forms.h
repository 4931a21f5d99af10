#pragma once

#include "panel/PanelConfig.h"
#include "remote/RelayStates.h"
#include "sequencer/Sequence.h"

#include <QObject>
#include <QPointer>

#include <optional>

class QLabel;

namespace zelvar {

class TForm_Base;
class TForm_ActBtn;
class TFSequenceur;
class TForm_CfgErreur;
class TformDynamique;
class TForm_Splash;
class TForm_Progmt;
class TPagesDlg;
class TForm_CfgBtn;
class TForm_Config2;
class RemoteLink;

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
    QPointer<TForm_Progmt> Form_Progmt;
    QPointer<TPagesDlg> PagesDlg;
    QPointer<TForm_CfgBtn> Form_CfgBtn;
    QPointer<TForm_Config2> Form_Config2;
    // The web server and the home-automation bridge of the program, once the panel runs.
    QPointer<RemoteLink> remote;

    // CurrentPortName, CurrentPortSpeed and the three general flags, as the panel load
    // read them and the settings forms changed them.
    PanelSettings settings;
    // The sequence and the sequencer's toggles: every opening of the sequencer shares them.
    SequenceState sequence;
    // What the relays were last commanded to, learnt from every panel's port, for the run.
    RelayStates relayStates;
    // Another Zelvar process of the user (the service) held the port at start: this program
    // writes through it, and that host alone serves the remote interfaces.
    bool guest = false;
    // Lets the main window close without asking again.
    bool QuitConfirmed = false;
    // Whether the layout editor left the main window shown; outlives the editor.
    bool MainWindowShown = true;

signals:
    // The main window's switch for seven of its commands (1 enables, 0 disables, any other
    // value leaves the command alone). The main window connects to it; with no main window
    // the call does nothing.
    void commandsSwitched(int p1, int p2, int p3, int p4, int p5, int p6, int p7);
    // A window below the main one asks for a prompt; the main window opens it.
    void promptRequested(const QString &caption, const QString &leftText, const QString &rightText,
                         const QString &middleText, const QString &message, int leftCode,
                         int rightCode, int middleCode, bool leftVisible, bool rightVisible,
                         bool middleVisible);
    // The layout editor asks for the general settings dialog over it; the main window opens
    // it. `picture` is the editor's picture the dialog may replace.
    void generalSettingsRequested(QWidget *editor, QLabel *picture);
    // The scheduler's next alarm changed: the second it waits for, none when no row is armed;
    // nowMs is the scheduler's clock then, which tells whether that second is today.
    void nextAlarmChanged(std::optional<qint64> nextMs, qint64 nowMs);
    // The settings wrote a new place for the sun's times into Programateur.ini.
    void placeChanged();
    // A window below the main one asks to end the program as the main window's "Quitter"
    // does (with its question when the exit menus are on).
    void quitRequested();

private:
    Forms() = default;
};

// Every caller switches the main window's commands through this procedure.
void ActivBtnP(int p1, int p2, int p3, int p4, int p5, int p6, int p7);

// Opens the prompt through the main window, arguments in its order; with no main window
// the call does nothing.
void requestPrompt(const QString &caption, const QString &leftText, const QString &rightText,
                   const QString &middleText, const QString &message, int leftCode, int rightCode,
                   int middleCode, bool leftVisible, bool rightVisible, bool middleVisible);

// Left action code of a prompt ("Oui"): store the port form's settings, then release the main window.
constexpr int PromptStorePortSettings = 8;
// Right action code of a prompt ("Non"): close it and release the main window.
constexpr int PromptDismiss = 9;
// Left action code of a prompt ("Oui"): end the program.
constexpr int PromptQuit = 10;

// Asks the main window to end the program through its "Quitter"; with no main window the
// call does nothing.
void requestQuit();

} // namespace zelvar
