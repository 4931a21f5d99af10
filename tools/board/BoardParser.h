#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace zelvar::board {

// What the board makes of the bytes it receives.
struct BoardEvent
{
    enum class Kind {
        Command,    // a well-formed command for relay 1..16
        OutOfRange, // a well-formed command for a relay the board does not have
        Unparsed,   // bytes that are no command
    };
    Kind kind = Kind::Unparsed;
    int relay = 0;     // saturates at kRelayNumberCap for absurdly long numbers
    char action = 0;   // 'N' on, 'F' off, 'T' toggle
    QByteArray bytes;  // the bytes as received

    static constexpr int kRelayNumberCap = 99999;
};

// Reads the relay board's byte stream: "S", the relay number in decimal, "N", "F" or
// "T", then "$#". Commands may arrive split across reads or back to back. Anything else
// is reported as unparsed, and reading starts again at the next "S".
class BoardParser
{
public:
    static constexpr int kRelayCount = 16;

    // Returns the events completed by these bytes, in order. A command cut by the end
    // of the bytes waits for the next call; unparsed bytes are reported at the end of
    // each call rather than held back.
    std::vector<BoardEvent> feed(QByteArrayView bytes);

private:
    enum class State { Idle, Number, Dollar, Hash };

    void take(char c, std::vector<BoardEvent> &events);
    void startCommand(std::vector<BoardEvent> &events);
    void reject(char c);
    void flushUnparsed(std::vector<BoardEvent> &events);
    void finishCommand(std::vector<BoardEvent> &events);

    State m_state = State::Idle;
    QByteArray m_command;
    int m_relay = 0;
    char m_action = 0;
    QByteArray m_unparsed;
};

} // namespace zelvar::board
