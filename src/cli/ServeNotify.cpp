#include "cli/ServeNotify.h"

#include <QTimer>

#include <algorithm>

#include <systemd/sd-daemon.h>

namespace zelvar::cli {

void notifyReady()
{
    sd_notify(0, "READY=1");
}

void feedWatchdog(QObject *owner)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    const auto feed = [] { sd_notify(0, "WATCHDOG=1"); };
    feed();
    auto *timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, feed);
    timer->start(int(std::max<uint64_t>(usec / 2000, 1)));
}

} // namespace zelvar::cli
