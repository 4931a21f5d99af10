#include "remote/RelayStates.h"

#include "devices/ComPort.h"

#include <utility>

namespace zelvar {

RelayStates::RelayStates(QObject *parent) : QObject(parent)
{
    states_.fill(State::Unknown);
}

RelayStates::State RelayStates::state(int relay) const
{
    return relay >= 1 && relay <= RelayCount ? states_[size_t(relay - 1)] : State::Unknown;
}

void RelayStates::follow(TCustomComPort &port)
{
    connect(&port, &TCustomComPort::written, this, &RelayStates::learn, Qt::UniqueConnection);
    connect(&port, &TCustomComPort::portChanged, this, &RelayStates::forget, Qt::UniqueConnection);
}

void RelayStates::forget()
{
    for (int relay = 1; relay <= RelayCount; ++relay) {
        if (std::exchange(states_[size_t(relay - 1)], State::Unknown) != State::Unknown)
            emit changed(relay, State::Unknown);
    }
}

void RelayStates::learn(const QByteArray &written)
{
    for (const RelayCommandText &command : relayCommandsIn(written)) {
        State &state = states_[size_t(command.relay - 1)];
        State next = state;
        switch (command.action) {
        case RelayAction::On:
            next = State::On;
            break;
        case RelayAction::Off:
            next = State::Off;
            break;
        case RelayAction::Toggle:
            if (state != State::Unknown)
                next = state == State::On ? State::Off : State::On;
            break;
        }
        if (next == state)
            continue;
        state = next;
        emit changed(command.relay, next);
    }
}

} // namespace zelvar
