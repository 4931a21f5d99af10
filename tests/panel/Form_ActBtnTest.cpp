#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "devices/PortSender.h"
#include "common/Colors.h"
#include "common/Pause.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/Infrared.h"
#include "panel/Form_ActBtn.h"
#include "devices/PortSender.h"
#include "panel/PanelConfig.h"
#include "panel/ShortcutKeys.h"
#include "settings/Form_CfgErreur.h"
#include "widgets/XiButton.h"
#include "widgets/XiButton2.h"

#include "../devices/ComPortPty.h"
#include "../devices/fake_uuirt/FakeUuirtLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include "TestFiles.h"

using zelvar::testing::readFile;

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

constexpr int VkF1 = shortcutCode("VK_F1");
constexpr int VkF3 = shortcutCode("VK_F3");
constexpr int VkF5 = shortcutCode("VK_F5");
constexpr int VkF2 = shortcutCode("VK_F2");
constexpr int BarColor = 12157320;
const QByteArray ProntoCode = "0000 006D 0000 0001 0020 0030";

ButtonConfig button(int mode, int relay, QPoint at, const QString &caption, int shortcut = 0,
                    const QString &pronto = QStringLiteral("0"))
{
    ButtonConfig b;
    b.mode = mode;
    b.relay = relay;
    b.left = at.x();
    b.top = at.y();
    b.caption = caption;
    b.description = caption + QStringLiteral(" (aide)");
    b.shortcut = shortcut;
    b.shortcutName = shortcutNameForCode(shortcut).value_or(QStringLiteral("VK_NONE"));
    b.prontoCode = pronto;
    return b;
}

TextConfig text(const QString &words, QPoint at)
{
    return TextConfig{words, at.x(), at.y()};
}

// Each test runs in a temporary working directory holding its panel files, with a
// pseudo-terminal for the board and the fake transmitter library. Every pause records what
// reached the board before it and how many infrared codes were sent so far:
// "bytes|pause ms|infrared count".
class LivePanel : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pty.isValid());
        log = dir.filePath(QStringLiteral("uuirt.log"));
        qputenv("ZELVAR_FAKE_UUIRT_LOG", QFile::encodeName(log));
        resetInfrared(QStringLiteral(ZELVAR_FAKE_UUIRT));
        setPauseHook([this](int ms) {
            recorded << QStringLiteral("%1|%2|%3")
                          .arg(QString::fromLatin1(pty.drain(20)))
                          .arg(ms)
                          .arg(infraredCodes().size());
        });
        setErrorReportHook([this](const QString &message) { reported << message; });
    }

    void TearDown() override
    {
        form.reset();
        setPauseHook({});
        setErrorReportHook({});
        qunsetenv("ZELVAR_FAKE_UUIRT_LOG");
        resetInfrared();
        Forms::instance().settings = PanelSettings{};
    }

    PanelConfig panel(std::vector<ButtonConfig> buttons, std::vector<TextConfig> texts = {}) const
    {
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        config.settings.CurrentPortSpeed = QStringLiteral("19200");
        config.buttons = std::move(buttons);
        config.texts = std::move(texts);
        config.buttonsEverHeld = config.textsEverHeld = true;
        return config;
    }

    void write(const PanelConfig &config, const QString &name = PanelFiles::config())
    {
        ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(name)).ok);
    }

    void writePicture(QColor color)
    {
        QImage picture(600, 350, QImage::Format_RGB32);
        picture.fill(color);
        ASSERT_TRUE(savePanelPicture(picture, dir.filePath(PanelFiles::picture())));
    }

    // Creates the panel as the program does, shown as its own window.
    void open()
    {
        form = std::make_unique<TForm_ActBtn>();
        form->move(50, 50);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        events().clear();
        pty.drain(20);
    }

    TXiButton2 *bouton(int k) const
    {
        return form->findChild<TXiButton2 *>(QStringLiteral("Bouton%1").arg(k));
    }

    // Mouse events() go through the window, as a real pointer's do: enter and leave come with
    // the moves, and a held button keeps its events().
    void mouse(QTest::MouseAction action, QWidget *widget, Qt::MouseButton mouseButton = Qt::LeftButton,
               QPoint pos = QPoint(-1, -1))
    {
        QWindow *window = form->windowHandle();
        const QPoint at = widget->mapTo(form.get(), pos == QPoint(-1, -1) ? widget->rect().center() : pos);
        if (action == QTest::MouseMove)
            QTest::mouseMove(window, at);
        else
            QTest::mouseEvent(action, window, mouseButton, {}, at);
        settle();
    }

    QStringList infraredCodes() const
    {
        QStringList codes;
        for (const auto &call : zelvar::testing::readFakeUuirtLog(log))
            if (call.function == "UUIRTTransmitIR")
                codes << QString::fromLatin1(call.code);
        return codes;
    }

    // What the board received in all, recorded pauses and stragglers alike.
    QByteArray wire()
    {
        QByteArray bytes;
        for (const QString &event : std::as_const(events()))
            bytes += event.section(QLatin1Char('|'), 0, 0).toLatin1();
        return bytes + pty.drain(20);
    }

    zelvar::testing::WorkingDirectory dir;
    QString log;
    PseudoTerminal pty;
    // The panel's sender has written everything queued, and its results are told.
    void settle()
    {
        if (form)
            form->ComPort1->sender().waitIdle();
    }
    // The pauses recorded and the errors reported, once what was queued went out.
    QStringList &events()
    {
        settle();
        return recorded;
    }
    QStringList &errors()
    {
        settle();
        return reported;
    }

    QStringList recorded;
    QStringList reported;
    std::unique_ptr<TForm_ActBtn> form;
};

