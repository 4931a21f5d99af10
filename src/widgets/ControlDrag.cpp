#include "widgets/ControlDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace zelvar {

ControlDrag::ControlDrag(QWidget *handle, std::function<QWidget *()> moved, std::function<void()> ended,
                         std::function<void(QPoint)> clicked)
    : QObject(handle), m_target(std::move(moved)), m_ended(std::move(ended)), m_clicked(std::move(clicked))
{
    handle->installEventFilter(this);
}

bool ControlDrag::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() != Qt::LeftButton)
            break;
        m_pressed = true;
        m_dragging = false;
        m_pressGlobal = e->globalPosition().toPoint();
        m_pressLocal = e->position().toPoint();
        m_moved = m_target ? m_target() : nullptr;
        if (m_moved)
            m_startPos = m_moved->pos();
        break;
    }
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (!m_pressed || !(e->buttons() & Qt::LeftButton) || !m_moved)
            break;
        const QPoint delta = e->globalPosition().toPoint() - m_pressGlobal;
        if (!m_dragging && delta.manhattanLength() < QApplication::startDragDistance())
            break;
        m_dragging = true;
        m_moved->move(m_startPos + delta);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto *e = static_cast<QMouseEvent *>(event);
        if (e->button() != Qt::LeftButton || !m_pressed)
            break;
        m_pressed = false;
        if (m_dragging) {
            m_dragging = false;
            if (m_ended)
                m_ended();
            return true;
        }
        if (m_clicked)
            m_clicked(m_pressLocal);
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace zelvar
