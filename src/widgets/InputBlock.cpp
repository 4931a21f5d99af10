#include "widgets/InputBlock.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

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

std::vector<const InputBlock *> &liveBlocks()
{
    static std::vector<const InputBlock *> blocks;
    return blocks;
}

} // namespace

InputBlock::InputBlock(QWidget *window) : window_(window)
{
    qApp->installEventFilter(this);
    liveBlocks().push_back(this);
}

InputBlock::~InputBlock()
{
    std::erase(liveBlocks(), this);
    if (qApp)
        qApp->removeEventFilter(this);
}

bool InputBlock::blocks(const QWidget *window)
{
    return window && std::ranges::any_of(liveBlocks(), [window](const InputBlock *block) {
               return block->window_ == window;
           });
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

DialogHold::DialogHold(QWidget *dialog, std::initializer_list<QWidget *> windows)
    : QObject(dialog)
    , dialog_(dialog)
{
    // Without a dialog to close, nothing would ever let the windows go.
    if (!dialog)
        return;
    for (QWidget *window : windows)
        if (window)
            blocks_.push_back(std::make_unique<InputBlock>(window));
    dialog->installEventFilter(this);
}

bool DialogHold::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == dialog_ && event->type() == QEvent::Hide && !event->spontaneous())
        blocks_.clear();
    return QObject::eventFilter(watched, event);
}

} // namespace zelvar
