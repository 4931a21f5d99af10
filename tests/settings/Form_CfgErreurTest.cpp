#include "settings/Form_CfgErreur.h"

#include "../devices/ComPortPty.h"
#include "app/Form_Base.h"
#include "app/formDynamique.h"
#include "forms/Forms.h"
#include "common/Pause.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/PortSender.h"
#include "panel/Form_ActBtn.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>
#include "TestFiles.h"
#include "../Shots.h"

using zelvar::testing::readFile;
using zelvar::testing::writeFile;

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// Picks an item of a combo box the way the user does: open the list, click the item.
void choose(QComboBox *combo, int index)
{
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
}

// A click, and what it queued on the panel's port written and told.
void click(QPushButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    if (TForm_ActBtn *panel = Forms::instance().Form_ActBtn)
        panel->ComPort1->sender().waitIdle();
}

// Types into a list and leaves it, as the user does: the list has the focus, so the panel's
// shortcuts leave the keys alone.
void type(QComboBox *combo, const QString &text)
{
    QWidget *window = combo->window();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    combo->lineEdit()->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), text);
    emit combo->lineEdit()->editingFinished();
}

PortFormButtons enabledButtons(const TForm_CfgErreur &form)
{
    return {form.Btn_FermerCfgE->isEnabled(), form.Btn_EnrCfgE->isEnabled(), form.Btn_QuitterCfgE->isEnabled(),
            form.Btn_AppliquerCfgE->isEnabled(), form.Btn_TestCfgE->isEnabled()};
}

// Withholds the right to open files regardless of their mode, so that even root meets the
// refusal an ordinary account gets; given back on destruction.
class WithoutFileRights
{
public:
    WithoutFileRights()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        ::syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &header_, reduced);
    }
    ~WithoutFileRights() { ::syscall(SYS_capset, &header_, saved_); }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
};

class Form_CfgErreurTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(board.isValid());
        Forms::instance().settings = PanelSettings{};
        Forms::instance().QuitConfirmed = false;
        setPauseHook([this](int ms) { pauses.push_back(ms); });
        TForm_CfgErreur::setMessageHook([this](const QString &text) {
            messages << text;
            // What the board had received when the message came up.
            wireAtMessage << board.drain(20);
        });
    }

    void TearDown() override
    {
        base.reset();
        form.reset();
        if (panel)
            zelvar::testing::dropHandlers(*panel->ComPort1);
        panel.reset();
        setPauseHook({});
        TForm_CfgErreur::setMessageHook({});
        QApplication::setQuitOnLastWindowClosed(true);
    }

    // The panel file: the board's pseudo-terminal at 9600, no buttons, around the port
    // section lines the form must leave as they are.
    QByteArray panelFile() const
    {
        return "[          Info]\r\n"
               "_=Avertissement\r\n"
               "[Reglages]\r\n"
               "Nombre total de boutons=0\r\n"
               "Nombre total de Textes=0\r\n"
               "Activation des menus de sortie=0\r\n"
               "\r\n"
               "[Reglages du Com]\r\n"
               "n\xB0 du Port =" + board.slavePath().toLocal8Bit() + "\r\n"
               "Vitesse du Port =9600\r\n"
               "; kept\r\n";
    }

    void openPanel()
    {
        writeFile(dir.filePath("Zelvar2.ini"), panelFile());
        panel = std::make_unique<TForm_ActBtn>();
        ASSERT_TRUE(panel->ComPort1->Connected());
    }

    void openForm(QWidget *parent = nullptr)
    {
        form = std::make_unique<TForm_CfgErreur>(parent);
        form->setAttribute(Qt::WA_DeleteOnClose, false);
        form->show();
    }

    // The program's main window on the panel file, and its "Depannage" form.
    TForm_CfgErreur *openFromMainWindow(bool exitMenus)
    {
        QByteArray file = panelFile();
        if (exitMenus)
            file.replace("Activation des menus de sortie=0", "Activation des menus de sortie=1");
        writeFile(dir.filePath("Zelvar2.ini"), file);
        QApplication::setQuitOnLastWindowClosed(false);
        base = std::make_unique<TForm_Base>();
        base->show();
        base->Tool_Depannage->trigger();
        return Forms::instance().Form_CfgErreur;
    }


    TformDynamique *prompt() const
    {
        TformDynamique *shown = Forms::instance().formDynamique;
        return shown && shown->isVisible() ? shown : nullptr;
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal board;
    std::vector<int> pauses;
    QStringList messages;
    QList<QByteArray> wireAtMessage;
    std::unique_ptr<TForm_Base> base;
    std::unique_ptr<TForm_ActBtn> panel;
    std::unique_ptr<TForm_CfgErreur> form;
};

} // namespace

