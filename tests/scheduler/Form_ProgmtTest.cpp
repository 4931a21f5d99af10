#include "app/Form_Base.h"
#include "app/formDynamique.h"
#include "common/SystemError.h"
#include "common/Pause.h"
#include "devices/PortSender.h"
#include "devices/RelayCommand.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "scheduler/Form_Progmt.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/ScheduleTime.h"
#include "settings/PagesDlg.h"
#include "settings/PlacePage.h"
#include "widgets/UpDown.h"

#include "FakeScheduleClock.h"
#include "Shots.h"
#include "TestFiles.h"
#include "devices/ComPortPty.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <cerrno>
#include <sys/stat.h>

using namespace zelvar;
using zelvar::testing::at;
using zelvar::testing::FakeScheduleClock;
using zelvar::testing::PseudoTerminal;

namespace {

const QDate Day(2026, 12, 7);
const QColor Red(255, 0, 0);

ButtonConfig button(int mode, int relay, const QString &description, int left)
{
    ButtonConfig b;
    b.mode = mode;
    b.relay = relay;
    b.left = left;
    b.top = 40;
    b.caption = description;
    b.description = description;
    return b;
}

// The main window (with its live panel on a pseudo-terminal) in a working directory of its
// own, and a scheduler on a stepped clock. Pauses record "bytes sent before|ms"; message
// boxes are recorded.
class Scheduler : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        setPauseHook([this](int ms) { pauses << QString::fromLatin1(pty.drain(20)) + "|" + QString::number(ms); });
        setErrorReportHook([this](const QString &message) { messages << message; });
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        config.settings.ExitMenusEnabled = false;
        config.buttons = {button(Imp, 1, QStringLiteral("Volet"), 10), button(On, 2, QStringLiteral("Lampe"), 120)};
        config.texts = {TextConfig{QStringLiteral("Maison"), 10, 10}};
        config.buttonsEverHeld = config.textsEverHeld = true;
        ASSERT_TRUE(writePanelConfig(config).save(PanelFiles::config()).ok);
        base = std::make_unique<TForm_Base>();
        base->show();
        auto fake = std::make_unique<FakeScheduleClock>();
        clock = fake.get();
        clock->now = at(Day, "07:29:50");
        form = new TForm_Progmt(base.get(), std::move(fake));
        form->showMessage = [this](const QString &text) { messages << text; };
        form->show();
        pty.drain(20);
    }

    void TearDown() override
    {
        if (form)
            form->close();
        base.reset();
        setPauseHook({});
        setErrorReportHook({});
        QApplication::setQuitOnLastWindowClosed(true);
        Forms::instance().settings = PanelSettings{};
    }

    // The stepped clock runs, and what its firings queued on the panel's port goes out.
    void runClock(int ms)
    {
        clock->run(ms);
        if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
            panel->ComPort1->sender().waitIdle();
    }
    const TForm_Progmt::Row &row(int i) const { return form->row(i); }
    void click(QPushButton *b) { QTest::mouseClick(b, Qt::LeftButton); }
    void choose(int i, int item)
    {
        row(i).Combo->setCurrentIndex(item);
        emit row(i).Combo->activated(item);
    }
    // Restarts as the program does: the main window makes its scheduler, hidden, which loads.
    void startProgram()
    {
        delete form;
        auto fake = std::make_unique<FakeScheduleClock>();
        (clock = fake.get())->now = at(Day, "07:29:50");
        form = base->scheduler(std::move(fake));
        form->showMessage = [this](const QString &text) { messages << text; };
        base->Start({"zelvar"});
    }
    static QColor colour(QWidget *w) { return w->palette().color(QPalette::Base); }
    static QString day() { return QLocale::system().toString(Day, QLocale::ShortFormat); }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal pty;
    std::unique_ptr<TForm_Base> base;
    QPointer<TForm_Progmt> form;
    FakeScheduleClock *clock = nullptr;
    QStringList pauses;
    QStringList messages;
};

