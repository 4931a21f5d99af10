#include "settings/PagesDlg.h"

#include "../devices/ComPortPty.h"
#include "Shots.h"
#include "TestFiles.h"
#include "common/ProfileFile.h"
#include "common/SystemError.h"
#include "devices/ComPort.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "scheduler/SchedulePlace.h"
#include "settings/PlacePage.h"
#include "widgets/InputBlock.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;
using zelvar::testing::readFile;
using zelvar::testing::writeFile;

namespace {

void choose(QComboBox *combo, int index)
{
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
}

void click(QPushButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void retype(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

const QByteArray schedule = "[Programateur]\r\nNombre de lignes=1\r\n"
                            "[Ligne1]\r\nDate=08/12/2026\r\nHeure=07:30:00\r\nBouton=3\r\nDescription=Lampe \xE9t\xE9 \r\n";

QImage filled(const QColor &color)
{
    QImage image(600, 350, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

class PagesDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(board.isValid());
        Forms::instance().settings = PanelSettings{};
        setErrorReportHook([this](const QString &text) { errors << text; });
        editor.resize(633, 498);
        picture = new QLabel(&editor);
        picture->setGeometry(8, 9, 600, 350);
        editor.show();
    }

    void TearDown() override
    {
        delete dialog;
        if (panel)
            zelvar::testing::dropHandlers(*panel->ComPort1);
        panel.reset();
        setErrorReportHook({});
    }

    void openPanel()
    {
        writeFile(dir.filePath("Zelvar2.ini"), "[Reglages du Com]\r\n"
                                               "n\xB0 du Port =" + board.slavePath().toLocal8Bit() + "\r\n"
                                               "Vitesse du Port =9600\r\n");
        panel = std::make_unique<TForm_ActBtn>();
        ASSERT_TRUE(panel->ComPort1->Connected());
    }

    void openDialog()
    {
        dialog = TPagesDlg::open({&editor, picture});
        dialog->showMessage = [this](const QString &text) { messages << text; };
        dialog->choosePicture = [this] { return chosenPicture; };
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal board;
    QWidget editor;
    QLabel *picture = nullptr;
    std::unique_ptr<TForm_ActBtn> panel;
    QPointer<TPagesDlg> dialog;
    QString chosenPicture;
    QStringList messages;
    QStringList errors;
};

} // namespace

TEST_F(PagesDlgTest, ShowsTheValuesInForceAndHoldsTheEditor)
{
    PanelSettings &settings = Forms::instance().settings;
    settings.CurrentPortName = "COM7";
    settings.CurrentPortSpeed = "31250";
    settings.ReduceToTray = false;
    settings.ExitMenusEnabled = true;
    settings.MoveMainWindow = true;
    openDialog();

    EXPECT_EQ(Forms::instance().PagesDlg, dialog.data());
    EXPECT_TRUE(InputBlock::blocks(&editor));
    EXPECT_TRUE(editor.isEnabled()) << "held, not greyed";
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->PageControl1->currentWidget(), dialog->PortCom);
    EXPECT_EQ(dialog->Combo_Port->placeholderText(), "COM7") << "a value among no items still shows";
    EXPECT_EQ(dialog->Combo_Port->currentIndex(), -1);
    EXPECT_EQ(dialog->Combo_Vitesse->placeholderText(), "31250");
    EXPECT_EQ(dialog->Combo_Vitesse->count(), 15);
    EXPECT_FALSE(dialog->Btn_Appliquer->isEnabled());

    const std::pair<QPushButton *, bool> pressed[] = {
        {dialog->Btn_ReduireGenerale, false}, {dialog->Btn_NoReduireGenerale, true},
        {dialog->Btn_MenuSortie, true},       {dialog->Btn_NoMenuSortie, false},
        {dialog->Btn_MoveFentreYes, true},    {dialog->Btn_MoveFenetreNo, false},
    };
    for (const auto &[button, down] : pressed)
        EXPECT_EQ(button->isChecked(), down) << button->toolTip().toStdString();

    saveShot(*dialog, "PagesDlg-PortCom");
    dialog->PageControl1->setCurrentWidget(dialog->Graphisme);
    saveShot(*dialog, "PagesDlg-Graphisme");
}

TEST_F(PagesDlgTest, ItemZeroEnablesApplyingWithoutAChange)
{
    Forms::instance().settings.CurrentPortName = "/dev/ttyUSB3";
    Forms::instance().settings.CurrentPortSpeed = "57600";
    openDialog();
    for (QComboBox *combo : {dialog->Combo_Port, dialog->Combo_Vitesse}) {
        dialog->Btn_Appliquer->setEnabled(false);
        choose(combo, 0);
        EXPECT_TRUE(dialog->Btn_Appliquer->isEnabled());
    }
    EXPECT_EQ(Forms::instance().settings.CurrentPortName, "/dev/ttyUSB3");
    EXPECT_EQ(Forms::instance().settings.CurrentPortSpeed, "57600");
    EXPECT_EQ(dialog->Combo_Port->currentIndex(), -1) << "the value in force still shows";
    EXPECT_EQ(dialog->Combo_Vitesse->placeholderText(), "57600");

    choose(dialog->Combo_Port, 5);
    EXPECT_EQ(Forms::instance().settings.CurrentPortName, "/dev/ttyUSB3") << "the stored path is an item";
    choose(dialog->Combo_Port, 2);
    choose(dialog->Combo_Vitesse, 13);
    EXPECT_EQ(Forms::instance().settings.CurrentPortName, "COM2");
    EXPECT_EQ(Forms::instance().settings.CurrentPortSpeed, "115200");
}

TEST_F(PagesDlgTest, ApplyingRunsTheOpenPortAtTheNewSpeedAtOnce)
{
    openPanel();
    int opens = 0;
    panel->ComPort1->OnAfterOpen = [&opens] { ++opens; };
    openDialog();

    choose(dialog->Combo_Vitesse, 9);
    click(dialog->Btn_Appliquer);
    EXPECT_EQ(board.slaveSettings().c_ospeed, 19200u);
    EXPECT_EQ(opens, 0) << "the port is not reopened for a new speed";
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_FALSE(dialog->Btn_Appliquer->isEnabled());
    EXPECT_TRUE(errors.isEmpty());

    // A port that cannot be reopened is reported; the dialog stays open to try again.
    Forms::instance().settings.CurrentPortName = dir.filePath("missing-tty");
    choose(dialog->Combo_Port, 0);
    click(dialog->Btn_Appliquer);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Btn_Appliquer->isEnabled());

    // The port is closed now. Applying the missing device again fails the same way; applying
    // the board's opens it, at the speed chosen.
    ASSERT_FALSE(panel->ComPort1->Connected());
    click(dialog->Btn_Appliquer);
    EXPECT_EQ(errors.size(), 2);
    EXPECT_TRUE(dialog->Btn_Appliquer->isEnabled());
    Forms::instance().settings.CurrentPortName = board.slavePath();
    click(dialog->Btn_Appliquer);
    EXPECT_EQ(errors.size(), 2);
    EXPECT_TRUE(panel->ComPort1->Connected());
    EXPECT_EQ(panel->ComPort1->Port(), board.slavePath());
    EXPECT_EQ(board.slaveSettings().c_ospeed, 19200u);
    EXPECT_FALSE(dialog->Btn_Appliquer->isEnabled());
}

TEST_F(PagesDlgTest, PictureChosenCancelledUnreadableAndReset)
{
    openDialog();
    const QString red = dir.filePath("red.bmp");
    ASSERT_TRUE(filled(Qt::red).save(red));
    chosenPicture = red;
    click(dialog->Btn_ImageGenerale);
    EXPECT_EQ(picture->pixmap().toImage().pixelColor(10, 10), QColor(Qt::red));

    chosenPicture.clear();
    click(dialog->Btn_ImageGenerale);
    EXPECT_EQ(messages, QStringList{"L'ouverture est annulée"});
    EXPECT_EQ(picture->pixmap().toImage().pixelColor(10, 10), QColor(Qt::red)) << "the picture stays";

    chosenPicture = dir.filePath("notes.bmp");
    writeFile(chosenPicture, "not a picture");
    click(dialog->Btn_ImageGenerale);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(picture->pixmap().toImage().pixelColor(10, 10), QColor(Qt::red));

    // "x" goes back to the panel's own picture, or to none when it is missing.
    ASSERT_TRUE(filled(Qt::blue).save(dir.filePath("Zelvar2.bmp")));
    click(dialog->Btn_AnnulerImage);
    EXPECT_EQ(picture->pixmap().toImage().pixelColor(10, 10), QColor(Qt::blue));
    QFile::remove(dir.filePath("Zelvar2.bmp"));
    click(dialog->Btn_AnnulerImage);
    EXPECT_TRUE(picture->pixmap().isNull());
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(PagesDlgTest, EveryWayOfClosingGivesTheEditorBackAndTheOptionsStay)
{
    const std::function<void(TPagesDlg &)> closers[] = {
        [](TPagesDlg &d) { click(d.HelpBtn); },
        [](TPagesDlg &d) { click(d.CancelBtn); },
        [](TPagesDlg &d) { d.close(); }, // the frame
        [](TPagesDlg &d) { QTest::keyClick(&d, Qt::Key_Escape); },
    };
    for (const auto &closeIt : closers) {
        Forms::instance().settings = PanelSettings{};
        openDialog();
        click(dialog->Btn_NoReduireGenerale);
        click(dialog->Btn_NoMenuSortie);
        click(dialog->Btn_MoveFentreYes);
        EXPECT_TRUE(dialog->Btn_NoMenuSortie->isChecked());
        EXPECT_FALSE(dialog->Btn_MenuSortie->isChecked());
        closeIt(*dialog);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(InputBlock::blocks(&editor));
        EXPECT_TRUE(dialog.isNull());
        const PanelSettings &settings = Forms::instance().settings;
        EXPECT_FALSE(settings.ReduceToTray);
        EXPECT_FALSE(settings.ExitMenusEnabled);
        EXPECT_TRUE(settings.MoveMainWindow);
    }

    // Nothing was written; the editor's save writes what is in force.
    EXPECT_FALSE(QFile::exists(dir.filePath("Zelvar2.ini")));
    PanelConfig config;
    config.settings = Forms::instance().settings;
    const QByteArray file = writePanelConfig(config).toBytes();
    EXPECT_TRUE(file.contains("Activation des menus de sortie=0\r\n"));
    EXPECT_TRUE(file.contains("Reduction dans la barre des taches=0\r\n"));
    EXPECT_TRUE(file.contains("Depla\xE7" "er la fenetre principale=1\r\n"));
}

TEST_F(PagesDlgTest, GoesWithItsEditor)
{
    auto owner = std::make_unique<QWidget>();
    owner->show();
    dialog = TPagesDlg::open({owner.get(), nullptr});
    owner.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
}

TEST_F(PagesDlgTest, PlaceTypedTheFrenchWayIsWrittenAloneAndShownOnReopening)
{
    writeFile(dir.filePath("Programateur.ini"), schedule);
    openDialog();
    PlacePage *place = dialog->Lieu;
    EXPECT_TRUE(place->Edit_Latitude->text().isEmpty());
    EXPECT_TRUE(place->Edit_Longitude->text().isEmpty());

    QTest::keyClicks(place->Edit_Latitude, "48,8566");
    QTest::keyClicks(place->Edit_Longitude, "2.3522");
    ASSERT_TRUE(dialog->Btn_Appliquer->isEnabled());
    click(dialog->Btn_Appliquer);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString() << " (no panel: the port is not touched)";
    EXPECT_FALSE(dialog->Btn_Appliquer->isEnabled());
    QByteArray expected = schedule;
    expected.insert(expected.indexOf("[Ligne1]"), "Latitude=48.8566\r\nLongitude=2.3522\r\n");
    EXPECT_EQ(readFile(dir.filePath("Programateur.ini")), expected);
    EXPECT_FALSE(QFile::exists(dir.filePath("Zelvar2.ini"))) << "the other settings wait for the editor's save";

    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    openDialog();
    place = dialog->Lieu;
    EXPECT_EQ(place->Edit_Latitude->text(), "48.8566");
    EXPECT_EQ(place->Edit_Longitude->text(), "2.3522");
    EXPECT_TRUE(place->Label_Soleil->text().contains("Lever du soleil : ")) << place->Label_Soleil->text().toStdString();
    EXPECT_TRUE(place->Label_Fichier->text().isEmpty());
    dialog->PageControl1->setCurrentWidget(place);
    saveShot(*dialog, "PagesDlg-Lieu");

    // The polar days, each named for what the sun does not do.
    retype(place->Edit_Latitude, "69,6492");
    place->setDay({2026, 12, 21});
    EXPECT_TRUE(place->Label_Soleil->text().endsWith("Le soleil ne se lève pas ce jour-là"));
    place->setDay({2026, 6, 21});
    EXPECT_TRUE(place->Label_Soleil->text().endsWith("Le soleil ne se couche pas ce jour-là"));

    // Both fields emptied: the place is taken away, and the file reads without one.
    retype(place->Edit_Latitude, "");
    retype(place->Edit_Longitude, "");
    click(dialog->Btn_Appliquer);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    expected = schedule;
    expected.insert(expected.indexOf("[Ligne1]"), "Latitude=\r\nLongitude=\r\n");
    EXPECT_EQ(readFile(dir.filePath("Programateur.ini")), expected);
    QString error;
    EXPECT_FALSE(readPlace(ProfileFile::load(dir.filePath("Programateur.ini")), &error));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST_F(PagesDlgTest, PlaceRefusedOrUnsavedWritesNothingAndSaysWhy)
{
    const QString path = dir.filePath("Programateur.ini");
    writeFile(path, schedule);
    openDialog();
    PlacePage *place = dialog->Lieu;
    QTest::keyClicks(place->Edit_Latitude, "95");
    QTest::keyClicks(place->Edit_Longitude, "2,35");
    const QString refusal = "Latitude : « 95 » n'est pas entre -90 et 90";
    EXPECT_EQ(place->Label_Soleil->text(), refusal) << "said while typing";
    click(dialog->Btn_Appliquer);
    EXPECT_EQ(errors, QStringList{refusal + ". Le lieu n'a pas été enregistré."});
    EXPECT_TRUE(dialog->Btn_Appliquer->isEnabled());
    EXPECT_EQ(readFile(path), schedule);

    retype(place->Edit_Latitude, "48.85");
    {
        zelvar::testing::FileSizeLimit fullDisk(64);
        click(dialog->Btn_Appliquer);
    }
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].contains(systemErrorText(EFBIG))) << errors[1].toStdString();
    EXPECT_EQ(readFile(path), schedule);

    // A file that cannot be read is said so on opening and left alone.
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QFile::remove(path);
    ASSERT_TRUE(QDir(dir.path()).mkdir("Programateur.ini"));
    openDialog();
    EXPECT_TRUE(dialog->Lieu->Label_Fichier->text().contains("ne peut pas être lu"));
    QTest::keyClicks(dialog->Lieu->Edit_Latitude, "48.85");
    QTest::keyClicks(dialog->Lieu->Edit_Longitude, "2.35");
    click(dialog->Btn_Appliquer);
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(errors[2].contains("il n'a pas été modifié")) << errors[2].toStdString();
    EXPECT_TRUE(QFileInfo(path).isDir());
}
