#include "app/Form_Base.h"
#include "forms/Forms.h"
#include "forms/ErrorReport.h"
#include "app/formDynamique.h"
#include "common/Pause.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/PortSender.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "settings/PortSettingsFile.h"
#include "panel/ProjectFile.h"
#include "panel/ShortcutKeys.h"
#include "settings/Form_CfgErreur.h"
#include "scheduler/Form_Progmt.h"
#include "sequencer/FSequenceur.h"
#include "widgets/XiButton2.h"

#include "../devices/ComPortPty.h"
#include "TestFiles.h"

#include <QAction>
#include <QMenu>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

#include <cerrno>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;
using zelvar::testing::readFile;

namespace {

ButtonConfig button(const QString &caption, int left, int top, int relay)
{
    ButtonConfig b;
    b.mode = 2;
    b.relay = relay;
    b.left = left;
    b.top = top;
    b.caption = caption;
    b.description = caption + QStringLiteral(" : aide");
    return b;
}

// Receives the links the program asks the desktop to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

// One button as the panel shows it: caption, place, tool tip.
struct Shown
{
    QString caption;
    QRect geometry;
    QString hint;
    bool operator==(const Shown &) const = default;
};

void PrintTo(const Shown &shown, std::ostream *os)
{
    *os << shown.caption.toStdString() << " at " << shown.geometry.x() << "," << shown.geometry.y();
}

// The main window as the program creates it, in a working directory of its own whose panel
// drives a pseudo-terminal. Message boxes are recorded instead of shown.
class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        // Closing the main window must not end the test program.
        QApplication::setQuitOnLastWindowClosed(false);
        setPauseHook([](int) {});
        setErrorReportHook([this](const QString &message) { errors << message; });
        writeConfig(saved(), PanelFiles::config());
        PanelConfig factory = saved();
        factory.buttons = {button(QStringLiteral("Usine 1"), 10, 200, 5),
                           button(QStringLiteral("Usine 2"), 100, 200, 6),
                           button(QStringLiteral("Usine 3"), 190, 200, 7)};
        writeConfig(factory, PanelFiles::factory());
        QImage picture(600, 350, QImage::Format_RGB32);
        picture.fill(QColor(30, 90, 60));
        ASSERT_TRUE(savePanelPicture(picture, PanelFiles::picture()));
    }

    void TearDown() override
    {
        base.reset();
        setPauseHook({});
        setErrorReportHook({});
        QApplication::setQuitOnLastWindowClosed(true);
        Forms::instance().settings = PanelSettings{};
        Forms::instance().QuitConfirmed = false;
    }

    PanelConfig saved(bool exitMenus = true) const
    {
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        config.settings.ExitMenusEnabled = exitMenus;
        config.buttons = {button(QStringLiteral("Salon"), 40, 60, 1),
                          button(QStringLiteral("Cuisine"), 140, 60, 2)};
        config.texts = {TextConfig{QStringLiteral("Maison"), 40, 20}};
        config.buttonsEverHeld = config.textsEverHeld = true;
        return config;
    }

    void writeConfig(const PanelConfig &config, const QString &path)
    {
        ASSERT_TRUE(writePanelConfig(config).save(path).ok);
    }

    void open()
    {
        base = std::make_unique<TForm_Base>();
        base->showMessage = [this](const QString &text) { messages << text; };
        base->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(base.get()));
    }

    TformDynamique *prompt() const { return Forms::instance().formDynamique; }

    // "Importer" of `path`, answered "Oui".
    void importConfirmed(const QString &path)
    {
        base->chooseImportFile = [path] { return path; };
        base->Btn_Ouvrir1->trigger();
        ASSERT_TRUE(promptShown());
        QTest::mouseClick(prompt()->ButtonD_Ba, Qt::LeftButton);
    }
    bool promptShown() const { return prompt() && prompt()->isVisible(); }

    QList<Shown> panelButtons() const
    {
        QList<Shown> shown;
        const TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
        if (!panel)
            return shown;
        for (size_t k = 1; k < panel->buttons().size(); ++k) {
            auto *control = qobject_cast<TXiButton2 *>(panel->buttons()[k].button.data());
            if (control)
                shown << Shown{control->Caption(), control->geometry(), control->toolTip()};
        }
        return shown;
    }

    QStringList captions() const
    {
        QStringList result;
        for (const Shown &b : panelButtons())
            result << b.caption;
        return result;
    }

    // The seven switched commands, in the order of the switch's flags.
    QList<bool> commands() const
    {
        return {base->Btn_CfgBtn->isEnabled(), base->Bo_CfgBtn->isEnabled(), base->Btn_Prg->isEnabled(),
                base->Btn_RglPdef->isEnabled(), base->Bo_Pmg->isEnabled(), base->Btn_Seq->isEnabled(),
                base->Bo_Seq->isEnabled()};
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal pty;
    std::unique_ptr<TForm_Base> base;
    QStringList messages;
    QStringList errors;
};

