#include "devices/ComPortPty.h"
#include "devices/PortSender.h"
#include "remote/HttpClient.h"

#include "remote/HttpListener.h"
#include "remote/HttpRemote.h"
#include "remote/RelayStates.h"
#include "remote/RemoteControl.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::Answer;
using zelvar::testing::exchange;
using zelvar::testing::processEventsUntil;

namespace {

const QByteArray Token = "0123456789abcdef0123456789abcdef";

QByteArray request(const QByteArray &method, const QByteArray &target, const QByteArray &body = {},
                   const QByteArray &headers = "Authorization: Bearer " + Token + "\r\n")
{
    return zelvar::testing::httpRequest(method, target, body, headers);
}

PanelConfig panel()
{
    PanelConfig config;
    for (int mode : {Imp, On})
        config.buttons.push_back(ButtonConfig{mode, 2, QStringLiteral("0"), 10, 20, QStringLiteral("Lampe"), 0, {}, {}, QStringLiteral("lampe%1").arg(mode)});
    return config;
}

class HttpRemoteTest : public zelvar::testing::PortOnPty
{
protected:
    void SetUp() override
    {
        PortOnPty::SetUp();
        port.OpenPort();
        states.follow(port);
        control.setPanel(panel());
        QObject::connect(&remote, &HttpRemote::logLine, [this](const QString &line) { log << line; });
        QString error;
        ASSERT_TRUE(remote.start({true, QStringLiteral("127.0.0.1"), 0, {QStringLiteral("zelvar.example")}}, Token, &error))
            << error.toStdString();
    }
    void TearDown() override
    {
        remote.stop();
        PortOnPty::TearDown();
    }
    Answer send(const QByteArray &text) { return exchange(remote.serverPort(), text); }

    RelayStates states;
    RemoteControl control{RemoteControl::Host::Program, port, states};
    HttpRemote remote{control};
    QStringList log;
};

} // namespace

// Several relays in one call go out in relay order; the answer comes once they are queued,
// and the states follow the wire.
TEST_F(HttpRemoteTest, PutRelaysWritesInRelayOrderAndAnswersTheStates)
{
    const Answer put = send(request("PUT", "/api/relays", R"({"5":"toggle","3":"off","1":"ON"})"));
    EXPECT_EQ(put.status, 200) << put.body.constData();
    EXPECT_EQ(put.json().size(), RelayCount);
    EXPECT_TRUE(put.head.contains("Cache-Control: no-store"));
    EXPECT_TRUE(put.head.contains("X-Content-Type-Options: nosniff"));
    port.sender().waitIdle();
    EXPECT_EQ(pty.drain(), QByteArray("S1N$#S3F$#S5T$#"));
    const Answer got = send(request("GET", "/api/relays"));
    const QJsonObject states = got.json();
    EXPECT_TRUE(got.body.startsWith(R"({"1":"on","2":"unknown","3":"off",)")) << got.body.constData();
    EXPECT_EQ(states["5"].toString(), "unknown"); // a toggle of an unknown relay
}

// Beyond 256 sequences waiting on the port, a remote command is refused with 503 and its
// reason in French, and nothing of it is written; a release still goes.
TEST_F(HttpRemoteTest, ACommandBeyondTheQueuesBoundIsRefused)
{
    port.sender().queue({.steps = {{"H#", 300}}});
    ASSERT_EQ(pty.read(2), QByteArray("H#"));
    for (int i = 0; i < PortSender::MaxWaiting; ++i)
        ASSERT_TRUE(port.sender().queue({.steps = {{"x#"}}, .lane = SendLane::Remote}));
    const Answer refused = send(request("PUT", "/api/relays", R"({"1":"on"})"));
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.json()["error"].toString(),
              QStringLiteral("trop de commandes en attente (256) sur le port, commande refusée"));
    EXPECT_EQ(send(request("POST", "/api/buttons/1/click")).status, 503);
    EXPECT_EQ(send(request("POST", "/api/buttons/1/release")).status, 200);
    port.sender().waitIdle();
    const QByteArray wire = pty.drain();
    EXPECT_FALSE(wire.contains("S1N$#"));
    EXPECT_TRUE(wire.endsWith("S2F$#"));
}

