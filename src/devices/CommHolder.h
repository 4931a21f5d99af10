#pragma once

#include "common/HostProtocol.h"

#include <QByteArray>

namespace zelvar {

class TCustomComPort;

// The host's answer to a hello or write request of another Zelvar process: a write goes
// out through the host's own port, so whatever follows that port (the relay states) learns
// it, and only when the request names the device that port holds open.
QByteArray answerHostRequest(const host::Request &request, host::Role role, TCustomComPort *port);

} // namespace zelvar
