#include "devices/CommHolder.h"

#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommLayer.h"

#include <QFileInfo>

#include <cerrno>

namespace zelvar {

QByteArray answerHostRequest(const host::Request &request, host::Role role, TCustomComPort *port)
{
    const bool open = port && port->Connected();
    const QString path = port ? QFileInfo(comm::devicePath(port->Port())).absoluteFilePath() : QString();
    if (request.kind == host::Request::Kind::Hello)
        return host::helloReply(role, open ? path : QString(), open);
    if (request.kind != host::Request::Kind::Write)
        return host::errorReply(EINVAL, QStringLiteral("requête inconnue"));
    if (!open || !host::sameDevice(request.port, path))
        return host::errorReply(ENODEV, QStringLiteral("%1 ne tient pas le port %2").arg(host::roleName(role), request.port));
    try {
        return host::okReply(port->SendText(request.data));
    } catch (const EComPort &error) {
        return host::errorReply(error.SystemError() > 0 ? error.SystemError() : EIO, error.Message());
    }
}

} // namespace zelvar