// A second window with an edit box and a focused button with an accelerator, standing for
// any other window of the program.
struct OtherWindow
{
    QWidget window;
    QLineEdit *edit = new QLineEdit(&window);
    TXiButton *go = new TXiButton(&window);
    int clicks = 0;

    OtherWindow()
    {
        go->setCaption(QStringLiteral("&Go"));
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(edit);
        layout->addWidget(go);
        QObject::connect(go, &TXiButton::clicked, [this] { ++clicks; });
        window.show();
        window.activateWindow();
        go->setFocus();
    }
};

} // namespace

TEST_F(LivePanel, LoadShowsTheFileAndOpensThePort)
{
    PanelConfig config = panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette"), VkF1),
                                button(2, 2, {140, 60}, QStringLiteral("Salon"))},
                               {text(QStringLiteral("Cuisine"), {300, 200})});
    config.settings.MoveMainWindow = true;
    config.settings.ExitMenusEnabled = false;
    write(config);
    writePicture(Qt::green);
    QSignalSpy switched(&Forms::instance(), &Forms::commandsSwitched);
    open();

    EXPECT_EQ(Forms::instance().Form_ActBtn, form.get());
    ASSERT_EQ(switched.size(), 1);
    EXPECT_EQ(switched[0], (QVariantList{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(form->messageHookInstalled());

    const PanelSettings &settings = Forms::instance().settings;
    EXPECT_EQ(settings.CurrentPortName, pty.slavePath());
    EXPECT_EQ(settings.CurrentPortSpeed, QStringLiteral("19200"));
    EXPECT_FALSE(settings.ExitMenusEnabled);
    EXPECT_TRUE(settings.ReduceToTray);
    EXPECT_TRUE(settings.MoveMainWindow);
    EXPECT_EQ(form->ComPort1->Port(), pty.slavePath());
    EXPECT_EQ(form->ComPort1->BaudRate(), br19200);
    EXPECT_TRUE(form->ComPort1->Connected());

    ASSERT_EQ(form->buttons().size(), 3u);
    EXPECT_TRUE(form->buttons()[0].button.isNull());
    EXPECT_TRUE(form->buttons()[0].clickCommand.isEmpty());
    TXiButton2 *sonnette = bouton(1);
    ASSERT_NE(sonnette, nullptr);
    EXPECT_EQ(form->buttons()[1].button.data(), static_cast<QObject *>(sonnette));
    EXPECT_EQ(sonnette->parentWidget(), form->Panel1);
    EXPECT_EQ(sonnette->geometry(), QRect(40, 60, 75, 25));
    EXPECT_EQ(sonnette->Caption(), QStringLiteral("Sonnette"));
    EXPECT_EQ(sonnette->toolTip(), QStringLiteral("Sonnette (aide)"));
    EXPECT_TRUE(sonnette->isVisible());
    EXPECT_EQ(form->buttons()[1].shortcut, VkF1);
    EXPECT_EQ(form->buttons()[2].clickCommand, QByteArray("S2N$#"));

    ASSERT_EQ(form->PanelTexts.size(), 1);
    QLabel *cuisine = form->PanelTexts[0];
    EXPECT_EQ(cuisine->objectName(), QStringLiteral("LeLabel1"));
    EXPECT_EQ(cuisine->text(), QStringLiteral("Cuisine"));
    EXPECT_EQ(cuisine->pos(), QPoint(300, 200));
    EXPECT_TRUE(cuisine->isVisible());

    // The picture, unscaled from the top-left corner, with the bar painted over it.
    const QImage shown = form->Image1->pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(300, 200), QColor(Qt::green));
    EXPECT_EQ(bgrFromColor(shown.pixelColor(111, 0)), BarColor);
    EXPECT_EQ(bgrFromColor(shown.pixelColor(491, 9)), BarColor);
    EXPECT_EQ(shown.pixelColor(110, 0), QColor(Qt::green));
    EXPECT_EQ(shown.pixelColor(492, 0), QColor(Qt::green));
    EXPECT_EQ(shown.pixelColor(111, 10), QColor(Qt::green));
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(LivePanel, ImpButtonHoldsItsRelayForAsLongAsThePress)
{
    write(panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette")), button(2, 2, {140, 60}, QStringLiteral("Salon"))}));
    open();

    mouse(QTest::MouseMove, bouton(2));
    mouse(QTest::MouseClick, bouton(2));
    EXPECT_EQ(form->CurrentButton(), 2);
    EXPECT_EQ(events(), (QStringList{"S2N$#|10|0"})) << "an empty slot sends nothing and waits nothing";

    // Leaving a button forgets it; the next press acts on the button pressed all the same.
    mouse(QTest::MouseMove, bouton(1));
    EXPECT_EQ(form->CurrentButton(), 0);
    events().clear();
    mouse(QTest::MousePress, bouton(1));
    EXPECT_EQ(events(), (QStringList{"S1N$#|10|0"}));
    EXPECT_EQ(form->CurrentButton(), 1);
    EXPECT_TRUE(pty.drain(50).isEmpty()) << "the relay must stay on while the button is held";

    events().clear();
    mouse(QTest::MouseRelease, bouton(1));
    EXPECT_EQ(events(), (QStringList{"S1F$#|10|0"}));

    // Other mouse buttons operate nothing.
    events().clear();
    mouse(QTest::MouseClick, bouton(1), Qt::RightButton);
    mouse(QTest::MouseClick, bouton(1), Qt::MiddleButton);
    EXPECT_TRUE(events().isEmpty());
    EXPECT_TRUE(wire().isEmpty());
}

TEST_F(LivePanel, ShortcutsFireTheHighestButtonAndReachNoWindow)
{
    write(panel({button(1, 3, {40, 60}, QStringLiteral("Pompe"), VkF1),
                 button(4, 5, {140, 60}, QStringLiteral("Volet"), VkF5),
                 button(2, 6, {240, 60}, QStringLiteral("Lampe"), VkF5)}));
    open();
    OtherWindow other;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other.window));

    QTest::keyClick(other.edit, Qt::Key_F1);
    EXPECT_EQ(events(), (QStringList{"S3N$#|200|0", "S3F$#|200|0"}));
    EXPECT_EQ(form->CurrentButton(), 0);

    events().clear();
    QTest::keyClick(other.edit, Qt::Key_F5);
    EXPECT_EQ(events(), (QStringList{"S6N$#|200|0"})) << "no wait before an On button's command";

    // No button's key, a typed letter, an accelerator: nothing is sent, nothing arrives.
    events().clear();
    QTest::keyClick(other.edit, Qt::Key_F2);
    QTest::keyClicks(other.edit, QStringLiteral("abc"));
    QTest::keyClick(other.edit, Qt::Key_G, Qt::AltModifier);
    EXPECT_TRUE(events().isEmpty());
    EXPECT_TRUE(other.edit->text().isEmpty());
    EXPECT_EQ(other.clicks, 0);

    // A held key fires once, not on each repeat.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(other.edit, &repeat);
    EXPECT_TRUE(events().isEmpty());
    EXPECT_TRUE(wire().isEmpty());

    // While the layout editor holds the hook off, keys reach the windows and fire nothing.
    form->removeMessageHook();
    QTest::keyClicks(other.edit, QStringLiteral("abc"));
    QTest::keyClick(other.edit, Qt::Key_F1);
    QTest::keyClick(other.edit, Qt::Key_G, Qt::AltModifier);
    EXPECT_EQ(other.edit->text(), QStringLiteral("abc"));
    EXPECT_EQ(other.clicks, 1);
    EXPECT_TRUE(wire().isEmpty());
    form->installMessageHook();
    QTest::keyClick(other.edit, Qt::Key_X);
    EXPECT_EQ(other.edit->text(), QStringLiteral("abc"));

    // A file dialog stands the hook aside while it is open, then gives it back.
    {
        const TForm_ActBtn::KeyHookPause typing;
        EXPECT_FALSE(form->messageHookInstalled());
        QTest::keyClicks(other.edit, QStringLiteral("de"));
    }
    EXPECT_TRUE(form->messageHookInstalled());
    QTest::keyClick(other.edit, Qt::Key_Y);
    EXPECT_EQ(other.edit->text(), QStringLiteral("abcde"));
    EXPECT_TRUE(wire().isEmpty());
}

// Whatever the trigger, the program's relay states follow the commands the board received.
TEST_F(LivePanel, RelayStatesFollowClicksAndShortcuts)
{
    write(panel({button(1, 4, {40, 60}, QStringLiteral("Sonnette")), button(2, 7, {140, 60}, QStringLiteral("Lampe")),
                 button(4, 7, {240, 60}, QStringLiteral("Inverser"), VkF3)}));
    open();
    OtherWindow other;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other.window));
    const RelayStates &states = Forms::instance().relayStates;

    mouse(QTest::MouseMove, bouton(2));
    mouse(QTest::MouseClick, bouton(2));
    EXPECT_EQ(states.state(7), RelayStates::State::On);
    QTest::keyClick(other.edit, Qt::Key_F3);
    settle();
    EXPECT_EQ(states.state(7), RelayStates::State::Off);

    mouse(QTest::MouseMove, bouton(1));
    mouse(QTest::MousePress, bouton(1));
    EXPECT_EQ(states.state(4), RelayStates::State::On) << "on while the button is held";
    mouse(QTest::MouseRelease, bouton(1));
    EXPECT_EQ(states.state(4), RelayStates::State::Off);
    EXPECT_EQ(wire(), QByteArray("S7N$#S7T$#S4N$#S4F$#"));

    // Another device was told nothing yet.
    form->ComPort1->ClosePort();
    form->ComPort1->setPort(QStringLiteral("COM9"));
    EXPECT_EQ(states.state(4), RelayStates::State::Unknown);
    EXPECT_EQ(states.state(7), RelayStates::State::Unknown);
}

