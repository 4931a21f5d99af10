#include "BoardParser.h"

#include <algorithm>

namespace zelvar::board {

std::vector<BoardEvent> BoardParser::feed(QByteArrayView bytes)
{
    std::vector<BoardEvent> events;
    for (char c : bytes)
        take(c, events);
    flushUnparsed(events);
    return events;
}

void BoardParser::take(char c, std::vector<BoardEvent> &events)
{
    if (c == 'S') {
        // Every "S" starts a command: a command cut short before it is unparsed.
        m_unparsed += m_command;
        startCommand(events);
        return;
    }
    switch (m_state) {
    case State::Idle:
        m_unparsed += c;
        return;
    case State::Number:
        if (c >= '0' && c <= '9') {
            m_command += c;
            m_relay = std::min(m_relay * 10 + (c - '0'), BoardEvent::kRelayNumberCap);
        } else if ((c == 'N' || c == 'F' || c == 'T') && m_command.size() > 1) {
            m_command += c;
            m_action = c;
            m_state = State::Dollar;
        } else {
            reject(c);
        }
        return;
    case State::Dollar:
        if (c == '$') {
            m_command += c;
            m_state = State::Hash;
        } else {
            reject(c);
        }
        return;
    case State::Hash:
        if (c == '#') {
            m_command += c;
            finishCommand(events);
        } else {
            reject(c);
        }
        return;
    }
}

void BoardParser::startCommand(std::vector<BoardEvent> &events)
{
    flushUnparsed(events);
    m_command = "S";
    m_relay = 0;
    m_action = 0;
    m_state = State::Number;
}

void BoardParser::reject(char c)
{
    m_unparsed += m_command;
    m_unparsed += c;
    m_command.clear();
    m_state = State::Idle;
}

void BoardParser::flushUnparsed(std::vector<BoardEvent> &events)
{
    if (m_unparsed.isEmpty())
        return;
    BoardEvent event;
    event.kind = BoardEvent::Kind::Unparsed;
    event.bytes = m_unparsed;
    events.push_back(std::move(event));
    m_unparsed.clear();
}

void BoardParser::finishCommand(std::vector<BoardEvent> &events)
{
    BoardEvent event;
    event.kind = m_relay >= 1 && m_relay <= kRelayCount ? BoardEvent::Kind::Command : BoardEvent::Kind::OutOfRange;
    event.relay = m_relay;
    event.action = m_action;
    event.bytes = m_command;
    events.push_back(std::move(event));
    m_command.clear();
    m_state = State::Idle;
}

} // namespace zelvar::board