const QList<bool> AllOn{true, true, true, true, true, true, true};
const QList<bool> AllOff{false, false, false, false, false, false, false};

TEST_F(MainWindow, BuildsTheFrameAroundTheLivePanel)
{
    open();
    EXPECT_EQ(base->size(), QSize(600, 432));
    EXPECT_TRUE(base->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(base->windowTitle(), QStringLiteral("Zelvar"));
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->parentWidget(), base->Panel1);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 600, 350));
    EXPECT_EQ(captions(), (QStringList{QStringLiteral("Salon"), QStringLiteral("Cuisine")}));
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_EQ(Forms::instance().Form_Base, base.get());

    // The shape: the panel and the tool bars are solid; the title's letters and the footer's
    // tab too; the key colour around them is see-through.
    const QRegion shape = base->mask();
    EXPECT_TRUE(shape.contains(QRect(0, 44, 600, 350)));
    EXPECT_TRUE(shape.contains(base->ToolBar2->geometry()));
    EXPECT_TRUE(shape.contains(QPoint(300, 400)));  // footer tab
    EXPECT_FALSE(shape.contains(QPoint(20, 420)));  // beside the tab
    EXPECT_FALSE(shape.contains(QPoint(590, 2)));   // above the banner
    EXPECT_TRUE(shape.contains(QPoint(100, 18)));   // banner bar
    EXPECT_FALSE(shape.contains(QPoint(100, 30)));  // below it
}

