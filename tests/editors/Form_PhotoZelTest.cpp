#include "editors/Form_PhotoZel.h"

#include "Shots.h"
#include "TestFiles.h"
#include "editors/ColorGrid.h"
#include "forms/ErrorReport.h"
#include "widgets/InputBlock.h"
#include "widgets/SystemColors.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelvar;

namespace {

// Columns of a picture's top rows that hold dark (text) pixels.
std::pair<int, int> inkColumns(const QImage &image, int rows = 16)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < rows; ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 128 && c.lightness() < 100) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    return {first, last};
}

class Form_PhotoZelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setErrorReportHook([this](const QString &text) { errors << text; });
        editor.show();
        form = TForm_PhotoZel::open(&editor);
        form->chooseOpenPicture = [this] { return chosen; };
        form->chooseSavePicture = [this] { return chosen; };
    }

    void TearDown() override
    {
        delete form;
        setErrorReportHook({});
    }

    void pickColor(int index)
    {
        QTest::mouseClick(form->ColorGrid1, Qt::LeftButton, {}, form->ColorGrid1->cellRect(index).center());
    }

    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(form->Image_1, Qt::LeftButton, {}, from);
        QTest::mouseMove(form->Image_1, to);
    }

    void release(QPoint at) { QTest::mouseRelease(form->Image_1, Qt::LeftButton, {}, at); }

    QColor at(int x, int y) const { return form->picture().image().pixelColor(x, y); }

    zelvar::testing::WorkingDirectory dir;
    QWidget editor;
    QPointer<TForm_PhotoZel> form;
    QString chosen;
    QStringList errors;
};

} // namespace

TEST_F(Form_PhotoZelTest, RectangleDraggedThenDrawnOnRelease)
{
    EXPECT_TRUE(InputBlock::blocks(&editor));
    EXPECT_EQ(form->StatusBar1[0]->text(), "Dessin libre");
    pickColor(9); // red
    QTest::mouseClick(form->Btn_Rectangle, Qt::LeftButton);
    EXPECT_EQ(form->StatusBar1[0]->text(), "Rectangle");

    drag({10, 10}, {60, 40});
    EXPECT_EQ(form->StatusBar1[1]->text(), "60,40");
    EXPECT_EQ(form->StatusBar1[2]->text(), "50x30");
    EXPECT_EQ(at(10, 10), QColor(Qt::white)) << "the outline follows the mouse over the picture, not in it";
    EXPECT_EQ(form->Image_1->grab().toImage().pixelColor(10, 10), QColor(Qt::red)) << "but it shows";

    release({60, 40});
    EXPECT_EQ(form->StatusBar1[2]->text(), "");
    for (const QPoint p : {QPoint(10, 10), QPoint(59, 39), QPoint(35, 25)})
        EXPECT_EQ(at(p.x(), p.y()), QColor(Qt::red)) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(60, 40), QPoint(9, 9), QPoint(35, 41)})
        EXPECT_EQ(at(p.x(), p.y()), QColor(Qt::white)) << p.x() << "," << p.y();

    // The pencil draws where the mouse goes with the button held.
    pickColor(12); // blue
    QTest::mouseClick(form->Btn_Crayon, Qt::LeftButton);
    drag({100, 100}, {150, 100});
    release({150, 100});
    EXPECT_EQ(at(125, 100), QColor(Qt::blue));
    EXPECT_EQ(at(125, 101), QColor(Qt::white));
}

TEST_F(Form_PhotoZelTest, OverlaysTheirTextsAndTheirIndex)
{
    QTest::mouseClick(form->Btn_Texte, Qt::LeftButton);
    EXPECT_EQ(form->StatusBar1[0]->text(), "Texte");
    QTest::mouseClick(form->Image_1, Qt::LeftButton, {}, {300, 200});
    QTest::mouseClick(form->Image_1, Qt::LeftButton, {}, {20, 20});
    ASSERT_EQ(form->overlays().size(), 2);
    EXPECT_EQ(errors.size(), 2) << "no Zelvar2.bmp: one message per overlay, and the overlay is placed";
    EXPECT_EQ(form->overlays().at(0)->objectName(), "image1");
    EXPECT_EQ(form->overlays().at(1)->objectName(), "image2");
    EXPECT_EQ(form->overlays().at(0)->geometry(), form->Image_1->geometry()) << "over the picture, at its origin";
    EXPECT_EQ(form->Panel1->childAt(form->Image_1->geometry().center()), form->Image_1)
        << "drawing goes on under the overlays";

    EXPECT_EQ(inkColumns(form->picture().overlay(1)).first, 40);
    EXPECT_EQ(inkColumns(form->picture().overlay(2)).first, 80);
    EXPECT_EQ(form->currentOverlay(), 2);

    form->Edit_Nom->setText("Salon");
    EXPECT_LT(inkColumns(form->picture().overlay(2)).first, 5);
    EXPECT_EQ(inkColumns(form->picture().overlay(1)).first, 40);
    form->Edit_Nom->setText("");
    EXPECT_EQ(inkColumns(form->picture().overlay(2)).first, 80) << "a shortened text leaves nothing behind";

    // Bad indexes change nothing and say why while the text stays bad.
    form->Edit1->setText("1");
    EXPECT_EQ(form->currentOverlay(), 1);
    EXPECT_EQ(form->notice(), "");
    for (const char *bad : {"abc", "3", "0", "-1"}) {
        form->Edit1->setText(bad);
        EXPECT_EQ(form->currentOverlay(), 1) << bad;
        EXPECT_FALSE(form->notice().isEmpty()) << bad;
    }
    form->Edit_Nom->setText("Cuisine");
    EXPECT_LT(inkColumns(form->picture().overlay(1)).first, 5);
    EXPECT_EQ(inkColumns(form->picture().overlay(2)).first, 80);
    form->Edit1->setText("2");
    EXPECT_EQ(form->notice(), "");
}

