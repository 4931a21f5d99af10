#include "BoardWindow.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

using zelvar::board::BoardWindow;
using zelvar::board::ElidedLabel;

TEST(BoardWindow, KeepsItsWidthWhenALongTextArrivesAndElidesIt)
{
    BoardWindow window(QStringLiteral("/dev/pts/7"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize before = window.size();

    // An infrared code written down the relay line: one unrecognised run of 359 bytes.
    const QString pronto = QStringLiteral("0000 006D 0022 0002 0157 00AC").repeated(12);
    window.showLastEvent(pronto, QStringLiteral("octets non reconnus (359)"), false);
    QApplication::processEvents();
    EXPECT_EQ(window.size(), before);

    const QList<ElidedLabel *> labels = window.findChildren<ElidedLabel *>();
    const auto received = std::find_if(labels.begin(), labels.end(), [](const ElidedLabel *label) {
        return label->fullText().startsWith(QStringLiteral("Dernière commande"));
    });
    ASSERT_NE(received, labels.end());
    EXPECT_TRUE((*received)->text().endsWith(QChar(0x2026))) << (*received)->text().toStdString();
    EXPECT_EQ((*received)->toolTip(), QStringLiteral("Dernière commande : ") + pronto);
}
