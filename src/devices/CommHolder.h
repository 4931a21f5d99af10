#pragma once

#include "common/HostProtocol.h"

#include <QByteArray>

#include <functional>

namespace zelvar {

class TCustomComPort;

// The host's answer to a hello or write request of another Zelvar process: a write goes
// out through the host's own port, so whatever follows that port (the relay states) learns
// it, and only when the request names the device that port holds open. The write is queued
// on the port's sender, in order with the host's own sequences, and answered once written.
void answerHostRequest(const host::Request &request, host::Role role, TCustomComPort *port,
                       const std::function<void(const QByteArray &reply)> &answer);

} // namespace zelvar
