#pragma once

#include "widgets/XiButtonModel.h"
#include "widgets/XiButtonSchemes.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

class QShortcut;

namespace zelvar {

// The gradient push button of the panels and the sequencer. It paints itself off-screen: face
// colour, vertical gradient, caption, one-pixel border, bevel and focus rectangle, with one set
// of six colours per visual state (normal, pointer over, pressed, disabled).
//
// Mouse notifications follow the desktop framework the panels were designed for: pressed() and
// released() come for every mouse button pressed and released on the button (released() also
// when the pointer was dragged out first), and a left press released inside emits clicked()
// just before its released(). Keys and accelerators emit clicked() only.
class TXiButton : public QWidget
{
    Q_OBJECT

public:
    explicit TXiButton(QWidget *parent = nullptr);
    ~TXiButton() override;

    // The single colour setter: index as in colorIndex, colour 0xBBGGRR. The scheme becomes csCustom.
    void setColor(int index, int color);
    int color(int index) const;
    const ButtonColors &colors() const { return m_colors; }

    int ColorFace() const { return color(colorIndex::Face); }
    int ColorGrad() const { return color(colorIndex::Grad); }
    int ColorDark() const { return color(colorIndex::Dark); }
    int ColorLight() const { return color(colorIndex::Light); }
    int ColorBorder() const { return color(colorIndex::Border); }
    int ColorText() const { return color(colorIndex::Text); }
    int OverColorFace() const { return color(colorIndex::Over + colorIndex::Face); }
    int OverColorGrad() const { return color(colorIndex::Over + colorIndex::Grad); }
    int OverColorDark() const { return color(colorIndex::Over + colorIndex::Dark); }
    int OverColorLight() const { return color(colorIndex::Over + colorIndex::Light); }
    int OverColorBorder() const { return color(colorIndex::Over + colorIndex::Border); }
    int OverColorText() const { return color(colorIndex::Over + colorIndex::Text); }
    int DownColorFace() const { return color(colorIndex::Down + colorIndex::Face); }
    int DownColorGrad() const { return color(colorIndex::Down + colorIndex::Grad); }
    int DownColorDark() const { return color(colorIndex::Down + colorIndex::Dark); }
    int DownColorLight() const { return color(colorIndex::Down + colorIndex::Light); }
    int DownColorBorder() const { return color(colorIndex::Down + colorIndex::Border); }
    int DownColorText() const { return color(colorIndex::Down + colorIndex::Text); }
    int DisabledColorFace() const { return color(colorIndex::Disabled + colorIndex::Face); }
    int DisabledColorGrad() const { return color(colorIndex::Disabled + colorIndex::Grad); }
    int DisabledColorDark() const { return color(colorIndex::Disabled + colorIndex::Dark); }
    int DisabledColorLight() const { return color(colorIndex::Disabled + colorIndex::Light); }
    int DisabledColorBorder() const { return color(colorIndex::Disabled + colorIndex::Border); }
    int DisabledColorText() const { return color(colorIndex::Disabled + colorIndex::Text); }
    int ColorFocusRect() const { return color(colorIndex::FocusRect); }