// What the page reads: the panel with each button's relay and size, the alarms with their
// next occurrence; buttons pressed and released as the mouse does; a host without a
// sequence player answers 503.
TEST_F(HttpRemoteTest, PanelAlarmsAndButtonsAsThePageUsesThem)
{
    const QDateTime next(QDate(2026, 12, 24), QTime(7, 30), Qt::UTC);
    control.setScheduleSource([&] {
        return std::vector<RemoteScheduleRow>{{SavedScheduleRow{next.date(), QStringLiteral("07:30:00"), 2, QStringLiteral("Lampe"), {}, true}, true, next}};
    });
    const QJsonObject panel = send(request("GET", "/api/panel")).json();
    EXPECT_EQ(panel["width"].toInt(), PanelWidth);
    const QJsonObject button = panel["buttons"].toArray().at(0).toObject();
    EXPECT_EQ(button["index"].toInt(), 1);
    EXPECT_EQ(button["id"].toString(), "lampe1");
    EXPECT_EQ(button["mode"].toInt(), Imp);
    EXPECT_EQ(button["relay"].toInt(), 2);
    EXPECT_EQ(button["left"].toInt(), 10);
    EXPECT_EQ(button["width"].toInt(), PanelButtonWidth);
    const QJsonObject row = send(request("GET", "/api/schedule")).json()["rows"].toArray().at(0).toObject();
    EXPECT_EQ(row["time"].toString(), "07:30:00");
    EXPECT_EQ(row["repetition"].toString(), "une fois");
    EXPECT_TRUE(row["armed"].toBool());
    EXPECT_EQ(row["next"].toString(), "2026-12-24T07:30:00Z");

    EXPECT_EQ(send(request("POST", "/api/buttons/1/press")).status, 200);
    EXPECT_EQ(pty.read(5), QByteArray("S2N$#"));
    EXPECT_EQ(send(request("POST", "/api/buttons/1/release")).status, 200);
    EXPECT_EQ(pty.read(5), QByteArray("S2F$#"));
    EXPECT_EQ(send(request("POST", "/api/buttons/2/click")).status, 200);
    port.sender().waitIdle();
    EXPECT_EQ(send(request("GET", "/api/relays")).json()["2"].toString(), "on");
    const Answer play = send(request("POST", "/api/sequence/play", R"({"activity":"Default"})"));
    EXPECT_EQ(play.status, 503);
    EXPECT_EQ(play.json()["error"].toString(), QStringLiteral("ce programme ne joue pas de séquence"));
}

// A remote click of an "Imp" button is the keyboard's pulse, long enough for a gate; a timed
// pulse switches its relay on at once and off when its time is up.
TEST_F(HttpRemoteTest, AnImpClickAndATimedPulseLastWhatTheySay)
{
    const struct
    {
        QByteArray target, body, on, off;
        qint64 atLeastMs;
    } pulses[] = {
        {"/api/buttons/1/click", {}, "S2N$#", "S2F$#", 200},
        {"/api/relays/3/pulse", R"({"seconds":0.4})", "S3N$#", "S3F$#", 400},
    };
    for (const auto &p : pulses) {
        EXPECT_EQ(send(request("POST", p.target, p.body)).status, 200) << p.target.constData();
        EXPECT_EQ(pty.read(5), p.on);
        QElapsedTimer held;
        held.start();
        // The host's loop runs meanwhile: it keeps the pulse's end.
        QByteArray off;
        processEventsUntil([&] { return (off += pty.drain(1)).size() >= 5; }, 3000);
        EXPECT_EQ(off, p.off);
        EXPECT_GE(held.elapsed(), p.atLeastMs - 15) << p.target.constData();
    }
}