TEST_F(MainWindow, CommandsFollowTheSwitchOfEachCaller)
{
    open();
    // The panel's creation gives all seven, the two sequencer entries included.
    EXPECT_EQ(commands(), AllOn);

    ActivBtnP(0, 0, 1, 0, 0, 0, 0); // the layout editor opens
    EXPECT_EQ(commands(), (QList<bool>{false, false, true, false, false, false, false}));
    ActivBtnP(2, -1, 0, 7, 1, 2, 1); // only 0 and 1 change anything
    EXPECT_EQ(commands(), (QList<bool>{false, false, false, false, true, false, true}));
    ActivBtnP(1, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(commands(), AllOn);

    // "Depannage" opens the port form inside the panel area, without its explanation, and
    // turns everything off, itself included, until the form is closed.
    base->Tool_Depannage->trigger();
    TForm_CfgErreur *form = Forms::instance().Form_CfgErreur;
    ASSERT_TRUE(form);
    EXPECT_EQ(form->parentWidget(), base->Panel1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Label2->text().isEmpty());
    EXPECT_EQ(commands(), AllOff);
    EXPECT_FALSE(base->Tool_Depannage->isEnabled());

    form->Btn_FermerCfgEClick();
    EXPECT_EQ(commands(), AllOn);
    EXPECT_TRUE(base->Tool_Depannage->isEnabled());
}

TEST_F(MainWindow, ToutEteindreSwitchesTheSixteenRelaysOff)
{
    open();
    QStringList items;
    for (const QAction *item : base->Reglages1->actions())
        items << item->text();
    EXPECT_EQ(items, (QStringList{QStringLiteral("Reglages par default"), QStringLiteral("Configuration des boutons"),
                                  QStringLiteral(u"Tout éteindre")}));
    if (const QByteArray shots = qgetenv("ZELVAR_SHOTS"); !shots.isEmpty()) {
        const auto *title = base->ToolBar2->findChild<QToolButton *>(QStringLiteral("Reglages1Button"));
        base->Reglages1->popup(title->mapToGlobal(QPoint(0, title->height())));
        QTest::qWait(200);
        base->screen()->grabWindow(0).save(QDir(QString::fromLocal8Bit(shots)).filePath("reglages-menu.png"));
        base->Reglages1->hide();
    }

    TCustomComPort &port = *Forms::instance().Form_ActBtn->ComPort1;
    const RelayStates &states = Forms::instance().relayStates;
    port.SendText("S9N$#");
    pty.drain(20);
    base->Btn_ToutEteindre->trigger();
    port.sender().waitIdle();
    QByteArray expected;
    for (int relay = 1; relay <= 16; ++relay) {
        expected += "S" + QByteArray::number(relay) + "F$#";
        EXPECT_EQ(states.state(relay), RelayStates::State::Off) << relay;
    }
    EXPECT_EQ(pty.drain(50), expected);
    EXPECT_TRUE(errors.isEmpty());

    // A closed port is reported as every sender's error is, and nothing is taken as off.
    port.SendText("S9N$#");
    port.ClosePort();
    base->Btn_ToutEteindre->trigger();
    port.sender().waitIdle();
    EXPECT_EQ(errors, QStringList{EComPort(CError_WriteFailed, EBADF).Message()});
    EXPECT_EQ(states.state(9), RelayStates::State::On);
}

TEST_F(MainWindow, WrenchBringsTheStartUpPortFormForwardInsteadOfASecondOne)
{
    PanelConfig config = saved();
    config.settings.CurrentPortName = dir.filePath(QStringLiteral("no-such-tty"));
    writeConfig(config, PanelFiles::config());
    open();
    QPointer<TForm_CfgErreur> startUp = Forms::instance().Form_CfgErreur;
    ASSERT_TRUE(startUp && startUp->isVisible());
    QWidget *cover = new QWidget(startUp->parentWidget());
    cover->setGeometry(startUp->geometry());
    cover->show();

    base->Tool_Depannage->trigger();
    EXPECT_EQ(base->findChildren<TForm_CfgErreur *>().size(), 1);
    EXPECT_EQ(Forms::instance().Form_CfgErreur, startUp);
    EXPECT_FALSE(startUp->Label2->text().isEmpty()) << "the explanation stays";
    QWidget *inFront = startUp->parentWidget()->childAt(QPoint(300, 100));
    EXPECT_TRUE(inFront == startUp || startUp->isAncestorOf(inFront));

    // Once it is closed, the wrench opens a fresh form as usual.
    startUp->Btn_FermerCfgEClick();
    EXPECT_EQ(commands(), AllOn);
    base->Tool_Depannage->trigger();
    ASSERT_TRUE(Forms::instance().Form_CfgErreur);
    EXPECT_NE(Forms::instance().Form_CfgErreur, startUp);
    EXPECT_EQ(commands(), AllOff);
}

TEST_F(MainWindow, WithoutExitConfirmationQuitEndsAtOnce)
{
    writeConfig(saved(false), PanelFiles::config());
    open();
    QSignalSpy closed(base.get(), &TForm_Base::closed);
    base->Bt_Quitter1->trigger();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(base->isVisible());
    EXPECT_FALSE(promptShown());
}

TEST_F(MainWindow, QuitPromptAnnulerKeepsTheProgramAndQuitterEndsItWithoutAskingAgain)
{
    open();
    QSignalSpy closed(base.get(), &TForm_Base::closed);
    base->Tool_Fermer->trigger();
    ASSERT_TRUE(promptShown());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(base->isVisible());
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("Quitter le programme ?"));
    EXPECT_EQ(prompt()->Label_Ba->text(), QStringLiteral("Etes vous sur de vouloir quitter le programme ??"));
    EXPECT_EQ(prompt()->ButtonG_Ba->text(), QStringLiteral("Annuler"));
    EXPECT_EQ(prompt()->ButtonD_Ba->text(), QStringLiteral("Quitter"));
    EXPECT_TRUE(prompt()->ButtonG_Ba->isVisible());
    EXPECT_TRUE(prompt()->ButtonD_Ba->isVisible());
    EXPECT_FALSE(prompt()->ButtonM_Ba->isVisible());
    // The main window waits for the prompt; the prompt itself stays usable.
    EXPECT_TRUE(base->inputBlocked());
    EXPECT_TRUE(prompt()->isEnabled());
    EXPECT_TRUE(prompt()->ButtonG_Ba->isEnabled());

    // A second close request while the prompt is up opens no second prompt.
    TformDynamique *first = prompt();
    base->close();
    EXPECT_EQ(prompt(), first);

    QTest::mouseClick(prompt()->ButtonG_Ba, Qt::LeftButton);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->inputBlocked());
    EXPECT_TRUE(base->isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(Forms::instance().Form_ActBtn->ComPort1->Connected());

    base->Bt_Quitter1->trigger();
    ASSERT_TRUE(promptShown());
    QTest::mouseClick(prompt()->ButtonD_Ba, Qt::LeftButton);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(base->isVisible());
    EXPECT_FALSE(promptShown());
    EXPECT_TRUE(Forms::instance().QuitConfirmed);
    // The panel was closed first, and with it the port.
    EXPECT_FALSE(Forms::instance().Form_ActBtn->ComPort1->Connected());
}

