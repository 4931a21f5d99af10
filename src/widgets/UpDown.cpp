#include "widgets/UpDown.h"

#include <QToolButton>

#include <algorithm>

namespace zelvar {

UpDown::UpDown(Qt::Orientation orientation, QWidget *parent)
    : QWidget(parent), m_orientation(orientation), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    const bool vertical = orientation == Qt::Vertical;
    m_up->setArrowType(vertical ? Qt::UpArrow : Qt::RightArrow);
    m_down->setArrowType(vertical ? Qt::DownArrow : Qt::LeftArrow);
    for (QToolButton *b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, std::max(m_min, m_max));
}

void UpDown::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = maximum;
    setPosition(m_position);
}

void UpDown::step(int delta)
{
    setPosition(m_position + delta);
    emit clicked();
}

void UpDown::resizeEvent(QResizeEvent *)
{
    if (m_orientation == Qt::Vertical) {
        const int h = height() / 2;
        m_up->setGeometry(0, 0, width(), h);
        m_down->setGeometry(0, h, width(), height() - h);
    } else {
        const int w = width() / 2;
        m_down->setGeometry(0, 0, w, height());
        m_up->setGeometry(w, 0, width() - w, height());
    }
}

} // namespace zelvar
