#include "sequencer/FSequenceur.h"

#include "../devices/ComPortPty.h"
#include "app/Form_Base.h"
#include "app/formDynamique.h"
#include "Shots.h"
#include "TestFiles.h"
#include "common/Pause.h"
#include "devices/PortSender.h"
#include "devices/ComPort.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "sequencer/SequencePlayer.h"
#include "widgets/Form_Splash.h"
#include "widgets/HorzUpDown.h"

#include "sequencer/StepClock.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::StepClock;
using zelvar::testing::PseudoTerminal;
using zelvar::testing::readFile;
using zelvar::testing::writeFile;

namespace {

// The demo folder in a temporary working directory, its panel on a pseudo-terminal board.
class Sequencer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(board.isValid());
        Forms::instance().sequence = SequenceState{};
        TFSequenceur::setMessageHook([this](const QString &text) { messages << text; });
        setErrorReportHook([this](const QString &text) {
            reports << text;
            clockRanDuringReport = clockRanDuringReport || clock->active;
        });
        setPauseHook([](int) {});
    }

    void TearDown() override
    {
        delete form.data();
        if (panel)
            zelvar::testing::dropHandlers(*panel->ComPort1);
        panel.reset();
        base.reset();
        QApplication::setQuitOnLastWindowClosed(true);
        TFSequenceur::setMessageHook({});
        setErrorReportHook({});
        setPauseHook({});
    }

    // One tick of the clock, its firings written and told before the test looks.
    void tick()
    {
        clock->step();
        if (panel)
            panel->ComPort1->sender().waitIdle();
    }

    // With the main window, its panel is the live panel and its prompt asks the questions.
    void useDemo(bool withSequence = true, bool withMainWindow = false)
    {
        const QDir demo(QStringLiteral(ZELVAR_DEMO));
        QByteArray panelFile = readFile(demo.filePath("Zelvar2.ini"));
        panelFile.replace("=COM1\r\n", "=" + board.slavePath().toLocal8Bit() + "\r\n");
        writeFile(dir.filePath("Zelvar2.ini"), panelFile);
        QDir().mkpath(dir.filePath("Activites"));
        for (const QString &name : QDir(demo.filePath("Activites")).entryList(QDir::Files))
            QFile::copy(demo.filePath("Activites/" + name), dir.filePath("Activites/" + name));
        if (withSequence)
            QFile::copy(demo.filePath("Sequenceur.ini"), dir.filePath("Sequenceur.ini"));
        if (withMainWindow) {
            QApplication::setQuitOnLastWindowClosed(false);
            base = std::make_unique<TForm_Base>();
            return;
        }
        panel = std::make_unique<TForm_ActBtn>();
        ASSERT_TRUE(panel->ComPort1->Connected());
    }

    void open()
    {
        auto owned = std::make_unique<StepClock>();
        clock = owned.get();
        form = new TFSequenceur(nullptr, std::move(owned));
        form->setGeometry(200, 200, 887, 662);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.data()));
    }

    SequenceState &state() { return Forms::instance().sequence; }
    template <class T> T *child(const QString &name) const { return form->findChild<T *>(name); }
    QAction *action(const QString &name) const { return form->findChild<QAction *>(name); }

    // Drags a widget with the left button by `delta`, as a user does.
    void drag(QWidget *handle, QPoint delta)
    {
        const QPoint at(handle->width() / 2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, at);
        QTest::mouseMove(handle, at + delta);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, at + delta);
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal board;
    std::unique_ptr<TForm_Base> base;
    std::unique_ptr<TForm_ActBtn> panel;
    QPointer<TFSequenceur> form;
    StepClock *clock = nullptr;
    QStringList messages;
    QStringList reports;
    bool clockRanDuringReport = false;
};

} // namespace

TEST_F(Sequencer, OpensEmptyWithItsFixedControls)
{
    open();
    // The start-up splash goes up once the window is shown, above it and owned by it.
    QTRY_VERIFY(Forms::instance().Form_Splash && Forms::instance().Form_Splash->isVisible());
    EXPECT_EQ(Forms::instance().Form_Splash->windowHandle()->transientParent(), form->windowHandle());
    saveShot(*form, "sequencer-empty");
    EXPECT_EQ(form->windowTitle(), "Sequenceur");
    EXPECT_EQ(form->Combo_Activites->itemText(0), "Default");
    EXPECT_EQ(form->Label1->text(), "00:00:00");
    EXPECT_EQ(form->Btn_Lecture->Caption(), "Lecture");
    EXPECT_EQ(form->PaCurseur->geometry(), QRect(122, 5, 600, 40));
    EXPECT_EQ(form->Btn_Loop->geometry(), QRect(120, 13, 9, 28));
    EXPECT_EQ(form->PControl->geometry(), QRect(230, 360, 428, 118));
    EXPECT_EQ(state().storedTrackCount(), -1);
}

