#include "app/Form_Base.h"
#include "app/formDynamique.h"
#include "common/Pause.h"
#include "editors/Form_CfgBtn.h"
#include "editors/Form_Config2.h"
#include "editors/Form_Macro.h"
#include "editors/Form_PhotoZel.h"
#include "editors/PendingValues.h"
#include "settings/PagesDlg.h"
#include "widgets/UpDown.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelExport.h"
#include "panel/ShortcutKeys.h"
#include "widgets/InputBlock.h"
#include "widgets/XiButton.h"
#include "widgets/XiButton2.h"

#include "../Shots.h"
#include "../TestFiles.h"
#include "../devices/ComPortPty.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;
using zelvar::testing::readFile;

namespace {

constexpr int FaceColor = 13036799;
constexpr int Red = 255;
const QList<bool> AllOn{true, true, true, true, true, true, true};

ButtonConfig button(const QString &caption, int left, int top, int mode, int relay, int shortcut = 0)
{
    ButtonConfig b;
    b.caption = caption;
    b.left = left;
    b.top = top;
    b.mode = mode;
    b.relay = relay;
    b.description = caption + QStringLiteral(" (aide)");
    b.shortcut = shortcut;
    b.shortcutName = shortcutNameForCode(shortcut).value_or(QStringLiteral("VK_NONE"));
    return b;
}

// The main window in a working directory of its own, its panel on a pseudo-terminal; the
// editor opened from its command, as the user opens it.
class LayoutEditor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && pty.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        setPauseHook([](int) {});
        setErrorReportHook([this](const QString &message) { messages << message; });
        Forms::instance().MainWindowShown = true;
    }

    void TearDown() override
    {
        base.reset();
        setPauseHook({});
        setErrorReportHook({});
        QApplication::setQuitOnLastWindowClosed(true);
        Forms::instance().settings = PanelSettings{};
        Forms::instance().QuitConfirmed = false;
        Forms::instance().MainWindowShown = true;
    }

    PanelConfig threeAndTwo(bool exitMenus = false) const
    {
        PanelConfig config;
        config.settings.CurrentPortName = pty.slavePath();
        config.settings.ExitMenusEnabled = exitMenus;
        config.buttons = {button(QStringLiteral("Salon"), 40, 60, 1, 1),
                          button(QStringLiteral("Cuisine"), 140, 60, 2, 2, shortcutCode("VK_F5")),
                          button(QStringLiteral("Garage"), 240, 60, 4, 3)};
        config.texts = {TextConfig{QStringLiteral("Maison"), 40, 20}, TextConfig{QStringLiteral("Dehors"), 300, 200}};
        config.buttonsEverHeld = config.textsEverHeld = true;
        return config;
    }

    void write(const PanelConfig &config) { ASSERT_TRUE(writePanelConfig(config).save(PanelFiles::config()).ok); }

    // The demo's panel and picture; its port is the pseudo-terminal here.
    void copyDemo()
    {
        for (const char *name : {"Zelvar2.ini", "Zelvar2.bmp"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(ZELVAR_DEMO_DIR "/") + QLatin1String(name), QLatin1String(name)));
        ProfileFile demo = ProfileFile::load(PanelFiles::config());
        demo.writeString(PanelKeys::Com, PanelKeys::PortName, pty.slavePath());
        ASSERT_TRUE(demo.save(PanelFiles::config()).ok);
    }

    void open()
    {
        base = std::make_unique<TForm_Base>();
        base->showMessage = [this](const QString &text) { messages << text; };
        base->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(base.get()));
        base->Bo_CfgBtn->trigger();
        editor = Forms::instance().Form_CfgBtn;
        ASSERT_TRUE(editor);
        editor->showMessage = [this](const QString &, const QString &text) { messages << text; };
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
        pty.drain(20);
    }

    TXiButton *bouton(int k) const { return editor->EditButtons[size_t(k)].control; }
    QLineEdit *texte(int k) const { return editor->EditTexts[size_t(k)].control; }

    QStringList names() const
    {
        QStringList result;
        for (size_t k = 1; k < editor->EditButtons.size(); ++k)
            result << bouton(int(k))->objectName();
        for (size_t k = 1; k < editor->EditTexts.size(); ++k)
            result << texte(int(k))->objectName();
        return result;
    }

    QList<bool> commands() const
    {
        return {base->Btn_CfgBtn->isEnabled(), base->Bo_CfgBtn->isEnabled(), base->Btn_Prg->isEnabled(),
                base->Btn_RglPdef->isEnabled(), base->Bo_Pmg->isEnabled(), base->Btn_Seq->isEnabled(),
                base->Bo_Seq->isEnabled()};
    }

    // Mouse events go through the editor's window, as a real pointer's do.
    void mouse(QTest::MouseAction action, QWidget *widget, QPoint pos, Qt::MouseButton b = Qt::LeftButton)
    {
        const QPoint at = widget->mapTo(editor, pos);
        if (action == QTest::MouseMove)
            QTest::mouseMove(editor->windowHandle(), at);
        else
            QTest::mouseEvent(action, editor->windowHandle(), b, {}, at);
    }

    void click(QWidget *control)
    {
        mouse(QTest::MousePress, control, control->rect().center());
        mouse(QTest::MouseRelease, control, control->rect().center());
    }

    void drag(QWidget *control, QPoint by)
    {
        const QPoint start = control->rect().center();
        mouse(QTest::MousePress, control, start);
        // Moves are relative to where the control was taken, which moves along.
        QPoint inPanel = control->mapTo(editor, start);
        for (int step = 1; step <= 4; ++step) {
            const QPoint at = inPanel + by * step / 4;
            QMouseEvent move(QEvent::MouseMove, control->mapFrom(editor, at), editor->mapToGlobal(at),
                             Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(control, &move);
        }
        mouse(QTest::MouseRelease, control, control->mapFrom(editor, inPanel + by));
    }

    // What the window manager does when a menu or a dialog over the editor closes.
    void reactivate()
    {
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
    }

    // A right-click on a control, then a click on an item of the menu it opened.
    void choose(QWidget *control, QMenu *menu, QAction *item)
    {
        const QPoint at = control->mapTo(editor, control->rect().center());
        mouse(QTest::MousePress, editor, at, Qt::RightButton);
        ASSERT_TRUE(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        mouse(QTest::MouseRelease, editor, at, Qt::RightButton); // the control may be gone
        EXPECT_FALSE(menu->isVisible());
        reactivate();
    }

    TForm_Config2 *properties(int k)
    {
        click(bouton(k));
        EXPECT_EQ(editor->currentButton(), k);
        editor->Proprietes->trigger();
        TForm_Config2 *dialog = Forms::instance().Form_Config2;
        if (dialog)
            dialog->showMessage = [this](const QString &text) { messages << text; };
        return dialog;
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal pty;
    std::unique_ptr<TForm_Base> base;
    QPointer<TForm_CfgBtn> editor;
    QStringList messages;
};

TEST_F(LayoutEditor, OpensOnTheFileWithItsNamesAndAddsTheNextButton)
{
    write(threeAndTwo());
    open();
    EXPECT_EQ(editor->parentWidget(), base.get());
    EXPECT_EQ(editor->pos(), QPoint(300, 300));
    EXPECT_EQ(editor->size(), QSize(633, 498));
    EXPECT_EQ(commands(), (QList<bool>{false, false, true, false, false, false, false}));
    EXPECT_FALSE(Forms::instance().Form_ActBtn->messageHookInstalled());

    EXPECT_EQ(names(), (QStringList{"Bouton1", "Bouton2", "Bouton3", "Texte1", "Texte2"}));
    EXPECT_EQ(bouton(2)->Caption(), QStringLiteral("Cuisine"));
    EXPECT_EQ(bouton(2)->pos(), QPoint(140, 60));
    EXPECT_EQ(bouton(2)->toolTip(), QStringLiteral("Cuisine (aide)"));
    EXPECT_EQ(texte(2)->text(), QStringLiteral("Dehors"));
    EXPECT_EQ(texte(2)->cursorPosition(), 0); // a text too long for its box shows its start
    EXPECT_EQ(editor->currentButton(), 3);
    EXPECT_EQ(bouton(3)->ColorFace(), Red);
    EXPECT_EQ(editor->currentText(), 2);

    editor->Ajouterunbouton1->trigger();
    ASSERT_EQ(editor->buttonCount(), 4);
    EXPECT_EQ(bouton(4)->objectName(), QStringLiteral("Bouton4"));
    EXPECT_EQ(bouton(4)->Caption(), QStringLiteral("Bouton4"));
    EXPECT_EQ(bouton(4)->geometry(), QRect(60, 0, 75, 25));
    EXPECT_EQ(editor->currentButton(), 4); // the new button is current and shown so
    EXPECT_EQ(bouton(4)->ColorFace(), Red);
    EXPECT_EQ(bouton(3)->ColorFace(), FaceColor);
    editor->Ajouteruntexte1->trigger();
    EXPECT_EQ(texte(3)->objectName(), QStringLiteral("Texte3"));
    EXPECT_EQ(texte(3)->geometry(), QRect(0, 0, 75, 25));

    // The general settings and the picture's editor each hold the editor while they are open.
    editor->Proprietesgenerales1->trigger();
    ASSERT_TRUE(Forms::instance().PagesDlg);
    EXPECT_TRUE(editor->isHeld());
    Forms::instance().PagesDlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor->isHeld());
    ASSERT_TRUE(editor->Editerlimagedefond1->isEnabled());
    editor->Editerlimagedefond1->trigger();
    EXPECT_TRUE(editor->isHeld());
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *photo = qobject_cast<TForm_PhotoZel *>(window))
            photo->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor->isHeld());
    EXPECT_TRUE(messages.isEmpty());

    // The main window's "Enregistrer" saves through the open editor.
    emit base->Fichier1->aboutToShow();
    EXPECT_TRUE(base->Btn_Enregistrer1->isEnabled());
    base->Btn_Enregistrer1->trigger();
    EXPECT_EQ(readPanelConfig(ProfileFile::load(PanelFiles::config()), PanelReader::Editor).buttons.size(), 4u);
}