TEST_F(LivePanel, NullAndMacroButtonsSendNothingByAnyTrigger)
{
    write(panel({button(0, 1, {40, 60}, QStringLiteral("Rien"), VkF1),
                 button(6, 2, {140, 60}, QStringLiteral("Macro"), VkF2)}));
    open();
    OtherWindow other;

    for (int k : {1, 2}) {
        mouse(QTest::MouseMove, bouton(k));
        mouse(QTest::MouseClick, bouton(k));
        form->fireButton(k);
    }
    QTest::keyClick(other.edit, Qt::Key_F1);
    QTest::keyClick(other.edit, Qt::Key_F2);
    EXPECT_TRUE(events().isEmpty()) << "nothing written, nothing waited";
    EXPECT_TRUE(wire().isEmpty());
    EXPECT_TRUE(infraredCodes().isEmpty());
}

TEST_F(LivePanel, InfraredButtonTransmitsAndNeverWritesToTheSerialLine)
{
    write(panel({button(5, 0, {40, 60}, QStringLiteral("Tele"), VkF3, QString::fromLatin1(ProntoCode))}));
    open();
    OtherWindow other;

    mouse(QTest::MouseMove, bouton(1));
    mouse(QTest::MouseClick, bouton(1));
    EXPECT_EQ(infraredCodes(), QStringList{QString::fromLatin1(ProntoCode)});
    QTest::keyClick(other.edit, Qt::Key_F3);
    form->fireButton(1);
    EXPECT_TRUE(events().isEmpty());
    EXPECT_TRUE(wire().isEmpty());
    EXPECT_EQ(infraredCodes(), QStringList(3, QString::fromLatin1(ProntoCode)));
}

