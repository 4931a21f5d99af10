#include "scheduler/PortWaitingFirings.h"

#include <utility>

namespace zelvar {

void PortWaitingFirings::add(const Firing &firing)
{
    for (const Firing &waiting : std::as_const(m_waiting))
        if (waiting.row == firing.row && waiting.key == firing.key)
            return;
    m_waiting.append(firing);
}

QList<PortWaitingFirings::Firing> PortWaitingFirings::takeOnReturn(qint64 nowMs, QList<Firing> *missed)
{
    missed->append(takeExpired(nowMs));
    return std::exchange(m_waiting, {});
}

QList<PortWaitingFirings::Firing> PortWaitingFirings::takeExpired(qint64 nowMs)
{
    QList<Firing> expired;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (nowMs - it->dueMs >= GraceMs) {
            expired.append(*it);
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
    return expired;
}

} // namespace zelvar