TEST_F(MainWindow, TrayMenuFermerEndsWithoutThePrompt)
{
    open();
    QSignalSpy closed(base.get(), &TForm_Base::closed);
    ASSERT_TRUE(Forms::instance().settings.ExitMenusEnabled);
    base->Fermer1->trigger();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->isVisible());
}

TEST_F(MainWindow, PromptCanOnlyBeLeftThroughItsButtons)
{
    open();
    base->Aproposde1->trigger();
    ASSERT_TRUE(promptShown());
    EXPECT_FALSE(prompt()->windowFlags() & Qt::WindowCloseButtonHint);

    // What the Close box and Alt+F4 send: refused.
    QCloseEvent request;
    QApplication::sendEvent(prompt(), &request);
    EXPECT_FALSE(request.isAccepted());
    EXPECT_FALSE(prompt()->close());
    QTest::keyClick(prompt(), Qt::Key_Escape);
    EXPECT_TRUE(promptShown());
    EXPECT_TRUE(base->inputBlocked());

    QTest::mouseClick(prompt()->ButtonM_Ba, Qt::LeftButton);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->inputBlocked());
}

TEST_F(MainWindow, AboutAndContactPrompts)
{
    open();
    base->Aproposde1->trigger();
    ASSERT_TRUE(promptShown());
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("A propos"));
    const QStringList about = prompt()->Label_Ba->text().split(QLatin1Char('\n'));
    ASSERT_EQ(about.size(), 5);
    EXPECT_EQ(about[3], QStringLiteral(" pour le module Récepteur IR/PC 16 canaux "));
    EXPECT_EQ(about[4], QStringLiteral("                   version  3.0"));
    EXPECT_FALSE(prompt()->ButtonG_Ba->isVisible());
    EXPECT_FALSE(prompt()->ButtonD_Ba->isVisible());
    EXPECT_EQ(prompt()->ButtonM_Ba->text(), QStringLiteral("Fermer"));
    EXPECT_EQ(prompt()->geometry(), QRect(300, 20, 320, 250));
    QTest::mouseClick(prompt()->ButtonM_Ba, Qt::LeftButton);
    EXPECT_FALSE(promptShown());

    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &recorder, "open");
    base->Contactezmoi1->trigger();
    ASSERT_TRUE(promptShown());
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("Contactez-moi"));
    EXPECT_EQ(prompt()->Label_Ba->text(),
              QStringLiteral("    N'hesitez pas  à me donner votre avis \n \n                 et vos "
                             "suggestions\n \n                           Ostrel"));
    EXPECT_EQ(prompt()->ButtonD_Ba->text(), QStringLiteral("Email"));
    // Without a contact address, "Email" says where the README's reporting section is.
    QTest::mouseClick(prompt()->ButtonD_Ba, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    EXPECT_TRUE(recorder.urls.isEmpty());
    ASSERT_TRUE(promptShown());
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("Contact"));
    const QString help = prompt()->Label_Ba->text();
    EXPECT_TRUE(help.startsWith(QStringLiteral("Pour signaler un problème, voyez la section « Signaler "
                                               "un problème » du fichier README : /")))
        << help.toStdString();
    const QString readme = help.section(QStringLiteral(" : "), -1);
    EXPECT_TRUE(QFileInfo(readme).isFile()) << readme.toStdString();
    QFile file(readme);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("## Signaler un problème"));
    QTest::mouseClick(prompt()->ButtonM_Ba, Qt::LeftButton);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->inputBlocked());
}

