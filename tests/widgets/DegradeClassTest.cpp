#include "common/Colors.h"
#include "common/MulDiv.h"
#include "widgets/DegradeClass.h"
#include "widgets/Form_Splash.h"
#include "widgets/SystemColors.h"
#include "Shots.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace zelvar;

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero)
{
    struct Case { int a, b, c, expected; };
    const Case cases[] = {
        {1, 1, 2, 1}, {-1, 1, 2, -1}, {3, 1, 2, 2}, {1, 1, 3, 0}, {2, 1, 3, 1},
        {255, -255, 255, -255}, {128, -1, 255, -1}, {127, -1, 255, 0}, {5, 7, 0, -1},
        {2000000000, 3, 4, 1500000000},
    };
    for (const Case &c : cases)
        EXPECT_EQ(mulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(DegradeClass, BandsRunFromStartToEndAndCoverTheArea)
{
    const QColor start = colorFromBgr(8209740), end(255, 255, 255);
    for (int height : {498, 256, 100, 1}) {
        const auto bands = TDegradeClass::bands(height, start, end);
        ASSERT_EQ(bands.size(), 256u);
        EXPECT_EQ(bands.front().color, start);
        EXPECT_EQ(bands.back().color, end);
        EXPECT_EQ(bands.front().top, 0);
        EXPECT_EQ(bands.back().bottom, height);
        int empty = 0;
        for (size_t i = 1; i < bands.size(); ++i) {
            EXPECT_EQ(bands[i].top, bands[i - 1].bottom);
            empty += bands[i].bottom == bands[i].top;
        }
        EXPECT_EQ(empty > 0, height < 256) << height;
    }
    // Band 128 of (76, 69, 125) to white: 128 × (179, 186, 130) / 255 rounded is (90, 93, 65).
    const auto bands = TDegradeClass::bands(256, start, end);
    EXPECT_EQ(bands[128].color, QColor(166, 162, 190));
}

TEST(DegradeClass, FillsItsParentOnPixels)
{
    QWidget parent;
    parent.resize(270, 329);
    TDegradeClass degrade(&parent);
    degrade.setStartColor(8209740);
    degrade.setEndColor(ColorCream);
    EXPECT_EQ(degrade.geometry(), parent.rect());
    parent.show();
    parent.resize(300, 400);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(degrade.geometry(), QRect(0, 0, 300, 400));

    saveShot(parent, "degrade");
    const QImage image = parent.grab().toImage();
    EXPECT_EQ(bgrFromColor(image.pixelColor(0, 0)), 8209740);
    EXPECT_EQ(bgrFromColor(image.pixelColor(299, 0)), 8209740);
    EXPECT_EQ(bgrFromColor(image.pixelColor(150, 399)), ColorCream);

    EXPECT_EQ(degrade.StartColor(), 8209740);
    EXPECT_EQ(TDegradeClass(nullptr).StartColor(), 16711680);
    EXPECT_EQ(TDegradeClass(nullptr).EndColor(), 255);
}

TEST(Form_Splash, PictureAndClickToClose)
{
    const QImage picture = TForm_Splash::picture();
    EXPECT_EQ(picture.size(), QSize(500, 400));
    EXPECT_EQ(bgrFromColor(picture.pixelColor(50, 50)), 10640497);
    EXPECT_EQ(qAlpha(picture.pixel(0, 399)), 0); // the outline's colour is the transparent one
    int white = 0; // "Zelvare" in size 60 below (100, 100)
    for (int y = 100; y < 190; ++y)
        for (int x = 100; x < 400; ++x)
            white += picture.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_GT(white, 1000);

    TForm_Splash splash;
    EXPECT_EQ(splash.Label1->text(), "Site web");
    EXPECT_EQ(splash.Label1->geometry(), QRect(176, 370, 50, 16));
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    saveShot(splash, "splash");
    QTest::mouseClick(splash.Panel1, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(splash.isVisible());
    EXPECT_TRUE(TForm_Splash::siteUrl().isLocalFile());
}
