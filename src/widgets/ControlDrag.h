#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>

class QWidget;

namespace zelvar {

// Moves a control inside its window with the mouse while the left button is held on a
// handle. The control moved is asked for at each press (it may be another control than the
// handle, or none); when the button is released after a move, `ended` runs, else `clicked`
// with the press point in the handle's coordinates.
class ControlDrag : public QObject
{
    Q_OBJECT

public:
    ControlDrag(QWidget *handle, std::function<QWidget *()> moved, std::function<void()> ended,
                std::function<void(QPoint)> clicked = {});

    bool dragging() const { return m_dragging; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<QWidget *()> m_target;
    std::function<void()> m_ended;
    std::function<void(QPoint)> m_clicked;
    QPointer<QWidget> m_moved;
    bool m_pressed = false;
    bool m_dragging = false;
    QPoint m_pressGlobal;
    QPoint m_pressLocal;
    QPoint m_startPos;
};

} // namespace zelvar