TEST_F(MainWindow, DefaultSettingsShowTheFactoryButtonsOnlyWhenConfirmed)
{
    open();
    const QByteArray file = readFile(PanelFiles::config());
    const QList<Shown> before = panelButtons();

    base->Btn_RglPdef->trigger();
    ASSERT_TRUE(promptShown());
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("Reglages par default"));
    EXPECT_EQ(prompt()->Label_Ba->text(),
              QStringLiteral("Attention les reglages en cours seront perdus !!\nEtes vous sur de vouloir continuer?"));
    EXPECT_EQ(prompt()->ButtonG_Ba->text(), QStringLiteral("Annuler"));
    EXPECT_EQ(prompt()->ButtonD_Ba->text(), QStringLiteral("Oui"));
    QTest::mouseClick(prompt()->ButtonG_Ba, Qt::LeftButton);
    EXPECT_EQ(panelButtons(), before);
    EXPECT_FALSE(base->inputBlocked());

    base->Btn_RglPdef->trigger();
    QTest::mouseClick(prompt()->ButtonD_Ba, Qt::LeftButton);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->inputBlocked());
    EXPECT_EQ(captions(), (QStringList{QStringLiteral("Usine 1"), QStringLiteral("Usine 2"), QStringLiteral("Usine 3")}));
    EXPECT_EQ(readFile(PanelFiles::config()), file);
}

