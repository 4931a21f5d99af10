#include "devices/CommHolder.h"

#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommLayer.h"
#include "devices/SendSequences.h"

#include <QFileInfo>

#include <cerrno>

namespace zelvar {

void answerHostRequest(const host::Request &request, host::Role role, TCustomComPort *port,
                       const std::function<void(const QByteArray &reply)> &answer)
{
    const bool open = port && port->Connected();
    const QString path = port ? QFileInfo(comm::devicePath(port->Port())).absoluteFilePath() : QString();
    if (request.kind == host::Request::Kind::Hello)
        return answer(host::helloReply(role, open ? path : QString(), open));
    if (request.kind != host::Request::Kind::Write)
        return answer(host::errorReply(EINVAL, QStringLiteral("requête inconnue")));
    if (!open || !host::sameDevice(request.port, path))
        return answer(host::errorReply(ENODEV, QStringLiteral("%1 ne tient pas le port %2").arg(host::roleName(role), request.port)));
    const int size = int(request.data.size());
    SendingSequence write;
    write.steps.push_back({request.data});
    Send::queue(*port, std::move(write), [answer, size](const SendResult &result) {
        if (!result.error)
            return answer(host::okReply(size));
        const EComPort &error = *result.error;
        answer(host::errorReply(error.SystemError() > 0 ? error.SystemError() : EIO, error.Message()));
    });
}

} // namespace zelvar
