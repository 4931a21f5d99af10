#include "panel/WindowDrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace zelvar {

WindowDrag::WindowDrag(QWidget *handle, std::function<bool()> enabled)
    : QObject(handle)
    , m_handle(handle)
    , m_enabled(std::move(enabled))
{
    handle->installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_handle)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !m_enabled())
            return false;
        m_state = State::Pressed;
        m_pressGlobal = mouse->globalPosition().toPoint();
        m_windowAtPress = m_handle->window()->pos();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_state == State::Idle || !(mouse->buttons() & Qt::LeftButton))
            return false;
        QWidget *top = m_handle->window();
        if (m_state == State::Pressed) {
            // The window manager's own move loop, when there is one, takes the pointer over.
            QWindow *handle = top->windowHandle();
            if (handle && handle->startSystemMove()) {
                m_state = State::SystemMove;
                return true;
            }
            m_state = State::Following;
        }
        if (m_state == State::Following)
            top->move(m_windowAtPress + (mouse->globalPosition().toPoint() - m_pressGlobal));
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (m_state == State::Idle || static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
            return false;
        m_state = State::Idle;
        return true;
    }
    default:
        return false;
    }
}

} // namespace zelvar