TEST_F(Scheduler, NewRowsAndTheSeventhRowGrowsTheWindow)
{
    EXPECT_EQ(form->size(), QSize(TForm_Progmt::FormWidth, 423 + TForm_Progmt::LogHeight));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Programateur"));
    EXPECT_EQ(form->Btn_ajustHeure->geometry(), QRect(216, 372, 81, 33));
    EXPECT_TRUE(form->Label1->text().startsWith(QStringLiteral("Actuellement : ")));
    EXPECT_TRUE(form->Label1->text().contains(QStringLiteral(" il est 07:29:50")));
    EXPECT_EQ(form->rowCount(), 0);

    form->Btn_AddPrgm->trigger();
    const TForm_Progmt::Row &first = row(1);
    EXPECT_EQ(first.Memo->toPlainText(), QStringLiteral("07:29:50"));
    EXPECT_EQ(first.DateTimePicker->date(), Day);
    EXPECT_EQ((QList<int>{first.UpDown_H->Position(), first.UpDown_min->Position(), first.UpDown_SecPrgm->Position()}),
              (QList<int>{7, 29, 50}));
    EXPECT_EQ(first.Combo->currentText(), QString());
    EXPECT_EQ(first.Combo->placeholderText(), QStringLiteral("Description"));
    QStringList items;
    for (int k = 0; k < first.Combo->count(); ++k)
        items << first.Combo->itemText(k);
    EXPECT_EQ(items, (QStringList{"Off", "Volet", "Lampe"}));
    EXPECT_EQ(first.Btn_Lancer->objectName(), QStringLiteral("Btn_Lancer1"));
    EXPECT_EQ(first.Btn_SupriPrgm->geometry(), QRect(0, 55, 15, 25));

    for (int k = 2; k <= 6; ++k)
        form->Btn_AddPrgm->trigger();
    EXPECT_EQ(form->height(), 423 + TForm_Progmt::LogHeight);
    form->Btn_AddPrgm->trigger();
    EXPECT_EQ(form->height(), 540 + TForm_Progmt::LogHeight);
    EXPECT_EQ(form->Log->geometry().bottom(), form->height() - 9) << "the log stays under the rows";
    // Moved to the top, clear of the clock's text; no caption of a row under another control.
    EXPECT_EQ(form->Btn_ajustHeure->y(), 10);
    EXPECT_FALSE(form->Btn_ajustHeure->geometry().intersects(form->Label1->geometry()));
    EXPECT_LE(form->Btn_ajustHeure->geometry().right(), form->width());
    EXPECT_FALSE(row(1).Btn_Lancer->geometry().intersects(row(1).Btn_Arreter->geometry()));
    EXPECT_FALSE(row(1).Btn_Arreter->geometry().intersects(row(1).Repetition->geometry()));
    EXPECT_NE(form->minimumSize(), form->maximumSize()) << "resizable from the seventh row";
    EXPECT_EQ(row(7).Memo->geometry(), QRect(120, 350, 75, 21));
    EXPECT_EQ(row(7).Combo->objectName(), QStringLiteral("Combo7"));
    choose(3, 2);
    row(4).Memo->setPlainText(QStringLiteral("07:45:00"));
    click(row(4).Btn_Lancer); // refused: the other rows share one time; its chooser is highlighted
    runClock(1000);
    form->TimerATimer();
    saveShot(*form, QStringLiteral("scheduler-seven-rows"));
}

TEST_F(Scheduler, ADeletedRowLeavesItsSlotEmpty)
{
    for (int k = 0; k < 3; ++k)
        form->Btn_AddPrgm->trigger();
    QPointer<QPushButton> deleted = row(2).Btn_SupriPrgm;
    click(deleted);
    EXPECT_EQ(form->rowCount(), 2);
    EXPECT_EQ(form->engine().count(), 2);
    EXPECT_EQ(form->currentRow(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(deleted) << "gone once its own click was handled";

    form->Btn_AddPrgm->trigger();
    EXPECT_EQ(form->slotCounter(), 4);
    EXPECT_EQ(row(3).Memo->y(), 200);
    EXPECT_EQ(row(3).Memo->objectName(), QStringLiteral("Memo4"));
    EXPECT_EQ(row(2).Memo->objectName(), QStringLiteral("Memo3"));
}

TEST_F(Scheduler, ArmingSaysWhyItRefusesOnceAndHighlightsWhatItArms)
{
    form->Btn_AddPrgm->trigger();
    form->Btn_AddPrgm->trigger();
    // Both rows show the same time: refused, with the system's message.
    click(row(1).Btn_Lancer);
    EXPECT_EQ(messages, QStringList{"Deux Programations horaire ne peuvent etre identiques ! "});
    EXPECT_EQ(colour(row(1).Combo), Red) << "the row acted on";
    EXPECT_NE(colour(row(1).Memo), Red);

    // A row's up-downs rewrite its own time text.
    row(2).UpDown_min->step(+1);
    EXPECT_EQ(row(2).Memo->toPlainText(), QStringLiteral("07:30:50"));
    click(row(2).Btn_Lancer);
    EXPECT_TRUE(form->engine().row(2).armed);
    EXPECT_EQ(colour(row(2).Memo), Red);
    EXPECT_NE(colour(row(1).Combo), Red);

    messages.clear();
    row(1).Memo->setPlainText(QStringLiteral("07:29:00"));
    click(row(1).Btn_Lancer);
    row(1).Memo->setPlainText(QStringLiteral("7 h 30"));
    click(row(1).Btn_Lancer);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("déjà passé")));
    EXPECT_TRUE(messages[1].contains(QStringLiteral("7 h 30")));
    EXPECT_FALSE(form->engine().row(1).armed);

    click(row(2).Btn_Arreter);
    EXPECT_FALSE(form->engine().row(2).armed);
    EXPECT_NE(colour(row(2).Memo), Red);
    runClock(120000);
    EXPECT_TRUE(pauses.isEmpty());
}

