#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace zelvar {

// What drives playback: one tick per interval while active. The program uses a precise
// 1000 ms timer; tests step time by hand instead of sleeping.
class PlaybackClock
{
public:
    virtual ~PlaybackClock() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    void setOnTick(std::function<void()> onTick) { m_onTick = std::move(onTick); }

protected:
    void tick()
    {
        if (m_onTick)
            m_onTick();
    }

private:
    std::function<void()> m_onTick;
};

// A QTimer of 1000 ms with Qt::PreciseTimer: each timeout is due one interval after the
// previous one was due, so the ticks do not drift; a tick that runs late delays the later
// ones and is not made up.
class TimerClock : public PlaybackClock
{
public:
    explicit TimerClock(int intervalMs = 1000);
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace zelvar