// Every refusal is answered with its status and an error in French, and nothing is written.
TEST_F(HttpRemoteTest, RefusalsAnswerTheirStatusAndWriteNothing)
{
    const QByteArray wrong = "Authorization: Bearer " + QByteArray(32, 'f') + "\r\n";
    const struct
    {
        const char *what;
        QByteArray request;
        int status;
    } rows[] = {
        {"no token", request("GET", "/api/relays", {}, {}), 401},
        {"wrong token", request("GET", "/api/relays", {}, wrong), 401},
        {"wrong token in the query", request("GET", "/api/relays?token=" + QByteArray(32, '0'), {}, {}), 401},
        {"foreign Host", "GET /api/health HTTP/1.1\r\nHost: evil.example:8765\r\nAuthorization: Bearer " + Token + "\r\n\r\n", 421},
        {"no Host", "GET /api/health HTTP/1.1\r\nAuthorization: Bearer " + Token + "\r\n\r\n", 421},
        {"body over 16 KB", request("PUT", "/api/relays", {}, "Authorization: Bearer " + Token + "\r\nContent-Length: 16385\r\n"), 413},
        {"huge length", request("PUT", "/api/relays", {}, "Content-Length: 99999999999999999999999\r\n"), 413},
        {"headers over 8 KB", request("GET", "/api/relays", {}, "X-Pad: " + QByteArray(9000, 'a') + "\r\n"), 431},
        {"bare line feeds", "GET /api/relays HTTP/1.1\nHost: 127.0.0.1\n\n", 400},
        {"two Hosts", "GET /api/health HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: evil.example\r\n\r\n", 400},
        {"a second request before the first answer", request("GET", "/api/health") + request("POST", "/api/all-off"), 400},
        {"chunked body", request("PUT", "/api/relays", {}, "Transfer-Encoding: chunked\r\n"), 411},
        {"unknown method", request("DELETE", "/api/relays"), 405},
        {"method of another path", request("GET", "/api/all-off"), 405},
        {"malformed JSON", request("PUT", "/api/relays", "{\"1\":"), 400},
        {"not an object", request("PUT", "/api/relays", "[1]"), 400},
        {"bad state", request("PUT", "/api/relays", R"({"1":"maybe"})"), 400},
        {"relay not a number", request("PUT", "/api/relays", R"({"x":"on"})"), 400},
        {"no relay 17", request("PUT", "/api/relays", R"({"1":"on","17":"on"})"), 404},
        {"huge relay", request("PUT", "/api/relays", R"({"99999999999999999999":"on"})"), 404},
        {"unknown button", request("POST", "/api/buttons/3/click"), 404},
        {"huge button", request("POST", "/api/buttons/123456789012345678/press"), 404},
        {"button not a number", request("POST", "/api/buttons/-1/press"), 400},
        {"unknown path", request("GET", "/api/nothing"), 404},
        {"pulse too short", request("POST", "/api/relays/3/pulse", R"({"seconds":0.05})"), 400},
        {"pulse over a day", request("POST", "/api/relays/3/pulse", R"({"seconds":86401})"), 400},
        {"pulse as text", request("POST", "/api/relays/3/pulse", R"({"seconds":"10"})"), 400},
        {"pulse of relay 17", request("POST", "/api/relays/17/pulse", R"({"seconds":1})"), 404},
        {"upgrade without token", request("GET", "/api/events", {}, "Upgrade: websocket\r\nConnection: Upgrade\r\n"), 401},
        {"upgrade elsewhere", request("GET", "/api/relays", {}, "Authorization: Bearer " + Token + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"), 404},
        {"other upgrade", request("GET", "/api/events", {}, "Upgrade: h2c\r\nConnection: Upgrade\r\n"), 400},
    };
    for (const auto &row : rows) {
        const Answer answer = send(row.request);
        EXPECT_EQ(answer.status, row.status) << row.what << "\n" << answer.head.constData();
        EXPECT_FALSE(answer.json()["error"].toString().isEmpty()) << row.what;
    }
    EXPECT_EQ(pty.drain(), QByteArray());
    // Refusals made before the server reads the request are logged, the client named.
    EXPECT_TRUE(log.filter(QStringLiteral("401 refusé à 127.0.0.1")).size() >= 3) << log.join(u'\n').toStdString();
    EXPECT_EQ(log.filter(QStringLiteral("421 ")).size(), 2);
    // So are commands refused for what they ask.
    EXPECT_EQ(log.filter(QStringLiteral("400 refusé à 127.0.0.1 (POST /api/relays/3/pulse) : durée d'impulsion refusée")).size(), 2)
        << log.join(u'\n').toStdString();
    // A client that keeps knocking does not fill the journal: thirty lines a minute.
    for (int i = 0; i < 40; ++i)
        send(request("GET", "/api/relays", {}, {}));
    EXPECT_EQ(log.size(), 30);
}

// The page's files hold no secret and come without the token; the token itself comes only
// in the header: never from a cookie (an old one is removed), never from the address.
TEST_F(HttpRemoteTest, ThePageComesWithoutTheTokenWhichNoCookieCarries)
{
    const QByteArray oldCookie = "Cookie: theme=dark; zelvar_token=" + Token + "\r\n";
    const Answer page = send(request("GET", "/?token=" + Token, {}, oldCookie));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("remote.js"));
    EXPECT_TRUE(page.head.contains("Set-Cookie: zelvar_token=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0")) << page.head.constData();
    EXPECT_TRUE(page.head.contains("Content-Security-Policy: default-src 'self'; img-src 'self' blob:"));
    EXPECT_EQ(send(request("GET", "/remote.js", {}, {})).status, 200);

    EXPECT_EQ(send(request("POST", "/api/all-off", {}, oldCookie)).status, 401);
    EXPECT_EQ(send(request("GET", "/api/health?token=" + Token, {}, {})).status, 401);
    EXPECT_EQ(send(request("GET", "/api/health")).status, 200);
    remote.setToken(QByteArray(32, 'a'));
    EXPECT_EQ(send(request("GET", "/api/health")).status, 401);
}

// A browser says where a request comes from: only the remote's own page (same scheme, name
// and port) may act or listen, even with the right token; clients that are not browsers say
// nothing and are served.
TEST_F(HttpRemoteTest, OnlyTheRemotesOwnOriginMayAct)
{
    const quint16 port = remote.serverPort();
    const QByteArray own = "127.0.0.1:" + QByteArray::number(port);
    const QByteArray otherPort = "127.0.0.1:" + QByteArray::number(port == 65535 ? 1 : port + 1);
    const auto from = [&](const QByteArray &host, const QByteArray &headers) {
        return "POST /api/all-off HTTP/1.1\r\nHost: " + host + "\r\nAuthorization: Bearer " + Token + "\r\n" + headers + "\r\n";
    };
    const struct
    {
        const char *what;
        QByteArray request;
        int status;
    } rows[] = {
        {"own origin", from(own, "Origin: http://" + own + "\r\nSec-Fetch-Site: same-origin\r\n"), 200},
        {"no origin (a script)", from(own, {}), 200},
        {"a proxy's name over TLS", from("zelvar.example", "Origin: https://zelvar.example\r\n"), 200},
        {"another port of the host", from(own, "Origin: http://" + otherPort + "\r\n"), 403},
        {"the same site", from(own, "Sec-Fetch-Site: same-site\r\n"), 403},
        {"TLS on this host's own address", from(own, "Origin: https://" + own + "\r\n"), 403},
        {"a sandboxed page", from(own, "Origin: null\r\n"), 403},
    };
    for (const auto &row : rows) {
        const Answer answer = send(row.request);
        EXPECT_EQ(answer.status, row.status) << row.what << "\n" << answer.head.constData();
        if (row.status == 403) {
            EXPECT_TRUE(answer.json()["error"].toString().contains(QStringLiteral("refusée"))) << row.what;
        }
    }
    // A WebSocket from another port is refused before it is opened, token and all.
    QWebSocket socket;
    QNetworkRequest open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(port)));
    open.setRawHeader("Authorization", "Bearer " + Token);
    open.setRawHeader("Origin", "http://" + otherPort);
    socket.open(open);
    EXPECT_TRUE(processEventsUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(log.filter(QStringLiteral("403 refusé à 127.0.0.1 (GET /api/events) : origine « http://") + otherPort).size(), 1)
        << log.join(u'\n').toStdString();
}