TEST_F(Scheduler, AnArmedImpulseRowSwitchesItsRelayOnceAtItsSecond)
{
    form->Btn_AddPrgm->trigger();
    row(1).Memo->setPlainText(QStringLiteral("07:30:00"));
    choose(1, 1);
    choose(1, 0); // "Off" keeps the button chosen before
    EXPECT_EQ(form->engine().row(1).button, 1);
    click(row(1).Btn_Lancer);
    form->Btn_AddPrgm->trigger(); // no button chosen: fires silently
    row(2).Memo->setPlainText(QStringLiteral("07:30:01"));
    click(row(2).Btn_Lancer);

    runClock(12000);
    EXPECT_EQ(pauses, (QStringList{"S1N$#|100", "S1F$#|100"}));
    EXPECT_EQ(pty.drain(20), QByteArray());
    for (int i : {1, 2}) {
        EXPECT_FALSE(form->engine().row(i).armed);
        EXPECT_NE(colour(row(i).Memo), Red);
    }
    EXPECT_TRUE(messages.isEmpty());
}

// The board unplugged before an alarm's second: the tool bar shows the port lost and the
// alarm waits, without a box; plugged back behind the same link, the port opens again by
// its name and the alarm is sent there, within its minute.
TEST_F(Scheduler, AnAlarmThatMeetsALostPortIsSentWhenItComesBack)
{
    const QString link = dir.filePath(QStringLiteral("usb-Relais-if00"));
    ASSERT_TRUE(QFile::link(pty.slavePath(), link));
    Forms::instance().Form_ActBtn->ComPort1->setPort(link);
    form->Btn_AddPrgm->trigger();
    row(1).Memo->setPlainText(QStringLiteral("07:30:00"));
    choose(1, 2);
    click(row(1).Btn_Lancer);

    pty.closeMaster();
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return base->Bo_PortPerdu->isVisible(); }));
    EXPECT_TRUE(base->Bo_PortPerdu->toolTip().contains(link));
    runClock(12000);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(form->Log->toPlainText().contains(QStringLiteral("ligne 1 « Lampe » : en attente du port")))
        << form->Log->toPlainText().toStdString();

    PseudoTerminal replug;
    ASSERT_TRUE(QFile::remove(link) && QFile::link(replug.slavePath(), link));
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return !base->Bo_PortPerdu->isVisible(); }, 3000));
    EXPECT_EQ(replug.read(5), QByteArray("S2N$#"));
    EXPECT_TRUE(form->Log->toPlainText().contains(QStringLiteral("ligne 1 « Lampe » : déclenchée au retour du port")));
}

TEST_F(Scheduler, MissedRowsAreMarkedAndLogged)
{
    form->Btn_AddPrgm->trigger();
    form->Btn_AddPrgm->trigger();
    row(1).Memo->setPlainText(QStringLiteral("07:30:00"));
    choose(1, 2);
    click(row(1).Btn_Lancer);
    row(2).Memo->setPlainText(QStringLiteral("07:31:00"));
    click(row(2).Btn_Lancer);
    // Row 2 is moved into the past by its up-down, row 1 overtaken by the clock.
    runClock(1000);
    row(2).UpDown_H->step(-1);
    EXPECT_EQ(row(2).Memo->toPlainText(), QStringLiteral("06:31:00"));
    clock->jumpTo(at(Day, "07:40:00"));
    runClock(2000);
    EXPECT_TRUE(pauses.isEmpty());
    for (int i : {1, 2}) {
        EXPECT_EQ(colour(row(i).Memo), QColor::fromRgb(0xFF, 0xB4, 0x4A)) << i;
        EXPECT_TRUE(row(i).Memo->toolTip().contains(QStringLiteral("manquée"))) << i;
    }
    EXPECT_TRUE(row(1).Memo->toolTip().contains(QStringLiteral("07:40:00")));
    EXPECT_TRUE(row(2).Memo->toolTip().contains(QStringLiteral("déjà passée")));
    EXPECT_EQ(form->Log->toPlainText().split('\n'),
              (QStringList{day() + " 07:40:00  ligne 1 « Lampe » : manquée (prévue le " + day() + " à 07:30:00)",
                           day() + " 07:40:00  ligne 2 sans bouton : manquée (prévue le " + day() + " à 06:31:00)"}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Scheduler, ATypedTimeTakesEffectWhenItsEditingEnds)
{
    form->Btn_AddPrgm->trigger();
    form->Btn_AddPrgm->trigger();
    row(1).Memo->setPlainText(QStringLiteral("07:45:00"));
    click(row(1).Btn_Lancer);
    TForm_ActBtn::KeyHookPause pause; // typed straight into the fields
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    const auto type = [&](int i, const QString &text) {
        row(i).Memo->setFocus();
        row(i).Memo->selectAll();
        QTest::keyClicks(row(i).Memo, text);
    };
    // Half-typed, then Enter: the armed row stops quietly, marked and with its reason.
    type(1, QStringLiteral("03:09:"));
    EXPECT_EQ(form->engine().row(1).timeText, QStringLiteral("07:45:00"));
    EXPECT_TRUE(form->engine().row(1).armed);
    QTest::keyClick(row(1).Memo, Qt::Key_Return);
    EXPECT_EQ(row(1).Memo->toPlainText(), QStringLiteral("03:09:")) << "Enter adds no line";
    EXPECT_FALSE(form->engine().row(1).armed);
    EXPECT_EQ(colour(row(1).Memo), QColor::fromRgb(0xFF, 0xB4, 0x4A));
    EXPECT_TRUE(row(1).Memo->toolTip().contains(QStringLiteral("« 03:09: » n'est pas une heure")));
    EXPECT_TRUE(messages.isEmpty());
    click(row(1).Btn_Lancer);
    EXPECT_EQ(messages.size(), 1) << "the one message comes with Lancer";

    // Typed into another row's time and left: stopped too, the reason in its tool tip.
    type(1, QStringLiteral("07:50:00"));
    click(row(1).Btn_Lancer);
    type(1, QStringLiteral("07:29:50"));
    row(2).Memo->setFocus();
    EXPECT_FALSE(form->engine().row(1).armed);
    EXPECT_TRUE(row(1).Memo->toolTip().contains(QStringLiteral("une autre ligne a la même heure")));

    // The up-downs step from the time typed in the field.
    type(2, QStringLiteral("07:30:00"));
    row(2).UpDown_H->step(+1);
    EXPECT_EQ(row(2).Memo->toPlainText(), QStringLiteral("08:30:00"));
    EXPECT_EQ(form->engine().row(2).timeText, QStringLiteral("08:30:00"));
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(Scheduler, ATimeTheSpringChangeSkipsIsRefusedForWhatItIs)
{
    const QByteArray previous = qgetenv("TZ");
    qputenv("TZ", "Europe/Paris");
    tzset();
    form->Btn_AddPrgm->trigger();
    row(1).DateTimePicker->setDate(QDate(2027, 3, 28));
    row(1).Memo->setPlainText(QStringLiteral("02:30:00"));
    click(row(1).Btn_Lancer);
    if (previous.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previous);
    tzset();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(notInLocalTime())) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].contains(QStringLiteral("attendu")));
}

