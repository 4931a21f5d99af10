#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

#include <vector>

namespace zelvar {

// Single-use passes for the event WebSocket. A browser cannot put a header on a WebSocket,
// and the token must not travel in an address or a cookie: the page asks for a ticket with
// its token in the header, then opens the socket with the ticket in the query. A ticket
// opens one socket, within a few seconds, and only as many wait as a page could need.
class WebSocketTickets
{
public:
    static constexpr int LifetimeMs = 30000;
    static constexpr int MaxWaiting = 64; // beyond, the oldest is dropped

    QByteArray issue();
    // True once for a ticket issued and not yet expired; it is spent then.
    bool take(QByteArrayView ticket);
    void clear() { m_waiting.clear(); }

private:
    struct Ticket
    {
        QByteArray value;
        QDeadlineTimer expiry;
    };
    void dropExpired();

    std::vector<Ticket> m_waiting;
};

} // namespace zelvar
