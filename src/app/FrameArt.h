#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRegion>
#include <QVector>

namespace zelvar {

// The main window's painted frame. Every pixel painted in the key colour is see-through,
// which gives the borderless window its shape.
namespace FrameArt {

QColor keyColour();   // clPurple
QColor windowColour(); // the window's and the tool bars' blue

// The footer picture (601 by 50): an outline line and a rounded tab.
QImage footer();
// The header picture (620 by 60): the tool bar strip, the banner bar and the title, drawn
// with `titleFont` (16 points).
QImage header(const QFont &titleFont);

// The window's shape: the pixels of the pictures that are not in the key colour, placed
// where the pictures stand, plus the areas that child windows cover.
struct Layer
{
    QImage picture;
    QPoint position;
};
QRegion shape(const QSize &windowSize, const QVector<Layer> &pictures, const QVector<QRect> &solid);

} // namespace FrameArt

} // namespace zelvar
