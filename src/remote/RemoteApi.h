#pragma once

#include "remote/RelayStates.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace zelvar {

class RemoteControl;

// One answer of the JSON interface, before it is put on the wire.
struct ApiReply
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QByteArray allow;       // the methods a path takes, with 405
    bool cacheable = false; // the page's own files; never an answer of the API
};

// The web remote's interface over RemoteControl: what each method and path answers, the
// page's files, and the messages of the event WebSocket. Every action goes through the
// control, so it is written as the panel writes it; errors are {"error": "…"} in French.
class RemoteApi
{
public:
    explicit RemoteApi(RemoteControl &control) : m_control(control) {}

    ApiReply answer(const QByteArray &method, const QString &path, const QByteArray &body);

    // {"type":"relay","relay":3,"state":"on"}
    static QByteArray relayEvent(int relay, RelayStates::State state);
    // {"type":"fired","row":2,"button":3}
    static QByteArray firedEvent(int row, int button);
    // {"type":"panel"}: the panel changed, and with it what each button number stands for.
    static QByteArray panelEvent();
    // A message a WebSocket client sent ({"type":"press"|"release","button":K}), pressed
    // or released on behalf of `holder`; the answer to send back, empty when all went well.
    QByteArray webSocketMessage(const QByteArray &text, const void *holder);

    // {"1":"on","2":"unknown",…,"16":"off"}
    QByteArray relays() const;

private:
    ApiReply buttonAction(const QString &number, const QString &action);
    // POST /api/relays/<n>/pulse {"seconds": S}
    ApiReply pulse(const QString &number, const QByteArray &body);
    ApiReply putRelays(const QByteArray &body);
    ApiReply play(const QByteArray &body);
    QJsonObject panel() const;
    QJsonObject schedule() const;
    QJsonObject health() const;

    RemoteControl &m_control;
};

} // namespace zelvar
