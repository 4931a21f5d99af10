#pragma once

#include <QColor>
#include <QWidget>

namespace zelvar {

// The sixteen standard colours in a 4 × 4 grid; a left click picks the foreground colour,
// which is marked "FG".
class ColorGrid : public QWidget
{
    Q_OBJECT

public:
    explicit ColorGrid(QWidget *parent = nullptr);

    static QColor colorAt(int index);
    int ForegroundIndex() const { return foreground_; }
    QColor ForegroundColor() const { return colorAt(foreground_); }
    // The cell under a point of the widget, or -1.
    int indexAt(QPoint point) const;
    QRect cellRect(int index) const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int foreground_ = 0;
};

} // namespace zelvar
