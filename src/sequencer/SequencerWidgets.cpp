#include "sequencer/SequencerWidgets.h"

#include "common/Colors.h"
#include "sequencer/SequencerLayout.h"
#include "widgets/Fonts.h"

#include <QPainter>

namespace zelvar {

namespace L = SequencerLayout;

TBtnSeq::TBtnSeq(QWidget *parent) : TXiButton(parent)
{
    resize(9, 28);
    setColorFace(Face);
    setFocusPolicy(Qt::StrongFocus);
}

void TBtnSeq::paintEvent(QPaintEvent *)
{
    const Look look{int(visualState()), ColorFace(), hasFocus(), isEnabled(), size(), Caption()};
    if (m_picture.isNull() || !(look == m_look)) {
        m_picture = renderImage();
        m_look = look;
    }
    if (!m_picture.isNull())
        QPainter(this).drawImage(0, 0, m_picture);
}

FillPicture::FillPicture(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}

void FillPicture::fill(int bgr)
{
    m_fill = bgr;
    QPalette p = palette();
    p.setColor(QPalette::Window, colorFromBgr(bgr));
    setPalette(p);
}

RulerPicture::RulerPicture(QWidget *parent) : QWidget(parent) {}

void RulerPicture::draw(bool atCreation)
{
    const int w = width();
    m_image = QImage(std::max(w, 1), L::RulerHeight, QImage::Format_RGB32);
    m_image.fill(Qt::white);
    QPainter p(&m_image);
    p.fillRect(0, 0, w, L::RulerHeight, colorFromBgr(Fill));
    p.setFont(uiFont());
    for (const L::Mark &m : L::marks(w, atCreation)) {
        switch (m.kind) {
        case L::Mark::TenMinutes:
            p.setPen(QPen(Qt::red, 4));
            p.drawLine(m.x, m.top, m.x, L::RulerHeight);
            p.setPen(Qt::black);
            p.drawText(QRect(m.labelX, 0, 60, 14), Qt::AlignLeft | Qt::AlignTop, m.label);
            break;
        case L::Mark::Minute:
        case L::Mark::TenSeconds:
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(m.x, m.top, m.x, L::RulerHeight);
            break;
        }
    }
    update();
}

void RulerPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

} // namespace zelvar
