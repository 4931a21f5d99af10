#pragma once

#include "scheduler/PortWaitingFirings.h"
#include "scheduler/ScheduleEngine.h"

#include <QWidget>

class QTimer;

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class QTimer;

namespace zelvar {

class InputBlock;
class ScheduleMemory;
class TDegradeClass;
class TUpDown;

// The scheduler: rows of one-shot alarms, each firing one panel button at a local date and
// second. The window edits the rows; the schedule engine decides when a row fires. While it
// is shown the main window is hidden and its commands are off. Closing only hides it: the
// rows stay for the rest of the run and armed rows still fire; a log under the rows keeps
// the last firings and misses. The main window makes it hidden at start, and it loads the
// saved rows then, so that those saved armed run without it being shown.
class TForm_Progmt : public QWidget
{
    Q_OBJECT

public:
    // FormCreate. Without a clock, the system's.
    explicit TForm_Progmt(QWidget *owner, std::unique_ptr<ScheduleClock> clock = {});
    ~TForm_Progmt() override;

    TDegradeClass *DegradeClass1;
    QLabel *Label1; // the clock
    QGroupBox *GroupBox1;
    QPushButton *Btn_ajustHeure;
    QFrame *Panel1;
    QTimer *TimerA;
    QMenu *PopupMenu1;
    QAction *Enregistrer1;
    QAction *Ouvrir1;
    QAction *Btn_AddPrgm;
    QPlainTextEdit *Log = nullptr; // the last firings and misses, one a line
    QLabel *ServiceLine = nullptr;  // shown while the service runs the alarms

    // The controls of one row; n in their names is the row's slot.
    struct Row
    {
        int slot = 0;
        QDateEdit *DateTimePicker = nullptr;
        QPlainTextEdit *Memo = nullptr;
        TUpDown *UpDown_H = nullptr;
        TUpDown *UpDown_min = nullptr;
        TUpDown *UpDown_SecPrgm = nullptr;
        QComboBox *Combo = nullptr;
        QPushButton *Btn_Lancer = nullptr;
        QPushButton *Btn_Arreter = nullptr;
        QPushButton *Btn_SupriPrgm = nullptr;
        // To the right of the row: how it repeats, and the sun's event with its offset.
        QToolButton *Repetition = nullptr;
        QComboBox *Soleil = nullptr;
        QSpinBox *Decalage = nullptr;
        // Further right, when the row fires next (greyed: when it would if launched); over
        // the time field of a sun row, the sun's time computed for it.
        QLabel *Prochaine = nullptr;
        QLabel *HeureSoleil = nullptr;
        // Under the row, a period: "Période" ticked shows its end (a typed time or the sun's
        // event with its offset), its end button, and how often it says its state again.
        QCheckBox *Periode = nullptr;
        QLabel *Jusqua = nullptr;
        QLineEdit *FinHeure = nullptr;
        QComboBox *FinSoleil = nullptr;
        QSpinBox *FinDecalage = nullptr;
        QComboBox *FinBouton = nullptr; // button k at item k - 1
        QSpinBox *Reaffirmer = nullptr;
    };
    int rowCount() const { return int(m_rows.size()); }
    const Row &row(int i) const { return m_rows[size_t(i - 1)]; } // 1 <= i <= rowCount()
    int currentRow() const { return m_currentRow; }
    int slotCounter() const { return m_slotCounter; }
    ScheduleEngine &engine() { return *m_engine; }

    void TimerATimer();
    void Btn_AddPrgmClick();
    void Btn_ajustHeureClick();
    void EnregistrerClick();
    void OuvrirClick();
    // Loads Programateur.ini once at the program's start, if nothing was loaded yet: what
    // cannot be read goes to the log, no message box.
    void loadAtStart();
    // The rows differ from those last loaded or saved (armed or not aside).
    bool rowsChanged();
    // The answer to the question "Ouvrir" asks before dropping changed rows.
    enum PromptCode { PromptKeepRows = 30, PromptDropRows = 31 };
    void promptAnswered(int code);

    // Shared by the controls of every row.
    void OnClickCalendrier();
    void UpDown_1();
    void OnEnterCombo();
    void Select_Code();
    void Btn_Lancer1();
    void Btn_Arreter1();
    void Btn_SupprimerPrgm();
    // The repeat chooser's menu ("Une fois", "Chaque jour", a weekday), the sun chooser and
    // its offset, on the row of that control.
    void Select_Repetition(QObject *control, int choice);
    void Select_Soleil(QObject *control);
    // Any of the period's controls, on the row of that control.
    void Select_Periode(QObject *control);

    // Plain message boxes go through here; tests record them.
    std::function<void(const QString &)> showMessage;
    // Starts a program without waiting for it; false when it could not start. And whether a
    // program is installed. Tests replace both.
    std::function<bool(const QString &program, const QStringList &arguments)> startProgram;
    std::function<bool(const QString &program)> programInstalled;
    // Whether the service (zelvar-cli serve) runs the alarms of this folder. While it does,
    // the window is a view of its rows: every change is written to Programateur.ini, which
    // the service reads again, and the window's own alarms send nothing. Tests replace it.
    std::function<bool()> serviceRuns;
    bool viewOfService() const { return m_viewOfService; }

