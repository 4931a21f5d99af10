#pragma once

#include "devices/RelayCommand.h"

#include <QByteArray>
#include <QObject>

#include <array>

namespace zelvar {

class TCustomComPort;

// The state each relay of the board was last commanded to. Nothing is read back from the
// board, so every relay is unknown until a command for it goes out; the states are learnt
// from the texts the followed ports wrote, whoever the sender. A text that failed to be
// written teaches nothing, and a toggle of an unknown relay leaves it unknown.
class RelayStates : public QObject
{
    Q_OBJECT

public:
    enum class State { Unknown, Off, On };
    Q_ENUM(State)

    explicit RelayStates(QObject *parent = nullptr);

    // Relays 1..RelayCount; any other number is unknown.
    State state(int relay) const;

    // Learns from every text this port writes from now on, for as long as both exist. When
    // the port is pointed at another device, every relay is unknown again: that board was
    // told nothing yet.
    void follow(TCustomComPort &port);
    // Learns from a text that reached the board: its relay commands, in order.
    void learn(const QByteArray &written);

signals:
    // A relay's state changed; a command that confirms the state it had emits nothing.
    void changed(int relay, zelvar::RelayStates::State state);

private:
    void forget();

    std::array<State, RelayCount> states_{};
};

} // namespace zelvar
