#include "widgets/HorzUpDown.h"

#include <QToolButton>

namespace zelvar {

THorzUpDown::THorzUpDown(QWidget *parent) : TUpDown(parent)
{
    upArrow()->setArrowType(Qt::RightArrow);
    downArrow()->setArrowType(Qt::LeftArrow);
}

void THorzUpDown::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int left = width() / 2;
    downArrow()->setGeometry(0, 0, left, height());
    upArrow()->setGeometry(left, 0, width() - left, height());
}

} // namespace zelvar