    void setColorFace(int c) { setColor(colorIndex::Face, c); }
    void setColorGrad(int c) { setColor(colorIndex::Grad, c); }
    void setColorDark(int c) { setColor(colorIndex::Dark, c); }
    void setColorLight(int c) { setColor(colorIndex::Light, c); }
    void setColorBorder(int c) { setColor(colorIndex::Border, c); }
    void setColorText(int c) { setColor(colorIndex::Text, c); }
    void setOverColorFace(int c) { setColor(colorIndex::Over + colorIndex::Face, c); }
    void setOverColorGrad(int c) { setColor(colorIndex::Over + colorIndex::Grad, c); }
    void setOverColorDark(int c) { setColor(colorIndex::Over + colorIndex::Dark, c); }
    void setOverColorLight(int c) { setColor(colorIndex::Over + colorIndex::Light, c); }
    void setOverColorBorder(int c) { setColor(colorIndex::Over + colorIndex::Border, c); }
    void setOverColorText(int c) { setColor(colorIndex::Over + colorIndex::Text, c); }
    void setDownColorFace(int c) { setColor(colorIndex::Down + colorIndex::Face, c); }
    void setDownColorGrad(int c) { setColor(colorIndex::Down + colorIndex::Grad, c); }
    void setDownColorDark(int c) { setColor(colorIndex::Down + colorIndex::Dark, c); }
    void setDownColorLight(int c) { setColor(colorIndex::Down + colorIndex::Light, c); }
    void setDownColorBorder(int c) { setColor(colorIndex::Down + colorIndex::Border, c); }
    void setDownColorText(int c) { setColor(colorIndex::Down + colorIndex::Text, c); }
    void setDisabledColorFace(int c) { setColor(colorIndex::Disabled + colorIndex::Face, c); }
    void setDisabledColorGrad(int c) { setColor(colorIndex::Disabled + colorIndex::Grad, c); }
    void setDisabledColorDark(int c) { setColor(colorIndex::Disabled + colorIndex::Dark, c); }
    void setDisabledColorLight(int c) { setColor(colorIndex::Disabled + colorIndex::Light, c); }
    void setDisabledColorBorder(int c) { setColor(colorIndex::Disabled + colorIndex::Border, c); }
    void setDisabledColorText(int c) { setColor(colorIndex::Disabled + colorIndex::Text, c); }
    void setColorFocusRect(int c) { setColor(colorIndex::FocusRect, c); }

    // Applies the scheme's colours and gradient flag; csCustom changes no colour.
    void setColorScheme(TColorScheme scheme);
    TColorScheme ColorScheme() const { return m_scheme; }

    bool Ctl3D() const { return m_ctl3D; }
    void setCtl3D(bool on);
    TButtonLayout Layout() const { return m_layout; }
    void setLayout(TButtonLayout layout);
    QPixmap Glyph() const { return m_glyph; }
    void setGlyph(const QPixmap &glyph);
    int Spacing() const { return m_spacing; }
    void setSpacing(int pixels);
    bool TransparentGlyph() const { return m_transparentGlyph; }
    void setTransparentGlyph(bool on);
    bool Gradient() const { return m_gradient; }
    void setGradient(bool on);
    bool HotTrack() const { return m_hotTrack; }
    void setHotTrack(bool on) { m_hotTrack = on; }
    // Escape anywhere in the window clicks a Cancel button.
    bool Cancel() const { return m_cancel; }
    void setCancel(bool on);
    // Enter anywhere in the window clicks a Default button, unless another button has the focus.
    bool Default() const { return m_default; }
    void setDefault(bool on);
    // A non-zero value closes the dialog holding the button with this result once clicked.
    int ModalResult() const { return m_modalResult; }
    void setModalResult(int result) { m_modalResult = result; }
    // The caption; an '&' marks the accelerator character (Alt + character clicks).
    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void setTabStop(bool on);

    ButtonVisual visualState() const { return m_state.visual(); }

    // The button as it paints itself, at its current size and state.
    QImage renderImage() const;

    QSize sizeHint() const override;

public slots:
    // The click reaction: back to normal, repaint, clicked(), then the dialog's modal result.
    void click();

signals:
    void pressed(Qt::MouseButton button);
    void released(Qt::MouseButton button);
    void clicked();
    void focusEntered();

protected:
    // What the pointer entering and leaving the button do; the panel's variant adds to leaving.
    virtual void handlePointerEnter();
    virtual void handlePointerLeave();

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setPointerInside(bool inside);
    void defaultKeyActivated();
    void cancelKeyActivated();

    ButtonColors m_colors;
    TColorScheme m_scheme = TColorScheme::csNeoDesert;
    bool m_ctl3D = true;
    TButtonLayout m_layout = TButtonLayout::blGlyphLeft;
    QPixmap m_glyph;
    int m_spacing = 4;
    bool m_transparentGlyph = true;
    bool m_gradient = true;
    bool m_hotTrack = true;
    bool m_cancel = false;
    bool m_default = false;
    int m_modalResult = 0;
    QString m_caption;
    int m_accelerator = 0;

    XiButtonState m_state;
    bool m_pointerInside = false;
    bool m_spaceHeld = false;
    QShortcut *m_cancelShortcut = nullptr;  // owned by this widget as Qt child
    QShortcut *m_defaultShortcut = nullptr; // owned by this widget as Qt child
};

} // namespace zelvar
