#include "widgets/Form_Splash.h"

#include "common/Colors.h"
#include "common/DataPaths.h"
#include "widgets/Fonts.h"
#include "widgets/SystemColors.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace zelvar {

namespace {

constexpr int SplashColor = 10640497;

void drawText(QPainter &painter, int x, int y, int pointSize, const QString &text)
{
    QFont font(uiFontFamily());
    font.setPointSize(pointSize);
    painter.setFont(font);
    // Text is placed by its top-left corner, as the canvas's text output does.
    painter.drawText(QRect(x, y, 1000, 1000), Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace

TForm_Splash::TForm_Splash(QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Form_Splash"));
    setWindowTitle(QStringLiteral("Form_Splash"));
    setFont(uiFont(11));
    setFixedSize(500, 400);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 500, 400);
    Image1->setPixmap(QPixmap::fromImage(picture()));

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 500, 400);
    Panel1->installEventFilter(this);

    Label1 = new QLabel(QStringLiteral("Site web"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(176, 370, 50, 16);
    Label1->setFont(uiFont(13));
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, resolveColor(SystemColor::Window));
    Label1->setPalette(palette);
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);
}

QImage TForm_Splash::picture()
{
    QImage image(500, 400, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setPen(Qt::black);
        painter.setBrush(colorFromBgr(SplashColor));
        // The rectangle (0, 0)-(500, 400) takes the pixels up to 499 and 399, outline included.
        painter.drawRect(0, 0, 499, 399);
        painter.setPen(Qt::white);
        drawText(painter, 100, 100, 60, QStringLiteral("Zelvare"));
        drawText(painter, 140, 190, 20, QStringLiteral("DeraZovudezedi"));
        drawText(painter, 185, 222, 14, QStringLiteral("Version 1.0"));
        drawText(painter, 280, 370, 10, QStringLiteral("Édition Linux, Qt 6"));
    }
    // A transparent picture lets its bottom-left pixel's colour through.
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return image;
}

QUrl TForm_Splash::siteUrl()
{
    const QString readme = readmePath();
    return readme.isEmpty() ? QUrl() : QUrl::fromLocalFile(QFileInfo(readme).canonicalFilePath());
}

void TForm_Splash::Panel1Click()
{
    close();
}

void TForm_Splash::Label1Click()
{
    QDesktopServices::openUrl(siteUrl());
}

bool TForm_Splash::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == Label1) {
            Label1Click();
            return true;
        }
        if (watched == Panel1) {
            Panel1Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zelvar
