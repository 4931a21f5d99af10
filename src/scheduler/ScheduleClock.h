#pragma once

#include <QTimer>
#include <QtGlobal>

#include <functional>

namespace zelvar {

// What the schedule engine knows of time: the wall clock, and one single-shot timer. The
// program uses the system's; tests step a clock of their own instead of waiting.
class ScheduleClock
{
public:
    virtual ~ScheduleClock() = default;
    // The wall clock, in milliseconds since the epoch (UTC).
    virtual qint64 nowMs() const = 0;
    // Calls `timeout` once after `ms` milliseconds; a pending call is replaced.
    virtual void singleShot(int ms, std::function<void()> timeout) = 0;
    virtual void cancel() = 0;
};

// The system clock and a precise Qt timer. Qt's timers run on the monotonic clock, which
// stops during suspend and ignores changes of the wall clock: waits stay short (a second at
// most) so that the wall clock is looked at again soon after either.
class SystemScheduleClock : public ScheduleClock
{
public:
    SystemScheduleClock();
    qint64 nowMs() const override;
    void singleShot(int ms, std::function<void()> timeout) override;
    void cancel() override;

private:
    QTimer m_timer;
    std::function<void()> m_timeout;
};

} // namespace zelvar