TEST_F(Form_CfgErreurTest, ShowsItsExplanationListsAndButtons)
{
    openForm();
    EXPECT_EQ(form->Label2->text(), QString(" Ce type d'erreur intervient lorsque \n"
                                            "1: Le port Com n'est pas reglé correctement.\n"
                                            "2: Le fichier Ini de configuration est corrompu.\n"
                                            " Les réglages par default doivent etre\n"
                                            " restaures dans le menu \"réglages par default \" au dessus.\n"
                                            "N'hezitez pas a me demander de l'aide."));
    EXPECT_EQ(form->Label2->pos(), QPoint(99, 64));
    EXPECT_GT(form->Label2->width(), 300) << "the label grows with its text";
    EXPECT_LE(form->Label2->geometry().bottom(), 256) << "and stays above the buttons";

    EXPECT_EQ(form->Btn_EnrCfgE->text(), "Enregistrer ");
    EXPECT_EQ(form->Btn_AppliquerCfgE->text(), "Appliquer le reglage du port");
    EXPECT_EQ(enabledButtons(*form), PortFormButtons{});

    // The lists show the port and speed in force.
    EXPECT_EQ(form->Port->currentText(), "COM1");
    EXPECT_EQ(form->Port->currentIndex(), -1);
    QStringList ports;
    for (int i = 0; i < form->Port->count(); ++i)
        ports << form->Port->itemText(i);
    EXPECT_EQ(ports.mid(0, 5), (QStringList{"aucun", "Com1", "Com2", "Com3", "Com4"}));
    EXPECT_EQ(form->Port->count(), form->portChoices().size());
    EXPECT_EQ(form->ComboBoxBaudsCfgE->placeholderText(), "9600");
    EXPECT_EQ(form->ComboBoxBaudsCfgE->count(), 15);

    EXPECT_EQ(Forms::instance().Form_CfgErreur, form.get());
}

TEST_F(Form_CfgErreurTest, InsideAPanelItFillsItAndFollowsItsSize)
{
    QWidget host;
    host.resize(600, 350);
    host.show();
    openForm(&host);
    EXPECT_EQ(form->geometry(), QRect(0, 0, 600, 350));
    host.resize(640, 400);
    EXPECT_EQ(form->geometry(), QRect(0, 0, 640, 400));

    QWidget other;
    other.resize(300, 200);
    other.show();
    form->setParent(&other);
    EXPECT_EQ(form->geometry(), QRect(0, 0, 300, 200));
    host.resize(700, 500);
    EXPECT_EQ(form->size(), QSize(300, 200)) << "the former panel is no longer followed";
    form.reset();
}

