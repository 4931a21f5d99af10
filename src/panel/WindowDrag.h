#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

class QWidget;

namespace zelvar {

// Lets the user drag the top-level window that holds a widget by pressing the left mouse
// button on that widget. The window system's own move is asked for first; without a window
// manager there is none, and the window then follows the mouse itself.
class WindowDrag : public QObject
{
    Q_OBJECT

public:
    // `enabled` is asked at each press: dragging can be switched on and off at run time.
    WindowDrag(QWidget *handle, std::function<bool()> enabled);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class State { Idle, Pressed, SystemMove, Following };

    QWidget *m_handle;
    std::function<bool()> m_enabled;
    State m_state = State::Idle;
    QPoint m_pressGlobal;
    QPoint m_windowAtPress;
};

} // namespace zelvar