TEST_F(LivePanel, TheFirstInfraredFailureOfARunIsShownOnce)
{
    resetInfrared(dir.filePath(QStringLiteral("no-driver.so")), dir.filePath(QStringLiteral("no-lirc")));
    resetInfraredFailureReport();
    write(panel({button(5, 0, {40, 60}, QStringLiteral("Tele"), VkF3, QString::fromLatin1(ProntoCode))}));
    open();

    mouse(QTest::MouseMove, bouton(1));
    mouse(QTest::MouseClick, bouton(1));
    form->fireButton(1);
    mouse(QTest::MouseClick, bouton(1));
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return !errors().isEmpty(); }));
    QTest::qWait(50);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(dir.filePath(QStringLiteral("no-lirc")))) << errors()[0].toStdString();
    EXPECT_TRUE(wire().isEmpty());
    resetInfraredFailureReport();
}

TEST_F(LivePanel, ButtonsWithoutTextsWorkWithoutPicture)
{
    PanelConfig config = panel({button(1, 4, {40, 60}, QStringLiteral("Portail")), button(3, 4, {140, 60}, QStringLiteral("Stop"))});
    config.textsEverHeld = false;
    write(config);
    writePicture(Qt::green);
    open();

    EXPECT_EQ(form->buttons().size(), 3u);
    ASSERT_NE(bouton(2), nullptr);
    EXPECT_TRUE(bouton(2)->isVisible());
    EXPECT_TRUE(form->PanelTexts.isEmpty());
    EXPECT_TRUE(form->Panel1->findChildren<QLabel *>(QStringLiteral("LeLabel1")).isEmpty());
    const QImage shown = form->Image1->pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(300, 200), QColor(Qt::white));
    EXPECT_EQ(bgrFromColor(shown.pixelColor(200, 5)), BarColor);

    ASSERT_TRUE(form->ComPort1->Connected());
    mouse(QTest::MouseMove, bouton(1));
    mouse(QTest::MousePress, bouton(1));
    EXPECT_EQ(events(), (QStringList{"S4N$#|10|0"}));
    mouse(QTest::MouseRelease, bouton(1));
    form->fireButton(2);
    EXPECT_TRUE(wire().endsWith("S4F$#S4F$#"));
}

