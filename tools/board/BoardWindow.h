#pragma once

#include <QLabel>
#include <QWidget>

#include <array>

namespace zelvar::board {

// One relay as a round lamp with its number, green when the relay is on.
class Lamp : public QWidget
{
    Q_OBJECT
public:
    explicit Lamp(int number, QWidget *parent = nullptr);

    void setOn(bool on);
    bool isOn() const { return m_on; }

    QSize sizeHint() const override { return {56, 56}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_number;
    bool m_on = false;
};

// A one-line label that never widens its window: a text longer than the label is cut with
// "…", and its tool tip holds it whole.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(const QString &text, QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_full;
};

// The board's front: sixteen lamps in a 4 x 4 grid and the last thing received.
class BoardWindow : public QWidget
{
    Q_OBJECT
public:
    explicit BoardWindow(const QString &devicePath, QWidget *parent = nullptr);

    void setRelay(int relay, bool on);
    void showLastEvent(const QString &received, const QString &effect, bool accepted);

private:
    std::array<Lamp *, 16> m_lamps{};
    ElidedLabel *m_received = nullptr;
    ElidedLabel *m_effect = nullptr;
};

} // namespace zelvar::board
