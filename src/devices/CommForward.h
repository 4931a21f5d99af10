#pragma once

#include "devices/CommLayer.h"

// The two ways CommDevice::open() opens a device.
namespace zelvar::comm {

// The device itself, for this process alone (CommPosix.cpp).
std::unique_ptr<CommDevice> openOwnDevice(const QString &path, int &error);

// The device as the Zelvar host of this user holds it (the program or the service, on the
// instance socket): settings, timeouts and purges are accepted and left to the host's own
// port, events never fire but a write's "sent", reads find nothing, and each write is made
// by the host, whose result is the write's. Once the host is gone, the port carries on through
// its successor, or with the device itself and the same settings when this process takes the
// host's lock. None when no host of this user holds `path`.
std::unique_ptr<CommDevice> openForwardedDevice(const QString &path);

// This process has become the host: every device opened through the host that ended is
// opened for this process itself, before the other processes can find it.
void holdForwardedDevices();

} // namespace zelvar::comm
