#pragma once

#include <QWidget>

class QToolButton;

namespace zelvar {

// A pair of arrow buttons that step a whole-number position within a range, with or without
// wrapping from one end to the other: the upper arrow adds one, the lower one takes one away,
// and each click reports Click() after the step. It never takes the keyboard focus, so the
// control being edited keeps it.
class TUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TUpDown(QWidget *parent = nullptr);

    int Position() const { return m_position; }
    void setPosition(int position);
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    void setRange(int min, int max);
    bool Wrap() const { return m_wrap; }
    void setWrap(bool wrap) { m_wrap = wrap; }

    // As a click on an arrow does: +1 for up, -1 for down.
    void step(int direction);

    QToolButton *upArrow() const { return m_up; }
    QToolButton *downArrow() const { return m_down; }

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QToolButton *m_up;
    QToolButton *m_down;
    int m_position = 0;
    int m_min = 0;
    int m_max = 100;
    bool m_wrap = false;
};

} // namespace zelvar
