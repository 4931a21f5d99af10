#include "widgets/XiButton.h"

#include "common/Colors.h"
#include "widgets/Fonts.h"

#include <QDialog>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QPointer>
#include <QShortcut>
#include <algorithm>

namespace zelvar {

namespace {

QRgb rgbFromBgr(int bgr)
{
    return colorFromBgr(bgr).rgb();
}

// A one-pixel frame whose right and bottom edges are exclusive, like the border itself.
void frameRect(QPainter &painter, int left, int top, int right, int bottom)
{
    if (right - left < 1 || bottom - top < 1)
        return;
    painter.drawRect(left, top, right - left - 1, bottom - top - 1);
}

QImage glyphImage(const QPixmap &glyph, bool transparent)
{
    QImage image = glyph.toImage().convertToFormat(QImage::Format_ARGB32);
    if (!transparent || image.isNull())
        return image;
    // The top-left pixel names the colour that is not drawn.
    const QRgb key = image.pixel(0, 0) | 0xFF000000u;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key)
                line[x] = 0;
        }
    }
    return image;
}

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TXiButton::TXiButton(QWidget *parent)
    : QWidget(parent)
    , m_colors(defaultButtonColors())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
    setFont(uiFont());
    resize(75, 25);
}

TXiButton::~TXiButton() = default;

void TXiButton::setColor(int index, int color)
{
    if (index < 0 || index >= colorIndex::Count)
        return;
    m_colors[index] = color & 0xFFFFFF;
    m_scheme = TColorScheme::csCustom;
    update();
}

int TXiButton::color(int index) const
{
    return index >= 0 && index < colorIndex::Count ? m_colors[index] : 0;
}

void TXiButton::setColorScheme(TColorScheme scheme)
{
    m_scheme = scheme;
    if (const auto definition = schemeDefinition(scheme)) {
        for (const ColorAssignment &assignment : definition->colors)
            setColor(assignment.index, assignment.color);
        m_gradient = definition->gradient;
    }
    m_scheme = scheme;
    update();
}

void TXiButton::setCtl3D(bool on)
{
    m_ctl3D = on;
    update();
}

void TXiButton::setLayout(TButtonLayout layout)
{
    m_layout = layout;
    update();
}

void TXiButton::setGlyph(const QPixmap &glyph)
{
    m_glyph = glyph;
    update();
}

void TXiButton::setSpacing(int pixels)
{
    m_spacing = pixels;
    update();
}

void TXiButton::setTransparentGlyph(bool on)
{
    m_transparentGlyph = on;
    update();
}

void TXiButton::setGradient(bool on)
{
    m_gradient = on;
    update();
}

void TXiButton::setCancel(bool on)
{
    m_cancel = on;
    if (on && !m_cancelShortcut) {
        m_cancelShortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        connect(m_cancelShortcut, &QShortcut::activated, this, &TXiButton::cancelKeyActivated);
    } else if (!on && m_cancelShortcut) {
        delete m_cancelShortcut;
        m_cancelShortcut = nullptr;
    }
}

void TXiButton::setDefault(bool on)
{
    m_default = on;
    if (on && !m_defaultShortcut) {
        m_defaultShortcut = new QShortcut(this);
        m_defaultShortcut->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
        connect(m_defaultShortcut, &QShortcut::activated, this, &TXiButton::defaultKeyActivated);
    } else if (!on && m_defaultShortcut) {
        delete m_defaultShortcut;
        m_defaultShortcut = nullptr;
    }
}

void TXiButton::setCaption(const QString &caption)
{
    m_caption = caption;
    if (m_accelerator != 0)
        releaseShortcut(m_accelerator);
    const QKeySequence mnemonic = QKeySequence::mnemonic(caption);
    m_accelerator = mnemonic.isEmpty() ? 0 : grabShortcut(mnemonic);
    update();
}

void TXiButton::setTabStop(bool on)
{
    setFocusPolicy(on ? Qt::TabFocus : Qt::NoFocus);
}

QSize TXiButton::sizeHint() const
{
    return QSize(75, 25);
}

void TXiButton::click()
{
    QPointer<TXiButton> self(this);
    m_state.clicked();
    repaint();
    emit clicked();
    if (!self || m_modalResult == 0)
        return;
    if (auto *dialog = qobject_cast<QDialog *>(window()))
        dialog->done(m_modalResult);
}