    // Colours of a row's time text and chooser, 0xBBGGRR.
    static constexpr int HighlightColor = 255;
    static constexpr int MissedColor = 0x4AB4FF; // amber
    // The window is widened for the repeat and sun choosers.
    static constexpr int FormWidth = 960;
    // Where each row's next firing is shown.
    static constexpr int NextLeft = 818;
    // The repeat menu's choices besides the weekdays 1..7.
    static constexpr int Once = 0;
    static constexpr int EveryDay = 8;
    // The log keeps this many lines, in this much height under the rows.
    static constexpr int LogLines = 50;
    static constexpr int LogHeight = 96;

protected:
    void closeEvent(QCloseEvent *event) override; // FormClose
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Control = std::function<QWidget *(const Row &)>;
    // Makes current the last row whose control of that kind has the focus (or raised the
    // handler: a click gives the focus); leaves the current row alone when none has.
    void findCurrentRow(Control control);
    bool validRow(int i) const { return i >= 1 && i <= rowCount(); }
    void paintChoosers();
    // The time's colour and tool tip, on the typed time and on the sun's time shown instead.
    void paintTime(int i, int color);
    void setTimeTip(int i, const QString &tip);
    void fired(int i, int button, qint64 dueMs);
    // A period's relay is put in the state it should be in.
    void asserted(int i, int button, bool inside);
    // Fires a panel button, a failure in a box; false when the button is not on the panel.
    bool sendButton(int button);
    void missed(int i, qint64 checkedAtMs, ScheduleEngine::Miss why, qint64 dueMs);
    // What the alarms of this folder did, shared with the service; row i's key in it.
    ScheduleMemory &memory();
    QString memoryKey(int i) const;
    void remember(int i, qint64 dueMs);
    void stopped(int i, ScheduleEngine::Arming why);
    // A firing that meets the panel's port lost waits for it; false when it is not lost.
    bool waitForPort(int i, int button, qint64 dueMs);
    void portFound();
    void logPortMissed(const PortWaitingFirings::Firing &firing);
    // A typed time takes effect when its editing ends (Enter, leaving the field), or before
    // anything reads the rows.
    void applyTypedTime(int i);
    void applyTypedTimes();
    // The row of a control that edits its values.
    int rowOf(const QObject *control) const;
    // "ligne 2 « Volet »"
    // `sent`: the button a firing sends when it is not the row's own (a period's end).
    QString rowName(int i, int sent = -1) const;
    void addToLog(qint64 atMs, const QString &what);
    void removeAllRows();
    // Every control of a row.
    static std::vector<QWidget *> controlsOf(const Row &row);
    // Replaces the rows with those of the file; problems go to a message box, or the log
    // when quiet. False when nothing was read: the rows shown stay.
    bool loadRows(bool quiet);
    // The rows' values as saved, armed or not aside, to see whether the user changed them.
    QByteArray rowsContent() const;
    // Shows when each row fires next; soon: once, after a run of changes.
    void showNext();
    void showNextSoon();
    void addRecurrenceControls(Row &row, int y);
    // Shows row i's recurrence as the engine holds it.
    void showRecurrence(int i);
    void addPeriodControls(Row &row, int y);
    // Shows row i's period as the engine holds it.
    void showPeriod(int i);
    // Why row i cannot run as a period on the panel; empty when it can or is no period.
    QString refusedPeriod(int i) const;
    // An armed row edited into a period the panel cannot run stops, as one edited into values
    // the engine cannot arm does.
    void stopRefusedPeriod(int i);
    // The place of Programateur.ini, for the sun's rows; why it could not be read, if so.
    QString loadPlace();
    void restoreArming(const std::vector<bool> &savedArmed);
    // Writes the rows to Programateur.ini, keeping the place it holds; says why it could not.
    bool writeRows();
    // The rows as they would be written, to see whether anything changed.
    QByteArray rowsBytes() const;
    // Enters or leaves the view of the service's rows, and writes what changed for it.
    void followService();
    template <typename Handler>
    void fromControl(QObject *control, Handler handler);

    std::unique_ptr<ScheduleClock> m_clock;
    std::unique_ptr<ScheduleEngine> m_engine;
    std::unique_ptr<ScheduleMemory> m_memory;
    std::vector<Row> m_rows;
    int m_currentRow = 0;
    int m_slotCounter = 0;
    QObject *m_sender = nullptr;
    bool m_viewOfService = false;
    QByteArray m_writtenForService;
    QByteArray m_savedContent;
    bool m_nextPending = false;
    std::unique_ptr<InputBlock> m_waitBlock; // while "Ouvrir" waits for its answer
    PortWaitingFirings m_portWaiting;
    QTimer *m_portWaitCheck = nullptr; // gives up what waited a minute while the port stays lost
};

} // namespace zelvar
