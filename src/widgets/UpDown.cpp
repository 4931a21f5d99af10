#include "widgets/UpDown.h"

#include <QToolButton>

#include <algorithm>

namespace zelvar {

namespace {

QToolButton *arrowButton(QWidget *parent, Qt::ArrowType arrow)
{
    auto *button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(7, 7));
    return button;
}

} // namespace

TUpDown::TUpDown(QWidget *parent)
    : QWidget(parent), m_up(arrowButton(this, Qt::UpArrow)), m_down(arrowButton(this, Qt::DownArrow))
{
    setFocusPolicy(Qt::NoFocus);
    connect(m_up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void TUpDown::setPosition(int position)
{
    m_position = std::clamp(position, m_min, m_max);
}

void TUpDown::setRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
    setPosition(m_position);
}

void TUpDown::step(int direction)
{
    int next = m_position + direction;
    if (next > m_max)
        next = m_wrap ? m_min : m_max;
    else if (next < m_min)
        next = m_wrap ? m_max : m_min;
    m_position = next;
    emit Click();
}

void TUpDown::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

} // namespace zelvar