TEST_F(LayoutEditor, DraggingSelectsShowsThePlaceAndKeepsTheControlGrabbable)
{
    write(threeAndTwo());
    open();
    drag(bouton(2), QPoint(30, 40));
    EXPECT_EQ(editor->currentButton(), 2);
    EXPECT_EQ(bouton(2)->pos(), QPoint(170, 100));
    EXPECT_EQ(editor->Edit_BtnLeft->text(), QStringLiteral("170"));
    EXPECT_EQ(editor->Edit_BtnTop->text(), QStringLiteral("100"));
    EXPECT_EQ(editor->UpDown_Left->Position(), 170);
    EXPECT_EQ(bouton(2)->ColorFace(), Red);
    EXPECT_EQ(bouton(1)->ColorFace(), FaceColor);
    EXPECT_EQ(bouton(3)->ColorFace(), FaceColor);

    // The arrows nudge the selected button; a text only with Ctrl, as they move its cursor.
    ASSERT_TRUE(bouton(2)->hasFocus());
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Up})
        QTest::keyClick(bouton(2), key);
    EXPECT_EQ(bouton(2)->pos(), QPoint(172, 99));
    EXPECT_EQ(editor->Edit_BtnLeft->text(), QStringLiteral("172"));
    texte(1)->setFocus();
    const QPoint textAt = texte(1)->pos();
    QTest::keyClick(texte(1), Qt::Key_Left);
    EXPECT_EQ(texte(1)->pos(), textAt);
    QTest::keyClick(texte(1), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(texte(1)->pos(), textAt + QPoint(0, 1));
    QTest::keyClick(texte(1), Qt::Key_Up, Qt::ControlModifier);

    // Far past the panel's corner: 8 pixels of it stay inside (the panel is 615 x 367).
    drag(bouton(2), QPoint(2000, 2000));
    EXPECT_EQ(bouton(2)->pos(), QPoint(607, 359));
    drag(texte(1), QPoint(-2000, 10));
    EXPECT_EQ(texte(1)->pos(), QPoint(-67, 30));
    EXPECT_EQ(editor->currentText(), 1);

    // The up-downs stop at the same places.
    struct Case
    {
        QWidget *control;
        TUpDown *upDown;
        int direction;
        QPoint stop;
    };
    const Case cases[] = {
        {bouton(1), editor->UpDown_Top, +1, QPoint(40, 359)},
        {bouton(1), editor->UpDown_Left, +1, QPoint(607, 359)},
        {texte(2), editor->UpDown_Top, -1, QPoint(300, -17)},
    };
    for (const Case &c : cases) {
        click(c.control);
        for (int k = 0; k < 700; ++k)
            c.upDown->step(c.direction);
        EXPECT_EQ(c.control->pos(), c.stop);
    }
}

