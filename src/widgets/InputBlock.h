#pragma once

#include <QObject>
#include <QPointer>

#include <initializer_list>
#include <memory>
#include <vector>

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

    // Whether some block keeps the input from this window now.
    static bool blocks(const QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool inside(QObject *watched) const;

    QPointer<QWidget> window_;
};

// The windows a dialog holds while it is open: their input is blocked, as InputBlock does,
// from construction until the dialog is closed (hidden by the program) or destroyed. The
// dialog owns its hold. Minimising the dialog does not let the windows go.
class DialogHold : public QObject
{
public:
    DialogHold(QWidget *dialog, std::initializer_list<QWidget *> windows);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> dialog_;
    std::vector<std::unique_ptr<InputBlock>> blocks_;
};

} // namespace zelvar
