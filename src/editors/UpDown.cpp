#include "editors/UpDown.h"

#include <QToolButton>
#include <algorithm>

namespace zelvar {

TUpDown::TUpDown(QWidget *parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    setFocusPolicy(Qt::NoFocus);
    for (QToolButton *arrow : {m_up, m_down}) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setAutoRepeat(true);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void TUpDown::setRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
    setPosition(m_position);
}

void TUpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
}

void TUpDown::step(int delta)
{
    setPosition(m_position + delta);
    emit Click();
}

void TUpDown::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

} // namespace zelvar