TEST_F(LayoutEditor, UpDownsMoveTheFocusedTextNotTheLastButton)
{
    write(threeAndTwo());
    open();
    click(bouton(1));
    click(texte(2));
    ASSERT_TRUE(texte(2)->hasFocus());
    click(editor->UpDown_Left->upArrow());
    EXPECT_EQ(texte(2)->pos(), QPoint(301, 200));
    EXPECT_EQ(editor->Edit_BtnLeft->text(), QStringLiteral("301"));
    EXPECT_EQ(bouton(1)->pos(), QPoint(40, 60));

    click(bouton(1));
    click(editor->UpDown_Top->downArrow());
    EXPECT_EQ(bouton(1)->pos(), QPoint(40, 59));
}

TEST_F(LayoutEditor, TheButtonMenuActsOnTheButtonItWasOpenedOn)
{
    write(threeAndTwo());
    open();
    choose(bouton(1), editor->PopupMenu1, editor->Proprietes);
    EXPECT_EQ(editor->currentButton(), 1);
    EXPECT_EQ(bouton(1)->ColorFace(), Red);
    EXPECT_EQ(bouton(3)->ColorFace(), FaceColor);
    EXPECT_EQ(editor->Edit_BtnLeft->text(), QStringLiteral("40"));
    TForm_Config2 *dialog = Forms::instance().Form_Config2;
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Button1->text(), QStringLiteral("Bouton1"));
    dialog->close();

    click(bouton(1));
    choose(bouton(2), editor->PopupMenu1, editor->Btn_Supprimer);
    EXPECT_EQ(names(), (QStringList{"Bouton1", "Bouton3", "Texte1", "Texte2"}));
    // The button now at that place is current, painted, and moved by the up-downs.
    EXPECT_EQ(editor->currentButton(), 2);
    EXPECT_EQ(bouton(2)->ColorFace(), Red);
    EXPECT_EQ(editor->Edit_BtnLeft->text(), QStringLiteral("240"));
    editor->UpDown_Left->step(+1);
    EXPECT_EQ(bouton(2)->pos(), QPoint(241, 60));
}

TEST_F(LayoutEditor, DeletingKeepsTheCurrentIndexOnTheList)
{
    write(threeAndTwo());
    open();
    click(bouton(3));
    editor->Btn_Supprimer->trigger();
    EXPECT_EQ(names(), (QStringList{"Bouton1", "Bouton2", "Texte1", "Texte2"}));
    EXPECT_EQ(editor->currentButton(), 2);
    EXPECT_EQ(bouton(2)->ColorFace(), Red); // the one before the last is painted and shown
    EXPECT_EQ(editor->Edit_BtnLeft->text(), QStringLiteral("140"));
    editor->Btn_Supprimer->trigger();
    editor->Btn_Supprimer->trigger();
    EXPECT_EQ(editor->currentButton(), 0);
    editor->Btn_Supprimer->trigger(); // nothing left: nothing happens
    editor->Proprietes->trigger();
    EXPECT_FALSE(Forms::instance().Form_Config2);
    EXPECT_FALSE(editor->isHeld());

    click(texte(1));
    editor->Suprimmerletexte1->trigger();
    EXPECT_EQ(names(), (QStringList{"Texte2"}));
    EXPECT_EQ(editor->currentText(), 1);

    // An emptied list saves 0, and the deleted sections are gone.
    editor->Enregistrer_CfgBtn->trigger();
    const ProfileFile saved = ProfileFile::load(PanelFiles::config());
    EXPECT_EQ(saved.readInteger(PanelKeys::Settings, PanelKeys::ButtonCount, 99), 0);
    EXPECT_FALSE(saved.hasSection(QStringLiteral("Bouton 1")));
}

