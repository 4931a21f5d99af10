#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QToolBar;
class QToolButton;

namespace zelvar {

class InputBlock;
class RemoteHost;
class ScheduleClock;
class TForm_Progmt;
enum class ClosingAnswer;

// The main window: a borderless painted frame around the live panel, with its tool bars,
// its menu, the seven commands that sub-windows switch off while they are open, the
// notification-area icon and the quit confirmation. It owns every other window.
class TForm_Base : public QWidget
{
    Q_OBJECT

public:
    // Creates the window and, inside Panel1, the live panel (which loads the panel file and
    // opens the port).
    explicit TForm_Base(QWidget *parent = nullptr);
    ~TForm_Base() override;

    QLabel *Image1 = nullptr; // footer
    QLabel *Image2 = nullptr; // header
    QFrame *Panel1 = nullptr; // hosts the live panel
    QToolBar *ToolBar1 = nullptr;
    QWidget *ToolBar2 = nullptr; // shows the main menu
    QToolBar *ToolBar3 = nullptr;

    QAction *Bo_Pmg = nullptr;
    QAction *Bo_Seq = nullptr;
    QAction *Bo_CfgBtn = nullptr;
    // Shown beside the scheduler's button while the panel's port is lost.
    QAction *Bo_PortPerdu = nullptr;
    QAction *Tool_Depannage = nullptr;
    QAction *Tool_Minimiser = nullptr;
    QAction *Tool_Fermer = nullptr;

    // MainMenu1
    QMenu *Fichier1 = nullptr;
    QMenu *Voir1 = nullptr;
    QMenu *Reglages1 = nullptr;
    QMenu *Aide1 = nullptr;
    QAction *Btn_Ouvrir1 = nullptr;      // "Importer"
    QAction *Exporter1 = nullptr;
    QAction *Btn_Enregistrer1 = nullptr;
    QAction *Bt_Quitter1 = nullptr;
    QAction *Btn_Prg = nullptr;
    QAction *Btn_Seq = nullptr;
    QAction *Btn_RglPdef = nullptr;
    QAction *Btn_CfgBtn = nullptr;
    QAction *Btn_ToutEteindre = nullptr; // "Tout éteindre": the 16 relays off
    QAction *Aproposde1 = nullptr;
    QAction *Contactezmoi1 = nullptr;

    QMenu *Popup_TrayIcone = nullptr;
    QAction *Ouvrir1 = nullptr;
    QAction *Fermer1 = nullptr;
    QAction *Aproposde2 = nullptr;
    // Created by the first minimise to the notification area.
    QSystemTrayIcon *TrayIcon = nullptr;

    // 1 enables the command, 0 disables it, any other value leaves it alone:
    // p1 "Configuration des boutons", p2 Bo_CfgBtn, p3 "Programateur express",
    // p4 "Reglages par default", p5 Bo_Pmg, p6 "Sequenceur", p7 Bo_Seq.
    void ActivBtnP(int p1, int p2, int p3, int p4, int p5, int p6, int p7);

    // Opens a prompt; the action codes are interpreted by the three click handlers below.
    void CreationDynamique(const QString &caption, const QString &leftText,
                           const QString &rightText, const QString &middleText,
                           const QString &message, int leftCode, int rightCode, int middleCode,
                           bool leftVisible, bool rightVisible, bool middleVisible);
    // While a prompt is open the window takes no input; it stays painted as it is.
    void setInputBlocked(bool blocked);
    bool inputBlocked() const { return m_inputBlock != nullptr; }
    void ClickBtnGauche();
    void ClickBtnDroite();
    void ClickBtnMilieu();

    void Btn_Ouvrir1Click();
    void Exporter1Click();
    void Btn_Enregistrer1Click();
    void Bt_Quitter1Click();
    void Btn_PrgClick();
    void Btn_SeqClick();
    void Btn_RglPdefClick();
    void Btn_CfgBtnClick();
    // A failed write is reported in a box; the relays before it are off.
    void Btn_ToutEteindreClick();
    void Aproposde1Click();
    void Contactezmoi1Click();
    void Bo_PmgClick();
    void Bo_SeqClick();
    // The program's first window: this one, or with exactly one argument that is not an
    // option, the sequencer (this window then stays hidden behind it).
    // Reads where the window stands before hiding it, so that it comes back there.
    void setVisible(bool visible) override;
    void Start(const QStringList &arguments);
    // The scheduler window, made hidden once and kept for the run; `clock` is the one it is
    // made with (the system's when none).
    TForm_Progmt *scheduler(std::unique_ptr<ScheduleClock> clock = {});
    static bool opensSequencerAtStart(const QStringList &arguments);
    void Bo_CfgBtnClick();
    void Tool_DepannageClick();
    void Tool_MinimiserClick();
    void Tool_FermerClick();
    void Ouvrir1Click();
    void Fermer1Click();

    // Brings the window back from the task bar or the notification area.
    void restoreWindow();

    // The file dialogs of "Importer" and "Exporter"; an empty name means cancelled. Tests
    // replace them.
    std::function<QString()> chooseImportFile;
    std::function<QString()> chooseExportFile;

    // Every message box of the window goes through here; tests replace it.
    std::function<void(const QString &)> showMessage;

signals:
    // The close was allowed: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override; // FormCloseQuery
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createMenus();
    void createToolBars();
    void createPanel();
    void closePanel();
    void updateShape();
    void releaseMainWindow();
    void closeCurrentDialog();
    // Hands the sequencer the answer to its question about unsaved changes.
    void answerSequencer(int code);
    void answerScheduler(int code);
    void importProject(); // right code 6 of the "Importer" prompt
    void showReportingHelp(); // "Email" while the project has no contact address
    // Whether the scheduler has armed rows, which quitting would drop; the question then.
    static bool alarmsArmed();
    void quitConfirmed();
    void askQuitWithAlarms();
    // Bo_Pmg's hint names the scheduler's next alarm.
    void showNextAlarm(std::optional<qint64> nextMs, qint64 nowMs);
    // The tool bar tells that the port's device is gone, and looked for each second.
    void showPortLost(bool lost, const QString &name);
    void answerPropertiesQuestion(ClosingAnswer answer);

    QString defaultImportChooser();
    QString defaultExportChooser();
    void defaultMessage(const QString &text);

    std::unique_ptr<InputBlock> m_inputBlock;
    // The web server and the MQTT bridge, over the panel's port: replaced with the panel.
    std::unique_ptr<RemoteHost> m_remote;
    // The action codes of the three buttons of the current prompt.
    int m_leftCode = 0;
    int m_rightCode = 0;
    int m_middleCode = 0;
    // The project "Importer" asks about, until the prompt is answered.
    QString m_importPath;
    // Where the window was when the program hid it (behind the sequencer, the scheduler or
    // the notification icon); it comes back there.
    std::optional<QPoint> m_hiddenAt;
    // The same place, asked again once the window manager has mapped the window.
    std::optional<QPoint> m_placeAfterMap;
    // The real place read just before the window was hidden.
    std::optional<QPoint> m_placeBeforeHide;
};

} // namespace zelvar
