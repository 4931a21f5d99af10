#pragma once

#include <QWidget>

class QToolButton;

namespace zelvar {

// A pair of arrow buttons holding a position within a range, as the editor's up-downs: the
// upper arrow adds one, the lower one takes one away, each click reports Click(). It never
// takes the keyboard focus, so the control being edited keeps it.
class TUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TUpDown(QWidget *parent = nullptr);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    void setRange(int min, int max);
    int Position() const { return m_position; }
    void setPosition(int position);

    QToolButton *upArrow() const { return m_up; }
    QToolButton *downArrow() const { return m_down; }

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void step(int delta);

    QToolButton *m_up;
    QToolButton *m_down;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
};

} // namespace zelvar
