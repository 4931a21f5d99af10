#include "remote/HttpRemote.h"

#include "remote/HttpAccess.h"
#include "remote/HttpListener.h"
#include "remote/RefusalLog.h"
#include "remote/RemoteApi.h"
#include "remote/RemoteControl.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <vector>

namespace zelvar {

namespace {

constexpr int PingIntervalMs = 20000;
constexpr int RefusalLinesPerMinute = 30;
constexpr int MaxWebSocketMessage = 16384;
const QByteArray EventsPath = "/api/events";
const QString TicketPath = QStringLiteral("/api/ticket");

// Qt's HTTP server with every request handed to one function: the API decides the paths,
// so that a known path asked with another method answers 405 rather than 404.
class ApiServer final : public QAbstractHttpServer
{
public:
    using Handler = std::function<void(const QHttpServerRequest &, QHttpServerResponder &&)>;
    explicit ApiServer(Handler handler) : m_handler(std::move(handler)) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        // The listener let only an authorised upgrade to the events through: handled here
        // means handed over to the WebSocket server, with nothing written.
        if (request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
            return true;
        m_handler(request, makeResponder(request, socket));
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    Handler m_handler;
};

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Post: return "POST";
    default: return "OTHER";
    }
}

QString listenError(const QTcpServer &server)
{
    switch (server.serverError()) {
    case QAbstractSocket::AddressInUseError: return QStringLiteral("port déjà utilisé");
    case QAbstractSocket::SocketAccessError: return QStringLiteral("accès refusé (port réservé ?)");
    case QAbstractSocket::SocketAddressNotAvailableError: return QStringLiteral("adresse absente de cette machine");
    default: return server.errorString();
    }
}

} // namespace

class HttpRemote::Private
{
public:
    Private(HttpRemote &q, RemoteControl &control)
        : q(q), control(control), api(control), refusals(RefusalLinesPerMinute)
    {
        ping.setInterval(PingIntervalMs);
        QObject::connect(&refusals, &RefusalLog::logLine, &q, &HttpRemote::logLine);
        QObject::connect(&ping, &QTimer::timeout, &q, [this] { pingAll(); });
        QObject::connect(&control.relays(), &RelayStates::changed, &q,
                         [this](int relay, RelayStates::State state) { broadcast(RemoteApi::relayEvent(relay, state)); });
        QObject::connect(&control, &RemoteControl::fired, &q,
                         [this](int row, int button) { broadcast(RemoteApi::firedEvent(row, button)); });
        QObject::connect(&control, &RemoteControl::panelChanged, &q, [this] { broadcast(RemoteApi::panelEvent()); });
    }

    std::optional<HttpRefusal> admit(const RequestHead &head)
    {
        const bool pageFile = head.method == "GET" && !head.webSocket && RemoteApi::isPageFile(QString::fromLatin1(head.path()));
        if (auto refused = access.check(head, pageFile))
            return refused;
        if (head.method != "GET" && head.method != "PUT" && head.method != "POST")
            return HttpRefusal{405, QStringLiteral("méthode %1 non prise en charge").arg(QString::fromLatin1(head.method.left(20))),
                               {{"Allow", "GET, PUT, POST"}}};
        if (head.webSocket && head.path() != EventsPath)
            return HttpRefusal{404, QStringLiteral("pas de WebSocket ici : %1 seulement").arg(QString::fromLatin1(EventsPath)), {}};
        return std::nullopt;
    }

