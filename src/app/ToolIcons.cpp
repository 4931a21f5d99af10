#include "app/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace zelvar::ToolIcons {

namespace {

const QColor Ink(0x20, 0x1c, 0x40);
const QColor Face(0xf4, 0xf2, 0xff);
const QColor Accent(0xd0, 0x10, 0x10);

QIcon drawn(const std::function<void(QPainter &)> &draw)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QIcon buttonLayout()
{
    return drawn([](QPainter &p) {
        p.setPen(QPen(Ink, 1));
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 2; ++column) {
                p.setBrush(row == 0 && column == 1 ? Accent : Face);
                p.drawRoundedRect(QRectF(1.5 + column * 7, 2.5 + row * 6, 6, 4.5), 1.5, 1.5);
            }
        p.setBrush(Face);
        p.drawRoundedRect(QRectF(1.5, 13.5, 13, 2), 1, 1);
    });
}

QIcon scheduler()
{
    return drawn([](QPainter &p) {
        p.setPen(QPen(Ink, 1.2));
        p.setBrush(Face);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(QPen(Ink, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(8, 4));
        p.setPen(QPen(Accent, 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(11, 10));
    });
}

QIcon sequencer()
{
    return drawn([](QPainter &p) {
        p.setPen(QPen(Ink, 1));
        p.setBrush(Face);
        p.drawRect(QRectF(0.5, 3.5, 15, 9));
        p.drawLine(QPointF(1, 8), QPointF(15, 8));
        p.setPen(Qt::NoPen);
        p.setBrush(Accent);
        p.drawRect(QRectF(3, 5, 2, 2.5));
        p.drawRect(QRectF(9, 5, 2, 2.5));
        p.setBrush(Ink);
        p.drawRect(QRectF(6, 8.5, 2, 2.5));
        p.drawRect(QRectF(12, 8.5, 2, 2.5));
    });
}

QIcon repair()
{
    return drawn([](QPainter &p) {
        p.setPen(QPen(Ink, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 12.5), QPointF(9, 7));
        p.setPen(QPen(Ink, 1));
        p.setBrush(Face);
        QPainterPath head;
        head.addEllipse(QPointF(11, 5), 4, 4);
        QPainterPath jaw;
        jaw.addRect(QRectF(10.5, 0, 5.5, 4.5));
        p.drawPath(head.subtracted(jaw));
    });
}

QIcon minimise()
{
    return drawn([](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Ink);
        p.drawRect(QRectF(3, 11, 10, 2.5));
    });
}

QIcon close()
{
    return drawn([](QPainter &p) {
        p.setPen(QPen(Accent, 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    });
}

} // namespace zelvar::ToolIcons