TEST_F(Scheduler, SavedRowsComeBackWithTheirButtons)
{
    form->Btn_AddPrgm->trigger();
    form->Btn_AddPrgm->trigger();
    row(1).Memo->setPlainText(QStringLiteral("2:53:22"));
    choose(1, 2);
    row(2).DateTimePicker->setDate(Day.addDays(1));
    row(2).Memo->setPlainText(QStringLiteral("02:53:22"));
    choose(2, 1);
    click(row(2).Btn_Lancer);
    form->Enregistrer1->trigger();
    EXPECT_TRUE(zelvar::testing::readFile(ScheduleFiles::path())
                    .startsWith("[Programateur]\r\nNombre de lignes=2\r\n\r\n[Ligne1]\r\nDate=2026-12-07\r\nHeure=2:53:22"));

    // The panel changed since: button 1 now has another description.
    std::vector<ButtonConfig> buttons{button(Imp, 1, QStringLiteral("Store"), 10), button(On, 2, QStringLiteral("Lampe"), 120)};
    Forms::instance().Form_ActBtn->Rebuild(buttons, {});
    form->Ouvrir1->trigger();
    ASSERT_EQ(form->rowCount(), 2);
    EXPECT_EQ(row(1).Memo->toPlainText(), QStringLiteral("2:53:22"));
    EXPECT_EQ(row(2).Memo->toPlainText(), QStringLiteral("02:53:22"));
    EXPECT_EQ(row(1).Combo->currentText(), QStringLiteral("Lampe"));
    EXPECT_EQ(form->engine().row(1).button, 2);
    EXPECT_EQ(row(2).DateTimePicker->date(), Day.addDays(1));
    EXPECT_EQ(row(2).Combo->currentText(), QStringLiteral("Off"));
    EXPECT_EQ(form->engine().row(2).button, 0);
    EXPECT_TRUE(row(2).Combo->toolTip().contains(QStringLiteral("Volet")));
    EXPECT_FALSE(form->engine().row(1).armed);
    EXPECT_TRUE(form->engine().row(2).armed) << "saved armed, still ahead, two times typed apart";
    // Reopened rows stand where a fresh window puts them, not below those they replaced.
    EXPECT_EQ(row(1).DateTimePicker->y(), 50);
    EXPECT_EQ(row(2).DateTimePicker->y(), 100);

    // A file beyond the limit is refused whole: the rows shown stay, the file too.
    const QByteArray tooLong = "[Programateur]\r\nNombre de lignes=100001\r\n";
    zelvar::testing::writeFile(ScheduleFiles::path(), tooLong);
    form->Ouvrir1->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("100001 lignes"))) << messages[0].toStdString();
    EXPECT_EQ(form->rowCount(), 2);
    EXPECT_TRUE(form->engine().row(2).armed);
    EXPECT_EQ(zelvar::testing::readFile(ScheduleFiles::path()), tooLong);
}

