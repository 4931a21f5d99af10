#include "app/FrameArt.h"

#include "common/Colors.h"

#include <QFontMetrics>
#include <QPainter>

namespace zelvar::FrameArt {

namespace {

constexpr int ClPurple = 8388736;
constexpr int ClRed = 255;
constexpr int Banner = 8209740;   // dark violet
constexpr int HeaderPen = 16744576; // light blue
constexpr int WindowBlue = 12157320;

// Pens follow the platform's drawing rules: a width of 0 draws one pixel, a one-pixel
// rectangle covers its left and top edges but stops one short of its right and bottom.
QPen pen(int bgr, int width)
{
    QPen result(colorFromBgr(bgr));
    result.setWidth(qMax(width, 1));
    result.setJoinStyle(Qt::MiterJoin);
    return result;
}

QRectF outline(int x1, int y1, int x2, int y2, int penWidth)
{
    const QRectF box = QRectF(QPointF(qMin(x1, x2), qMin(y1, y2)), QPointF(qMax(x1, x2), qMax(y1, y2)));
    if (penWidth <= 1)
        return box.adjusted(0.5, 0.5, -0.5, -0.5);
    return box; // wide pens are centred on the edge
}

void rectangle(QPainter &p, int x1, int y1, int x2, int y2)
{
    p.drawRect(outline(x1, y1, x2, y2, p.pen().width()));
}

// A rectangle with elliptic corners; the ellipse never exceeds the rectangle.
void roundRect(QPainter &p, int x1, int y1, int x2, int y2, int ellipseWidth, int ellipseHeight)
{
    const QRectF box = outline(x1, y1, x2, y2, p.pen().width());
    const qreal rx = qMin<qreal>(ellipseWidth, box.width()) / 2;
    const qreal ry = qMin<qreal>(ellipseHeight, box.height()) / 2;
    p.drawRoundedRect(box, rx, ry, Qt::AbsoluteSize);
}

QImage canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

QColor keyColour() { return colorFromBgr(ClPurple); }
QColor windowColour() { return colorFromBgr(WindowBlue); }

QImage footer()
{
    QImage image = canvas(601, 50);
    QPainter p(&image);
    p.setPen(pen(Banner, 1));
    p.setBrush(colorFromBgr(ClPurple));
    rectangle(p, 0, 0, 610, 90);
    p.setBrush(colorFromBgr(Banner));
    roundRect(p, 140, 0, 480, 20, 50, 50);
    return image;
}

QImage header(const QFont &titleFont)
{
    QImage image = canvas(620, 60);
    QPainter p(&image);
    p.setPen(pen(HeaderPen, 10));
    p.setBrush(colorFromBgr(ClPurple));
    rectangle(p, -1, -1, 620, 65);

    p.setPen(pen(WindowBlue, 2));
    p.setBrush(colorFromBgr(WindowBlue));
    rectangle(p, 120, 30, 500, 70);

    p.setPen(pen(ClPurple, 2));
    p.setBrush(colorFromBgr(Banner));
    roundRect(p, 0, 23, 600, 33, 60, 600);

    p.setPen(pen(ClPurple, 0));
    p.setBrush(colorFromBgr(ClRed));
    roundRect(p, 20, 25, 580, 20, 60, 600);

    // Text drawn over a cell filled with the brush colour, as the platform's opaque mode does.
    // The cell's top is the given point; its ascent there is the em height (Tahoma's), which
    // puts the baseline lower than this toolkit's own ascent would.
    const QString title = QStringLiteral("Zelvar 3.0  ");
    QFont font = titleFont;
    font.setStyleStrategy(QFont::NoAntialias); // keep the key colour exact around the letters
    const QFontMetrics metrics(font);
    const int ascent = qMax(font.pixelSize(), metrics.ascent());
    const QPoint cellTop(250, 5);
    p.fillRect(QRect(cellTop, QSize(metrics.horizontalAdvance(title), ascent + metrics.descent())),
               colorFromBgr(ClPurple));
    p.setFont(font);
    p.setPen(colorFromBgr(ClRed));
    p.drawText(cellTop + QPoint(0, ascent), title);
    return image;
}

QRegion shape(const QSize &windowSize, const QVector<Layer> &pictures, const QVector<QRect> &solid)
{
    const QRgb key = keyColour().rgb() & RGB_MASK;
    QRegion region;
    for (const Layer &layer : pictures) {
        const QImage picture = layer.picture.convertToFormat(QImage::Format_RGB32);
        // Row by row, every run of pixels not in the key colour.
        for (int y = 0; y < picture.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
            int x = 0;
            while (x < picture.width()) {
                while (x < picture.width() && (row[x] & RGB_MASK) == key)
                    ++x;
                const int start = x;
                while (x < picture.width() && (row[x] & RGB_MASK) != key)
                    ++x;
                if (x > start)
                    region += QRect(layer.position + QPoint(start, y), QSize(x - start, 1));
            }
        }
    }
    for (const QRect &rect : solid)
        region += rect;
    return region & QRect(QPoint(0, 0), windowSize);
}

} // namespace zelvar::FrameArt