// Ids go with their buttons: deleting the first leaves the others theirs, a new button gets
// one of its own.
TEST_F(LayoutEditor, ButtonsKeepTheirIdsThroughDeletionsAndAdditions)
{
    write(threeAndTwo());
    open();
    click(bouton(1));
    editor->Btn_Supprimer->trigger();
    editor->Ajouterunbouton1->trigger();
    editor->Enregistrer_CfgBtn->trigger();
    const PanelConfig saved = readPanelConfig(ProfileFile::load(PanelFiles::config()), PanelReader::Panel);
    ASSERT_EQ(saved.buttons.size(), 3u);
    EXPECT_EQ(saved.buttons[0].id, "button2");
    EXPECT_EQ(saved.buttons[1].id, "button3");
    EXPECT_EQ(saved.buttons[2].id.size(), 8) << saved.buttons[2].id.toStdString();
}

TEST_F(LayoutEditor, SavingAnUnchangedDemoPanelWritesWhatExportWrites)
{
    copyDemo(); // the export carries the pseudo-terminal's port too
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("export")));
    ASSERT_TRUE(exportPanel(PanelFiles::config(), PanelFiles::picture(), QStringLiteral("export/Zelvar2.ini")).ok);

    open();
    click(bouton(2));
    mouse(QTest::MouseMove, editor, QPoint(5, 5)); // the pointer off the button shows its face
    saveShot(*editor, QStringLiteral("editor-demo-selected"));
    editor->Enregistrer_CfgBtn->trigger();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(readFile(PanelFiles::config()), readFile(QStringLiteral("export/Zelvar2.ini")));
    // The picture, unchanged, is left as it was (the export writes it afresh).
    EXPECT_EQ(readFile(PanelFiles::picture()), readFile(QStringLiteral(ZELVAR_DEMO_DIR "/Zelvar2.bmp")));
}

TEST_F(LayoutEditor, TextsOfAFileWithoutButtonsSurviveOpenAndSave)
{
    PanelConfig config = threeAndTwo();
    config.buttons.clear();
    write(config);
    QImage picture(600, 350, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(savePanelPicture(picture, PanelFiles::picture()));
    open();
    EXPECT_EQ(names(), (QStringList{"Texte1", "Texte2"}));
    EXPECT_FALSE(editor->picture().isNull());
    editor->Ajouteruntexte1->trigger();
    EXPECT_EQ(texte(3)->objectName(), QStringLiteral("Texte3"));

    editor->Enregistrer_CfgBtn->trigger();
    const ProfileFile saved = ProfileFile::load(PanelFiles::config());
    EXPECT_EQ(saved.readInteger(PanelKeys::Settings, PanelKeys::ButtonCount, 99), -1);
    EXPECT_EQ(saved.readInteger(PanelKeys::Settings, PanelKeys::TextCount, 99), 3);
    EXPECT_EQ(saved.readString(QStringLiteral("Textes 2"), QStringLiteral("Texte  2"), {}), QStringLiteral("Dehors"));
}

TEST_F(LayoutEditor, SavingIsRefusedOverAPanelLoadedOnlyInPart)
{
    PanelConfig config = threeAndTwo();
    write(config);
    ProfileFile file = ProfileFile::load(PanelFiles::config());
    file.writeInteger(PanelKeys::Settings, PanelKeys::ButtonCount, MaxPanelButtons + 1);
    ASSERT_TRUE(file.save(PanelFiles::config()).ok);
    const QByteArray before = readFile(PanelFiles::config());
    open();
    messages.clear();
    editor->Enregistrer_CfgBtn->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("en partie")));
    EXPECT_EQ(readFile(PanelFiles::config()), before);

    // "Enregistrer" when closing: nothing saved, so the editor stays open with its edits.
    Forms::instance().settings.ExitMenusEnabled = true;
    editor->close();
    ASSERT_TRUE(Forms::instance().formDynamique);
    Forms::instance().formDynamique->ButtonM_Ba->click();
    QApplication::processEvents();
    EXPECT_EQ(messages.size(), 2);
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(editor->isEnabled());
    EXPECT_EQ(readFile(PanelFiles::config()), before);
}