// A full disk once left an empty schedule and said nothing; a pipe in its place froze the window.
TEST_F(Scheduler, ASaveOnAFullDiskOrAFileThatIsNoFileSaysWhyAndKeepsWhatThereIs)
{
    form->Btn_AddPrgm->trigger();
    form->Enregistrer1->trigger();
    const QByteArray saved = zelvar::testing::readFile(ScheduleFiles::path());
    form->Btn_AddPrgm->trigger();
    {
        zelvar::testing::FileSizeLimit fullDisk(16);
        form->Enregistrer1->trigger();
    }
    EXPECT_EQ(zelvar::testing::readFile(ScheduleFiles::path()), saved);
    EXPECT_EQ(messages, QStringList{"Impossible d'enregistrer Programateur.ini : " + zelvar::systemErrorText(EFBIG)});

    messages.clear();
    ASSERT_TRUE(QFile::remove(ScheduleFiles::path()));
    ASSERT_EQ(::mkfifo("Programateur.ini", 0600), 0);
    // The row added since the save is not dropped without a question.
    form->Ouvrir1->trigger();
    ASSERT_TRUE(Forms::instance().formDynamique);
    click(Forms::instance().formDynamique->ButtonG_Ba); // "Oui"
    EXPECT_EQ(messages, QStringList{"Impossible de lire Programateur.ini : ce n'est pas un fichier ordinaire"});
    EXPECT_EQ(form->rowCount(), 2);
}

TEST_F(Scheduler, SettingTheClockStartsTheDesktopsToolOrSaysHow)
{
    QStringList started;
    form->startProgram = [&](const QString &program, const QStringList &arguments) {
        started << program + " " + arguments.join(' ');
        return true;
    };
    form->programInstalled = [](const QString &program) { return program == "systemsettings5"; };
    click(form->Btn_ajustHeure);
    EXPECT_EQ(started, QStringList{"systemsettings5 clock"});
    form->programInstalled = [](const QString &) { return false; };
    click(form->Btn_ajustHeure);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("timedatectl set-time")));
}

TEST_F(Scheduler, ClosedItKeepsItsRowsFiringAndQuittingAsksFirst)
{
    form->Btn_AddPrgm->trigger();
    row(1).Memo->setPlainText(QStringLiteral("07:30:00"));
    choose(1, 2);
    EXPECT_EQ(base->Bo_Pmg->toolTip(), QStringLiteral("Programateur express"));
    click(row(1).Btn_Lancer);
    EXPECT_FALSE(base->isVisible());
    form->close();
    EXPECT_TRUE(base->isVisible());
    EXPECT_TRUE(base->Bo_Pmg->isEnabled() && base->Btn_Prg->isEnabled() && base->Bo_CfgBtn->isEnabled());

    // The tool bar's clock shows what is waiting; reopening shows the same rows.
    base->Bo_Pmg->trigger();
    ASSERT_EQ(Forms::instance().Form_Progmt.data(), form.data());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(base->isVisible());
    EXPECT_TRUE(form->engine().row(1).armed);
    EXPECT_EQ(colour(row(1).Memo), Red);
    form->close();
    EXPECT_EQ(base->Bo_Pmg->toolTip(), QStringLiteral("Programateur express\nProchaine : 07:30:00"));

    // Quitting asks once, whatever asks: "Non" stays.
    Forms::instance().settings.ExitMenusEnabled = true;
    QSignalSpy closed(base.get(), &TForm_Base::closed);
    for (QAction *quit : {base->Bt_Quitter1, base->Fermer1}) {
        quit->trigger();
        TformDynamique *prompt = Forms::instance().formDynamique;
        ASSERT_TRUE(prompt && prompt->isVisible());
        EXPECT_EQ(prompt->windowTitle(), QStringLiteral("Quitter"));
        EXPECT_EQ(prompt->Label_Ba->text(), promptText(QStringLiteral("Des programmations sont actives. Quitter quand même ?")));
        EXPECT_EQ(prompt->ButtonG_Ba->text(), QStringLiteral("Oui"));
        EXPECT_EQ(prompt->ButtonD_Ba->text(), QStringLiteral("Non"));
        saveShot(*prompt, QStringLiteral("scheduler-quit-question"));
        click(prompt->ButtonD_Ba);
        EXPECT_EQ(closed.count(), 0);
    }

    // Closed, the window still fires its row and logs it.
    clock->runUntil(at(Day, "07:30:10"));
    Forms::instance().Form_ActBtn->ComPort1->sender().waitIdle();
    EXPECT_TRUE(pauses.join(' ').contains(QStringLiteral("S2N$#")));
    EXPECT_EQ(form->Log->toPlainText(), day() + QStringLiteral(" 07:30:00  ligne 1 « Lampe » : déclenchée"));
    EXPECT_EQ(base->Bo_Pmg->toolTip(), QStringLiteral("Programateur express"));
    base->Bo_Pmg->trigger();
    saveShot(*form, QStringLiteral("scheduler-log"));

    // Nothing armed: the ordinary question, and "Quitter" ends the program.
    form->close();
    base->Bt_Quitter1->trigger();
    ASSERT_TRUE(Forms::instance().formDynamique);
    EXPECT_EQ(Forms::instance().formDynamique->windowTitle(), QStringLiteral("Quitter le programme ?"));
    click(Forms::instance().formDynamique->ButtonD_Ba);
    EXPECT_EQ(closed.count(), 1);
}