TEST_F(LivePanel, FactoryLoadReplacesButtonsAndTextsAndWritesNothing)
{
    PanelConfig user = panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette")), button(2, 2, {140, 60}, QStringLiteral("Salon"))},
                             {text(QStringLiteral("Chez moi"), {10, 300})});
    user.settings.MoveMainWindow = true;
    write(user);
    PanelConfig factory;
    factory.settings.CurrentPortName = QStringLiteral("COM3");
    factory.settings.CurrentPortSpeed = QStringLiteral("4800");
    factory.settings.ExitMenusEnabled = false;
    factory.settings.ReduceToTray = false;
    factory.buttons = {button(4, 7, {300, 100}, QStringLiteral("Usine"))};
    factory.texts = {text(QStringLiteral("Un"), {0, 0}), text(QStringLiteral("Deux"), {0, 40})};
    write(factory, PanelFiles::factory());
    open();
    const QByteArray userFile = readFile(PanelFiles::config());
    const QByteArray factoryFile = readFile(PanelFiles::factory());

    form->FactoryLoad();
    EXPECT_TRUE(events().isEmpty()); // two buttons and one text destroyed without a pause

    const QList<TXiButton2 *> shown = form->Panel1->findChildren<TXiButton2 *>();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]->objectName(), QStringLiteral("Bouton1"));
    EXPECT_EQ(shown[0]->Caption(), QStringLiteral("Usine"));
    EXPECT_EQ(shown[0]->pos(), QPoint(300, 100));
    ASSERT_EQ(form->PanelTexts.size(), 2);
    EXPECT_EQ(form->PanelTexts[1]->text(), QStringLiteral("Deux"));
    EXPECT_EQ(form->Panel1->findChildren<QLabel *>(QStringLiteral("LeLabel1")).size(), 1);
    EXPECT_EQ(form->CurrentButton(), 0);

    // The flags come from the factory file; the port in force stays the running one, so that
    // saving the port settings later does not move the board to the factory's device.
    const PanelSettings &settings = Forms::instance().settings;
    EXPECT_EQ(settings.CurrentPortName, pty.slavePath());
    EXPECT_EQ(settings.CurrentPortSpeed, QStringLiteral("19200"));
    EXPECT_EQ(form->ComPort1->BaudRate(), br19200);
    EXPECT_FALSE(settings.ExitMenusEnabled);
    EXPECT_FALSE(settings.ReduceToTray);
    EXPECT_TRUE(settings.MoveMainWindow);
    EXPECT_EQ(form->ComPort1->Port(), pty.slavePath());
    EXPECT_TRUE(form->ComPort1->Connected());

    EXPECT_EQ(readFile(PanelFiles::config()), userFile);
    EXPECT_EQ(readFile(PanelFiles::factory()), factoryFile);
    EXPECT_FALSE(QFile::exists(PanelFiles::picture()));

    events().clear();
    mouse(QTest::MouseMove, shown[0]);
    mouse(QTest::MouseClick, shown[0]);
    EXPECT_EQ(wire(), QByteArray("S7T$#"));

    // Without a factory file (missing, or a folder) it says so and the panel stays.
    for (bool folder : {false, true}) {
        QFile::remove(PanelFiles::factory());
        if (folder) {
            ASSERT_TRUE(QDir(dir.path()).mkdir(PanelFiles::factory()));
        }
        errors().clear();
        form->FactoryLoad();
        const QString reason = folder ? "\nDefault.ini : " + QString::fromLocal8Bit(strerror(EISDIR)) : QString();
        EXPECT_EQ(errors(), QStringList{QStringLiteral("Impossible de restaurer les réglages par défault") + reason});
        EXPECT_EQ(form->Panel1->findChildren<TXiButton2 *>().size(), 1u);
    }
}