    void answer(const QHttpServerRequest &request, QHttpServerResponder &&responder)
    {
        const QString path = request.url().path();
        ApiReply reply;
        if (path == TicketPath)
            reply = ticket(request.method());
        else
            reply = api.answer(methodName(request.method()), path, request.body());
        // A command refused for what it asked is said in the journal, as the listener's refusals.
        const bool command = request.method() == QHttpServerRequest::Method::Post || request.method() == QHttpServerRequest::Method::Put;
        if (command && (reply.status == 400 || reply.status == 404))
            refusals.refused(QStringLiteral("%1 refusé à %2 (%3 %4) : %5")
                                 .arg(reply.status)
                                 .arg(request.remoteAddress().toString(), QString::fromLatin1(methodName(request.method())),
                                      path.left(200),
                                      QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("error")).toString()));
        responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
        responder.writeHeader("Content-Type", reply.contentType);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        responder.writeHeader("Cache-Control", reply.cacheable ? "no-cache" : "no-store");
        for (const auto &[name, value] : securityHeaders())
            responder.writeHeader(name, value);
        if (!reply.allow.isEmpty())
            responder.writeHeader("Allow", reply.allow);
        if (const QByteArray removal = HttpAccess::oldCookieRemoval(request.value("cookie")); !removal.isEmpty())
            responder.writeHeader("Set-Cookie", removal);
        // A client that will not send another request does not hold one of the connections.
        QTcpSocket *socket = responder.socket();
        const bool close = socket->property(HttpListener::CloseAfterAnswer).toBool();
        if (close)
            responder.writeHeader("Connection", "close");
        responder.writeBody(reply.body);
        if (close)
            socket->disconnectFromHost();
    }

    // A pass for one event WebSocket: the page cannot give its socket the token's header.
    ApiReply ticket(QHttpServerRequest::Method method)
    {
        if (method != QHttpServerRequest::Method::Post)
            return {405, "application/json", R"({"error":"méthode " + methodName(method) + R"( refusée ici : POST attendu"})", "POST"};
        const QJsonObject body{{"ticket", QString::fromLatin1(access.issueTicket())},
                               {"expires_in", WebSocketTickets::LifetimeMs / 1000}};
        return {200, "application/json", QJsonDocument(body).toJson(QJsonDocument::Compact), {}, false};
    }

    void takeWebSockets()
    {
        while (server && server->hasPendingWebSocketConnections()) {
            QWebSocket *socket = server->nextPendingWebSocketConnection().release();
            socket->setParent(server.get());
            socket->setMaxAllowedIncomingFrameSize(MaxWebSocketMessage);
            socket->setMaxAllowedIncomingMessageSize(MaxWebSocketMessage);
            sockets.push_back({socket, true});
            QObject::connect(socket, &QWebSocket::pong, socket, [this, socket] { answered(socket); });
            QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [this, socket](const QString &text) {
                const QByteArray back = api.webSocketMessage(text.toUtf8(), socket);
                if (!back.isEmpty())
                    socket->sendTextMessage(QString::fromUtf8(back));
            });
            QObject::connect(socket, &QWebSocket::disconnected, socket, [this, socket] { gone(socket); });
            for (int relay = 1; relay <= RelayCount; ++relay)
                socket->sendTextMessage(QString::fromUtf8(RemoteApi::relayEvent(relay, control.relays().state(relay))));
        }
    }

    void gone(QWebSocket *socket)
    {
        control.releaseAll(socket);
        std::erase_if(sockets, [socket](const Client &client) { return client.socket == socket; });
        socket->deleteLater();
    }

    void answered(QWebSocket *socket)
    {
        for (Client &client : sockets)
            if (client.socket == socket)
                client.answered = true;
    }

    // A client that did not answer the last ping is gone (a phone that lost the network):
    // its socket is closed, so what it held is released.
    void pingAll()
    {
        std::vector<QWebSocket *> silent;
        for (Client &client : sockets) {
            if (!client.answered) {
                silent.push_back(client.socket);
                continue;
            }
            client.answered = false;
            client.socket->ping();
        }
        for (QWebSocket *socket : silent)
            socket->abort();
    }

    void broadcast(const QByteArray &event)
    {
        const QString text = QString::fromUtf8(event);
        for (const Client &client : sockets)
            client.socket->sendTextMessage(text);
    }

    void stop()
    {
        ping.stop();
        // Nothing stays held by a server that is gone: not by a page, nor by a plain request.
        for (const Client &client : sockets)
            control.releaseAll(client.socket);
        control.releaseAll(&api);
        sockets.clear();
        server.reset();
    }

    struct Client
    {
        QWebSocket *socket;
        bool answered; // the last ping was answered
    };

    HttpRemote &q;
    RemoteControl &control;
    RemoteApi api;
    HttpAccess access;
    std::unique_ptr<ApiServer> server;
    QPointer<HttpListener> listener;
    std::vector<Client> sockets;
    QTimer ping;
    // Every refusal is logged, but a client that keeps knocking cannot fill the journal.
    RefusalLog refusals;
};

HttpRemote::HttpRemote(RemoteControl &control, QObject *parent) : QObject(parent), d(std::make_unique<Private>(*this, control))
{
}

HttpRemote::~HttpRemote()
{
    stop();
}

bool HttpRemote::start(const HttpSettings &settings, const QByteArray &token, QString *error)
{
    stop();
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (token.isEmpty())
        return fail(QStringLiteral("aucun jeton : le serveur web ne peut pas démarrer"));
    QHostAddress address;
    if (!address.setAddress(settings.address))
        return fail(QStringLiteral("adresse d'écoute invalide : « %1 »").arg(settings.address));
    // "::" means every address, IPv4 ones included.
    if (address == QHostAddress::AnyIPv6)
        address = QHostAddress::Any;
    auto listener = std::make_unique<HttpListener>(HttpLimits{}.withinDescriptorLimit(),
                                                   [this](const RequestHead &head) { return d->admit(head); });
    if (!listener->listenOn(address, settings.port))
        return fail(QStringLiteral("impossible d'écouter sur %1 port %2 : %3")
                        .arg(settings.address)
                        .arg(settings.port)
                        .arg(listenError(*listener)));
    d->access.setHosts(address, settings.extraHosts);
    d->access.setToken(token);
    d->server = std::make_unique<ApiServer>(
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) { d->answer(request, std::move(responder)); });
    connect(listener.get(), &HttpListener::refused, this, [this](const QString &line) { d->refusals.refused(line); });
    connect(d->server.get(), &QAbstractHttpServer::newWebSocketConnection, this, [this] { d->takeWebSockets(); });
    d->listener = listener.get();
    d->server->bind(listener.release());
    d->ping.start();
    return true;
}

void HttpRemote::stop()
{
    d->stop();
}

bool HttpRemote::listening() const
{
    return d->listener && d->listener->isListening();
}

quint16 HttpRemote::serverPort() const
{
    return d->listener ? d->listener->serverPort() : 0;
}

void HttpRemote::setToken(const QByteArray &token)
{
    d->access.setToken(token);
}

} // namespace zelvar
