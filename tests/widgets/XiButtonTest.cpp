#include "common/Colors.h"
#include "widgets/Fonts.h"
#include "widgets/XiButton.h"
#include "widgets/XiButton2.h"

#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

using namespace zelvar;

namespace {

constexpr int NeoDesertFace = 13036799;
constexpr int NeoDesertGrad = 3653375;

int pixel(const QImage &image, int x, int y)
{
    return bgrFromColor(image.pixelColor(x, y));
}

// Bounding box of the caption's ink: pixels clearly darker than every face and gradient colour.
QRect inkBounds(const QImage &image)
{
    QRect box;
    for (int y = 4; y < image.height() - 4; ++y) {
        for (int x = 4; x < image.width() - 4; ++x) {
            if (qGray(image.pixel(x, y)) < 110)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// A shown, active top-level window holding the widgets, so that focus and shortcuts work.
struct Window {
    QWidget widget;
    Window()
    {
        widget.resize(300, 120);
    }
    void show()
    {
        widget.show();
        widget.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
    }
};

// Mouse events go through the window, as a real pointer's do: the window finds the widget under
// the pointer, sends enter and leave, and keeps a pressed button's events on that button.
void mouse(QTest::MouseAction action, QWidget &widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    QWindow *window = widget.window()->windowHandle();
    const QPoint at = widget.mapTo(widget.window(), pos);
    if (action == QTest::MouseMove)
        QTest::mouseMove(window, at);
    else
        QTest::mouseEvent(action, window, button, {}, at);
}

const QPoint Inside(30, 12);
const QPoint Outside(120, 60);

} // namespace

TEST(GradientRowColor, RunsFromFaceOnTopToGradOnRowHeight)
{
    EXPECT_EQ(gradientRowColor(NeoDesertFace, NeoDesertGrad, 0, 25), NeoDesertFace);
    EXPECT_EQ(gradientRowColor(NeoDesertFace, NeoDesertGrad, 25, 25), NeoDesertGrad);
    // Row 12: green 236 - 46 * 12 / 25 = 213.92, blue 198 - 143 * 12 / 25 = 129.36.
    EXPECT_EQ(gradientRowColor(NeoDesertFace, NeoDesertGrad, 12, 25), 0x81D6FF);
}

TEST(GradientRowColor, RoundsHalvesToEvenPerChannel)
{
    // Red 0 -> 1 and green 1 -> 2 over two rows give 0.5 and 1.5 on row 1; blue 3 -> 0 gives 1.5.
    EXPECT_EQ(gradientRowColor(0x030100, 0x000201, 1, 2), 0x020200);
    EXPECT_EQ(gradientRowColor(0x000000, 0x000003, 1, 2), 0x000002);
}

TEST(GradientRowColor, NoHeightMeansNoGradient)
{
    EXPECT_EQ(gradientRowColor(NeoDesertFace, NeoDesertGrad, 0, 0), NeoDesertFace);
    EXPECT_EQ(gradientRowColor(NeoDesertFace, NeoDesertGrad, 3, -1), NeoDesertFace);
}

TEST(ColorSchemes, NeoSchemesSetAllColoursAndShareTheDisabledSet)
{
    const std::pair<TColorScheme, std::pair<int, int>> neo[] = {
        {TColorScheme::csNeoDesert, {13036799, 22144}}, {TColorScheme::csNeoSky, {16772829, 11753728}},
        {TColorScheme::csNeoGrass, {14547432, 1404727}}, {TColorScheme::csNeoSilver, {15987699, 6447714}},
        {TColorScheme::csNeoRose, {15263999, 157}},      {TColorScheme::csNeoSun, {15794175, 25700}},
    };
    const int disabled[] = {15658734, 16777215, 13816530, 16777215, 8421504, 8421504};
    for (const auto &[scheme, faceAndBorder] : neo) {
        SCOPED_TRACE(schemeName(scheme));
        const auto definition = schemeDefinition(scheme);
        ASSERT_TRUE(definition);
        EXPECT_TRUE(definition->gradient);
        ASSERT_EQ(definition->colors.size(), 25u);
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(definition->colors[i].index, i);
        EXPECT_EQ(definition->colors[colorIndex::Face].color, faceAndBorder.first);
        EXPECT_EQ(definition->colors[colorIndex::Border].color, faceAndBorder.second);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(definition->colors[colorIndex::Disabled + i].color, disabled[i]);
    }
}

TEST(ColorSchemes, NeoDesertIsTheDocumentedTable)
{
    const int expected[25] = {13036799, 3653375,  40168,    12183551, 22144,    0,       11790335,
                              41968,    36562,    9820927,  22144,    0,        2865919, 7852799,
                              9099775,  30647,    28838,    0,        15658734, 16777215, 13816530,
                              16777215, 8421504,  8421504,  4227327};
    const auto definition = schemeDefinition(TColorScheme::csNeoDesert);
    ASSERT_TRUE(definition);
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(definition->colors[i].color, expected[i]) << "index " << i;
}

TEST(ColorSchemes, PlainSchemesLeaveTheGradsAloneAndSwitchTheGradientOff)
{
    const std::pair<TColorScheme, std::pair<int, int>> plain[] = {
        {TColorScheme::csDesert, {9821695, 22144}},  {TColorScheme::csSky, {16769217, 11753728}},
        {TColorScheme::csGrass, {10021815, 1404727}}, {TColorScheme::csSilver, {14737632, 6447714}},
        {TColorScheme::csRose, {13027071, 157}},      {TColorScheme::csSun, {11075583, 25700}},
    };
    for (const auto &[scheme, faceAndBorder] : plain) {
        SCOPED_TRACE(schemeName(scheme));
        const auto definition = schemeDefinition(scheme);
        ASSERT_TRUE(definition);
        EXPECT_FALSE(definition->gradient);
        ASSERT_EQ(definition->colors.size(), 21u);
        std::map<int, int> byIndex;
        for (const ColorAssignment &a : definition->colors)
            byIndex[a.index] = a.color;
        EXPECT_EQ(byIndex.size(), 21u);
        for (int set : {colorIndex::Normal, colorIndex::Over, colorIndex::Down, colorIndex::Disabled})
            EXPECT_EQ(byIndex.count(set + colorIndex::Grad), 0u);
        EXPECT_EQ(byIndex[colorIndex::Face], faceAndBorder.first);
        EXPECT_EQ(byIndex[colorIndex::Border], faceAndBorder.second);
        EXPECT_EQ(byIndex[colorIndex::Disabled + colorIndex::Face], 14869218);
        EXPECT_EQ(byIndex[colorIndex::Disabled + colorIndex::Dark], 14211288);
        EXPECT_EQ(byIndex[colorIndex::Disabled + colorIndex::Light], 15395562);
        EXPECT_EQ(byIndex[colorIndex::Disabled + colorIndex::Border], 12895428);
        EXPECT_EQ(byIndex[colorIndex::Disabled + colorIndex::Text], 8421504);
    }
    EXPECT_FALSE(schemeDefinition(TColorScheme::csCustom));
}

TEST(CaptionLayout, CentresWithTruncationAndMakesRoomForTheGlyph)
{
    const QSize button(75, 25);
    const QSize text(30, 13);
    auto plain = layoutCaption(button, text, QSize(), TButtonLayout::blGlyphLeft, 4, false);
    EXPECT_EQ(plain.caption, QRect(22, 6, 30, 13));

    auto left = layoutCaption(button, text, QSize(16, 16), TButtonLayout::blGlyphLeft, 4, false);
    EXPECT_EQ(left.caption.topLeft(), QPoint(32, 6));
    EXPECT_EQ(left.glyph, QPoint(12, 4));
    auto top = layoutCaption(QSize(75, 60), text, QSize(16, 16), TButtonLayout::blGlyphTop, 4, true);
    EXPECT_EQ(top.caption.topLeft(), QPoint(23, 34));
    EXPECT_EQ(top.glyph, QPoint(30, 14));
}

TEST(XiButton, StartsAsTheDesertButtonWithWhiteGrads)
{
    TXiButton button;
    EXPECT_EQ(button.size(), QSize(75, 25));
    EXPECT_TRUE(button.TabStop());
    EXPECT_EQ(button.ColorScheme(), TColorScheme::csNeoDesert);
    EXPECT_EQ(button.ColorFace(), NeoDesertFace);
    EXPECT_EQ(button.ColorGrad(), NeoDesertGrad);
    EXPECT_EQ(button.OverColorFace(), 11790335);
    EXPECT_EQ(button.OverColorGrad(), White);
    EXPECT_EQ(button.DownColorGrad(), White);
    EXPECT_EQ(button.DisabledColorGrad(), White);
    EXPECT_EQ(button.ColorFocusRect(), 4227327);
    EXPECT_TRUE(button.Gradient());
    EXPECT_TRUE(button.Ctl3D());
    EXPECT_TRUE(button.HotTrack());
    EXPECT_TRUE(button.TransparentGlyph());
    EXPECT_EQ(button.Spacing(), 4);
    EXPECT_EQ(button.Layout(), TButtonLayout::blGlyphLeft);
    EXPECT_FALSE(button.Cancel());
    EXPECT_FALSE(button.Default());
    EXPECT_EQ(button.ModalResult(), 0);
    EXPECT_EQ(button.font().pixelSize(), 11);
    EXPECT_EQ(button.font().family(), uiFontFamily());
}

TEST(Fonts, UsesTahomaWhenTheMachineHasIt)
{
    if (QFile::exists("/usr/share/wine/fonts/tahoma.ttf"))
        EXPECT_EQ(uiFontFamily(), "Tahoma");
    else
        EXPECT_FALSE(uiFontFamily().isEmpty());
}

TEST(XiButton, SingleColourSetterMakesTheSchemeCustomAndTouchesNothingElse)
{
    TXiButton button;
    const ButtonColors before = button.colors();
    button.setColor(0, 255);
    EXPECT_EQ(button.ColorScheme(), TColorScheme::csCustom);
    EXPECT_EQ(button.ColorFace(), 255);
    EXPECT_TRUE(button.Gradient());
    for (int i = 1; i < colorIndex::Count; ++i)
        EXPECT_EQ(button.color(i), before[i]) << "index " << i;

    button.setColorFace(NeoDesertFace);
    button.setColorScheme(TColorScheme::csNeoDesert);
    EXPECT_EQ(button.ColorScheme(), TColorScheme::csNeoDesert);
    EXPECT_EQ(button.OverColorGrad(), 41968); // the scheme's own grads, not the white start values
}

TEST(XiButton, PlainSchemeAfterNeoKeepsTheNeoGrads)
{
    TXiButton button;
    button.setColorScheme(TColorScheme::csNeoSky);
    const int skyGrad = button.ColorGrad();
    button.setColorScheme(TColorScheme::csGrass);
    EXPECT_EQ(button.ColorScheme(), TColorScheme::csGrass);
    EXPECT_FALSE(button.Gradient());
    EXPECT_EQ(button.ColorGrad(), skyGrad);
    EXPECT_EQ(button.ColorFace(), 10021815);

    // Without the gradient the face is flat from top to bottom.
    button.setCtl3D(false);
    const QImage image = button.grab().toImage();
    EXPECT_EQ(pixel(image, 2, 1), 10021815);
    EXPECT_EQ(pixel(image, 2, 23), 10021815);
}

TEST(XiButton, PaintsTheGradientRowByRowInsideTheBorder)
{
    TXiButton button;
    button.setCtl3D(false);
    const QImage image = button.grab().toImage();
    ASSERT_EQ(image.size(), QSize(75, 25));
    for (int y = 1; y < 24; ++y)
        EXPECT_EQ(pixel(image, 2, y), gradientRowColor(NeoDesertFace, NeoDesertGrad, y, 25)) << "row " << y;
    for (int x = 0; x < 75; ++x) {
        EXPECT_EQ(pixel(image, x, 0), 22144);
        EXPECT_EQ(pixel(image, x, 24), 22144);
    }
    for (int y = 0; y < 25; ++y) {
        EXPECT_EQ(pixel(image, 0, y), 22144);
        EXPECT_EQ(pixel(image, 74, y), 22144);
    }
}

TEST(XiButton, BevelIsLightTopLeftAndDarkBottomRight)
{
    TXiButton button;
    const QImage image = button.grab().toImage();
    const int light = button.ColorLight();
    const int dark = button.ColorDark();
    EXPECT_EQ(pixel(image, 1, 12), light);
    EXPECT_EQ(pixel(image, 1, 23), light);
    EXPECT_EQ(pixel(image, 40, 1), light);
    EXPECT_EQ(pixel(image, 73, 12), dark);
    EXPECT_EQ(pixel(image, 73, 1), dark);
    EXPECT_EQ(pixel(image, 40, 23), dark);
    EXPECT_EQ(pixel(image, 2, 23), dark);
    EXPECT_EQ(pixel(image, 2, 12), gradientRowColor(NeoDesertFace, NeoDesertGrad, 12, 25));
}

TEST(XiButton, FocusRectangleFramesTheFocusedButton)
{
    Window window;
    TXiButton button(&window.widget);
    button.setCtl3D(false);
    window.show();
    button.clearFocus();
    EXPECT_NE(pixel(button.grab().toImage(), 3, 3), button.ColorFocusRect());

    button.setFocus();
    ASSERT_TRUE(button.hasFocus());
    const QImage image = button.grab().toImage();
    const int focus = button.ColorFocusRect();
    for (QPoint p : {QPoint(3, 3), QPoint(71, 3), QPoint(3, 21), QPoint(71, 21), QPoint(30, 3), QPoint(30, 21)})
        EXPECT_EQ(pixel(image, p.x(), p.y()), focus) << p.x() << "," << p.y();
    EXPECT_NE(pixel(image, 72, 12), focus);
    EXPECT_NE(pixel(image, 2, 12), focus);
    EXPECT_NE(pixel(image, 12, 22), focus);
}

TEST(XiButton, DisabledColoursWinOverThePointer)
{
    Window window;
    TXiButton button(&window.widget);
    button.setCtl3D(false);
    window.show();
    mouse(QTest::MouseMove, button, Inside);
    QApplication::processEvents();
    ASSERT_EQ(button.visualState(), ButtonVisual::Over);
    EXPECT_EQ(pixel(button.grab().toImage(), 2, 1), gradientRowColor(button.OverColorFace(), White, 1, 25));

    button.setEnabled(false);
    const QImage image = button.grab().toImage();
    EXPECT_EQ(pixel(image, 0, 0), button.DisabledColorBorder());
    EXPECT_EQ(pixel(image, 2, 1), gradientRowColor(button.DisabledColorFace(), White, 1, 25));
}

TEST(XiButton, CaptionIsCentredAndShiftsWhenPressed)
{
    Window window;
    TXiButton button(&window.widget);
    button.setCaption("Lecture");
    window.show();
    const QRect normal = inkBounds(button.grab().toImage());
    ASSERT_FALSE(normal.isEmpty());
    EXPECT_NEAR(normal.center().x(), 37, 2);
    EXPECT_NEAR(normal.center().y(), 12, 2);

    mouse(QTest::MousePress, button, Inside);
    const QRect down = inkBounds(button.grab().toImage());
    EXPECT_EQ(down, normal.translated(1, 1));
    mouse(QTest::MouseRelease, button, Inside);
}

TEST(XiButton, PressAndReleaseInsideClicksOnce)
{
    Window window;
    QLineEdit edit(&window.widget);
    TXiButton button(&window.widget);
    button.move(0, 40);
    window.show();
    edit.setFocus();
    QStringList events;
    QObject::connect(&button, &TXiButton::pressed, [&](Qt::MouseButton) { events << "pressed"; });
    QObject::connect(&button, &TXiButton::released, [&](Qt::MouseButton) { events << "released"; });
    QObject::connect(&button, &TXiButton::clicked, [&] { events << "clicked"; });
    QObject::connect(&button, &TXiButton::focusEntered, [&] { events << "focus"; });

    mouse(QTest::MouseMove, button, Inside);
    mouse(QTest::MousePress, button, Inside);
    EXPECT_EQ(button.visualState(), ButtonVisual::Down);
    EXPECT_TRUE(button.hasFocus());
    mouse(QTest::MouseRelease, button, Inside);
    EXPECT_EQ(events, QStringList({"focus", "pressed", "clicked", "released"}));
    EXPECT_EQ(button.visualState(), ButtonVisual::Over);
}

TEST(XiButton, DoubleClickIsTwoFullClicks)
{
    Window window;
    TXiButton button(&window.widget);
    window.show();
    QSignalSpy pressed(&button, &TXiButton::pressed);
    QSignalSpy released(&button, &TXiButton::released);
    QSignalSpy clicked(&button, &TXiButton::clicked);
    mouse(QTest::MouseDClick, button, Inside);
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_EQ(released.count(), 2);
    EXPECT_EQ(clicked.count(), 2);
}

TEST(XiButton, ReleaseOutsideSendsReleaseButNoClick)
{
    Window window;
    TXiButton button(&window.widget);
    window.show();
    QSignalSpy clicked(&button, &TXiButton::clicked);
    QSignalSpy released(&button, &TXiButton::released);

    mouse(QTest::MouseMove, button, Inside);
    mouse(QTest::MousePress, button, Inside);
    mouse(QTest::MouseMove, button, Outside);
    EXPECT_EQ(button.visualState(), ButtonVisual::Normal);
    mouse(QTest::MouseMove, button, Inside);
    EXPECT_EQ(button.visualState(), ButtonVisual::Down); // back over the button, still held
    mouse(QTest::MouseMove, button, Outside);
    mouse(QTest::MouseRelease, button, Outside);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(button.visualState(), ButtonVisual::Normal);
}

TEST(XiButton, OtherMouseButtonsAreReportedButDoNotPressOrClick)
{
    Window window;
    QLineEdit edit(&window.widget);
    TXiButton button(&window.widget);
    button.move(0, 40);
    window.show();
    edit.setFocus();
    QSignalSpy pressed(&button, &TXiButton::pressed);
    QSignalSpy clicked(&button, &TXiButton::clicked);
    mouse(QTest::MousePress, button, Inside, Qt::RightButton);
    EXPECT_NE(button.visualState(), ButtonVisual::Down);
    mouse(QTest::MouseRelease, button, Inside, Qt::RightButton);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(button.hasFocus());
}

TEST(XiButton, WithoutHotTrackThePointerChangesNothing)
{
    Window window;
    TXiButton button(&window.widget);
    button.setHotTrack(false);
    window.show();
    mouse(QTest::MouseMove, button, Inside);
    EXPECT_EQ(button.visualState(), ButtonVisual::Normal);
    mouse(QTest::MouseClick, button, Inside);
    EXPECT_EQ(button.visualState(), ButtonVisual::Normal);
}

TEST(XiButton, SpaceAndEnterClickTheFocusedButton)
{
    Window window;
    TXiButton button(&window.widget);
    window.show();
    button.setFocus();
    QSignalSpy clicked(&button, &TXiButton::clicked);
    QSignalSpy pressed(&button, &TXiButton::pressed);

    QTest::keyPress(&button, Qt::Key_Space);
    EXPECT_EQ(button.visualState(), ButtonVisual::Down);
    EXPECT_EQ(clicked.count(), 0);
    QTest::keyRelease(&button, Qt::Key_Space);
    EXPECT_EQ(button.visualState(), ButtonVisual::Normal);
    EXPECT_EQ(clicked.count(), 1);

    QTest::keyClick(&button, Qt::Key_Return);
    QTest::keyClick(&button, Qt::Key_Enter);
    EXPECT_EQ(clicked.count(), 3);
    EXPECT_EQ(pressed.count(), 0);
}

TEST(XiButton, EscapeClicksTheCancelButtonOnly)
{
    Window window;
    QLineEdit edit(&window.widget);
    TXiButton button(&window.widget);
    button.move(0, 40);
    window.show();
    edit.setFocus();
    QSignalSpy clicked(&button, &TXiButton::clicked);

    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(clicked.count(), 0);
    button.setCancel(true);
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(clicked.count(), 1);
    button.setCancel(false);
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(XiButton, EnterClicksTheDefaultButtonUnlessAnotherButtonHasTheFocus)
{
    Window window;
    QLineEdit edit(&window.widget);
    TXiButton ok(&window.widget);
    TXiButton other(&window.widget);
    ok.move(0, 40);
    other.move(100, 40);
    ok.setDefault(true);
    window.show();
    QSignalSpy okClicked(&ok, &TXiButton::clicked);
    QSignalSpy otherClicked(&other, &TXiButton::clicked);

    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(okClicked.count(), 1);

    other.setFocus();
    QTest::keyClick(&other, Qt::Key_Return);
    EXPECT_EQ(okClicked.count(), 1);
    EXPECT_EQ(otherClicked.count(), 1);

    ok.setEnabled(false);
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(okClicked.count(), 1);
}

TEST(XiButton, AcceleratorClicksWhenEnabled)
{
    Window window;
    QLineEdit edit(&window.widget);
    TXiButton button(&window.widget);
    button.move(0, 40);
    button.setCaption("&Lecture");
    window.show();
    edit.setFocus();
    QSignalSpy clicked(&button, &TXiButton::clicked);

    QTest::keyClick(&edit, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(clicked.count(), 1);
    button.setEnabled(false);
    QTest::keyClick(&edit, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(XiButton, ClickClosesItsDialogWithTheModalResult)
{
    QDialog dialog;
    TXiButton button(&dialog);
    button.setModalResult(QDialog::Accepted + 5);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    mouse(QTest::MouseClick, button, Inside);
    EXPECT_EQ(dialog.result(), QDialog::Accepted + 5);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(XiButton2, LeavingResetsTheStateAndTellsThePanel)
{
    Window window;
    TXiButton2 button(&window.widget);
    window.show();
    QSignalSpy left(&button, &TXiButton2::mouseLeft);

    mouse(QTest::MouseMove, button, Inside);
    ASSERT_EQ(button.visualState(), ButtonVisual::Over);
    EXPECT_EQ(left.count(), 0);
    mouse(QTest::MouseMove, button, QPoint(150, 70));
    EXPECT_EQ(button.visualState(), ButtonVisual::Normal);
    EXPECT_EQ(left.count(), 1);
}