// An unreadable panel file once started an empty panel without a word.
TEST_F(LivePanel, UnreadablePanelFileIsReportedAtStart)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(PanelFiles::config()));
    open();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QDir::toNativeSeparators(dir.filePath(PanelFiles::config()))))
        << errors()[0].toStdString();
    EXPECT_TRUE(errors()[0].contains(QString::fromLocal8Bit(strerror(EISDIR)))) << errors()[0].toStdString();
    EXPECT_EQ(form->buttons().size(), 1u);
    EXPECT_FALSE(form->ComPort1->Connected()) << "the default port is nobody's choice";
    EXPECT_TRUE(QFileInfo(dir.filePath(PanelFiles::config())).isDir());
}

TEST_F(LivePanel, RebuildLeavesNothingOfTheFormerButtons)
{
    write(panel({button(1, 3, {40, 60}, QStringLiteral("Pompe"), VkF1),
                 button(5, 0, {140, 60}, QStringLiteral("Tele"), VkF2, QString::fromLatin1(ProntoCode))},
                {text(QStringLiteral("Avant"), {10, 300})}));
    open();
    OtherWindow other;
    writePicture(Qt::blue);

    form->Rebuild({button(2, 4, {40, 60}, QStringLiteral("Lampe")), button(1, 9, {140, 60}, QStringLiteral("Tele"))},
                  {text(QStringLiteral("Apres"), {20, 310})});
    EXPECT_TRUE(events().isEmpty());

    ASSERT_EQ(form->buttons().size(), 3u);
    const ButtonEntry &lampe = form->buttons()[1];
    EXPECT_TRUE(lampe.pressCommand.isEmpty());
    EXPECT_TRUE(lampe.releaseCommand.isEmpty());
    EXPECT_EQ(lampe.clickCommand, QByteArray("S4N$#"));
    EXPECT_EQ(lampe.shortcut, 0);
    EXPECT_EQ(lampe.description, QStringLiteral("Lampe (aide)"));
    const ButtonEntry &tele = form->buttons()[2];
    EXPECT_EQ(tele.mode, 1);
    EXPECT_TRUE(tele.clickCommand.isEmpty());
    ASSERT_EQ(form->PanelTexts.size(), 1);
    EXPECT_EQ(form->PanelTexts[0]->objectName(), QStringLiteral("aLabel1"));
    EXPECT_EQ(form->PanelTexts[0]->text(), QStringLiteral("Apres"));
    EXPECT_EQ(form->Image1->pixmap().toImage().pixelColor(300, 200), QColor(Qt::blue));

    events().clear();
    QTest::keyClick(other.edit, Qt::Key_F1);
    QTest::keyClick(other.edit, Qt::Key_F2);
    EXPECT_TRUE(wire().isEmpty());
    mouse(QTest::MouseMove, bouton(1));
    mouse(QTest::MouseClick, bouton(1));
    mouse(QTest::MouseMove, bouton(2));
    mouse(QTest::MouseClick, bouton(2));
    EXPECT_EQ(wire(), QByteArray("S4N$#S9N$#S9F$#"));
    EXPECT_TRUE(infraredCodes().isEmpty());
}

TEST_F(LivePanel, RebuildAndFactoryLoadFillAnEmptyPanel)
{
    write(panel({}));
    PanelConfig factory = panel({button(3, 2, {0, 0}, QStringLiteral("Usine"))});
    write(factory, PanelFiles::factory());
    open();
    ASSERT_EQ(form->buttons().size(), 1u);
    // An empty panel says how to begin, and only while it is empty.
    EXPECT_TRUE(form->EmptyHint->isVisibleTo(form.get()));
    EXPECT_TRUE(form->EmptyHint->text().contains(QStringLiteral("Configuration des boutons")));

    form->Rebuild({button(2, 1, {40, 60}, QStringLiteral("Neuf"))}, {text(QStringLiteral("Texte"), {0, 0})});
    ASSERT_EQ(form->buttons().size(), 2u);
    EXPECT_EQ(form->PanelTexts.size(), 1);
    EXPECT_FALSE(form->EmptyHint->isVisibleTo(form.get()));

    // An editor list without buttons empties the panel, its texts included.
    form->Rebuild({}, {});
    EXPECT_EQ(form->buttons().size(), 1u);
    EXPECT_TRUE(form->PanelTexts.isEmpty());
    EXPECT_TRUE(form->EmptyHint->isVisibleTo(form.get()));

    form->FactoryLoad();
    ASSERT_EQ(form->buttons().size(), 2u);
    EXPECT_EQ(form->buttons()[1].clickCommand, QByteArray("S2F$#"));
}

