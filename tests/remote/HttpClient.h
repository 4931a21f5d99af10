#pragma once

#include "devices/ComPortPty.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace zelvar::testing {

// One answer of the web remote, as it came on the wire.
struct Answer
{
    int status = 0;
    QByteArray head; // status line and headers
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// A request as a client writes it, to 127.0.0.1.
inline QByteArray httpRequest(const QByteArray &method, const QByteArray &target, const QByteArray &body,
                              const QByteArray &headers)
{
    QByteArray text = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers;
    if (!body.isEmpty())
        text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return text + "\r\n" + body;
}

// Sends `request` as it stands and reads one answer (or what came before the server closed).
inline Answer exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QByteArray got;
    const auto complete = [&] {
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const qsizetype at = got.toLower().indexOf("content-length: ");
        const qsizetype length = at < 0 ? 0 : got.mid(at + 16, got.indexOf("\r\n", at) - at - 16).toLongLong();
        return got.size() >= end + 4 + length;
    };
    QObject::connect(&client, &QTcpSocket::connected, [&] { client.write(request); });
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { got += client.readAll(); });
    processEventsUntil([&] { return complete() || client.state() == QAbstractSocket::UnconnectedState; });
    Answer answer;
    const qsizetype end = got.indexOf("\r\n\r\n");
    answer.head = got.left(end);
    answer.body = got.mid(end + 4);
    answer.status = got.mid(9, 3).toInt();
    return answer;
}

} // namespace zelvar::testing