TEST_F(Sequencer, DemoLoadsWithTheGeometryOfALoadedFile)
{
    useDemo();
    open();
    saveShot(*form, "sequencer-demo");
    ASSERT_EQ(form->tracks().size(), 4u);
    EXPECT_EQ(form->EditNomBtn->text(), "3");
    EXPECT_EQ(form->Btn_Loop->x(), 130);
    for (int n = 1; n <= 3; ++n) {
        const auto &t = form->tracks()[size_t(n)];
        EXPECT_EQ(t.ComboPiste->geometry(), QRect(3, 40 * n, 110, 21));
        EXPECT_EQ(t.ComboPiste->objectName(), QStringLiteral("ComboPiste%1").arg(n));
        EXPECT_EQ(t.DelBtn->geometry(), QRect(16, 40 * n + 20, 17, 17));
        EXPECT_EQ(t.AddBtn->objectName(), QStringLiteral("AddBtn%1").arg(n));
        EXPECT_EQ(t.ComboPiste->currentIndex(), state().Pistes[size_t(n)].Code);
    }
    TBtnSeq *first = form->button(1, 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->objectName(), "S1___Arret_1");
    EXPECT_EQ(first->geometry(), QRect(121, 40, 9, 28));
    // The control bar stands just below the last track and covers none of its buttons.
    EXPECT_EQ(form->PControl->y(), 160);
    for (size_t n = 1; n < form->tracks().size(); ++n)
        for (size_t j = 1; j < form->tracks()[n].Btns.size(); ++j)
            EXPECT_FALSE(form->PControl->geometry().intersects(form->tracks()[n].Btns[j]->geometry())) << n << " " << j;

    // "+ piste" keeps the area's colour below the tracks and the scroll range.
    const QSize client = form->scrollArea()->widget()->size();
    QTest::mouseClick(form->Btn_AddPiste, Qt::LeftButton);
    EXPECT_EQ(form->scrollArea()->widget()->size(), client);
    EXPECT_EQ(form->PControl->y(), 200); // below the new track
    QWidget *view = form->scrollArea()->viewport();
    const QImage shown = form->grab().toImage();
    EXPECT_EQ(shown.pixelColor(view->mapTo(form.data(), QPoint(850, view->height() - 3))), QColor(0x4C, 0x45, 0x7D));
}

