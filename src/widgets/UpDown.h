#pragma once

#include <QWidget>

class QToolButton;

namespace zelvar {

// An up-down control: two arrow buttons stepping a position by one within a range. Clicked()
// comes after every step that the user makes; setting the position from code emits nothing.
class UpDown : public QWidget
{
    Q_OBJECT

public:
    UpDown(Qt::Orientation orientation, QWidget *parent = nullptr);

    int position() const { return m_position; }
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setPosition(int position);
    void setRange(int minimum, int maximum);
    void setMaximum(int maximum) { setRange(m_min, maximum); }

    // A step as a click on an arrow makes it: +1 or -1, then clicked().
    void step(int delta);

    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Qt::Orientation m_orientation;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
};

} // namespace zelvar