TEST_F(LayoutEditor, ClosingAsksOnlyWhenExitMenusAreOn)
{
    struct Case
    {
        bool exitMenus;
        const char *answer; // "" no prompt expected
        bool closed;
        bool saved;
    };
    const Case cases[] = {
        {false, "", true, false},
        {true, "Annuler", false, false},
        {true, "Fermer", true, false},
        {true, "Enregistrer", true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        write(threeAndTwo(c.exitMenus));
        open();
        editor->Ajouterunbouton1->trigger();
        editor->close();
        TformDynamique *prompt = Forms::instance().formDynamique;
        if (*c.answer) {
            ASSERT_TRUE(prompt && prompt->isVisible());
            EXPECT_EQ(prompt->windowTitle(), QStringLiteral("Quitter la configuration des boutons sans enregistrer"));
            // A second close while the question is up asks nothing more.
            editor->close();
            EXPECT_EQ(Forms::instance().formDynamique, prompt);
            int questions = 0;
            for (QWidget *w : QApplication::topLevelWidgets())
                questions += qobject_cast<TformDynamique *>(w) && w->isVisible();
            EXPECT_EQ(questions, 1);
            for (QPushButton *answer : {prompt->ButtonG_Ba, prompt->ButtonM_Ba, prompt->ButtonD_Ba})
                if (answer->text() == QLatin1String(c.answer))
                    answer->click();
        }
        QApplication::processEvents();
        EXPECT_EQ(editor.isNull() || !editor->isVisible(), c.closed);
        EXPECT_FALSE(base->inputBlocked());
        EXPECT_EQ(commands() == AllOn, c.closed);
        EXPECT_EQ(Forms::instance().Form_ActBtn->messageHookInstalled(), c.closed);
        const int saved = ProfileFile::load(PanelFiles::config()).readInteger(PanelKeys::Settings, PanelKeys::ButtonCount, 0);
        EXPECT_EQ(saved, c.saved ? 4 : 3);
        if (!c.closed) {
            EXPECT_TRUE(editor->isEnabled());
            // Asked once: the next close after "Fermer" goes ahead.
            editor->close();
            Forms::instance().formDynamique->ButtonD_Ba->click();
        }
        QDeadlineTimer until(1000);
        while (editor && !until.hasExpired())
            QApplication::processEvents();
        base.reset();
    }
}

TEST_F(LayoutEditor, HidingTheMainWindowAndClosingShowsItAgain)
{
    write(threeAndTwo(true));
    open();
    editor->Btn_HideFenetre->trigger();
    EXPECT_FALSE(base->isVisible());
    EXPECT_EQ(editor->Btn_HideFenetre->text(), QStringLiteral("Retablir la fenetre pricipale"));

    // Closing shows the main window even when the close is then called off; the item
    // follows, and hides it again at the first use.
    editor->close();
    EXPECT_TRUE(base->isVisible());
    ASSERT_TRUE(Forms::instance().formDynamique);
    Forms::instance().formDynamique->ButtonG_Ba->click(); // "Annuler"
    EXPECT_TRUE(Forms::instance().MainWindowShown);
    EXPECT_EQ(editor->Btn_HideFenetre->text(), QStringLiteral("Cacher la fenetre principale"));
    editor->Btn_HideFenetre->trigger();
    EXPECT_FALSE(base->isVisible());
    EXPECT_FALSE(Forms::instance().MainWindowShown);
}

TEST_F(LayoutEditor, ADialogHoldsTheEditorAndTheMainWindowWithoutGreyingThem)
{
    write(threeAndTwo(true));
    open();
    TForm_Config2 *dialog = properties(1);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(editor->isHeld());
    EXPECT_TRUE(InputBlock::blocks(base.get()));
    EXPECT_TRUE(editor->isEnabled() && base->isEnabled()); // painted as they are
    saveShot(*editor, QStringLiteral("editor-held-by-properties"));
    click(bouton(2));
    EXPECT_EQ(editor->currentButton(), 1);
    editor->close(); // asks nothing while the dialog is open
    EXPECT_FALSE(Forms::instance().formDynamique);
    EXPECT_TRUE(editor->isVisible());

    dialog->close();
    EXPECT_FALSE(editor->isHeld());
    EXPECT_FALSE(InputBlock::blocks(base.get()));
    reactivate();
    click(bouton(2));
    EXPECT_EQ(editor->currentButton(), 2);
}

TEST_F(LayoutEditor, OnlyAPictureChosenHereIsWrittenOverThePictureFile)
{
    copyDemo();
    const QString bmp = PanelFiles::picture();
    const FileStamp demo = fileStamp(bmp);
    ASSERT_TRUE(QFile::setPermissions(bmp, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    open();

    // Left as it is, a write-protected picture is not written and stops nothing.
    editor->Ajouterunbouton1->trigger();
    editor->Enregistrer_CfgBtn->trigger();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_EQ(fileStamp(bmp), demo);
    EXPECT_EQ(ProfileFile::load(PanelFiles::config()).readInteger(PanelKeys::Settings, PanelKeys::ButtonCount, 0), 9);
    ASSERT_TRUE(QFile::setPermissions(bmp, QFile::ReadOwner | QFile::WriteOwner));

    // The image editor saves over it: the editor shows that picture, and its save keeps it.
    editor->Editerlimagedefond1->trigger();
    TForm_PhotoZel *photo = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<TForm_PhotoZel *>(window))
            photo = found;
    ASSERT_TRUE(photo);
    photo->chooseSavePicture = [&bmp] { return bmp; };
    photo->btn_EnregistrersousClick();
    photo->close();
    const QByteArray drawn = readFile(bmp);
    ASSERT_NE(fileStamp(bmp), demo);
    EXPECT_TRUE(QTest::qWaitFor([this] { return editor->picture().pixelColor(300, 200) == QColor(Qt::white); }));
    editor->Enregistrer_CfgBtn->trigger();
    EXPECT_EQ(readFile(bmp), drawn);

    // A picture chosen in the general settings is written.
    QImage red(600, 350, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QStringLiteral("rouge.png")));
    editor->Proprietesgenerales1->trigger();
    TPagesDlg *settings = Forms::instance().PagesDlg;
    ASSERT_TRUE(settings);
    settings->choosePicture = [] { return QStringLiteral("rouge.png"); };
    settings->Btn_ImageGeneraleClick();
    settings->close();
    EXPECT_TRUE(editor->pictureChanged());
    editor->Enregistrer_CfgBtn->trigger();
    EXPECT_EQ(loadPanelPicture(bmp).pixelColor(300, 200), QColor(Qt::red));
    EXPECT_FALSE(editor->pictureChanged());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

// The properties dialog and its test button, on the board.
TEST_F(LayoutEditor, TestButtonSendsThePendingCommandsOnPressAndRelease)
{
    write(threeAndTwo());
    open();
    TForm_Config2 *dialog = properties(1);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Button1->text(), QStringLiteral("Bouton1"));
    EXPECT_EQ(dialog->selectedMode(), 1);
    EXPECT_EQ(dialog->Combo_Code->currentText(), QStringLiteral("s1"));
    EXPECT_EQ(dialog->Combo_raccourcis->count(), ShortcutKeyCount);

    QTest::mousePress(dialog->Button1, Qt::LeftButton);
    EXPECT_EQ(pty.read(5), QByteArray("S1N$#"));
    QTest::mouseRelease(dialog->Button1, Qt::LeftButton);
    EXPECT_EQ(pty.read(5), QByteArray("S1F$#"));
    EXPECT_TRUE(pty.drain(20).isEmpty());

    // "Imp" chosen again: the relay is forgotten until one is chosen.
    dialog->RadioGroup1Items->button(2)->click();
    dialog->RadioGroup1Items->button(1)->click();
    QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    EXPECT_EQ(pty.read(10), QByteArray("S0N$#S0F$#"));

    // An infrared code being tested goes to the transmitter, never down the serial line.
    dialog->RadioGroup1Items->button(5)->click();
    dialog->Memo_UsbUirt->setPlainText(QStringLiteral("0000 006D 0000 0001 0020 0030"));
    QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    EXPECT_EQ(pty.drain(50), QByteArray());

    saveShot(*dialog, QStringLiteral("properties-mode-1"));
    for (int mode : {0, 2, 3, 4, 5, 6}) {
        dialog->RadioGroup1Items->button(mode)->click();
        saveShot(*dialog, QStringLiteral("properties-mode-%1").arg(mode));
    }
    dialog->close();
}

TEST_F(LayoutEditor, AppliquerAtOnceKeepsTheButtonAndMacrosKeepsWhatItSends)
{
    write(threeAndTwo());
    open();
    for (int k : {2, 3}) {
        TForm_Config2 *dialog = properties(k);
        ASSERT_TRUE(dialog);
        const EditButtonEntry before = editor->EditButtons[size_t(k)];
        if (k == 2) {
            // "Macros" keeps the mode, the relay and the code; a typed description applies.
            dialog->RadioGroup1Items->button(6)->click();
            dialog->Edit_desc->setText(QStringLiteral("Véranda"));
        }
        dialog->Btn_Appliquer->click();
        EXPECT_FALSE(dialog->Btn_Appliquer->isEnabled());
        const EditButtonEntry &after = editor->EditButtons[size_t(k)];
        EXPECT_EQ(after.mode, before.mode);
        EXPECT_EQ(after.relay, before.relay);
        EXPECT_EQ(after.description, k == 2 ? QStringLiteral("Véranda") : before.description);
        dialog->close();
        EXPECT_TRUE(Forms::instance().formDynamique.isNull()); // nothing left to ask about
    }
    // The rebuilt panel's "On" button of relay 2 still switches relay 2 on.
    auto *live = qobject_cast<TXiButton2 *>(Forms::instance().Form_ActBtn->buttons()[2].button.data());
    ASSERT_TRUE(live);
    EXPECT_EQ(live->toolTip(), QStringLiteral("Véranda"));
    pty.drain(20);
    QTest::mouseClick(live, Qt::LeftButton);
    EXPECT_EQ(pty.read(5), QByteArray("S2N$#"));
}

TEST_F(LayoutEditor, ClosingThePropertiesWithChoicesNotAppliedAsks)
{
    struct Case
    {
        const char *answer;
        bool closed;
        const char *caption;
        int mode;
        int relay;
    };
    const Case cases[] = {
        {"Oui", true, "Grenier", 3, 5},
        {"Non", true, "Véranda", 2, 2}, // the caption as it was applied
        {"Annuler", false, "Grenier", 2, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        write(threeAndTwo());
        open();
        QPointer<TForm_Config2> dialog = properties(2); // "Cuisine": On, relay 2
        ASSERT_TRUE(dialog);
        dialog->Edit1->setText(QStringLiteral("Véranda"));
        dialog->Btn_Appliquer->click();
        dialog->Edit1->setText(QStringLiteral("Grenier"));
        dialog->RadioGroup1Items->button(3)->click();
        dialog->Combo_Code->setCurrentIndex(5);
        dialog->Combo_CodeSelect(5);
        dialog->close();

        TformDynamique *prompt = Forms::instance().formDynamique;
        ASSERT_TRUE(prompt && prompt->isVisible());
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(prompt->windowTitle(), QStringLiteral("Proprietes"));
        EXPECT_EQ(prompt->Label_Ba->text(), QStringLiteral("Appliquer les modifications ?"));
        saveShot(*prompt, QStringLiteral("properties-closing-question"));
        for (QPushButton *answer : {prompt->ButtonG_Ba, prompt->ButtonM_Ba, prompt->ButtonD_Ba})
            if (answer->text() == QLatin1String(c.answer))
                answer->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        EXPECT_TRUE(Forms::instance().formDynamique.isNull());
        EXPECT_FALSE(base->inputBlocked());
        EXPECT_EQ(dialog.isNull() || !dialog->isVisible(), c.closed);
        EXPECT_EQ(!editor->isHeld(), c.closed); // the dialog holds the editor while it is open
        const EditButtonEntry &e = editor->EditButtons[2];
        EXPECT_EQ(bouton(2)->Caption(), QString::fromUtf8(c.caption));
        EXPECT_EQ(e.mode, c.mode);
        EXPECT_EQ(e.relay, c.relay);
        if (c.closed) {
            // Whatever was chosen, the test button now sends what the button sends.
            EXPECT_EQ(PendingValues::shared().third, c.mode == 3 ? QByteArray("S5F$#") : QByteArray("S2N$#"));
        } else {
            dialog->close(); // asked again
            ASSERT_TRUE(Forms::instance().formDynamique);
            Forms::instance().formDynamique->ButtonM_Ba->click();
            EXPECT_FALSE(dialog->isVisible());
        }
        base.reset();
    }
}
TEST_F(LayoutEditor, MacroDialogAddsEventsOnTopAndHoldsThePropertiesMeanwhile)
{
    write(threeAndTwo());
    open();
    TForm_Config2 *dialog = properties(1);
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->Btn_macros->isVisibleTo(dialog));
    dialog->Btn_macrosClick();
    auto *macros = dialog->findChild<TForm_Macro *>();
    ASSERT_TRUE(macros);
    EXPECT_FALSE(dialog->isEnabled());
    EXPECT_TRUE(macros->isEnabled());
    macros->Btn_addEvenement->click();
    macros->TreeView1->topLevelItem(0)->setText(0, QStringLiteral("premier"));
    macros->Btn_addEvenement->click();
    saveShot(*macros, QStringLiteral("macro-dialog"));
    ASSERT_EQ(macros->TreeView1->topLevelItemCount(), 2);
    EXPECT_EQ(macros->TreeView1->currentItem(), macros->TreeView1->topLevelItem(0));
    EXPECT_EQ(macros->TreeView1->topLevelItem(0)->text(0), QStringLiteral("Evenement"));
    macros->close();
    EXPECT_TRUE(dialog->isEnabled());
    dialog->close();
}

TEST_F(LayoutEditor, AShortcutAnotherButtonHasIsRefusedAndTheOwnOneKept)
{
    write(threeAndTwo()); // button 2 "Cuisine" holds VK_F5
    open();
    for (int k : {1, 3}) {
        TForm_Config2 *dialog = properties(k);
        ASSERT_TRUE(dialog);
        QTest::keyClick(dialog->Edit_touche, Qt::Key_F6); // free: stored at once
        EXPECT_EQ(editor->EditButtons[size_t(k)].shortcut, shortcutCode("VK_F6"));
        messages.clear();
        QTest::keyClick(dialog->Edit_touche, Qt::Key_F5);
        EXPECT_EQ(messages, QStringList{QStringLiteral("Un autre bouton a deja ce racourci ! (bouton 2 « Cuisine »)")});
        EXPECT_EQ(editor->EditButtons[size_t(k)].shortcut, shortcutCode("VK_F6"));
        EXPECT_EQ(editor->EditButtons[size_t(k)].shortcutName, QStringLiteral("VK_F6"));
        EXPECT_EQ(dialog->Combo_raccourcis->currentText(), QStringLiteral("VK_F6"));
        dialog->Combo_raccourcisSelect(0);
        dialog->close();
    }
}

TEST_F(LayoutEditor, AnInfraredCodeAppliedIsShownAgainAndSavedAsProntoCode)
{
    write(threeAndTwo());
    open();
    TForm_Config2 *dialog = properties(2);
    ASSERT_TRUE(dialog);
    dialog->RadioGroup1Items->button(5)->click();
    EXPECT_TRUE(dialog->Memo_UsbUirt->isVisibleTo(dialog));
    EXPECT_FALSE(dialog->Combo_Code->isVisibleTo(dialog));
    dialog->Memo_UsbUirt->setPlainText(QStringLiteral("0000 006D 0000 0001"));
    dialog->Edit1->setText(QStringLiteral("Télé"));
    EXPECT_EQ(bouton(2)->Caption(), QStringLiteral("Télé")); // at once
    dialog->Btn_Appliquer->click();
    dialog->close();

    dialog = properties(2);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->selectedMode(), 5);
    EXPECT_EQ(dialog->Memo_UsbUirt->toPlainText(), QStringLiteral("0000 006D 0000 0001"));
    dialog->Btn_enreg->click();
    dialog->close();

    const ProfileFile saved = ProfileFile::load(PanelFiles::config());
    const QString section = QStringLiteral("Bouton 2");
    EXPECT_EQ(saved.readString(section, QStringLiteral("CodePronto btn2"), {}), QStringLiteral("0000 006D 0000 0001"));
    EXPECT_FALSE(saved.hasKey(section, QStringLiteral("Code btn2")));
    EXPECT_TRUE(saved.hasKey(QStringLiteral("Bouton 1"), QStringLiteral("Code btn1")));
    EXPECT_FALSE(saved.hasKey(QStringLiteral("Bouton 1"), QStringLiteral("CodePronto btn1")));
    EXPECT_EQ(saved.readString(section, QStringLiteral("Caption  btn2"), {}), QStringLiteral("Télé"));
}

