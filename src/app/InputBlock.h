#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace zelvar {

// Keeps the user's input from one window while leaving it painted as it is: mouse, wheel,
// keys and drops aimed at the window or any widget inside it are dropped. A disabled window
// would be drawn washed out, picture and texts included. Other windows, those it owns among
// them, are not affected. Blocks from construction to destruction.
class InputBlock : public QObject
{
public:
    explicit InputBlock(QWidget *window);
    ~InputBlock() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool inside(QObject *watched) const;

    QPointer<QWidget> window_;
};

} // namespace zelvar