// The page opens its WebSocket with a ticket asked for with the token: it opens one socket,
// once; a ticket nobody issued opens nothing.
TEST_F(HttpRemoteTest, AWebSocketTicketOpensOneSocketOnce)
{
    const Answer issued = send(request("POST", "/api/ticket"));
    ASSERT_EQ(issued.status, 200) << issued.body.constData();
    const QByteArray ticket = issued.json()["ticket"].toString().toLatin1();
    EXPECT_EQ(send(request("POST", "/api/ticket", {}, {})).status, 401);
    const QByteArray upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    EXPECT_EQ(send(request("GET", "/api/events?ticket=" + QByteArray(32, '0'), {}, upgrade)).status, 401);
    EXPECT_EQ(send(request("GET", "/api/events?ticket=" + ticket, {}, upgrade)).status, 101);
    EXPECT_EQ(send(request("GET", "/api/events?ticket=" + ticket, {}, upgrade)).status, 401);
}

// The events socket tells the 16 states, then each change; a press it holds is released
// when it goes away.
TEST_F(HttpRemoteTest, WebSocketFollowsTheRelaysAndReleasesWhatItHeld)
{
    QWebSocket socket;
    QStringList messages;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString &text) { messages << text; });
    QNetworkRequest open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(remote.serverPort())));
    open.setRawHeader("Authorization", "Bearer " + Token);
    socket.open(open);
    ASSERT_TRUE(processEventsUntil([&] { return messages.size() == RelayCount; }));
    EXPECT_EQ(messages[0], R"({"type":"relay","relay":1,"state":"unknown"})");

    // A page showing the old panel is told, since button numbers may now stand for others.
    messages.clear();
    control.setPanel(panel());
    ASSERT_TRUE(processEventsUntil([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(messages, QStringList{R"({"type":"panel"})"});

    messages.clear();
    socket.sendTextMessage(R"({"type":"press","button":1})");
    ASSERT_TRUE(processEventsUntil([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(messages, QStringList{R"({"type":"relay","relay":2,"state":"on"})"});
    EXPECT_EQ(pty.drain(), QByteArray("S2N$#"));

    socket.sendTextMessage(R"({"type":"press","button":9})");
    ASSERT_TRUE(processEventsUntil([&] { return messages.size() == 2; }));
    EXPECT_TRUE(messages[1].contains(R"("type":"error")"));

    socket.close();
    EXPECT_TRUE(processEventsUntil([&] { return states.state(2) == RelayStates::State::Off; }));
    EXPECT_EQ(pty.drain(), QByteArray("S2F$#"));
}

// A panel changed while a button is held lets go of it: nobody could release it afterwards.
TEST_F(HttpRemoteTest, PanelChangeLetsGoOfHeldButtons)
{
    const int holder = 0;
    ASSERT_TRUE(control.press(1, &holder).ok());
    EXPECT_EQ(pty.drain(), QByteArray("S2N$#"));
    control.setPanel(panel());
    EXPECT_EQ(pty.drain(), QByteArray("S2F$#"));
    control.releaseAll(&holder);
    EXPECT_EQ(pty.drain(), QByteArray());
}

// A client that asks to close after the answer (HTTP/1.0, or "Connection: close") is closed by
// the server, so that it holds none of the connections.
TEST_F(HttpRemoteTest, ClosesWhenTheClientAsksTo)
{
    for (const QByteArray &ending : {QByteArray(" HTTP/1.1\r\nConnection: close"), QByteArray(" HTTP/1.0")}) {
        QTcpSocket client;
        QByteArray got;
        QObject::connect(&client, &QTcpSocket::readyRead, [&] { got += client.readAll(); });
        client.connectToHost(QHostAddress::LocalHost, remote.serverPort());
        client.write("GET /api/health" + ending + "\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + Token + "\r\n\r\n");
        EXPECT_TRUE(processEventsUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 2000)) << ending.constData();
        EXPECT_TRUE(got.startsWith("HTTP/1.1 200")) << got.constData();
    }
}

// A port already taken or an address that is not one is said in words the settings can show.
TEST_F(HttpRemoteTest, StartSaysWhyItCannotListen)
{
    HttpRemote second(control);
    QString error;
    EXPECT_FALSE(second.start({true, QStringLiteral("127.0.0.1"), remote.serverPort(), {}}, Token, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("port déjà utilisé"))) << error.toStdString();
    EXPECT_FALSE(second.start({true, QStringLiteral("ma-box"), 0, {}}, Token, &error));
    EXPECT_EQ(error, QStringLiteral("adresse d'écoute invalide : « ma-box »"));
    EXPECT_FALSE(second.listening());
}

// Idle connections cannot keep a client out: the oldest that never completed a request goes
// to make room for a new one, which is answered at once.
TEST_F(HttpRemoteTest, SixtyFourIdleConnectionsLeaveRoomForARequest)
{
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, remote.serverPort());
    }
    ASSERT_TRUE(processEventsUntil([&] {
        return std::all_of(idle.begin(), idle.end(), [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; });
    }));
    const Answer relays = send(request("GET", "/api/relays")); // given 3 s at most
    EXPECT_EQ(relays.status, 200) << relays.head.constData();
    EXPECT_EQ(relays.json().size(), RelayCount);
}

// A request slower than its time is answered 408 and closed; at the cap with connections
// that all completed a request, one more is answered 503.
TEST(HttpListener, ClosesSlowRequestsAndCapsConnections)
{
    HttpListener listener({2, 2, 8192, 16384, 30000, 300}, [](const RequestHead &) { return std::nullopt; });
    ASSERT_TRUE(listener.listenOn(QHostAddress::LocalHost, 0));
    const Answer slow = exchange(listener.serverPort(), "GET / HTTP/1.1\r\nHost: 127");
    EXPECT_EQ(slow.status, 408);
    EXPECT_TRUE(slow.json()["error"].toString().startsWith(QStringLiteral("requête incomplète après 0.3 s")));

    QTcpSocket first, second;
    for (QTcpSocket *socket : {&first, &second}) {
        socket->connectToHost(QHostAddress::LocalHost, listener.serverPort());
        socket->write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    ASSERT_TRUE(processEventsUntil([&] { return listener.httpConnections() == 2; }));
    EXPECT_EQ(exchange(listener.serverPort(), "GET / HTTP/1.1\r\n\r\n").status, 503);
}
