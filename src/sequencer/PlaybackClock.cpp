#include "sequencer/PlaybackClock.h"

namespace zelvar {

TimerClock::TimerClock(int intervalMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

} // namespace zelvar