// While the service runs the alarms, the window shows the rows it runs, writes every change
// for it, and its own alarms send nothing: no alarm fires twice.
TEST_F(Scheduler, WhileTheServiceRunsTheWindowWritesItsRowsAndFiresNothing)
{
    const std::vector<SavedScheduleRow> rows = {{Day, QStringLiteral("07:30:00"), 2, QStringLiteral("Lampe"), Recurrence{}, true}};
    ASSERT_TRUE(writeSchedule(rows).save(ScheduleFiles::path()).ok);
    form->serviceRuns = [] { return true; };
    form->TimerATimer();
    EXPECT_TRUE(form->ServiceLine->isVisible());
    ASSERT_EQ(form->rowCount(), 1);
    EXPECT_TRUE(form->engine().row(1).armed);
    click(row(1).Btn_Arreter);
    form->TimerATimer();
    EXPECT_FALSE(zelvar::testing::readFile(ScheduleFiles::path()).contains("Armee=1"));
    click(row(1).Btn_Lancer);
    form->TimerATimer();
    EXPECT_TRUE(zelvar::testing::readFile(ScheduleFiles::path()).contains("Armee=1"));
    saveShot(*form, QStringLiteral("scheduler-service"));

    runClock(12000);
    EXPECT_TRUE(pauses.isEmpty()) << pauses.join(" / ").toStdString();
    EXPECT_EQ(pty.drain(20), QByteArray());
    EXPECT_TRUE(form->Log->toPlainText().contains(QStringLiteral("laissée au service"))) << form->Log->toPlainText().toStdString();
}

} // namespace

TEST_F(Scheduler, RepeatAndSunChoosersAreSavedAndOpeningArmsWhatWasArmed)
{
    form->Btn_AddPrgm->trigger();
    form->Btn_AddPrgm->trigger();
    form->Btn_AddPrgm->trigger();
    // Row 1: Monday and Friday at 07:30; row 2: at sunset minus 10 minutes, once.
    row(1).Memo->setPlainText(QStringLiteral("07:30:00"));
    const auto menuChoice = [&](int i, int value) {
        for (QAction *action : row(i).Repetition->menu()->actions())
            if (!action->isSeparator() && action->data().toInt() == value)
                action->trigger();
    };
    menuChoice(1, 1);
    menuChoice(1, 5);
    EXPECT_EQ(row(1).Repetition->text(), QStringLiteral("lun ven"));
    EXPECT_EQ(form->engine().row(1).recurrence.weekdays, 0x11);
    row(2).Soleil->setCurrentIndex(2);
    emit row(2).Soleil->activated(2);
    row(2).Decalage->setValue(-10);
    EXPECT_EQ(form->engine().row(2).recurrence, (Recurrence{0, Recurrence::Sun::Set, -10}));
    EXPECT_FALSE(row(2).Memo->isEnabled()) << "a sun row's time is not used";
    // Without a place a sun row is refused for it.
    click(row(2).Btn_Lancer);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("Lieu"))) << messages[0].toStdString();
    messages.clear();
    zelvar::testing::writeFile(ScheduleFiles::path(), "[Programateur]\r\nLatitude=48.8566\r\nLongitude=2.3522\r\n");
    click(row(1).Btn_Lancer);
    click(row(2).Btn_Lancer);
    // Row 3 fires once in a few seconds: saved armed, and already fired when the file is opened.
    row(3).Memo->setPlainText(QStringLiteral("07:29:55"));
    click(row(3).Btn_Lancer);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
    form->Enregistrer1->trigger();
    const QByteArray saved = zelvar::testing::readFile(ScheduleFiles::path());
    EXPECT_TRUE(saved.contains("Nombre de lignes=3\r\nLatitude=48.8566\r\nLongitude=2.3522\r\n")) << saved.constData();
    EXPECT_TRUE(saved.contains("Repetition=1,5\r\nArmee=1\r\n")) << saved.constData();
    EXPECT_TRUE(saved.contains("Soleil=coucher\r\nDecalage=-10\r\nArmee=1\r\n")) << saved.constData();

    clock->runUntil(at(Day, "07:30:10"));
    form->Ouvrir1->trigger();
    ASSERT_EQ(form->rowCount(), 3);
    EXPECT_TRUE(form->engine().row(1).armed && form->engine().row(2).armed);
    EXPECT_EQ(colour(row(1).Memo), Red);
    EXPECT_EQ(row(1).Repetition->text(), QStringLiteral("lun ven"));
    EXPECT_EQ(row(2).Soleil->currentText(), QStringLiteral("Coucher du soleil"));
    EXPECT_EQ(row(2).Decalage->value(), -10);
    EXPECT_FALSE(form->engine().row(3).armed);
    EXPECT_EQ(form->Log->toPlainText().count(QStringLiteral("ligne 3")), 1) << "fired once, then nothing to say";
    saveShot(*form, QStringLiteral("scheduler-repeat-and-sun"));

    // A value that cannot be read: said with its row and key, the row left disarmed.
    QByteArray bad = saved;
    bad.replace("Repetition=1,5", "Repetition=lundi");
    zelvar::testing::writeFile(ScheduleFiles::path(), bad);
    form->Ouvrir1->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("ligne 1, Repetition « lundi »"))) << messages[0].toStdString();
    EXPECT_FALSE(form->engine().row(1).armed);
    EXPECT_TRUE(form->engine().row(2).armed);
}