TEST_F(Sequencer, EachTracksToolsActOnTheirOwnTrack)
{
    useDemo();
    open();
    const std::vector<int> third = state().Pistes[3].Btns;
    const int first = state().Pistes[1].btnCount();
    QTest::mouseClick(child<QPushButton>("AddBtn1"), Qt::LeftButton);
    EXPECT_EQ(state().PisteEnCours, 1);
    EXPECT_EQ(state().Pistes[1].btnCount(), first + 1);
    EXPECT_EQ(form->tracks()[1].ComboPiste->palette().color(QPalette::Button), QColor(Qt::red));
    QTest::mouseClick(child<QPushButton>("DelBtn1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("DelBtn1"), Qt::LeftButton);
    EXPECT_EQ(state().Pistes[1].btnCount(), first - 1);
    EXPECT_EQ(state().Pistes[3].Btns, third);

    // Track 2's up-down picks among track 2's buttons.
    ASSERT_GE(state().Pistes[2].btnCount(), 1);
    form->tracks()[2].BtnInc->step(1);
    EXPECT_EQ(state().PisteEnCours, 2);
    EXPECT_EQ(form->EditNomBtn->text(), form->button(2, state().BtnEnCours)->Caption());
    EXPECT_EQ(state().Pistes[3].Btns, third);
}

TEST_F(Sequencer, UnsavedChangesAreAskedAboutFirst)
{
    useDemo(true, true);
    open();
    const QByteArray saved = readFile(dir.filePath("Sequenceur.ini"));
    const auto prompt = [] { return Forms::instance().formDynamique.data(); };
    const auto answer = [&](QPushButton *TformDynamique::*button) {
        ASSERT_TRUE(prompt() && prompt()->isVisible());
        QTest::mouseClick(prompt()->*button, Qt::LeftButton);
        EXPECT_FALSE(prompt() && prompt()->isVisible());
        EXPECT_FALSE(InputBlock::blocks(form));
    };

    // "Nouveau" after a change asks; "Annuler" keeps everything.
    QTest::mouseClick(child<QPushButton>("AddBtn1"), Qt::LeftButton);
    const SequenceState changed = state();
    action("Btn_Nouveau")->trigger();
    ASSERT_TRUE(prompt());
    EXPECT_EQ(prompt()->windowTitle(), "Sequenceur");
    EXPECT_EQ(prompt()->Label_Ba->text(), "La séquence a changé. Enregistrer dans « Sequenceur.ini » avant de continuer ?");
    EXPECT_EQ((QStringList{prompt()->ButtonG_Ba->text(), prompt()->ButtonM_Ba->text(), prompt()->ButtonD_Ba->text()}),
              (QStringList{"Enregistrer", "Ne pas enregistrer", "Annuler"}));
    // Every answer is shown whole, the three side by side.
    for (QPushButton *b : {prompt()->ButtonG_Ba, prompt()->ButtonM_Ba, prompt()->ButtonD_Ba})
        EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + 8) << b->text().toStdString();
    EXPECT_LT(prompt()->ButtonG_Ba->geometry().right(), prompt()->ButtonM_Ba->x());
    EXPECT_LT(prompt()->ButtonM_Ba->geometry().right(), prompt()->ButtonD_Ba->x());
    EXPECT_TRUE(InputBlock::blocks(form)); // held, not greyed
    EXPECT_TRUE(form->isEnabled());
    saveShot(*prompt(), "sequencer-question");
    answer(&TformDynamique::ButtonD_Ba);
    EXPECT_EQ(state().Pistes, changed.Pistes);

    // Choosing an activity: "Annuler" puts the chooser and the current file back.
    const int jardin = form->Combo_Activites->findText("Jardin.ini");
    form->Combo_Activites->setCurrentIndex(jardin);
    emit form->Combo_Activites->activated(jardin);
    answer(&TformDynamique::ButtonD_Ba);
    EXPECT_EQ(form->Combo_Activites->currentIndex(), 0);
    EXPECT_EQ(state().FichierSeq, "Sequenceur.ini");
    EXPECT_EQ(state().Pistes, changed.Pistes);

    // "Ne pas enregistrer" goes on and leaves the file as it was.
    form->Combo_Activites->setCurrentIndex(jardin);
    emit form->Combo_Activites->activated(jardin);
    answer(&TformDynamique::ButtonM_Ba);
    EXPECT_EQ(state().FichierSeq, "Activites/Jardin.ini");
    EXPECT_EQ(readFile(dir.filePath("Sequenceur.ini")), saved);
    action("Btn_Nouveau")->trigger(); // as loaded: nothing to ask
    EXPECT_FALSE(prompt() && prompt()->isVisible());
    EXPECT_TRUE(form->tracks().empty());

    // Closing after a change: "Enregistrer" saves into the current file, then closes.
    QTest::mouseClick(form->Btn_AddPiste, Qt::LeftButton);
    form->close();
    EXPECT_TRUE(form->isVisible());
    answer(&TformDynamique::ButtonG_Ba);
    EXPECT_FALSE(form && form->isVisible());
    EXPECT_TRUE(readFile(dir.filePath("Activites/Jardin.ini")).contains("Nombre total de piste=1\r\n"));
}

TEST_F(Sequencer, AFileBeyondTheLimitIsRefusedAndTheWindowKeepsItsFile)
{
    useDemo();
    const QByteArray big = "[pistes]\r\nNombre total de piste=2\r\n[piste1]\r\nNombre total de btns=60000\r\n"
                           "[piste2]\r\nNombre total de btns=40998\r\n"; // 101 000 objects
    writeFile(dir.filePath("Activites/Big.ini"), big);
    open();
    const std::vector<TPiste> shown = state().Pistes;
    const int item = form->Combo_Activites->findText("Big.ini");
    form->Combo_Activites->setCurrentIndex(item);
    emit form->Combo_Activites->activated(item);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Probleme avec le fichier ini\nLa séquence compte plus de 100")) << messages[0].toStdString();
    EXPECT_EQ(state().FichierSeq, "Sequenceur.ini");
    EXPECT_EQ(form->Combo_Activites->currentIndex(), 0);
    EXPECT_EQ(state().Pistes, shown);
    action("Btn_Enregistrer1")->trigger();
    EXPECT_EQ(readFile(dir.filePath("Activites/Big.ini")), big);
}

TEST_F(Sequencer, EditingTracksAndTimedButtons)
{
    useDemo(false);
    open();
    QTest::mouseClick(form->Btn_AddPiste, Qt::LeftButton);
    auto *add = child<QPushButton>("AddBtn1");
    ASSERT_TRUE(add);
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(add, Qt::LeftButton);
    EXPECT_EQ(state().Pistes[1].Btns, (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(form->button(1, 3)->x(), 150);
    EXPECT_EQ(form->button(1, 3)->ColorFace(), 0x0000FF);
    EXPECT_EQ(form->button(1, 2)->ColorFace(), 0xC6ECFF);
    EXPECT_EQ(form->EditTemps->text(), "Piste 1  piste haut= 1  nb haut= 3nombtn = 0");

    // The track's up-down picks a button by its index.
    form->tracks()[1].BtnInc->step(-1);
    EXPECT_EQ(state().BtnEnCours, 2);
    EXPECT_EQ(form->button(1, 2)->ColorFace(), 0x0000FF);
    EXPECT_EQ(form->button(1, 3)->ColorFace(), 0xC6ECFF);
    EXPECT_EQ(form->EditNomBtn->text(), "S1___Arret_2");
    EXPECT_EQ(form->EditTemps->text(), "Piste 1  piste haut= 1  nb haut= 3");
    form->tracks()[1].BtnInc->step(1);

    // At the cursor, placed by a click on the ruler at 5 minutes.
    form->Image_CurseurClick({300, 0});
    action("AddBtnSurCurseur")->trigger();
    EXPECT_EQ(state().Pistes[1].Btns.back(), 300);

    // "-" removes the current (last) button.
    QTest::mouseClick(child<QPushButton>("DelBtn1"), Qt::LeftButton);
    EXPECT_EQ(state().Pistes[1].btnCount(), 3);
    EXPECT_EQ(form->EditTemps->text(), "Piste 1  piste haut= 1  nb haut= 3nb = 3");

    // The action list: "Off", then the panel's descriptions; choosing sets the track's code.
    QComboBox *combo = form->tracks()[1].ComboPiste;
    EXPECT_EQ(combo->count(), int(panel->buttons().size()));
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(state().Pistes[1].Code, 2);

    // The time up-down moves the current button second by second.
    form->IncTempsBtn->step(1);
    EXPECT_EQ(state().Pistes[1].Btns[3], 31);
    EXPECT_EQ(form->button(1, 3)->x(), 151);
    EXPECT_EQ(form->EditTemps->text(), "00:00:31");
}

TEST_F(Sequencer, DraggedButtonsStayOnTheirTrackAndWithinTheRuler)
{
    useDemo(false);
    open();
    QTest::mouseClick(form->Btn_AddPiste, Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("AddBtn1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("AddBtn1"), Qt::LeftButton);
    // The press makes the button under the mouse current, and the drag moves it.
    TBtnSeq *b = form->button(1, 1);
    drag(b, {-300, 25});
    EXPECT_EQ(state().BtnEnCours, 1);
    EXPECT_EQ(b->ColorFace(), 0x0000FF);
    EXPECT_EQ(form->button(1, 2)->x(), 140);
    EXPECT_EQ(b->pos(), QPoint(120, 40));
    EXPECT_EQ(state().Pistes[1].Btns[1], 0);
    EXPECT_EQ(form->EditTemps->text(), "00:00:00");

    form->TrackBar_CoefTaille->setValue(2);
    drag(b, {1500, 0});
    EXPECT_EQ(state().Pistes[1].Btns[1], 1200);
    EXPECT_EQ(b->x(), 1320);

    // The loop marker may stand 75 seconds a step past the ruler, and goes back to its row.
    drag(form->Btn_Loop, {2000, 30});
    EXPECT_EQ(form->Btn_Loop->pos(), QPoint(1470, 13));
    EXPECT_EQ(state().loopLeft, 1470);

    // Past the end at any zoom, both stay whole inside the area, within the scroll range.
    for (int zoom : {1, 2, 5, 12}) {
        form->TrackBar_CoefTaille->setValue(zoom);
        drag(b, {9000, 0});
        drag(form->Btn_Loop, {9000, 0});
        for (QWidget *w : {static_cast<QWidget *>(b), static_cast<QWidget *>(form->Btn_Loop)}) {
            EXPECT_TRUE(form->Scroll_PanelprincSeq->rect().contains(w->geometry())) << zoom;
            EXPECT_GT(form->scrollArea()->widget()->width(), w->geometry().right()) << zoom;
        }
    }
}

TEST_F(Sequencer, DeletingATrackRenumbersTheOnesBehindIt)
{
    useDemo(false);
    open();
    for (int n = 1; n <= 3; ++n) {
        QTest::mouseClick(form->Btn_AddPiste, Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("AddBtn%1").arg(n)), Qt::LeftButton);
    }
    EXPECT_EQ(form->ScrollBox_Piste->height(), 550);
    TBtnSeq *third = form->button(3, 1);
    form->OnEnterComboSeq(form->tracks()[2].ComboPiste);
    EXPECT_EQ(form->EditTemps->text(), "Piste 2\r  piste haut= 3\r  nb haut= 1");
    QTest::mouseClick(form->Btn_DelPiste, Qt::LeftButton);

    ASSERT_EQ(state().trackCount(), 2);
    const auto &moved = form->tracks()[2];
    EXPECT_EQ(moved.ComboPiste->objectName(), "ComboPiste2");
    EXPECT_EQ(moved.AddBtn->objectName(), "BtnAddPiste2");
    EXPECT_EQ(moved.DelBtn->objectName(), "BtnDelPiste2");
    EXPECT_EQ(moved.BtnInc->objectName(), "IncPiste2");
    EXPECT_EQ(moved.ComboPiste->y(), 80);
    EXPECT_EQ(moved.AddBtn->y(), 100);
    EXPECT_EQ(form->button(2, 1), third);
    EXPECT_EQ(third->objectName(), "S3___Arret_1");
    EXPECT_EQ(third->pos(), QPoint(130, 80));
}

TEST_F(Sequencer, ATakenButtonNameFallsBackAndSaysSo)
{
    useDemo(false);
    open();
    for (int n = 1; n <= 2; ++n) {
        QTest::mouseClick(form->Btn_AddPiste, Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("AddBtn%1").arg(n)), Qt::LeftButton);
    }
    form->OnEnterComboSeq(form->tracks()[1].ComboPiste);
    form->Btn_DelPisteClick();
    form->Btn_AddPisteClick();
    form->BtnAdd(false);
    EXPECT_EQ(form->button(2, 1)->objectName(), "Sd2   Default501");
    EXPECT_EQ(messages, QStringList{"erreur de nommage des boutons"});

    // Taken again: a further suffix, and the button still works.
    form->Btn_DelPisteClick();
    form->Btn_AddPisteClick();
    form->BtnAdd(false);
    form->OnEnterComboSeq(form->tracks()[1].ComboPiste);
    form->Btn_AddPisteClick();
    form->BtnAdd(false);
    form->BtnAdd(false);
    EXPECT_EQ(state().Pistes[3].btnCount(), 2);
}

TEST_F(Sequencer, ZoomAndAreaHeights)
{
    useDemo(false);
    open();
    form->TrackBar_CoefTaille->setValue(12);
    EXPECT_EQ(form->Label_CoefTaille->text(), "120 minutes");
    EXPECT_EQ(form->PaCurseur->width(), 7200);
    EXPECT_EQ(form->Image_Curseur->image().width(), 7200);
    EXPECT_EQ(form->UAvanRecul->Max(), 7200);
    EXPECT_EQ(form->Image_PlageBtn->width(), 7320);
    saveShot(*form, "sequencer-zoom12");
    for (int n = 1; n <= 12; ++n)
        form->Btn_AddPisteClick();
    EXPECT_EQ(form->ScrollBox_Piste->height(), 624);
    EXPECT_EQ(form->Btn_Curseur1->height(), 624);
}

TEST_F(Sequencer, PlayingFiresOnTheWireAndTheViewFollows)
{
    useDemo();
    open();
    board.drain(20);
    QTest::mouseClick(form->Btn_Lecture, Qt::LeftButton);
    EXPECT_EQ(form->Btn_Lecture->Caption(), "Pause");
    EXPECT_TRUE(clock->active);
    // Second 1 fires track 1, bound to panel button 2.
    clock->step();
    EXPECT_EQ(form->Label1->text(), "00:00:01");
    EXPECT_EQ(form->Btn_Curseur1->x(), 121);
    const ButtonEntry &entry = panel->buttons()[2];
    const QByteArray expected = entry.pressCommand + entry.releaseCommand + entry.clickCommand;
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(board.read(int(expected.size()), 500), expected);

    for (int i = 0; i < 4; ++i)
        clock->step();
    saveShot(*form, "sequencer-playing");
    board.drain(20);

    // Stop reads "Lecture" again, and the next press plays.
    QTest::mouseClick(form->Btn_Stop, Qt::LeftButton);
    EXPECT_EQ(form->Btn_Lecture->Caption(), "Lecture");
    EXPECT_FALSE(clock->active);
    QTest::mouseClick(form->Btn_Lecture, Qt::LeftButton);
    EXPECT_EQ(form->Btn_Lecture->Caption(), "Pause");
    EXPECT_TRUE(clock->active);
    QTest::mouseClick(form->Btn_Stop, Qt::LeftButton);

    // A click on the ruler shows the position it leaves, then takes the new one.
    form->Image_CurseurClick({400, 0});
    EXPECT_EQ(form->Label1->text(), "00:00:05");
    EXPECT_EQ(state().PositionLecture, 400);
    EXPECT_EQ(form->PControl->pos(), QPoint(300, 400));
    EXPECT_EQ(form->UAvanRecul->Position(), 400);

    form->TrackBar_CoefTaille->setValue(2);
    clock->step();
    EXPECT_EQ(form->scrollArea()->horizontalScrollBar()->value(),
              std::min(521 - 250, form->scrollArea()->horizontalScrollBar()->maximum()));
    EXPECT_EQ(form->PControl->x(), 421);
}

TEST_F(Sequencer, SerialErrorsWhilePlayingAreReportedOncePerRun)
{
    useDemo();
    open();
    board.closeMaster();
    form->Btn_LectureClick();
    for (int i = 0; i < 5; ++i)
        tick();
    EXPECT_EQ(reports.size(), 1);
    EXPECT_FALSE(clockRanDuringReport);
    EXPECT_TRUE(clock->active);
    EXPECT_FALSE(form->EditTemps->text().isEmpty());
    // The field shows the latest failure: once the port is known lost, that is what it says.
    const QString shown = form->EditTemps->text();
    EXPECT_TRUE(shown == reports.front() || shown.contains(QStringLiteral("Port perdu"))) << shown.toStdString();

    // A new run reports again.
    form->Btn_LectureClick();
    form->Btn_LectureClick();
    tick();
    tick();
    EXPECT_EQ(reports.size(), 2);
}

TEST_F(Sequencer, FileMenuAndActivityChooser)
{
    useDemo();
    open();
    const int demoItems = form->Combo_Activites->count();
    EXPECT_EQ(form->Combo_Activites->itemText(1), "Jardin.ini");

    // Save under another name: cancelled writes nothing; into Activites lists the new file.
    form->askSavePath = [] { return QString(); };
    action("Enrglesequenceursous1")->trigger();
    EXPECT_EQ(QDir(dir.filePath("Activites")).count(), uint(demoItems - 1 + 2));
    form->askSavePath = [this] { return dir.filePath("Activites/Copie.ini"); };
    form->Combo_Activites->setCurrentIndex(2);
    form->Combo_ActivitesSelect(2);
    action("Enrglesequenceursous1")->trigger();
    EXPECT_EQ(form->Combo_Activites->findText("Copie.ini"), 1);
    EXPECT_EQ(form->Combo_Activites->count(), demoItems + 1);
    // The file just saved is the current one: listed, in the title, and written next time.
    EXPECT_EQ(form->Combo_Activites->currentText(), "Copie.ini");
    EXPECT_EQ(state().FichierSeq, "Activites/Copie.ini");
    EXPECT_EQ(form->windowTitle(), "Sequenceur - Copie.ini");

    // A bare name goes into Activites with ".ini"; the program's own files are refused.
    const QByteArray panelFile = readFile(dir.filePath("Zelvar2.ini"));
    const QByteArray defaultSequence = readFile(dir.filePath("Sequenceur.ini"));
    for (const char *own : {"Zelvar2.ini", "default.ini", "Programateur.ini"}) {
        messages.clear();
        form->askSavePath = [this, own] { return dir.filePath(own); };
        action("Enrglesequenceursous1")->trigger();
        ASSERT_EQ(messages.size(), 1) << own;
        EXPECT_TRUE(messages[0].contains("fichier du programme")) << messages[0].toStdString();
    }
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), panelFile);
    EXPECT_EQ(state().FichierSeq, "Activites/Copie.ini");
    messages.clear();
    form->askSavePath = [] { return QStringLiteral("Essai"); };
    action("Enrglesequenceursous1")->trigger();
    EXPECT_EQ(state().FichierSeq, "Activites/Essai.ini");
    QTest::mouseClick(child<QPushButton>("AddBtn1"), Qt::LeftButton);
    action("Btn_Enregistrer1")->trigger();
    EXPECT_EQ(readFile(dir.filePath("Sequenceur.ini")), defaultSequence) << "the default sequence is left alone";
    EXPECT_NE(readFile(dir.filePath("Activites/Essai.ini")), readFile(dir.filePath("Activites/Copie.ini")));

    // "Nouveau", a plain save, then choosing that file is refused and leaves nothing else.
    form->Combo_ActivitesSelect(form->Combo_Activites->findText("Copie.ini"));
    EXPECT_EQ(state().trackCount(), 3);
    action("Btn_Nouveau")->trigger();
    EXPECT_TRUE(form->tracks().empty());
    action("Btn_Enregistrer1")->trigger();
    EXPECT_TRUE(readFile(dir.filePath("Activites/Copie.ini")).contains("Nombre total de piste=-1"));
    form->Combo_ActivitesSelect(form->Combo_Activites->findText("Copie.ini"));
    EXPECT_EQ(messages, QStringList{"Probleme avec le fichier ini"});
}

TEST_F(Sequencer, ClosingStopsPlaybackAndDropsTheTracks)
{
    useDemo();
    open();
    form->Btn_LectureClick();
    form->close();
    EXPECT_FALSE(clock->active);
    EXPECT_EQ(state().storedTrackCount(), -1);
}

TEST_F(Sequencer, CursorLoopAndControlBarMoveWithTheMouse)
{
    useDemo(false);
    open();
    // Dragging on the ruler drags the play cursor; its end shows the position it leaves.
    state().PositionLecture = 7;
    drag(form->Image_Curseur, {-200, 0});
    EXPECT_EQ(form->Label1->text(), "00:00:07");
    EXPECT_EQ(state().PositionLecture, -200);
    EXPECT_EQ(form->Btn_Curseur1->pos(), QPoint(120, 0));
    form->Image_CurseurClick({90, 5});
    drag(form->Image_Curseur, {50, 10});
    EXPECT_EQ(state().PositionLecture, 140);
    EXPECT_EQ(form->Btn_Curseur1->pos(), QPoint(260, 0));
    EXPECT_EQ(form->UAvanRecul->Position(), 140);

    action("Menuitem_SetLoop")->trigger();
    EXPECT_EQ(state().loopLeft, 260);
    drag(form->Btn_Loop, {-500, 0});
    EXPECT_EQ(form->Btn_Loop->x(), 120);
    EXPECT_EQ(form->EditTemps->text(), "00:00:00");

    // The up-down sets the position and moves the cursor.
    form->UAvanRecul->step(1);
    EXPECT_EQ(state().PositionLecture, 141);
    EXPECT_EQ(form->Btn_Curseur1->x(), 261);

    const QPoint bar = form->PControl->pos();
    drag(form->Image_Bloc, {-30, -40});
    EXPECT_EQ(form->PControl->pos(), bar + QPoint(-30, -40));

    // "Pistes" and "Regle" bring the track column and the ruler into view, and back home.
    form->TrackBar_CoefTaille->setValue(6);
    form->scrollArea()->horizontalScrollBar()->setValue(500);
    QTest::mouseClick(form->Btn_VoirPiste, Qt::LeftButton);
    EXPECT_EQ(form->ScrollBox_Piste->x(), 500);
    QTest::mouseClick(form->Btn_VoirPiste, Qt::LeftButton);
    EXPECT_EQ(form->ScrollBox_Piste->x(), -1);
    QTest::mouseClick(form->Btn_HideRegle, Qt::LeftButton);
    EXPECT_EQ(form->PaCurseur->y(), form->scrollArea()->verticalScrollBar()->value());
    QTest::mouseClick(form->Btn_HideRegle, Qt::LeftButton);
    EXPECT_EQ(form->PaCurseur->y(), 5);
}