TEST_F(LayoutEditor, AppliquerRebuildsTheLivePanelSoTheNewButtonDrivesTheBoard)
{
    write(threeAndTwo());
    open();
    editor->Ajouterunbouton1->trigger();
    TForm_Config2 *dialog = properties(4);
    ASSERT_TRUE(dialog);
    dialog->RadioGroup1Items->button(2)->click();
    dialog->Combo_Code->setCurrentIndex(7);
    dialog->Combo_CodeSelect(7);
    dialog->Btn_Appliquer->click();
    dialog->close();

    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    ASSERT_EQ(panel->buttons().size(), 5u);
    auto *live = qobject_cast<TXiButton2 *>(panel->buttons()[4].button.data());
    ASSERT_TRUE(live);
    EXPECT_EQ(live->pos(), QPoint(60, 0));
    pty.drain(20);
    QTest::mouseClick(live, Qt::LeftButton);
    EXPECT_EQ(pty.read(5), QByteArray("S7N$#"));
}

TEST_F(LayoutEditor, CharactersTheFileCannotHoldAreRefusedAsTypedOrPasted)
{
    write(threeAndTwo());
    open();
    QApplication::clipboard()->setText(QStringLiteral("Ωmega à 5 €"));
    const auto typeAndPaste = [](QLineEdit *field) {
        SCOPED_TRACE(field->objectName().toStdString());
        field->clear();
        for (QChar typed : QStringLiteral("Ωmega")) { // as a keyboard with that letter types
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(typed));
            QApplication::sendEvent(field, &press);
        }
        EXPECT_EQ(field->text(), QStringLiteral("mega"));
        field->clear();
        field->paste();
        EXPECT_EQ(field->text(), QStringLiteral("mega à 5 €"));
    };
    typeAndPaste(texte(1));
    TForm_Config2 *dialog = properties(2);
    ASSERT_TRUE(dialog);
    typeAndPaste(dialog->Edit1);
    typeAndPaste(dialog->Edit_desc);
    EXPECT_EQ(bouton(2)->Caption(), QStringLiteral("mega à 5 €"));
    dialog->RadioGroup1Items->button(5)->click();
    dialog->Memo_UsbUirt->clear();
    dialog->Memo_UsbUirt->paste();
    EXPECT_EQ(dialog->Memo_UsbUirt->toPlainText(), QStringLiteral("mega à 5 €"));
    EXPECT_EQ(PendingValues::shared().prontoCode, QStringLiteral("mega à 5 €"));
    dialog->closeWithoutAsking();
}