TEST_F(LivePanel, ErrorOfAClosedPortIsReportedAndThePanelCarriesOn)
{
    write(panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette"), VkF1)}));
    open();
    OtherWindow other;
    form->ComPort1->ClosePort();

    mouse(QTest::MouseMove, bouton(1));
    mouse(QTest::MousePress, bouton(1));
    QTest::keyClick(other.edit, Qt::Key_F1);
    form->fireButton(1);
    EXPECT_TRUE(events().isEmpty()) << "a failed write abandons the rest of its sequence";
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return errors().size() == 3; }));
    EXPECT_EQ(errors()[0], EComPort(CError_WriteFailed, EBADF).Message());
    EXPECT_EQ(form->CurrentButton(), 0);

    form->ComPort1->OpenPort();
    mouse(QTest::MouseRelease, bouton(1));
    EXPECT_EQ(wire(), QByteArray()) << "the release of a press that never went out is dropped";
    EXPECT_EQ(errors().size(), 3);
}

TEST_F(LivePanel, OneClickGivesOneReportAndAWrittenPressGetsItsRelease)
{
    write(panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette")), button(2, 2, {140, 60}, QStringLiteral("Lampe"))}));
    open();
    const auto click = [this](int k) {
        mouse(QTest::MouseMove, bouton(k));
        mouse(QTest::MousePress, bouton(k));
        mouse(QTest::MouseRelease, bouton(k));
        QCoreApplication::processEvents();
    };

    form->ComPort1->ClosePort();
    for (int k : {1, 2})
        click(k);
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return errors().size() >= 2; }));
    QTest::qWait(20);
    EXPECT_EQ(errors().size(), 2) << "one box per click, whichever of its commands failed";

    // The abandoned click leaves nothing behind: the next one sends both commands.
    form->ComPort1->OpenPort();
    click(1);
    EXPECT_EQ(wire(), QByteArray("S1N$#S1F$#"));

    // Relay 1 went on: its off command still goes out when the port came back meanwhile...
    events().clear();
    mouse(QTest::MousePress, bouton(1));
    form->ComPort1->ClosePort();
    form->ComPort1->OpenPort();
    mouse(QTest::MouseRelease, bouton(1));
    EXPECT_EQ(wire(), QByteArray("S1N$#S1F$#"));
    // ...and is reported when it cannot.
    mouse(QTest::MousePress, bouton(1));
    form->ComPort1->ClosePort();
    mouse(QTest::MouseRelease, bouton(1));
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return errors().size() == 3; }));
}

TEST_F(LivePanel, BackgroundDragsTheWindowWhenAllowed)
{
    PanelConfig config = panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette"))});
    config.settings.MoveMainWindow = true;
    write(config);
    open();
    const QPoint start = form->pos();

    mouse(QTest::MousePress, form->Image1, Qt::LeftButton, {300, 200});
    mouse(QTest::MouseMove, form->Image1, Qt::LeftButton, {350, 220});
    // The pointer stays over the same point of the picture, which came along with the window.
    mouse(QTest::MouseRelease, form->Image1, Qt::LeftButton, {300, 200});
    EXPECT_EQ(form->pos(), start + QPoint(50, 20));

    Forms::instance().settings.MoveMainWindow = false;
    const QPoint moved = form->pos();
    mouse(QTest::MousePress, form->Image1, Qt::LeftButton, {300, 200});
    mouse(QTest::MouseMove, form->Image1, Qt::LeftButton, {350, 220});
    mouse(QTest::MouseRelease, form->Image1, Qt::LeftButton, {350, 220});
    EXPECT_EQ(form->pos(), moved);
}