TEST_F(MainWindow, ExportedProjectImportedInAnotherDirectoryGivesTheSamePanel)
{
    QTemporaryDir projects;
    const QString project = projects.filePath(QStringLiteral("maison.zel"));
    open();
    const QList<Shown> original = panelButtons();
    ASSERT_EQ(original.size(), 2);

    // Cancelling writes nothing.
    base->chooseExportFile = [] { return QString(); };
    base->Exporter1->trigger();
    EXPECT_TRUE(QDir(projects.path()).isEmpty());

    base->chooseExportFile = [&] { return project; };
    base->Exporter1->trigger();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(QFile::exists(project));
    EXPECT_TRUE(QFile::exists(projects.filePath(QStringLiteral("maison.bmp"))));
    base.reset();

    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    PanelConfig other = saved();
    other.buttons = {button(QStringLiteral("Garage"), 300, 100, 9)};
    writeConfig(other, PanelFiles::config());
    const QByteArray otherFile = readFile(PanelFiles::config());
    open();
    ASSERT_EQ(captions(), QStringList{QStringLiteral("Garage")});
    const TForm_ActBtn *former = Forms::instance().Form_ActBtn;
    const QPointer<TForm_ActBtn> formerAlive = Forms::instance().Form_ActBtn;

    base->chooseImportFile = [] { return QString(); };
    base->Btn_Ouvrir1->trigger();
    EXPECT_FALSE(promptShown());
    EXPECT_EQ(Forms::instance().Form_ActBtn, former);

    // The import asks first, as the default settings do; "Annuler" changes nothing.
    // The project comes from a computer whose board sat elsewhere: this one's port is kept.
    ProfileFile fromElsewhere = ProfileFile::load(project);
    fromElsewhere.writeString(PanelKeys::Com, PanelKeys::PortName, QStringLiteral("/dev/ttyUSB7"));
    ASSERT_TRUE(fromElsewhere.save(project).ok);
    base->chooseImportFile = [&] { return project; };
    base->Btn_Ouvrir1->trigger();
    ASSERT_TRUE(promptShown());
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("Importer"));
    EXPECT_EQ(prompt()->Label_Ba->text(),
              QStringLiteral("Attention les reglages en cours seront perdus !!\nLe port de cet ordinateur est conservé.\n"
                             "Etes vous sur de vouloir continuer?"));
    EXPECT_EQ(prompt()->ButtonG_Ba->text(), QStringLiteral("Annuler"));
    EXPECT_EQ(prompt()->ButtonD_Ba->text(), QStringLiteral("Oui"));
    EXPECT_FALSE(prompt()->ButtonM_Ba->isVisible());
    QTest::mouseClick(prompt()->ButtonG_Ba, Qt::LeftButton);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->inputBlocked());
    EXPECT_EQ(Forms::instance().Form_ActBtn, former);
    EXPECT_EQ(readFile(PanelFiles::config()), otherFile);
    EXPECT_TRUE(ProjectFile::backupsOf(PanelFiles::config()).isEmpty());

    importConfirmed(project);
    EXPECT_FALSE(promptShown());
    EXPECT_FALSE(base->inputBlocked());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('\n')).toStdString();
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    ASSERT_TRUE(panel);
    EXPECT_TRUE(formerAlive.isNull()) << "a new panel (the old one may leave its address to it)";
    EXPECT_EQ(panel->parentWidget(), base->Panel1);
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 600, 350));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panelButtons(), original);
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_EQ(panel->ComPort1->Port(), pty.slavePath());
    EXPECT_EQ(storedPortName(PanelFiles::config()), pty.slavePath());
    EXPECT_EQ(QImage(PanelFiles::picture()), QImage(dir.filePath(PanelFiles::picture())));
    const QStringList backups = ProjectFile::backupsOf(PanelFiles::config());
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(readFile(backups[0]), otherFile);
    EXPECT_EQ(base->Panel1->findChildren<TForm_ActBtn *>().size(), 1);
}

TEST_F(MainWindow, ImportKeepsAnOpenPortFormInFrontOfTheNewPanel)
{
    QTemporaryDir projects;
    const QString project = projects.filePath(QStringLiteral("maison.zel"));
    open();
    base->chooseExportFile = [&] { return project; };
    base->Exporter1->trigger();
    base->Tool_Depannage->trigger();
    TForm_CfgErreur *form = Forms::instance().Form_CfgErreur;
    ASSERT_TRUE(form);

    importConfirmed(project);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(form->isVisible());
    QWidget *inFront = base->Panel1->childAt(QPoint(300, 100));
    EXPECT_TRUE(inFront == form || form->isAncestorOf(inFront));
}

