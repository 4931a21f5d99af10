#include "app/InputBlock.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace zelvar {

namespace {

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        // Leave events pass, so that nothing stays highlighted under a pointer that left.
        return false;
    }
}

} // namespace

InputBlock::InputBlock(QWidget *window) : window_(window)
{
    qApp->installEventFilter(this);
}

InputBlock::~InputBlock()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool InputBlock::inside(QObject *watched) const
{
    if (!window_)
        return false;
    if (watched->isWidgetType())
        return static_cast<QWidget *>(watched)->window() == window_;
    if (watched->isWindowType())
        return watched == window_->windowHandle();
    return false;
}

bool InputBlock::eventFilter(QObject *watched, QEvent *event)
{
    if (isInput(event->type()) && inside(watched))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace zelvar