TEST_F(Form_PhotoZelTest, SavedPictureHoldsTheDrawingAndEveryOverlay)
{
    pickColor(9);
    QTest::mouseClick(form->Btn_Rectangle, Qt::LeftButton);
    drag({200, 100}, {300, 200});
    release({300, 200});
    QTest::mouseClick(form->Btn_Texte, Qt::LeftButton);
    QTest::mouseClick(form->Image_1, Qt::LeftButton, {}, {5, 300});
    QTest::mouseClick(form->Image_1, Qt::LeftButton, {}, {5, 300});
    saveShot(*form, "PhotoZel");

    struct Case
    {
        const char *chosen;
        const char *written;
    };
    for (const Case &c : {Case{"saved.png", "saved.png"}, Case{"saved", "saved.bmp"}}) {
        chosen = dir.filePath(c.chosen);
        form->btn_EnregistrersousClick();
        const QImage saved(dir.filePath(c.written));
        ASSERT_FALSE(saved.isNull()) << c.written;
        EXPECT_EQ(saved.size(), QSize(600, 350));
        EXPECT_EQ(saved.pixelColor(250, 150), QColor(Qt::red)) << c.written;
        const auto [first, last] = inkColumns(saved);
        EXPECT_EQ(first, 40) << "the first overlay's text";
        EXPECT_GT(last, 90) << "and the second's";
        EXPECT_EQ(saved.pixelColor(20, 5), QColor(Qt::white));
    }
    EXPECT_EQ(form->picture().image().pixelColor(45, 5), QColor(Qt::white)) << "the drawing itself is untouched";

    chosen = dir.filePath("saved.xyz");
    form->btn_EnregistrersousClick();
    EXPECT_FALSE(QFile::exists(chosen));
    EXPECT_EQ(errors.size(), 3) << "two overlays without Zelvar2.bmp, then the unknown format";
}

TEST_F(Form_PhotoZelTest, OpensAPictureAndReportsOneItCannotRead)
{
    QImage blue(640, 480, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    chosen = dir.filePath("blue.png");
    ASSERT_TRUE(blue.save(chosen));
    form->Btn_Ouvrir1->trigger();
    EXPECT_EQ(at(630, 470), QColor(Qt::blue));

    chosen = dir.filePath("notes.bmp");
    zelvar::testing::writeFile(chosen, "not a picture");
    form->Btn_Ouvrir1->trigger();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(at(630, 470), QColor(Qt::blue));

    chosen.clear();
    form->Btn_Ouvrir1->trigger();
    EXPECT_EQ(errors.size(), 1) << "cancelling says nothing";
}

TEST_F(Form_PhotoZelTest, GradientOnTheWindowIsNotKeptAndClosingGivesTheEditorBack)
{
    QTest::mouseClick(form->Btn_Degrade, Qt::LeftButton);
    saveShot(*form, "PhotoZel-Degrade");
    QTest::mouseClick(form->Btn_Degrade, Qt::LeftButton);
    const QImage window = form->centralWidget()->grab().toImage();
    EXPECT_EQ(window.pixelColor(140, 0), QColor(0, 0, 0));
    EXPECT_GT(window.pixelColor(140, window.height() - 1).green(), 250);
    EXPECT_EQ(window.pixelColor(140, window.height() - 1).red(), 0);
    // The next repaint shows the window's face again.
    const QImage repainted = form->centralWidget()->grab().toImage();
    EXPECT_EQ(repainted.pixelColor(140, repainted.height() - 1), resolveColor(SystemColor::BtnFace));

    form->close();
    EXPECT_FALSE(InputBlock::blocks(&editor));
}
