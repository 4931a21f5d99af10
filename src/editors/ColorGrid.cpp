#include "editors/ColorGrid.h"

#include <QMouseEvent>
#include <QPainter>

#include <array>

namespace zelvar {

namespace {
constexpr int Columns = 4;
constexpr int Rows = 4;
} // namespace

ColorGrid::ColorGrid(QWidget *parent) : QWidget(parent) {}

QColor ColorGrid::colorAt(int index)
{
    static const std::array<QColor, 16> colors{
        QColor(0, 0, 0),     QColor(128, 0, 0),   QColor(0, 128, 0),   QColor(128, 128, 0),
        QColor(0, 0, 128),   QColor(128, 0, 128), QColor(0, 128, 128), QColor(192, 192, 192),
        QColor(128, 128, 128), QColor(255, 0, 0), QColor(0, 255, 0),   QColor(255, 255, 0),
        QColor(0, 0, 255),   QColor(255, 0, 255), QColor(0, 255, 255), QColor(255, 255, 255),
    };
    return colors.at(std::clamp(index, 0, 15));
}

QRect ColorGrid::cellRect(int index) const
{
    const int column = index % Columns, row = index / Columns;
    const int left = column * width() / Columns, right = (column + 1) * width() / Columns;
    const int top = row * height() / Rows, bottom = (row + 1) * height() / Rows;
    return QRect(left, top, right - left, bottom - top);
}

int ColorGrid::indexAt(QPoint point) const
{
    for (int i = 0; i < Columns * Rows; ++i)
        if (cellRect(i).contains(point))
            return i;
    return -1;
}

void ColorGrid::mousePressEvent(QMouseEvent *event)
{
    const int index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0)
        return;
    foreground_ = index;
    update();
    emit clicked();
}

void ColorGrid::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (int i = 0; i < Columns * Rows; ++i) {
        const QRect cell = cellRect(i);
        painter.fillRect(cell, colorAt(i));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
    }
    const QRect chosen = cellRect(foreground_);
    const QColor color = colorAt(foreground_);
    painter.setPen(color.lightness() < 128 ? Qt::white : Qt::black);
    painter.drawText(chosen, Qt::AlignCenter, QStringLiteral("FG"));
}

} // namespace zelvar