TEST_F(LivePanel, ClosingClosesThePortAndANewPanelTakesTheHook)
{
    write(panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette"), VkF1)}));
    open();
    ASSERT_TRUE(form->ComPort1->Connected());
    form->close();
    EXPECT_FALSE(form->ComPort1->Connected());

    auto newer = std::make_unique<TForm_ActBtn>();
    EXPECT_TRUE(newer->messageHookInstalled());
    EXPECT_FALSE(form->messageHookInstalled());
    EXPECT_EQ(Forms::instance().Form_ActBtn, newer.get());
    events().clear();
    QLineEdit edit;
    QTest::keyClick(&edit, Qt::Key_F1);
    newer->ComPort1->sender().waitIdle();
    EXPECT_EQ(events(), (QStringList{"S1N$#|200|0", "S1F$#|200|0"}));
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(LivePanel, PortThatCannotBeOpenedShowsThePortFormInThePanel)
{
    PanelConfig config = panel({button(1, 1, {40, 60}, QStringLiteral("Sonnette"))});
    config.settings.CurrentPortName = dir.filePath(QStringLiteral("no-such-tty"));
    write(config);
    QSignalSpy switched(&Forms::instance(), &Forms::commandsSwitched);
    open();

    QPointer<TForm_CfgErreur> portForm = Forms::instance().Form_CfgErreur;
    ASSERT_FALSE(portForm.isNull());
    EXPECT_EQ(portForm->parentWidget(), form->Panel1);
    EXPECT_TRUE(portForm->isVisible());
    EXPECT_EQ(portForm->geometry(), form->Panel1->rect());
    EXPECT_FALSE(form->ComPort1->Connected());
    ASSERT_EQ(switched.size(), 2);
    EXPECT_EQ(switched[1], (QVariantList{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_EQ(form->buttons().size(), 2u);

    QTest::mouseClick(portForm->Btn_FermerCfgE, Qt::LeftButton);
    EXPECT_EQ(switched.last(), (QVariantList{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(portForm.isNull() || !portForm->isVisible());
}

// Keys reach the message boxes, menus and text fields that read them, and fire nothing
// there; everywhere else the panel's shortcuts still fire.
TEST_F(LivePanel, DialogsMenusAndTextFieldsKeepTheirKeys)
{
    write(panel({button(2, 2, {40, 60}, QStringLiteral("Salon"), VkF2)}));
    open();
    const QStringList fired{"S2N$#|200|0"};
    // The platform stamps these keys with the time: a press in the millisecond of the last
    // release would be a held key's repeat.
    const auto pressF2 = [](QWindow *window) {
        QTest::qWait(2);
        QTest::keyClick(window, Qt::Key_F2);
    };

    // Escape closes a message box; F2 pressed behind it fires nothing. The keys come
    // through the window, as the platform's do.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Zelvar"), QStringLiteral("Continuer ?"),
                    QMessageBox::Ok | QMessageBox::Cancel, form.get());
    QTimer::singleShot(0, &box, [&box] {
        QTest::keyClick(box.windowHandle(), Qt::Key_F2);
        QTest::keyClick(box.windowHandle(), Qt::Key_Escape);
    });
    QTimer::singleShot(3000, &box, [&box] { box.done(-1); });
    EXPECT_EQ(box.exec(), QMessageBox::Cancel);
    EXPECT_TRUE(events().isEmpty());

    // A menu takes its arrows and Enter.
    QMenu menu;
    QSignalSpy chosen(menu.addAction(QStringLiteral("Un")), &QAction::triggered);
    menu.popup(form->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::keyClick(&menu, Qt::Key_F2);
    QTest::keyClick(&menu, Qt::Key_Down);
    QTest::keyClick(&menu, Qt::Key_Return);
    EXPECT_EQ(chosen.size(), 1);
    EXPECT_TRUE(events().isEmpty());

    // Text fields take what is typed; read-only ones and other controls leave keys to the
    // panel.
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit;
    auto *spin = new QSpinBox;
    spin->clear();
    auto *combo = new QComboBox;
    combo->setEditable(true);
    auto *notes = new QPlainTextEdit;
    auto *readOnly = new QLineEdit(QStringLiteral("fixe"));
    readOnly->setReadOnly(true);
    auto *list = new QComboBox;
    list->addItems({QStringLiteral("a"), QStringLiteral("b")});
    for (QWidget *w : std::initializer_list<QWidget *>{edit, spin, combo, notes, readOnly, list})
        layout->addWidget(w);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (QWidget *field : std::initializer_list<QWidget *>{edit, spin, combo, notes}) {
        field->setFocus();
        QTest::keyClick(window.windowHandle(), '4');
        QTest::keyClick(window.windowHandle(), '2');
        QTest::keyClick(window.windowHandle(), Qt::Key_F2);
        EXPECT_EQ(field->inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("42"))
            << field->metaObject()->className();
        EXPECT_TRUE(events().isEmpty()) << field->metaObject()->className();
    }
    for (QWidget *control : std::initializer_list<QWidget *>{readOnly, list}) {
        control->setFocus();
        events().clear();
        pressF2(window.windowHandle());
        EXPECT_EQ(events(), fired) << control->metaObject()->className();
    }

    // And on the panel itself.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    events().clear();
    pressF2(form->windowHandle());
    EXPECT_EQ(events(), fired);
    EXPECT_TRUE(errors().isEmpty());
}