// After a restart the scheduler was empty, and "Enregistrer" then replaced the saved rows.
TEST_F(Scheduler, AtStartTheSavedRowsRunWithoutTheWindowAndAreKept)
{
    ProfileFile file = writeSchedule({{Day, "07:30:00", 2, "Lampe", Recurrence{Recurrence::EveryDay}, true},
                                      {Day, "08:00:00", 1, "Volet", Recurrence{}, true}});
    file.writeString("Ligne2", "Repetition", "lundi");
    ASSERT_TRUE(file.save(ScheduleFiles::path()).ok);
    startProgram();
    EXPECT_FALSE(form->isVisible());
    ASSERT_EQ(form->rowCount(), 2);
    EXPECT_TRUE(form->engine().row(1).armed && !form->engine().row(2).armed);
    EXPECT_TRUE(form->Log->toPlainText().contains("ligne 2, Repetition « lundi »")) << "in the log, no box";
    EXPECT_EQ(base->Bo_Pmg->toolTip(), "Programateur express\nProchaine : 07:30:00");
    runClock(12000);
    EXPECT_TRUE(pauses.join(' ').contains("S2N$#")) << pauses.join(" / ").toStdString();

    form->Btn_AddPrgm->trigger();
    form->Enregistrer1->trigger();
    EXPECT_EQ(readSchedule(ProfileFile::load(ScheduleFiles::path())).rows.size(), 3u);
    // "Ouvrir" asks before dropping a change; "Non" keeps it.
    row(3).Memo->setPlainText("10:00:00");
    form->Ouvrir1->trigger();
    TformDynamique *prompt = Forms::instance().formDynamique;
    ASSERT_TRUE(prompt && prompt->isVisible());
    EXPECT_EQ(prompt->Label_Ba->text(), "Les lignes ont changé. Les abandonner ?");
    EXPECT_EQ(prompt->ButtonG_Ba->text() + prompt->ButtonD_Ba->text(), "OuiNon");
    click(prompt->ButtonD_Ba);
    EXPECT_EQ(row(3).Memo->toPlainText(), "10:00:00");
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" / ").toStdString();
}

// A sun row armed for the old place's sunset moved only at "Arreter" then "Lancer".
TEST_F(Scheduler, ANewPlaceMovesTheArmedSunRowsAtOnce)
{
    zelvar::testing::writeFile(ScheduleFiles::path(), "[Programateur]\r\nLatitude=48.8566\r\nLongitude=2.3522\r\n");
    form->Btn_AddPrgm->trigger();
    choose(1, 2);
    form->Select_Repetition(row(1).Repetition, TForm_Progmt::EveryDay);
    row(1).Soleil->setCurrentIndex(2);
    emit row(1).Soleil->activated(2);
    click(row(1).Btn_Lancer);
    const qint64 paris = form->engine().instantOf(1).value_or(0);
    EXPECT_FALSE(row(1).Memo->isVisible()) << "its typed time is not shown";
    EXPECT_EQ(row(1).HeureSoleil->palette().color(QPalette::Window), Red) << "the sun's time is marked armed";
    QPointer<TPagesDlg> dialog = TPagesDlg::open({form.data(), nullptr});
    TForm_ActBtn::KeyHookPause pause; // typed straight into the fields
    for (QLineEdit *edit : {dialog->Lieu->Edit_Latitude, dialog->Lieu->Edit_Longitude}) {
        edit->clear();
        QTest::keyClicks(edit, edit == dialog->Lieu->Edit_Latitude ? "48.3904" : "-4.4861");
    }
    click(dialog->Btn_Appliquer);
    dialog->close();
    // Brest, 6.8 degrees west of Paris: the sun sets about 27 minutes later.
    ASSERT_TRUE(form->engine().row(1).armed);
    const qint64 brest = form->engine().instantOf(1).value_or(0);
    EXPECT_GT(brest - paris, 25 * 60000);
    EXPECT_LT(brest - paris, 30 * 60000);
    EXPECT_EQ(row(1).HeureSoleil->text(), QDateTime::fromMSecsSinceEpoch(brest).toString("hh:mm:ss"));
}