TEST_F(MainWindow, ImportRefusesAFileThatIsNotAConfigurationAndLosesNothing)
{
    open();
    const QByteArray file = readFile(PanelFiles::config());
    const TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    const QString notes = dir.filePath(QStringLiteral("notes.zel"));
    {
        QFile text(notes);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("acheter du pain\r\n");
    }
    importConfirmed(notes);
    EXPECT_EQ(messages, QStringList{QStringLiteral("Impossible de charger e fichier.")});
    EXPECT_EQ(Forms::instance().Form_ActBtn, panel);
    EXPECT_EQ(captions(), (QStringList{QStringLiteral("Salon"), QStringLiteral("Cuisine")}));
    EXPECT_EQ(readFile(PanelFiles::config()), file);
    EXPECT_TRUE(ProjectFile::backupsOf(PanelFiles::config()).isEmpty());
    EXPECT_TRUE(panel->ComPort1->Connected());
}

TEST_F(MainWindow, EscapeReachingTheWindowIsShown)
{
    open();
    Forms::instance().Form_ActBtn->removeMessageHook();
    QTest::keyClick(base.get(), Qt::Key_Escape);
    EXPECT_EQ(messages, QStringList{QStringLiteral("VK_ESCAPE")});
}

TEST_F(MainWindow, MinimisesToTheTaskBarWithoutANotificationArea)
{
    open();
    ASSERT_TRUE(Forms::instance().settings.ReduceToTray);
    base->Tool_Minimiser->trigger();
    EXPECT_TRUE(base->isMinimized());
    EXPECT_EQ(base->TrayIcon, nullptr);

    base->Ouvrir1->trigger();
    EXPECT_FALSE(base->isMinimized());
    EXPECT_TRUE(base->isVisible());
}

TEST_F(MainWindow, HeaderAndFooterDragTheWindow)
{
    open();
    base->move(100, 100);
    const QPoint start = base->pos();
    for (QLabel *handle : {base->Image1, base->Image2}) {
        const QPoint grip = handle == base->Image1 ? QPoint(300, 5) : QPoint(300, 25);
        const QPoint global = handle->mapToGlobal(grip);
        QMouseEvent press(QEvent::MouseButtonPress, grip, global, Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(handle, &press);
        QMouseEvent drag(QEvent::MouseMove, grip + QPoint(30, 20), global + QPoint(30, 20), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(handle, &drag);
        QMouseEvent release(QEvent::MouseButtonRelease, grip + QPoint(30, 20), global + QPoint(30, 20),
                            Qt::LeftButton, Qt::NoButton, {});
        QApplication::sendEvent(handle, &release);
    }
    EXPECT_EQ(base->pos(), start + QPoint(60, 40));
}

} // namespace

#include "Form_BaseTest.moc"

// While the prompt is open it takes the keys and no shortcut fires behind it; once it is
// closed the panel's keys fire again.
TEST_F(MainWindow, PromptBlocksTheMainWindowWithoutGreyingIt)
{
    open();
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    auto *salon = panel->findChild<TXiButton2 *>(QStringLiteral("Bouton1"));
    ASSERT_TRUE(salon);
    pty.drain(20);
    const QImage before = base->grab().toImage();

    base->Aproposde1->trigger();
    ASSERT_TRUE(promptShown());
    QApplication::processEvents();
    EXPECT_EQ(base->grab().toImage(), before) << "picture, banner and texts as they were";
    if (const QByteArray shots = qgetenv("ZELVAR_SHOTS"); !shots.isEmpty())
        base->screen()->grabWindow(0).save(QDir(QString::fromLocal8Bit(shots)).filePath("prompt-over-main.png"));
    QTest::mouseClick(salon, Qt::LeftButton);
    EXPECT_TRUE(pty.drain(20).isEmpty()) << "the panel takes no click while the prompt is open";

    QTest::mouseClick(prompt()->ButtonM_Ba, Qt::LeftButton); // "Fermer"
    EXPECT_FALSE(base->inputBlocked());
    QTest::mouseClick(salon, Qt::LeftButton);
    EXPECT_EQ(pty.drain(20), QByteArray("S1N$#"));
}

TEST_F(MainWindow, PromptKeepsTheKeysWhileItIsOpen)
{
    PanelConfig config = saved();
    config.buttons[0].shortcut = shortcutCode("VK_F1");
    writeConfig(config, PanelFiles::config());
    open();
    pty.drain(20);
    base->close();
    ASSERT_TRUE(promptShown());

    QTest::keyClick(prompt()->ButtonG_Ba, Qt::Key_F1);
    EXPECT_TRUE(pty.drain(20).isEmpty());
    QTest::keyClick(prompt()->ButtonG_Ba, Qt::Key_Space); // "Annuler"
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return prompt() == nullptr; }));

    QTest::keyClick(base.get(), Qt::Key_F1);
    EXPECT_EQ(pty.drain(20), QByteArray("S1N$#"));
}

