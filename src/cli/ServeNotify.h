#pragma once

class QObject;

namespace zelvar::cli {

// What the service tells systemd when a unit of Type=notify runs it (NOTIFY_SOCKET set):
// ready once its rows are armed, then alive from its event loop at half the unit's
// WatchdogSec, so that a service whose loop hangs is restarted. Nothing without systemd.
void notifyReady();
// Pings the watchdog from the event loop of `owner`'s thread while `owner` lives.
void feedWatchdog(QObject *owner);

} // namespace zelvar::cli
