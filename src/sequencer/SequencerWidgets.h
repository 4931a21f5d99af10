#pragma once

#include "widgets/XiButton.h"

#include <QImage>
#include <QWidget>

namespace zelvar {

// A timed button: a small gradient button on a track's row whose left edge, less the track
// column's width, is the second at which its track fires. A click gives it the focus.
class TBtnSeq : public TXiButton
{
public:
    static constexpr int Face = 0xC6ECFF; // the face when it is not the current button

    explicit TBtnSeq(QWidget *parent);

protected:
    // Playback repaints the visible buttons every second as the view follows the cursor: the
    // picture is drawn again only when something it shows has changed.
    void paintEvent(QPaintEvent *event) override;

private:
    struct Look
    {
        int visual = -1;
        int face = 0;
        bool focus = false;
        bool enabled = false;
        QSize size;
        QString caption;
        bool operator==(const Look &) const = default;
    };
    Look m_look;
    QImage m_picture;
};

// A plain picture area: a solid fill, cleared and refilled as the window asks.
class FillPicture : public QWidget
{
public:
    explicit FillPicture(QWidget *parent);
    void fill(int bgr);
    int fillColor() const { return m_fill; }

private:
    int m_fill = -1;
};

// The ruler's picture: the fill and the scale of ten-minute, minute and ten-second marks.
class RulerPicture : public QWidget
{
public:
    static constexpr int Fill = 0xA25C71;

    explicit RulerPicture(QWidget *parent);
    // Clears the picture at the widget's width, fills it and draws the scale.
    void draw(bool atCreation);
    const QImage &image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

} // namespace zelvar
