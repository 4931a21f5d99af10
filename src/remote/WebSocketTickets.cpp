#include "remote/WebSocketTickets.h"

#include "remote/HttpAccess.h"

#include <QRandomGenerator>

#include <algorithm>

namespace zelvar {

QByteArray WebSocketTickets::issue()
{
    dropExpired();
    if (m_waiting.size() >= MaxWaiting)
        m_waiting.erase(m_waiting.begin());
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    m_waiting.push_back({bytes.toHex(), QDeadlineTimer(LifetimeMs)});
    return m_waiting.back().value;
}

bool WebSocketTickets::take(QByteArrayView ticket)
{
    dropExpired();
    // Every waiting ticket is compared, in a time that tells nothing of which came close.
    auto found = m_waiting.end();
    for (auto it = m_waiting.begin(); it != m_waiting.end(); ++it)
        if (HttpAccess::sameSecret(ticket, it->value))
            found = it;
    if (found == m_waiting.end())
        return false;
    m_waiting.erase(found);
    return true;
}

void WebSocketTickets::dropExpired()
{
    std::erase_if(m_waiting, [](const Ticket &ticket) { return ticket.expiry.hasExpired(); });
}

} // namespace zelvar
