#include "widgets/XiButtonModel.h"

#include <algorithm>

namespace zelvar {

namespace {

// numerator / denominator (denominator > 0) rounded to nearest, halves to even.
int divideRoundHalfEven(long long numerator, long long denominator)
{
    long long quotient = numerator / denominator;
    long long remainder = numerator % denominator;
    if (remainder < 0) {
        remainder += denominator;
        --quotient;
    }
    if (2 * remainder > denominator || (2 * remainder == denominator && quotient % 2 != 0))
        ++quotient;
    return static_cast<int>(quotient);
}

} // namespace

int gradientRowColor(int face, int grad, int row, int height)
{
    if (height < 1)
        return face & 0xFFFFFF;
    int color = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const long long from = (face >> shift) & 0xFF;
        const long long to = (grad >> shift) & 0xFF;
        // from + (to - from) * row / height, kept exact so that halves are really halves.
        const int channel = divideRoundHalfEven(from * height + (to - from) * row, height);
        color |= std::clamp(channel, 0, 255) << shift;
    }
    return color;
}

CaptionLayout layoutCaption(QSize button, QSize text, QSize glyph, TButtonLayout layout, int spacing,
                            bool down)
{
    CaptionLayout result;
    QPoint caption((button.width() - text.width()) / 2, (button.height() - text.height()) / 2);
    QPoint glyphAt((button.width() - glyph.width()) / 2, (button.height() - glyph.height()) / 2);

    if (!glyph.isEmpty() && !text.isEmpty()) {
        switch (layout) {
        case TButtonLayout::blGlyphLeft:
            caption.rx() += glyph.width() / 2 + spacing / 2;
            glyphAt.setX(caption.x() - spacing - glyph.width());
            break;
        case TButtonLayout::blGlyphRight:
            caption.rx() -= glyph.width() / 2 + spacing / 2;
            glyphAt.setX(caption.x() + text.width() + spacing);
            break;
        case TButtonLayout::blGlyphTop:
            caption.ry() += glyph.height() / 2 + spacing / 2;
            glyphAt.setY(caption.y() - spacing - glyph.height());
            break;
        case TButtonLayout::blGlyphBottom:
            caption.ry() -= glyph.height() / 2 + spacing / 2;
            glyphAt.setY(caption.y() + text.height() + spacing);
            break;
        }
    }
    if (down) {
        caption += QPoint(1, 1);
        glyphAt += QPoint(1, 1);
    }
    result.caption = QRect(caption, text);
    result.glyph = glyphAt;
    return result;
}

void XiButtonState::pointerEntered(bool hotTrack)
{
    if (hotTrack)
        m_visual = m_held ? ButtonVisual::Down : ButtonVisual::Over;
}

void XiButtonState::pointerLeft()
{
    m_visual = ButtonVisual::Normal;
}

void XiButtonState::leftButtonDown()
{
    m_held = true;
    m_visual = ButtonVisual::Down;
}

void XiButtonState::leftButtonUp(bool strictlyInside, bool hotTrack)
{
    m_held = false;
    if (strictlyInside)
        m_visual = hotTrack ? ButtonVisual::Over : ButtonVisual::Normal;
}

void XiButtonState::clicked()
{
    m_visual = ButtonVisual::Normal;
}

void XiButtonState::focusChanged(bool gained)
{
    m_focused = gained;
    if (!gained)
        m_visual = ButtonVisual::Normal;
}

void XiButtonState::spaceDown()
{
    m_visual = ButtonVisual::Down;
}

void XiButtonState::spaceUp()
{
    m_visual = ButtonVisual::Normal;
}

} // namespace zelvar
