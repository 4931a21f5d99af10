#include "scheduler/ScheduleClock.h"

#include <QDateTime>

namespace zelvar {

SystemScheduleClock::SystemScheduleClock()
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // The call may set the next one, which replaces m_timeout while it runs.
        const std::function<void()> timeout = m_timeout;
        if (timeout)
            timeout();
    });
}

qint64 SystemScheduleClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

void SystemScheduleClock::singleShot(int ms, std::function<void()> timeout)
{
    m_timeout = std::move(timeout);
    m_timer.start(std::max(0, ms));
}

void SystemScheduleClock::cancel()
{
    m_timer.stop();
}

} // namespace zelvar