TEST_F(MainWindow, SequencerOpensInPlaceOfTheMainWindowAndGivesItBack)
{
    open();
    base->Bo_Seq->trigger();
    QPointer<TFSequenceur> seq = Forms::instance().FSequenceur;
    ASSERT_TRUE(seq);
    EXPECT_TRUE(seq->isVisible());
    EXPECT_EQ(seq->geometry(), QRect(200, 200, 887, 662));
    EXPECT_FALSE(base->isVisible());
    EXPECT_EQ(commands(), AllOff);

    seq->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(seq);
    EXPECT_TRUE(base->isVisible());
    EXPECT_EQ(commands(), AllOn);
}

TEST_F(MainWindow, ComesBackWhereItWasAfterTheSequencerOrTheScheduler)
{
    open();
    const QPoint where = base->pos();
    // Shown again at a place the program gives, so a window manager does not place it anew.
    for (QAction *command : {base->Bo_Seq, base->Bo_Pmg}) {
        command->trigger();
        ASSERT_FALSE(base->isVisible()) << command->objectName().toStdString();
        QWidget *opened = command == base->Bo_Seq ? static_cast<QWidget *>(Forms::instance().FSequenceur)
                                                   : static_cast<QWidget *>(Forms::instance().Form_Progmt);
        ASSERT_TRUE(opened);
        opened->close();
        EXPECT_TRUE(base->isVisible());
        EXPECT_EQ(base->pos(), where);
        EXPECT_TRUE(base->testAttribute(Qt::WA_Moved)) << command->objectName().toStdString();
    }
}

TEST_F(MainWindow, StartWithOneArgumentOpensTheSequencer)
{
    const std::pair<QStringList, bool> cases[] = {
        {{"zelvar"}, false},
        {{"zelvar", "x"}, true},
        {{"zelvar", "x", "y"}, false},
        {{"zelvar", "--version", "x"}, true},
        {{"zelvar", "-reverse"}, false},
    };
    for (const auto &[arguments, opens] : cases)
        EXPECT_EQ(TForm_Base::opensSequencerAtStart(arguments), opens) << arguments.join(' ').toStdString();

    base = std::make_unique<TForm_Base>();
    base->showMessage = [this](const QString &text) { messages << text; };
    base->Start({QStringLiteral("zelvar"), QStringLiteral("seq")});
    ASSERT_TRUE(Forms::instance().FSequenceur);
    EXPECT_TRUE(Forms::instance().FSequenceur->isVisible());
    EXPECT_FALSE(base->isVisible());
    EXPECT_EQ(commands(), AllOff);
    // The hidden main window moves out of the way (its frame keeps its own minimum height).
    EXPECT_EQ(base->geometry().topLeft(), QPoint(300, 300));
    Forms::instance().FSequenceur->close();
}