TEST_F(LayoutEditor, AKeyPressedInTheKeyFieldIsChosenInTheShortcutList)
{
    PanelConfig config = threeAndTwo();
    config.buttons[0].shortcut = 0xBA; // written by another program: not a name of the list
    config.buttons[0].shortcutName = QStringLiteral("VK_OEM_1");
    config.buttons[2].description = QStringLiteral("Ouvre la porte du garage et allume l'allée");
    write(config);
    open();
    TForm_Config2 *dialog = properties(1);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Combo_raccourcis->currentIndex(), -1);
    EXPECT_EQ(dialog->Combo_raccourcis->placeholderText(), QStringLiteral("VK_OEM_1"));
    dialog->close();

    dialog = properties(3);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->Edit_desc->cursorPosition(), 0); // a long text is shown from its start
    EXPECT_EQ(dialog->Edit_touche->placeholderText(), QStringLiteral("Appuyez sur la touche"));
    saveShot(*dialog, QStringLiteral("properties-key-field"));
    const EditButtonEntry &e = editor->EditButtons[3];
    QTest::keyClick(dialog->Edit_touche, Qt::Key_F7);
    EXPECT_EQ(dialog->Combo_raccourcis->currentText(), QStringLiteral("VK_F7"));
    EXPECT_EQ(e.shortcut, shortcutCode("VK_F7"));
    EXPECT_EQ(e.shortcutName, QStringLiteral("VK_F7"));
    QTest::keyClick(dialog->Edit_touche, Qt::Key_Semicolon); // VK_OEM_1 again
    EXPECT_EQ(dialog->Edit_touche->toolTip(), QStringLiteral("Cette touche n'a pas de nom dans la liste"));
    EXPECT_EQ(e.shortcut, shortcutCode("VK_F7"));
    QTest::keyClick(dialog->Edit_touche, Qt::Key_Tab); // a key like any other, not a move
    EXPECT_EQ(e.shortcutName, QStringLiteral("VK_TAB"));
    EXPECT_TRUE(dialog->Edit_touche->text().isEmpty());
    dialog->close();
}

} // namespace
