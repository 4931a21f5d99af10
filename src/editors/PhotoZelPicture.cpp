#include "editors/PhotoZelPicture.h"

#include <QPainter>

#include <cstdlib>

namespace zelvar {

QString toolName(PhotoTool tool)
{
    switch (tool) {
    case PhotoTool::Freehand: return QStringLiteral("Dessin libre");
    case PhotoTool::Rectangle: return QStringLiteral("Rectangle");
    case PhotoTool::Ellipse: return QStringLiteral("Ellipse");
    case PhotoTool::Text: return QStringLiteral("Texte");
    }
    return {};
}

PhotoZelPicture::PhotoZelPicture() : image_(Width, Height, QImage::Format_RGB32)
{
    image_.fill(Qt::white);
    overlayFont_.setPixelSize(13);
}

void PhotoZelPicture::setImage(const QImage &image)
{
    image_ = image.convertToFormat(QImage::Format_RGB32);
    dragPos_.reset();
}

void PhotoZelPicture::setColor(const QColor &color)
{
    pen_ = color;
    brush_ = color;
}

void PhotoZelPicture::press(QPoint point)
{
    if (tool_ != PhotoTool::Text)
        penPos_ = point;
    start_ = point;
    if (tool_ == PhotoTool::Rectangle || tool_ == PhotoTool::Ellipse)
        dragPos_ = point;
}

void PhotoZelPicture::drag(QPoint point)
{
    if (tool_ == PhotoTool::Freehand) {
        QPainter painter(&image_);
        painter.setPen(pen_);
        painter.drawLine(penPos_, point);
        penPos_ = point;
    } else if (dragPos_) {
        dragPos_ = point;
    }
}

void PhotoZelPicture::release(QPoint point)
{
    if (!dragPos_)
        return;
    dragPos_.reset();
    drawShape(shapeRect(point));
}

std::optional<QRect> PhotoZelPicture::pendingShape() const
{
    if (!dragPos_)
        return std::nullopt;
    return shapeRect(*dragPos_);
}

QString PhotoZelPicture::shapeSize() const
{
    if (!dragPos_)
        return {};
    return QStringLiteral("%1x%2").arg(std::abs(dragPos_->x() - start_.x())).arg(std::abs(dragPos_->y() - start_.y()));
}

// The shape covers the columns and rows from the start point up to, not including, the
// other corner, whichever way the mouse went.
QRect PhotoZelPicture::shapeRect(QPoint corner) const
{
    return QRect(QPoint(std::min(start_.x(), corner.x()), std::min(start_.y(), corner.y())),
                 QSize(std::abs(corner.x() - start_.x()), std::abs(corner.y() - start_.y())));
}

void PhotoZelPicture::drawShape(const QRect &rect)
{
    if (rect.isEmpty())
        return;
    QPainter painter(&image_);
    painter.setPen(pen_);
    painter.setBrush(brush_);
    const QRect outline = rect.adjusted(0, 0, -1, -1);
    if (tool_ == PhotoTool::Rectangle)
        painter.drawRect(outline);
    else
        painter.drawEllipse(outline);
}

int PhotoZelPicture::addOverlay()
{
    overlays_.push_back({QImage(Width, Height, QImage::Format_ARGB32_Premultiplied), QString()});
    const int number = overlayCount();
    paintOverlay(number);
    return number;
}

void PhotoZelPicture::writeOnOverlay(int number, const QString &text)
{
    if (number < 1 || number > overlayCount())
        return;
    overlays_.at(number - 1).text = text;
    paintOverlay(number);
}

// Drawn afresh each time, so a shortened text leaves nothing of the longer one behind.
void PhotoZelPicture::paintOverlay(int number)
{
    Overlay &overlay = overlays_.at(number - 1);
    overlay.image.fill(Qt::transparent);
    QPainter painter(&overlay.image);
    painter.setFont(overlayFont_);
    painter.setPen(Qt::black);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter.drawText(QRect(number * 40, 0, Width, Height), flags, QStringLiteral("Zelvar "));
    if (!overlay.text.isEmpty())
        painter.drawText(QRect(0, 0, Width, Height), flags, overlay.text);
}

QImage PhotoZelPicture::composed() const
{
    QImage result = image_;
    QPainter painter(&result);
    for (const Overlay &overlay : overlays_)
        painter.drawImage(0, 0, overlay.image);
    return result;
}

} // namespace zelvar
