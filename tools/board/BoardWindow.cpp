#include "BoardWindow.h"

#include <QGridLayout>
#include <QPainter>
#include <QRadialGradient>
#include <QVBoxLayout>

namespace zelvar::board {

Lamp::Lamp(int number, QWidget *parent)
    : QWidget(parent)
    , m_number(number)
{
    setMinimumSize(40, 40);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void Lamp::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    update();
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 6;
    const QRectF circle((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    const QColor lit(40, 210, 60);
    const QColor dark(70, 74, 70);
    QRadialGradient glow(circle.center() - QPointF(side / 6.0, side / 6.0), side * 0.7);
    glow.setColorAt(0, m_on ? lit.lighter(160) : dark.lighter(150));
    glow.setColorAt(1, m_on ? lit.darker(120) : dark);
    painter.setPen(QPen(QColor(30, 30, 30), 2));
    painter.setBrush(glow);
    painter.drawEllipse(circle);

    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(10, side / 3));
    painter.setFont(font);
    painter.setPen(m_on ? QColor(10, 40, 10) : QColor(220, 220, 220));
    painter.drawText(circle, Qt::AlignCenter, QString::number(m_number));
}

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // The window's width decides the label's, never the other way round.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setFullText(text);
}

void ElidedLabel::setFullText(const QString &text)
{
    m_full = text;
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const QString shown = fontMetrics().elidedText(m_full, Qt::ElideRight, contentsRect().width());
    setText(shown);
    setToolTip(shown == m_full ? QString() : m_full);
}

BoardWindow::BoardWindow(const QString &devicePath, QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("zelvar-board — %1").arg(devicePath));

    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    grid->setSpacing(8);
    for (int i = 0; i < 16; ++i) {
        m_lamps[static_cast<std::size_t>(i)] = new Lamp(i + 1, this);
        grid->addWidget(m_lamps[static_cast<std::size_t>(i)], i / 4, i % 4);
    }
    layout->addLayout(grid, 1);

    auto *device = new ElidedLabel(QStringLiteral("Port : %1").arg(devicePath), this);
    device->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(device);
    m_received = new ElidedLabel(QStringLiteral("Dernière commande : aucune"), this);
    layout->addWidget(m_received);
    m_effect = new ElidedLabel(QString(), this);
    layout->addWidget(m_effect);
    resize(300, 360);
}

void BoardWindow::setRelay(int relay, bool on)
{
    if (relay >= 1 && relay <= 16)
        m_lamps[static_cast<std::size_t>(relay - 1)]->setOn(on);
}

void BoardWindow::showLastEvent(const QString &received, const QString &effect, bool accepted)
{
    m_received->setFullText(QStringLiteral("Dernière commande : %1").arg(received));
    m_effect->setFullText(effect);
    // Anything the board refused stands out from the ordinary switching.
    m_effect->setStyleSheet(accepted ? QString() : QStringLiteral("color: #b00000; font-weight: bold;"));
}

} // namespace zelvar::board
