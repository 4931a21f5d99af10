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
    QLabel *m_received = nullptr;
    QLabel *m_effect = nullptr;
};

} // namespace zelvar::board
