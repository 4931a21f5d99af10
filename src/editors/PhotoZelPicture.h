#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

namespace zelvar {

enum class PhotoTool { Freehand = 0, Rectangle = 1, Ellipse = 2, Text = 3 };

// The status bar's name of a tool: "Dessin libre", "Rectangle", "Ellipse", "Texte".
QString toolName(PhotoTool tool);

// The image editor's drawing: the picture strokes and shapes go into, and the text overlays
// laid over it. Mouse positions are picture pixels.
class PhotoZelPicture
{
public:
    static constexpr int Width = 600;
    static constexpr int Height = 350;

    // A blank white picture of the panel's size.
    PhotoZelPicture();

    const QImage &image() const { return image_; }
    void setImage(const QImage &image);

    PhotoTool tool() const { return tool_; }
    void setTool(PhotoTool tool) { tool_ = tool; }
    // Both the outline and the fill of what is drawn next.
    void setColor(const QColor &color);
    QColor penColor() const { return pen_; }
    QColor brushColor() const { return brush_; }

    void movePen(QPoint point) { penPos_ = point; }

    // A left press starts a stroke or a shape (the window places overlays itself).
    void press(QPoint point);
    // The mouse moved with the left button held.
    void drag(QPoint point);
    // The left button released: a rectangle or ellipse goes into the picture.
    void release(QPoint point);

    // While a rectangle or ellipse is dragged: its bounds, to outline over the picture.
    std::optional<QRect> pendingShape() const;
    // "w" + "x" + "h" of the shape being dragged, or empty.
    QString shapeSize() const;

    // Overlays are numbered from 1; each holds "Zelvar " at x = 40 × its number, then
    // whatever text was written on it, at the left.
    int overlayCount() const { return int(overlays_.size()); }
    const QImage &overlay(int number) const { return overlays_.at(number - 1).image; }
    void setOverlayFont(const QFont &font) { overlayFont_ = font; }
    int addOverlay();
    void writeOnOverlay(int number, const QString &text);

    // What the user sees: the picture with every overlay over it, in order.
    QImage composed() const;

private:
    struct Overlay
    {
        QImage image;
        QString text;
    };
    void paintOverlay(int number);
    QRect shapeRect(QPoint corner) const;
    void drawShape(const QRect &rect);

    QImage image_;
    PhotoTool tool_ = PhotoTool::Freehand;
    QColor pen_ = Qt::black;
    QColor brush_ = Qt::white;
    QPoint penPos_;
    QPoint start_;
    std::optional<QPoint> dragPos_; // set while a shape is being dragged
    std::vector<Overlay> overlays_;
    QFont overlayFont_;
};

} // namespace zelvar
