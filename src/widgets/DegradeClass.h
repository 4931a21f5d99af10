#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

namespace zelvar {

// A vertical colour gradient behind a window's controls: 256 bands from StartColor at the
// top to EndColor at the bottom. It fills its parent's client area and follows its size.
class TDegradeClass : public QWidget
{
    Q_OBJECT

public:
    explicit TDegradeClass(QWidget *parent);

    int StartColor() const { return m_startColor; }
    int EndColor() const { return m_endColor; }
    void setStartColor(int color);
    void setEndColor(int color);

    struct Band
    {
        int top;    // first row
        int bottom; // first row past the band
        QColor color;
    };
    // The 256 bands for an area of the given height (some are empty under 256 rows).
    static std::vector<Band> bands(int height, const QColor &start, const QColor &end);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int m_startColor = 16711680;
    int m_endColor = 255;
};

} // namespace zelvar