// Monday 7 December, 07:29:50: each row shows its next firing, greyed when not launched.
TEST_F(Scheduler, EachRowShowsWhenItFiresNextAndTheWeekdayMenuStaysOpen)
{
    const auto shown = [](int days, const QString &time) {
        return QLocale::system().toString(Day.addDays(days), QLocale::ShortFormat) + " " + time;
    };
    const struct { QString time; int repeat; bool arm; QString next; } cases[] = {
        {"07:30:00", TForm_Progmt::EveryDay, true, shown(0, "07:30:00")},
        {"07:29:00", 5, true, shown(4, "07:29:00")}, // Fridays
        {"08:00:00", TForm_Progmt::Once, false, shown(0, "08:00:00")},
        {"07:00:00", TForm_Progmt::Once, false, QString()}, // over
    };
    TForm_ActBtn::KeyHookPause pause;
    for (const auto &c : cases) {
        form->Btn_AddPrgm->trigger();
        const int i = form->rowCount();
        choose(i, 2);
        row(i).Memo->setPlainText(c.time);
        QTest::keyClick(row(i).Memo, Qt::Key_Return);
        if (c.repeat != TForm_Progmt::Once)
            form->Select_Repetition(row(i).Repetition, c.repeat);
        if (c.arm)
            click(row(i).Btn_Lancer);
    }
    form->TimerATimer();
    for (int i = 1; i <= form->rowCount(); ++i)
        EXPECT_EQ((std::pair{row(i).Prochaine->text(), row(i).Prochaine->isEnabled()}), (std::pair{cases[i - 1].next, cases[i - 1].arm})) << i;
    runClock(12000);
    form->TimerATimer();
    EXPECT_EQ(row(1).Prochaine->text(), shown(1, "07:30:00")) << "the next day once fired";
    EXPECT_EQ(base->Bo_Pmg->toolTip(), "Programateur express\nProchaine : " + shown(1, "07:30:00"));

    // Monday to Friday in one opening of the menu.
    QMenu *menu = row(3).Repetition->menu();
    menu->popup(row(3).Repetition->mapToGlobal(QPoint(0, 21)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    const QList<QAction *> actions = menu->actions(); // once, every day, a separator, Monday…
    for (QAction *day : actions.mid(3, 5))
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(day).center());
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(form->engine().row(3).recurrence.weekdays, 0x1f);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(actions[1]).center());
    EXPECT_FALSE(menu->isVisible()) << "other choices close it";
}

// One lost "off" left a pump running until the next day: a period puts its relay in its state.
TEST_F(Scheduler, APeriodIsPutInItsStateAtStartKeptByOpeningAndSavingAndRefusedWhenItPulses)
{
    Forms::instance().Form_ActBtn->Rebuild({button(Imp, 1, "Volet", 10), button(On, 2, "Pompe", 120), button(Off, 2, "Arrêt", 230)}, {});
    const ProfileFile file = writeSchedule({{Day, "07:00:00", 2, "Pompe", Recurrence{Recurrence::EveryDay}, true,
                                             PeriodEnd{"07:45:00", Recurrence::Sun::None, 0, 3}, "Arrêt", 0}});
    ASSERT_TRUE(file.save(ScheduleFiles::path()).ok);
    startProgram();
    runClock(1000);
    EXPECT_TRUE(pauses.join(' ').contains("S2N$#")) << "07:29:51 is inside: on. " << pauses.join(" / ").toStdString();
    EXPECT_TRUE(form->Log->toPlainText().contains("ligne 1 « Pompe » : remise dans sa période"));
    // The board's port lost and back: the pump is put back on.
    const QString link = dir.filePath("usb-Relais-if00");
    ASSERT_TRUE(QFile::link(pty.slavePath(), link));
    Forms::instance().Form_ActBtn->ComPort1->setPort(link);
    pty.closeMaster();
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return base->Bo_PortPerdu->isVisible(); }));
    PseudoTerminal replug;
    ASSERT_TRUE(QFile::remove(link) && QFile::link(replug.slavePath(), link));
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return !base->Bo_PortPerdu->isVisible(); }, 3000));
    runClock(0);
    EXPECT_EQ(replug.read(5), QByteArray("S2N$#"));
    base->Bo_Pmg->trigger();
    form->Ouvrir1->trigger();
    EXPECT_TRUE(row(1).Periode->isChecked() && row(1).FinHeure->isVisible());
    EXPECT_EQ(row(1).FinBouton->currentText(), "Arrêt");
    saveShot(*form, "scheduler-period");
    form->Enregistrer1->trigger();
    EXPECT_EQ(zelvar::testing::readFile(ScheduleFiles::path()), file.toBytes());

    // "Volet" pulses: armed as a row, it stops when made a period, and "Lancer" says why.
    form->Btn_AddPrgm->trigger();
    choose(2, 1);
    row(2).Memo->setPlainText("08:00:00");
    click(row(2).Btn_Lancer);
    ASSERT_TRUE(form->engine().row(2).armed);
    row(2).Periode->click();
    EXPECT_FALSE(form->engine().row(2).armed);
    click(row(2).Btn_Lancer);
    EXPECT_EQ(messages, QStringList{"« Volet » donne une impulsion : une période ne peut commencer ou finir que par un "
                                    "bouton On ou Off. La période n'est pas lancée."});
    EXPECT_FALSE(form->engine().row(2).armed);
}
