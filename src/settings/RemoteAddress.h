#pragma once

#include "remote/RemoteSettings.h"

#include <QByteArray>
#include <QHostAddress>
#include <QImage>
#include <QList>
#include <QString>

namespace zelvar {

// The address of the web remote as a phone opens it, with the token once in the query:
// http://192.168.1.20:8765/?token=… A server listening on every address is reached at the
// first of `machine`, the machine's own addresses (127.0.0.1 when it has none).
QString remotePageUrl(const QString &listenAddress, quint16 port, const QByteArray &token,
                      const QList<QHostAddress> &machine);

// The addresses of the machine's interfaces that are up, without the loopback ones; IPv4
// first, private ranges before the others.
QList<QHostAddress> machineAddresses();

// `text` as a QR code: one pixel per module, black on white, with the quiet zone of four
// modules around it. Null when the text does not fit in a code.
QImage qrCodeImage(const QByteArray &text);

} // namespace zelvar
