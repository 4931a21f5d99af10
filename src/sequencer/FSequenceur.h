#pragma once

#include "sequencer/PlaybackClock.h"
#include "sequencer/Sequence.h"
#include "sequencer/SequencerWidgets.h"
#include "widgets/InputBlock.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QSlider;
class QTimer;

namespace zelvar {

class ControlDrag;
class SequencePlayer;
class TUpDown;
class TForm_Splash;

// The sequencer window: tracks bound to panel buttons, timed buttons along a ruler of
// seconds, a loop marker, and the play controls. Its sequence is the program's one sequence
// state; the window builds its controls from it and keeps both in step.
class TFSequenceur : public QMainWindow
{
    Q_OBJECT

public:
    // `clock` drives playback; the default is the program's 1000 ms precise timer.
    explicit TFSequenceur(QWidget *owner = nullptr, std::unique_ptr<PlaybackClock> clock = {});
    ~TFSequenceur() override;

    struct TrackControls
    {
        QComboBox *ComboPiste = nullptr;
        QPushButton *AddBtn = nullptr;
        QPushButton *DelBtn = nullptr;
        TUpDown *BtnInc = nullptr;
        std::vector<TBtnSeq *> Btns{nullptr}; // indexed from 1, as the track's times
    };

    SequenceState &state();
    SequencePlayer &player() { return *m_player; }
    const std::vector<TrackControls> &tracks() const { return m_tracks; }
    TBtnSeq *button(int track, int index) const;

    // Fixed controls.
    QComboBox *Combo_Activites;
    QWidget *PaCurseur;
    RulerPicture *Image_Curseur;
    QWidget *Scroll_PanelprincSeq;
    QWidget *ScrollBox_Piste;
    FillPicture *Image_Piste;
    QPushButton *Btn_DelPiste;
    QPushButton *Btn_AddPiste;
    QLineEdit *EditNomBtn;
    FillPicture *Image_PlageBtn;
    QPushButton *Btn_Curseur1;
    QPushButton *Btn_Loop;
    QWidget *PControl;
    QLabel *Image_Bloc;
    QLabel *Label_CoefTaille;
    QLabel *Label1;
    QLineEdit *EditTemps;
    TUpDown *IncTempsBtn;
    QSlider *TrackBar_CoefTaille;
    QPushButton *Btn_Stop;
    TXiButton *Btn_Lecture;
    TUpDown *UAvanRecul;
    QPushButton *Btn_VoirPiste;
    QPushButton *Btn_HideRegle;
    QMenu *Activites1;
    QMenu *Popup_PlageBtn;
    QMenu *Popup_Pistes;
    QScrollArea *scrollArea() const { return m_scroll; }

    // Shows a message to the user in a box, or through the hook when one is set (tests read
    // the messages instead, from the window's creation on).
    using MessageHook = std::function<void(const QString &)>;
    static void setMessageHook(MessageHook hook);
    std::function<void(const QString &)> showMessage;
    // Asks for the path of "Enrg les reglages sous"; empty when cancelled. Tests replace it.
    std::function<QString()> askSavePath;
    // Asks for the sequence file "Ouvrir" loads; empty when cancelled. Tests replace it.
    std::function<QString()> askOpenPath;

    // The answers of the question asked before unsaved changes would be dropped; the main
    // window's prompt hands them back through promptAnswered().
    enum PromptCode { PromptSave = 20, PromptDiscard = 21, PromptCancel = 22 };
    void promptAnswered(int code);
    bool asking() const { return bool(m_afterAnswer); }

    void FormCreate();
    void PaintForme();
    void DetectIni();
    void Combo_ActivitesSelect(int index);
    void Chargement();
    void Btn_Enregistrer1Click();
    void Enrglesequenceursous1Click();
    void TrackBar_CoefTailleChange();
    void Btn_AddPisteClick();
    void AddPiste2();
    void Btn_DelPisteClick();
    void BtnAdd(bool atCursor);
    void BtnDelClick();
    void BtnIncClick();
    void IncTempsBtnClick();
    void OnEnterBtnSeq(TBtnSeq *focused);
    void OnEnterComboSeq(QComboBox *focused);
    void Select_Code(QComboBox *combo, int index);
    void DeColorierBtn();
    void DeColorierPiste();
    void Btn_VoirPisteClick();
    void Btn_HideRegleClick();
    void Menuitem_SeeOutilsClick();
    void Btn_NouveauClick();
    void Ouvrir1Click();
    void AllDestroy();
    void Aproposde1Click();
    void Btn_LectureClick();
    void Btn_StopClick();
    void UAvanReculClick();
    void Image_CurseurClick(QPoint at);
    void Menuitem_SetLoopClick();

    // The ends of drags, as the mouse release runs them.
    void buttonDragEnded();
    void cursorDragEnded();
    void loopDragEnded();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override; // focus of the tracks' lists

private:
    static MessageHook &messageHook();
    // Runs `proceed` at once when the sequence is as it was loaded or saved; otherwise asks
    // first whether to save it: "Enregistrer" saves then proceeds (a failed save goes no
    // further), "Ne pas enregistrer" proceeds, "Annuler" runs `cancelled`.
    void askBeforeDropping(std::function<void()> proceed, std::function<void()> cancelled = {});
    bool saveToCurrentFile();
    void loadChosen(const QString &file);
    void showChosenFile();
    void selectTrack(int track);
    void selectTrackOf(QWidget *tool);
    void placeControlBarBelowTracks();
    void destroyControls();
    void dropButton(TBtnSeq *button);
    void buildLoaded(int before);
    void createControls();
    void createControlBar();
    void createMenus();
    TrackControls makeTrackControls(int n, bool loaded);
    TBtnSeq *makeButton(int track, int index, int time);
    void nameTrack(int n, bool afterDeletion);
    void placeTrack(int n);
    int panelButtonCount() const;
    void resizeAreas();
    void showPosition(int position);
    void onTicked(int shown);
    void onFailed(const QString &message);
    void setTrackColor(int track, int bgr);
    void setButtonColor(TBtnSeq *button, int bgr);
    TBtnSeq *currentButton() const;
    // IncTempsBtn shows the current button's time, so its steps start from where it stands.
    void showCurrentTime();
    TrackControls *currentTrack();

    QScrollArea *m_scroll;
    QWidget *m_client;
    std::vector<TrackControls> m_tracks;
    QSet<QString> m_buttonNames; // timed buttons' names, kept unique
    std::unique_ptr<SequencePlayer> m_player;
    QPoint m_popupAt;           // where the timed-button area's popup was asked for
    bool m_reportedThisRun = false;
    int m_buttonAreaExtra = 0;
    std::function<void()> m_afterAnswer; // what the pending question goes on with
    std::function<void()> m_afterCancel;
    std::unique_ptr<InputBlock> m_waitBlock; // input held while the question waits
    QPointer<TForm_Splash> m_startSplash; // shown with the window, for two seconds
    bool m_closing = false; // the question before closing was answered: close without asking
};

} // namespace zelvar
