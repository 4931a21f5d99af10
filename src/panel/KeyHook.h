#pragma once

#include "panel/HeldKeys.h"

#include <QEvent>
#include <QObject>

#include <functional>

class QKeyEvent;

namespace zelvar {

// The live panel's message hook, installed on the application as an event filter.
//
// Keys go to the windows that read them: while a modal dialog, a message box, a menu or the
// prompt dialog is open, or a text field has the focus, key presses pass on and fire
// nothing. Everywhere else every key press is eaten, together with the shortcut override
// before it (so accelerators and the Escape and Enter keys of dialog buttons do not fire
// either), and a press that starts holding a key is handed to the panel; the repeats of a
// key still held fire nothing. Key releases always pass.
class KeyHook : public QObject
{
public:
    using Handler = std::function<void(const QKeyEvent &)>;
    explicit KeyHook(Handler onPress);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool decide(const QKeyEvent &event);

    Handler m_onPress;
    HeldKeys m_held;

    // A key event passed on travels from the window to the focused widget and up through
    // its parents, and the filter sees it at every step: it is decided once, at its first.
    struct Seen
    {
        const QEvent *event = nullptr;
        QEvent::Type type = QEvent::None;
        int key = 0;
        quint32 scanCode = 0;
        quint64 timestamp = 0;

        bool operator==(const Seen &) const = default;
    };
    Seen m_last;
    bool m_lastEaten = false;
};

} // namespace zelvar