QImage TXiButton::renderImage() const
{
    const int w = width();
    const int h = height();
    if (w < 1 || h < 1)
        return {};

    int set = colorIndex::Normal;
    if (!isEnabled())
        set = colorIndex::Disabled;
    else if (m_state.visual() == ButtonVisual::Over)
        set = colorIndex::Over;
    else if (m_state.visual() == ButtonVisual::Down)
        set = colorIndex::Down;
    const int face = m_colors[set + colorIndex::Face];
    const int grad = m_colors[set + colorIndex::Grad];
    const bool down = isEnabled() && m_state.visual() == ButtonVisual::Down;

    QImage image(w, h, QImage::Format_RGB32);
    // Same resolution as the screen, so that point-sized fonts measure as on the widget.
    image.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    image.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    image.fill(rgbFromBgr(face));
    if (m_gradient) {
        // Rows run from 0 to the height inclusive; the last one falls just outside the image.
        for (int y = 0; y < h; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            std::fill(line, line + w, rgbFromBgr(gradientRowColor(face, grad, y, h)));
        }
    }

    QPainter painter(&image);
    painter.setFont(font());
    painter.setPen(colorFromBgr(m_colors[set + colorIndex::Text]));
    const int textFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;
    const QSize textSize =
        m_caption.isEmpty() ? QSize() : painter.fontMetrics().size(textFlags, m_caption);
    const CaptionLayout placed =
        layoutCaption(size(), textSize, m_glyph.isNull() ? QSize() : m_glyph.size(), m_layout, m_spacing, down);
    if (!m_glyph.isNull())
        painter.drawImage(placed.glyph, glyphImage(m_glyph, m_transparentGlyph));
    if (!m_caption.isEmpty())
        painter.drawText(placed.caption, textFlags | Qt::AlignCenter | Qt::TextDontClip, m_caption);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(colorFromBgr(m_colors[set + colorIndex::Border]));
    frameRect(painter, 0, 0, w, h);

    if (m_ctl3D && w > 3 && h > 3) {
        // Light up the left edge and along the top, dark down the right edge and back along the bottom.
        painter.setPen(colorFromBgr(m_colors[set + colorIndex::Light]));
        painter.drawLine(1, h - 2, 1, 1);
        painter.drawLine(1, 1, w - 2, 1);
        painter.setPen(colorFromBgr(m_colors[set + colorIndex::Dark]));
        painter.drawLine(w - 2, 1, w - 2, h - 3);
        painter.drawLine(w - 2, h - 2, 2, h - 2);
    }

    if (m_state.focused()) {
        painter.setPen(colorFromBgr(m_colors[colorIndex::FocusRect]));
        frameRect(painter, 3, 3, w - 3, h - 3);
    }
    return image;
}

void TXiButton::paintEvent(QPaintEvent *)
{
    const QImage image = renderImage();
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void TXiButton::handlePointerEnter()
{
    m_state.pointerEntered(m_hotTrack);
    update();
}

void TXiButton::handlePointerLeave()
{
    m_state.pointerLeft();
    update();
}

void TXiButton::setPointerInside(bool inside)
{
    if (inside == m_pointerInside)
        return;
    m_pointerInside = inside;
    if (inside)
        handlePointerEnter();
    else
        handlePointerLeave();
}

bool TXiButton::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Shortcut:
        if (static_cast<QShortcutEvent *>(event)->shortcutId() == m_accelerator) {
            if (isEnabled())
                click();
            return true;
        }
        break;
    case QEvent::ShortcutOverride:
        // A focused button takes Enter for itself rather than letting the Default one have it.
        if (isEnterKey(static_cast<QKeyEvent *>(event)->key())) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TXiButton::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    setPointerInside(true);
}

void TXiButton::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    setPointerInside(false);
}

void TXiButton::mousePressEvent(QMouseEvent *event)
{
    // The press may come before any enter event, for instance right after the button appeared.
    m_pointerInside = true;
    if (event->button() == Qt::LeftButton) {
        m_state.leftButtonDown();
        if (TabStop())
            setFocus(Qt::MouseFocusReason);
        update();
    }
    emit pressed(event->button());
}

void TXiButton::mouseMoveEvent(QMouseEvent *event)
{
    // While a mouse button is held the window keeps sending moves here but no enter or leave.
    if (event->buttons() != Qt::NoButton)
        setPointerInside(rect().contains(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void TXiButton::mouseReleaseEvent(QMouseEvent *event)
{
    QPointer<TXiButton> self(this);
    const QPoint pos = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    if (button == Qt::LeftButton) {
        const bool wasHeld = m_state.held();
        if (wasHeld && rect().contains(pos)) {
            click();
            if (!self)
                return;
        }
        const bool strictlyInside = pos.x() > 0 && pos.x() < width() && pos.y() > 0 && pos.y() < height();
        m_state.leftButtonUp(strictlyInside, m_hotTrack);
        update();
    }
    emit released(button);
}

void TXiButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            m_spaceHeld = true;
            m_state.spaceDown();
            update();
        }
        return;
    }
    if (isEnterKey(event->key())) {
        click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TXiButton::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        // Only a Space pressed on this button clicks it, not one that moved the focus here.
        if (m_spaceHeld) {
            m_spaceHeld = false;
            m_state.spaceUp();
            update();
            click();
        }
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void TXiButton::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    m_state.focusChanged(true);
    update();
    emit focusEntered();
}

void TXiButton::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    m_state.focusChanged(false);
    m_spaceHeld = false;
    update();
}

void TXiButton::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        update();
}

void TXiButton::defaultKeyActivated()
{
    if (isEnabled() && isVisible())
        click();
}

void TXiButton::cancelKeyActivated()
{
    if (isEnabled())
        click();
}

} // namespace zelvar
