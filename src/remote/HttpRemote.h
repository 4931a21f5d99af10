#pragma once

#include "remote/RemoteSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace zelvar {

class RemoteControl;

// The web remote: the JSON interface, the event WebSocket and the page, on Qt's HTTP
// server behind a listener of our own that bounds what a client may send. Every request
// but the page's own files carries the token in its header; a foreign Host is answered 421,
// a request from another page 403. Acts through RemoteControl only.
//
// The WebSocket /api/events (opened with the token's header, or from a browser with a
// ticket of POST /api/ticket in its query) first sends the state of the 16 relays, then every change
// ({"type":"relay","relay":3,"state":"on"}) and every alarm fired ({"type":"fired",
// "row":2,"button":3}). A client may send {"type":"press","button":K} and
// {"type":"release","button":K}; what it still holds is released when it goes away.
class HttpRemote : public QObject
{
    Q_OBJECT

public:
    explicit HttpRemote(RemoteControl &control, QObject *parent = nullptr);
    ~HttpRemote() override;

    // Listens on settings.address:settings.port; false with *error (in French) when it cannot.
    bool start(const HttpSettings &settings, const QByteArray &token, QString *error = nullptr);
    void stop();
    bool listening() const;
    quint16 serverPort() const;             // the port really bound (a port 0 asks for a free one)
    void setToken(const QByteArray &token); // a new token applies to the next request

signals:
    void logLine(const QString &line); // refusals (401…), one line each, French

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace zelvar
