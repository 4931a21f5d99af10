#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace zelvar {

// Colour (0xBBGGRR) of row `row` of a vertical gradient that is `face` on row 0 and `grad` on
// row `height`: each channel moves by (grad - face) / height per row and is rounded to the
// nearest integer, halves to the even one. A height below 1 has no gradient: face.
int gradientRowColor(int face, int grad, int row, int height);

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

struct CaptionLayout {
    QRect caption; // where the caption is drawn, centred in this rectangle
    QPoint glyph;  // top-left corner of the glyph, when there is one
};

// Places the caption (measured as `text`) and the glyph inside a button of size `button`: the
// caption is centred, a glyph pushes it away by half its size and half the spacing, and a
// pressed button shows both one pixel right and down. An empty caption leaves the glyph centred.
CaptionLayout layoutCaption(QSize button, QSize text, QSize glyph, TButtonLayout layout, int spacing,
                            bool down);

enum class ButtonVisual { Normal, Over, Down };

// The visual state of a gradient button and how pointer, mouse, focus and Space change it.
class XiButtonState
{
public:
    ButtonVisual visual() const { return m_visual; }
    bool held() const { return m_held; }
    bool focused() const { return m_focused; }

    void pointerEntered(bool hotTrack);
    void pointerLeft();
    void leftButtonDown();
    // `strictlyInside`: 0 < x < width and 0 < y < height.
    void leftButtonUp(bool strictlyInside, bool hotTrack);
    void clicked();
    void focusChanged(bool gained);
    void spaceDown();
    void spaceUp();

private:
    ButtonVisual m_visual = ButtonVisual::Normal;
    bool m_held = false;
    bool m_focused = false;
};

} // namespace zelvar
