#pragma once

#include "scheduler/ScheduleClock.h"
#include "scheduler/ScheduleTime.h"

#include <QDate>
#include <QTime>

#include <optional>

namespace zelvar::testing {

// A clock the test steps. The pending timer is due at a wall-clock instant; a change of the
// wall clock (a jump, a suspend) moves it along, as a monotonic timer would not notice.
class FakeScheduleClock : public ScheduleClock
{
public:
    qint64 now = 0;
    std::optional<qint64> due;

    qint64 nowMs() const override { return now; }
    void singleShot(int ms, std::function<void()> timeout) override
    {
        due = now + ms;
        m_timeout = std::move(timeout);
    }
    void cancel() override { due.reset(); }

    // Time passes normally up to t: the timer runs whenever it is due.
    void runUntil(qint64 t)
    {
        while (due && *due <= t) {
            now = std::max(now, *due);
            due.reset();
            const auto timeout = m_timeout;
            timeout();
        }
        now = t;
    }
    void run(qint64 ms) { runUntil(now + ms); }
    // The thread is blocked for ms: the timer runs late, once, when it is free again.
    void block(qint64 ms)
    {
        now += ms;
        if (due && *due <= now)
            runUntil(now);
    }
    // The wall clock is set (or the machine wakes up) at t; the pending wait is unchanged.
    void jumpTo(qint64 t)
    {
        if (due)
            *due += t - now;
        now = t;
    }

private:
    std::function<void()> m_timeout;
};

inline qint64 at(const QDate &date, const char *time)
{
    return *localInstant(date, *readTimeOfDay(QString::fromLatin1(time)));
}

} // namespace zelvar::testing