TEST_F(Form_CfgErreurTest, NoChoiceItemsEnableApplyingButChangeNothing)
{
    openForm();
    PanelSettings &settings = Forms::instance().settings;
    settings.CurrentPortName = "/dev/ttyUSB3";
    settings.CurrentPortSpeed = "57600";

    choose(form->Port, 0);
    EXPECT_EQ(settings.CurrentPortName, "/dev/ttyUSB3");
    EXPECT_TRUE(form->Btn_AppliquerCfgE->isEnabled());
    form->Btn_AppliquerCfgE->setEnabled(false);
    choose(form->ComboBoxBaudsCfgE, 0);
    EXPECT_EQ(settings.CurrentPortSpeed, "57600");
    EXPECT_TRUE(form->Btn_AppliquerCfgE->isEnabled());

    choose(form->Port, 3);
    EXPECT_EQ(settings.CurrentPortName, "COM3");
    choose(form->ComboBoxBaudsCfgE, 9);
    EXPECT_EQ(settings.CurrentPortSpeed, "19200");
    EXPECT_EQ(enabledButtons(*form), (PortFormButtons{true, false, true, true, false}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Form_CfgErreurTest, APortStoredAsAPathIsShownAndCanBeChosenAgain)
{
    openPanel();
    const QString stored = board.slavePath();
    openForm(panel->Panel1);
    EXPECT_EQ(form->Port->currentText(), stored);
    EXPECT_EQ(form->Port->toolTip(), stored) << "the whole path, longer than the box";
    EXPECT_EQ(form->ComboBoxBaudsCfgE->placeholderText(), "9600");
    saveShot(*panel, "port-form");
    const int item = form->Port->findText(stored);
    ASSERT_EQ(item, 5) << "right after Com4";

    choose(form->Port, 2);
    EXPECT_EQ(Forms::instance().settings.CurrentPortName, "COM2");
    choose(form->Port, item);
    EXPECT_EQ(Forms::instance().settings.CurrentPortName, stored);
    // "aucun" changes nothing and the list still shows the port in force.
    choose(form->Port, 0);
    EXPECT_EQ(form->Port->currentIndex(), -1);
    EXPECT_EQ(form->Port->currentText(), stored);
    click(form->Btn_AppliquerCfgE);
    EXPECT_EQ(panel->ComPort1->Port(), stored);
    EXPECT_TRUE(panel->ComPort1->Connected());

    // A form opened after another port was chosen still offers the stored one.
    choose(form->Port, 2);
    form.reset();
    openForm(panel->Panel1);
    EXPECT_EQ(form->Port->currentText(), "COM2");
    EXPECT_EQ(form->Port->findText(stored), 5);
}

TEST_F(Form_CfgErreurTest, APathTypedIntoThePortListIsKeptAndApplied)
{
    openPanel();
    openForm(panel->Panel1);
    PseudoTerminal other;
    ASSERT_TRUE(other.isValid());

    type(form->Port, other.slavePath());
    click(form->Btn_AppliquerCfgE);
    EXPECT_EQ(panel->ComPort1->Port(), other.slavePath());
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_EQ(form->Port->currentText(), other.slavePath());

    // What is no port name is refused when applied, and changes nothing.
    type(form->Port, "pas un port");
    click(form->Btn_AppliquerCfgE);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(QString::fromUtf8("« pas un port » n'est pas un nom de port"))) << messages[0].toStdString();
    EXPECT_EQ(Forms::instance().settings.CurrentPortName, other.slavePath());
    EXPECT_TRUE(form->Btn_AppliquerCfgE->isEnabled());
}

TEST_F(Form_CfgErreurTest, ApplyTestAndStoreOnTheOpenPort)
{
    openPanel();
    int opens = 0;
    panel->ComPort1->OnAfterOpen = [&opens] { ++opens; };
    openForm(panel->Panel1);

    choose(form->Port, 0); // keeps the board's name read from the file
    choose(form->ComboBoxBaudsCfgE, 9);
    click(form->Btn_AppliquerCfgE);
    EXPECT_EQ(panel->ComPort1->BaudRate(), br19200);
    EXPECT_EQ(board.slaveSettings().c_ospeed, 19200u) << "the open port runs at the new speed at once";
    EXPECT_EQ(enabledButtons(*form), (PortFormButtons{true, false, true, false, true}));

    click(form->Btn_TestCfgE);
    EXPECT_EQ(messages, (QStringList{"L'ouverture du port a reussi.\n"
                                     "Le relais 1 doit maintenant s'activer puis de refermer",
                                     "Si le relais n'a pas fonctionné,c'est que\n"
                                     "le n°port ou la vitesse est mal reglée ."}));
    ASSERT_EQ(wireAtMessage.size(), 2);
    EXPECT_EQ(wireAtMessage[0], "") << "the first message comes before anything is sent";
    EXPECT_EQ(wireAtMessage[1], "S1N$#S1F$#");
    EXPECT_EQ(pauses, (std::vector<int>{1000, 10}));
    EXPECT_EQ(opens, 0) << "the open port is not opened again";
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_EQ(enabledButtons(*form), (PortFormButtons{true, true, true, false, false}));

    click(form->Btn_EnrCfgE);
    QByteArray expected = panelFile();
    expected.replace("Vitesse du Port =9600", "Vitesse du Port =19200");
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), expected);
    EXPECT_EQ(enabledButtons(*form), (PortFormButtons{true, true, true, false, false}));
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(Form_CfgErreurTest, AFailedOpenShowsOnlyItsMessage)
{
    openPanel();
    openForm(panel->Panel1);
    const QString missing = dir.filePath("no-such-device");
    Forms::instance().settings.CurrentPortName = missing;

    // Renaming the open port reopens it: that failure is the program's error report, and
    // the buttons stay as they were.
    choose(form->Port, 0);
    click(form->Btn_AppliquerCfgE);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(EComPort(CError_OpenFailed).Message())) << messages[0].toStdString();
    EXPECT_FALSE(panel->ComPort1->Connected());
    EXPECT_EQ(panel->ComPort1->Port(), missing);
    EXPECT_EQ(enabledButtons(*form), (PortFormButtons{true, false, true, true, false}));

    // The port is closed now: applying again tries to open it, and says it failed.
    messages.clear();
    click(form->Btn_AppliquerCfgE);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(EComPort(CError_OpenFailed).Message())) << messages[0].toStdString();
    EXPECT_EQ(enabledButtons(*form), (PortFormButtons{true, false, true, true, false}));
    EXPECT_TRUE(board.drain(20).isEmpty());
    EXPECT_TRUE(pauses.empty());

    // The working port chosen again and applied is open, so the panel's buttons reach it.
    messages.clear();
    type(form->Port, board.slavePath());
    click(form->Btn_AppliquerCfgE);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_EQ(panel->ComPort1->Port(), board.slavePath());
    EXPECT_FALSE(form->Btn_AppliquerCfgE->isEnabled());
}

