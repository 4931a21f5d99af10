#include "widgets/DegradeClass.h"

#include "common/MulDiv.h"
#include "widgets/SystemColors.h"

#include <QEvent>
#include <QPainter>

namespace zelvar {

TDegradeClass::TDegradeClass(QWidget *parent)
    : QWidget(parent)
{
    // Drawn behind every sibling, like a control without a window of its own.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (parent) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    }
    lower();
}

void TDegradeClass::setStartColor(int color)
{
    if (color == m_startColor)
        return;
    m_startColor = color;
    update();
}

void TDegradeClass::setEndColor(int color)
{
    if (color == m_endColor)
        return;
    m_endColor = color;
    update();
}

std::vector<TDegradeClass::Band> TDegradeClass::bands(int height, const QColor &start, const QColor &end)
{
    std::vector<Band> result;
    result.reserve(256);
    const int r = start.red(), g = start.green(), b = start.blue();
    const int dr = end.red() - r, dg = end.green() - g, db = end.blue() - b;
    for (int i = 0; i < 256; ++i) {
        const QColor color(r + mulDiv(i, dr, 255), g + mulDiv(i, dg, 255), b + mulDiv(i, db, 255));
        result.push_back({mulDiv(i, height, 256), mulDiv(i + 1, height, 256), color});
    }
    return result;
}

bool TDegradeClass::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TDegradeClass::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (const Band &band : bands(height(), resolveColor(m_startColor), resolveColor(m_endColor))) {
        if (band.bottom > band.top)
            painter.fillRect(QRect(0, band.top, width(), band.bottom - band.top), band.color);
    }
}

} // namespace zelvar
