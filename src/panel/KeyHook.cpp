#include "panel/KeyHook.h"

#include "forms/Forms.h"

#include <QApplication>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QWidget>

#include <algorithm>

namespace zelvar {

namespace {

// The physical key: the native scan code where the platform gives one, the same for the
// press and the release; Qt's key otherwise.
quint64 keyIdentity(const QKeyEvent &event)
{
    if (event.nativeScanCode() != 0)
        return (quint64(1) << 32) | event.nativeScanCode();
    return quint64(uint(event.key()));
}

bool typingInto(QWidget *widget)
{
    if (!widget || !widget->isEnabled())
        return false;
    // The same question the platform's input methods ask: does it take text, and may it
    // be changed?
    QInputMethodQueryEvent query(Qt::ImEnabled | Qt::ImReadOnly);
    QCoreApplication::sendEvent(widget, &query);
    return query.value(Qt::ImEnabled).toBool() && !query.value(Qt::ImReadOnly).toBool();
}

bool messageBoxOpen()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.cbegin(), windows.cend(), [](QWidget *window) {
        return window->isVisible() && qobject_cast<QMessageBox *>(window);
    });
}

// While a modal dialog, a message box, a menu or the prompt dialog is open, or a text field
// (any widget that takes typed text and is not read-only) has the focus.
bool keysGoToWindows()
{
    // The prompt dialog deletes itself when it closes.
    return QApplication::activePopupWidget() || QApplication::activeModalWidget()
           || !Forms::instance().formDynamique.isNull() || messageBoxOpen()
           || typingInto(QApplication::focusWidget());
}

} // namespace

KeyHook::KeyHook(Handler onPress) : m_onPress(std::move(onPress)) {}

bool KeyHook::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        if (keysGoToWindows())
            return false;
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return decide(*static_cast<QKeyEvent *>(event));
    default:
        return false;
    }
}

bool KeyHook::decide(const QKeyEvent &event)
{
    const Seen seen{&event, event.type(), event.key(), event.nativeScanCode(), event.timestamp()};
    if (seen == m_last)
        return m_lastEaten;
    m_last = seen;

    const HeldKeys::Stroke stroke{keyIdentity(event), event.timestamp(), event.isAutoRepeat()};
    if (event.type() == QEvent::KeyRelease) {
        m_held.release(stroke);
        m_lastEaten = false;
        return false;
    }
    const bool startsHold = m_held.press(stroke);
    m_lastEaten = !keysGoToWindows();
    if (m_lastEaten && startsHold)
        m_onPress(event);
    return m_lastEaten;
}

} // namespace zelvar