TEST_F(Form_CfgErreurTest, ARefusedDeviceSaysHowToGetAccess)
{
    openPanel();
    openForm(panel->Panel1);
    const QString locked = dir.filePath("ttyLocked");
    writeFile(locked, "");
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);

    panel->ComPort1->ClosePort();
    Forms::instance().settings.CurrentPortName = locked;
    choose(form->Port, 0);
    {
        WithoutFileRights refused;
        click(form->Btn_AppliquerCfgE);
    }
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(EComPort(CError_OpenFailed).Message())) << messages[0].toStdString();
    // No group may read or write it: joining one would not help.
    EXPECT_TRUE(messages[0].contains(QString("droits 0000"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QString("udev"))) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].contains(QString("usermod"))) << messages[0].toStdString();
    EXPECT_FALSE(form->Btn_TestCfgE->isEnabled());
}

TEST_F(Form_CfgErreurTest, WithoutAPanelItSaysSoAndStillStores)
{
    ASSERT_TRUE(Forms::instance().Form_ActBtn.isNull());
    openForm();
    choose(form->ComboBoxBaudsCfgE, 13);
    click(form->Btn_AppliquerCfgE);
    form->Btn_TestCfgEClick();
    EXPECT_EQ(messages, (QStringList{"Aucun panneau n'est chargé : le port ne peut pas être réglé.",
                                     "Aucun panneau n'est chargé : le port ne peut pas être testé."}));
    EXPECT_TRUE(form->Btn_AppliquerCfgE->isEnabled());

    // Storing needs no panel: a missing file is created with the section alone.
    form->Btn_EnrCfgEClick();
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), QByteArray("[Reglages du Com]\r\n"
                                                               "n\xB0 du Port =COM1\r\n"
                                                               "Vitesse du Port =115200\r\n"));
    // A panel file that cannot be read is left alone, and the user is told.
    messages.clear();
    ASSERT_TRUE(QFile::remove(dir.filePath("Zelvar2.ini")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("Zelvar2.ini"));
    form->Btn_EnrCfgEClick();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("ne peut pas être lu")) << messages[0].toStdString();
}

TEST_F(Form_CfgErreurTest, CloseGivesTheCommandsBackAndQuitEndsWithThePortClosed)
{
    openPanel();
    auto *embedded = new TForm_CfgErreur(panel->Panel1);
    embedded->show();
    QPointer<TForm_CfgErreur> watched(embedded);
    QSignalSpy switched(&Forms::instance(), &Forms::commandsSwitched);
    QSignalSpy closed(embedded, &TForm_CfgErreur::closed);

    click(embedded->Btn_FermerCfgE);
    ASSERT_EQ(switched.size(), 1);
    EXPECT_EQ(switched[0], (QVariantList{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(embedded->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull()) << "a closed form is gone; the next opening creates a new one";
}

TEST_F(Form_CfgErreurTest, StoringAPortThatDoesNotOpenAsksFirst)
{
    TForm_CfgErreur *shown = openFromMainWindow(false);
    ASSERT_TRUE(shown);
    TCustomComPort *port = Forms::instance().Form_ActBtn->ComPort1;
    ASSERT_TRUE(port->Connected());
    // A good test opens storing; then another device is tried, and does not open.
    choose(shown->Port, 0);
    click(shown->Btn_AppliquerCfgE);
    click(shown->Btn_TestCfgE);
    ASSERT_TRUE(shown->Btn_EnrCfgE->isEnabled());
    const QString missing = dir.filePath("ttyUSB9");
    type(shown->Port, missing);
    click(shown->Btn_AppliquerCfgE);
    ASSERT_FALSE(port->Connected());
    const QByteArray before = readFile(dir.filePath("Zelvar2.ini"));

    click(shown->Btn_EnrCfgE);
    ASSERT_TRUE(prompt());
    saveShot(*prompt(), "port-form-store-question");
    EXPECT_EQ(prompt()->windowTitle(), "Enregistrer");
    EXPECT_EQ(prompt()->Label_Ba->text(), QString::fromUtf8("Le port « ") + missing +
                                              QString::fromUtf8(" » ne s'ouvre pas. Enregistrer quand même ?"));
    EXPECT_EQ(prompt()->ButtonG_Ba->text(), "Oui");
    EXPECT_EQ(prompt()->ButtonD_Ba->text(), "Non");
    QTest::mouseClick(prompt()->ButtonD_Ba, Qt::LeftButton);
    EXPECT_FALSE(prompt());
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), before) << "Non writes nothing";

    click(shown->Btn_EnrCfgE);
    ASSERT_TRUE(prompt());
    QTest::mouseClick(prompt()->ButtonG_Ba, Qt::LeftButton);
    QByteArray expected = before;
    expected.replace(board.slavePath().toLocal8Bit(), missing.toLocal8Bit());
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), expected);
}

TEST_F(Form_CfgErreurTest, QuitterEndsAsTheMainWindowsQuitterDoes)
{
    for (const bool exitMenus : {true, false}) {
        TForm_CfgErreur *shown = openFromMainWindow(exitMenus);
        ASSERT_TRUE(shown);
        QSignalSpy ended(base.get(), &TForm_Base::closed);
        click(shown->Btn_QuitterCfgE);
        if (exitMenus) {
            ASSERT_TRUE(prompt());
            EXPECT_EQ(prompt()->windowTitle(), "Quitter le programme ?");
            EXPECT_EQ(ended.size(), 0);
            QTest::mouseClick(prompt()->ButtonD_Ba, Qt::LeftButton);
        }
        EXPECT_EQ(ended.size(), 1) << exitMenus;
        base.reset();
        Forms::instance().QuitConfirmed = false;
    }
}
