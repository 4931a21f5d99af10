#include "remote/HttpListener.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <variant>

#include <cerrno>

#include <sys/resource.h>
#include <sys/socket.h>

namespace zelvar {

namespace {

// How long a refused client may go on sending before its connection is cut.
constexpr int LingerMs = 2000;
// Out of descriptors, accepting waits this long: the waiting connections stay in the queue.
constexpr int ResumeAcceptingMs = 200;
// Descriptors left to the rest of the process beyond what the caps allow.
constexpr int SpareDescriptors = 32;
// Connections taken at one wake-up, so that a flood does not hold up everything else.
constexpr int AcceptsPerWake = 32;

const char *reasonPhrase(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

bool isToken(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    for (char c : name)
        if (c <= ' ' || c >= 0x7f || QByteArrayView("()<>@,;:\\\"/[]?={}").contains(c))
            return false;
    return true;
}

bool hasToken(const QByteArray &list, const QByteArray &token)
{
    for (const QByteArray &item : list.split(','))
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

HttpRefusal badRequest(const QString &why)
{
    return {400, why, {}};
}

// The head of a request, each line ending with CRLF, without the blank line; a refusal when
// it is not one we frame exactly as the server does.
std::variant<RequestHead, HttpRefusal> parseHead(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // after the last CRLF
    RequestHead head;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (!line.endsWith('\r'))
            return badRequest(QStringLiteral("ligne sans CRLF"));
        line.chop(1);
        for (char c : line)
            if ((uchar(c) < 0x20 && c != '\t') || c == 0x7f || c == '\r')
                return badRequest(QStringLiteral("caractère de contrôle dans l'en-tête"));
        if (i == 0) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() != 3 || parts[0].isEmpty() || !parts[1].startsWith('/')
                || (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0"))
                return badRequest(QStringLiteral("ligne de requête invalide"));
            for (char c : parts[0])
                if (c < 'A' || c > 'Z')
                    return badRequest(QStringLiteral("méthode invalide"));
            head.method = parts[0];
            head.target = parts[1];
            head.keepAlive = parts[2] == "HTTP/1.1";
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        if (colon < 0 || !isToken(name))
            return badRequest(QStringLiteral("en-tête invalide"));
        // One Host only: two would let the server and this check read different names.
        if (name == "host" && std::any_of(head.headers.cbegin(), head.headers.cend(), [](const auto &h) { return h.first == "host"; }))
            return badRequest(QStringLiteral("en-tête Host répété"));
        head.headers.append({name, line.mid(colon + 1).trimmed()});
    }
    const QByteArray connection = head.header("connection");
    head.keepAlive = hasToken(connection, "close") ? false : head.keepAlive || hasToken(connection, "keep-alive");
    return head;
}

} // namespace

QByteArray RequestHead::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers)
        if (key == name)
            return value;
    return {};
}

const QList<QPair<QByteArray, QByteArray>> &securityHeaders()
{
    static const QList<QPair<QByteArray, QByteArray>> headers{
        // The picture comes through fetch() with the token, shown from a blob: address.
        {"Content-Security-Policy", "default-src 'self'; img-src 'self' blob:; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return headers;
}

QByteArray refusalResponse(const HttpRefusal &refusal, bool page)
{
    QByteArray body = QJsonDocument(QJsonObject{{"error", refusal.error}}).toJson(QJsonDocument::Compact);
    QByteArray type = "application/json";
    if (page) {
        const QString hint = refusal.status == 401 ? QStringLiteral(" Ouvrez l'adresse complète, avec son jeton, que donne le "
                                                                    "code QR de la page « Télécommande » des réglages de Zelvar.")
                                                   : QString();
        body = (QStringLiteral("<!DOCTYPE html><html lang=\"fr\"><meta charset=\"utf-8\">"
                               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                               "<title>Zelvar — accès refusé</title><h1>Zelvar</h1><p>Accès refusé : ")
                + refusal.error.toHtmlEscaped() + u'.' + hint + QStringLiteral("</p>"))
                   .toUtf8();
        type = "text/html; charset=utf-8";
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(refusal.status) + ' ' + reasonPhrase(refusal.status) + "\r\n";
    out += "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\nConnection: close\r\n";
    for (const auto &[name, value] : securityHeaders())
        out += name + ": " + value + "\r\n";
    for (const auto &[name, value] : refusal.headers)
        out += name + ": " + value + "\r\n";
    return out + "\r\n" + body;
}

// Frames the requests of one connection as their bytes arrive, ahead of the server: it is
// connected to the socket's readyRead before the server is, so it sees every byte first.
class ConnectionWatch : public QObject
{
public:
    ConnectionWatch(HttpListener &listener, QTcpSocket *socket, const HttpLimits &limits)
        : QObject(socket), m_listener(&listener), m_socket(socket), m_limits(limits)
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(limits.idleMs);
        connect(&m_idle, &QTimer::timeout, socket, &QTcpSocket::disconnectFromHost);
        // Slow or silent clients must not hold the connections the others need.
        m_headTimer.setSingleShot(true);
        m_headTimer.setInterval(limits.headMs);
        connect(&m_headTimer, &QTimer::timeout, this, [this] {
            refuse(nullptr, {408, QStringLiteral("requête incomplète après %1 s").arg(m_limits.headMs / 1000.0), {}});
        });
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionWatch::arrived);
        m_idle.start();
        m_headTimer.start();
        listener.m_unproven.append(this);
    }

    ~ConnectionWatch() override
    {
        if (m_listener) {
            m_listener->m_unproven.removeOne(this);
            if (m_counted)
                m_listener->released(m_state == State::Upgraded);
        }
    }

    // Closed at once to make room for a new connection; it no longer counts.
    void evict()
    {
        m_listener->m_unproven.removeOne(this);
        m_listener->released(m_state == State::Upgraded);
        m_counted = false;
        m_state = State::Refused;
        m_idle.stop();
        m_headTimer.stop();
        m_socket->abort();
    }

private:
    enum class State { Head, Body, Upgraded, Refused };

    void arrived()
    {
        if (m_state == State::Upgraded || m_state == State::Refused)
            return;
        // The bytes the server has not read yet: only the new ones, since it reads all.
        const QByteArray chunk = m_socket->peek(m_socket->bytesAvailable());
        // The next request has begun: its head has its own time to arrive whole.
        if (m_state == State::Head && !m_headTimer.isActive() && !chunk.isEmpty())
            m_headTimer.start();
        const int completedBefore = m_completed;
        qsizetype at = 0;
        while (at < chunk.size() && m_state != State::Upgraded && m_state != State::Refused) {
            // The server answers one request per read and drops the others: a request sent
            // before the answer to the one ahead of it is refused rather than lost.
            if (m_state == State::Head && m_completed != completedBefore
                && chunk.mid(at).count('\r') + chunk.mid(at).count('\n') != chunk.size() - at) {
                refuse(nullptr, badRequest(QStringLiteral("requêtes enchaînées : attendez la réponse à chacune")));
                return;
            }
            if (m_state == State::Body) {
                const qsizetype taken = qMin<qsizetype>(m_bodyLeft, chunk.size() - at);
                m_bodyLeft -= taken;
                at += taken;
                if (m_bodyLeft == 0)
                    completed();
                continue;
            }
            at = readHead(chunk, at);
        }
    }

    // Takes head bytes from `chunk` at `at`; returns where the head stopped reading.
    qsizetype readHead(const QByteArray &chunk, qsizetype at)
    {
        qsizetype start = at;
        qsizetype end = -1;
        for (; at < chunk.size(); ++at) {
            const char c = chunk[at];
            // A lone LF ends a line for the server's parser but not for ours: refused at once.
            if (c == '\n' && !m_lastWasCr)
                return refuse(nullptr, badRequest(QStringLiteral("ligne sans CRLF")));
            m_lastWasCr = c == '\r';
            // Blank lines between requests are skipped, as the server does.
            if (m_head.isEmpty() && at == start && (c == '\r' || c == '\n')) {
                ++start;
                continue;
            }
            m_matched = c == "\r\n\r\n"[m_matched] ? m_matched + 1 : (c == '\r' ? 1 : 0);
            if (m_matched == 4) {
                end = at + 1;
                break;
            }
        }
        m_head += chunk.mid(start, (end < 0 ? at : end) - start);
        if (m_head.size() > m_limits.maxHeadBytes)
            return refuse(nullptr, {431, QStringLiteral("en-têtes de plus de %1 octets").arg(m_limits.maxHeadBytes), {}});
        if (end < 0)
            return chunk.size();
        m_head.chop(2);
        m_matched = 0;
        auto parsed = parseHead(m_head);
        m_head.clear();
        if (auto *refusal = std::get_if<HttpRefusal>(&parsed))
            return refuse(nullptr, *refusal);
        RequestHead &head = std::get<RequestHead>(parsed);
        head.peer = m_socket->peerAddress();
        if (auto refusal = frame(head))
            return refuse(&head, *refusal);
        if (auto refusal = m_listener->m_admit(head))
            return refuse(&head, *refusal);
        if (head.webSocket) {
            if (!m_listener->takeWebSocket())
                return refuse(&head, {503, QStringLiteral("trop de WebSockets ouverts (%1)").arg(m_limits.maxWebSockets), {}});
            m_state = State::Upgraded;
            m_idle.stop();
            m_headTimer.stop();
            m_listener->m_unproven.removeOne(this);
            return end;
        }
        m_headTimer.stop();
        if (!head.keepAlive)
            m_socket->setProperty(HttpListener::CloseAfterAnswer, true);
        if (head.header("expect").compare("100-continue", Qt::CaseInsensitive) == 0 && m_bodyLeft > 0)
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        if (m_bodyLeft > 0)
            m_state = State::Body;
        else
            completed();
        return end;
    }

    // Reads the body's length and the upgrade; a refusal for what the server could read
    // otherwise than we do.
    std::optional<HttpRefusal> frame(RequestHead &head)
    {
        int lengths = 0;
        QByteArray length;
        for (const auto &[name, value] : head.headers) {
            if (name == "transfer-encoding")
                return HttpRefusal{411, QStringLiteral("corps par morceaux refusé : Content-Length attendu"), {}};
            if (name == "content-length") {
                ++lengths;
                length = value;
            }
        }
        if (lengths > 1)
            return badRequest(QStringLiteral("Content-Length répété"));
        m_bodyLeft = 0;
        if (lengths == 1) {
            for (char c : length)
                if (c < '0' || c > '9')
                    return badRequest(QStringLiteral("Content-Length invalide"));
            if (length.isEmpty())
                return badRequest(QStringLiteral("Content-Length invalide"));
            qsizetype zeros = 0;
            while (zeros < length.size() - 1 && length[zeros] == '0')
                ++zeros;
            // Twelve digits and more are too large whatever they say; no overflow is read.
            const qint64 size = length.size() - zeros > 12 ? std::numeric_limits<qint64>::max() : length.toLongLong();
            if (size > m_limits.maxBodyBytes)
                return HttpRefusal{413, QStringLiteral("corps de plus de %1 octets").arg(m_limits.maxBodyBytes), {}};
            m_bodyLeft = size;
        }
        const QByteArray upgrade = head.header("upgrade");
        const bool connectionUpgrade = hasToken(head.header("connection"), "upgrade");
        if (!upgrade.isEmpty() || connectionUpgrade) {
            if (upgrade.compare("websocket", Qt::CaseInsensitive) != 0 || !connectionUpgrade || head.method != "GET"
                || m_bodyLeft > 0)
                return badRequest(QStringLiteral("mise à niveau refusée : seule une WebSocket est acceptée"));
            head.webSocket = true;
        }
        return std::nullopt;
    }

    // A whole request went through: the connection is busy, not idle.
    void completed()
    {
        ++m_completed;
        m_listener->m_unproven.removeOne(this);
        m_state = State::Head;
        m_idle.start();
    }

    qsizetype refuse(const RequestHead *head, const HttpRefusal &refusal)
    {
        m_state = State::Refused;
        m_idle.stop();
        m_headTimer.stop();
        if (!m_listener->m_unproven.contains(this))
            m_listener->m_unproven.append(this);
        m_listener->refuse(m_socket, head, refusal);
        return std::numeric_limits<qsizetype>::max();
    }

    QPointer<HttpListener> m_listener;
    QTcpSocket *m_socket;
    HttpLimits m_limits;
    QTimer m_idle;
    QTimer m_headTimer;
    bool m_counted = true; // still one of the listener's connections
    State m_state = State::Head;
    QByteArray m_head;
    bool m_lastWasCr = false;
    int m_matched = 0; // how much of the blank line ending a head was seen
    int m_completed = 0; // requests seen whole
    qint64 m_bodyLeft = 0;
};

HttpLimits HttpLimits::withinDescriptorLimit() const
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return *this;
    const qint64 open = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
    const qint64 spare = qint64(limit.rlim_cur) - open - SpareDescriptors;
    // Connections, as many again turned away while being answered, and WebSockets.
    if (2 * qint64(maxConnections) + maxWebSockets <= spare)
        return *this;
    HttpLimits fitted = *this;
    fitted.maxConnections = int(qMax<qint64>(2, spare * 2 / 5));
    fitted.maxWebSockets = int(qMax<qint64>(1, spare / 5));
    return fitted;
}

HttpListener::HttpListener(const HttpLimits &limits, Admission admit, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_admit(std::move(admit))
{
    m_resume.setSingleShot(true);
    m_resume.setInterval(ResumeAcceptingMs);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        if (m_accepting)
            m_accepting->setEnabled(true);
    });
}

bool HttpListener::listenOn(const QHostAddress &address, quint16 port)
{
    if (!listen(address, port))
        return false;
    // Qt's own accepting, woken again at once when a connection cannot be taken for want of
    // a descriptor, would keep a core busy for as long as that lasts.
    pauseAccepting();
    m_accepting = new QSocketNotifier(socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_accepting, &QSocketNotifier::activated, this, &HttpListener::acceptWaiting);
    return true;
}

void HttpListener::acceptWaiting()
{
    for (int taken = 0; taken < AcceptsPerWake; ++taken) {
        const int descriptor = ::accept4(int(socketDescriptor()), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            incomingConnection(descriptor);
            emit newConnection();
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            m_accepting->setEnabled(false);
            m_resume.start();
            emit refused(QStringLiteral("plus de descripteur libre : connexions suspendues %1 ms").arg(ResumeAcceptingMs));
        }
        return;
    }
}

HttpListener::~HttpListener()
{
    // Not watching a descriptor about to be closed.
    delete m_accepting;
    m_accepting = nullptr;
    // Its connections go while it is still a listener, each telling it that it went: first
    // those the server did not take yet, which closing deletes, then the others.
    close();
    qDeleteAll(findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly));
}

void HttpListener::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_http >= m_limits.maxConnections)
        makeRoom();
    if (m_http >= m_limits.maxConnections) {
        // Never handed to the server: ours to delete. A flood of them is cut at once rather
        // than answered, so that it cannot use up the descriptors the port needs too.
        if (m_turnedAway >= m_limits.maxConnections) {
            socket->abort();
            delete socket;
            return;
        }
        ++m_turnedAway;
        connect(socket, &QObject::destroyed, this, [this] { --m_turnedAway; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        refuse(socket, nullptr, {503, QStringLiteral("trop de connexions ouvertes (%1)").arg(m_limits.maxConnections), {}});
        return;
    }
    ++m_http;
    new ConnectionWatch(*this, socket, m_limits);
    addPendingConnection(socket);
}

void HttpListener::refuse(QTcpSocket *socket, const RequestHead *head, const HttpRefusal &refusal)
{
    QString line = QStringLiteral("%1 refusé à %2").arg(refusal.status).arg(socket->peerAddress().toString());
    if (head)
        line += QStringLiteral(" (%1 %2)").arg(QString::fromLatin1(head->method),
                                               QString::fromUtf8(head->path().left(200)));
    emit refused(line + QStringLiteral(" : ") + refusal.error);
    closeWithAnswer(socket, refusalResponse(refusal, head && head->method == "GET" && head->path() == "/"));
}

void HttpListener::closeWithAnswer(QTcpSocket *socket, const QByteArray &answer)
{
    // The server reads this socket no more; what arrives from now on is dropped.
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    const auto drop = [socket] {
        if (socket->isTransactionStarted())
            socket->commitTransaction();
        socket->skip(socket->bytesAvailable());
    };
    drop();
    connect(socket, &QTcpSocket::readyRead, socket, drop);
    socket->write(answer);
    const auto shutWhenSent = [socket] {
        if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, shutWhenSent);
    socket->flush();
    shutWhenSent();
    QTimer::singleShot(LingerMs, socket, [socket] { socket->abort(); });
}

// A client that completes its request gets in even when idle connections fill the cap: the
// oldest connection that never completed a request (or was refused) goes for it.
void HttpListener::makeRoom()
{
    if (!m_unproven.isEmpty())
        m_unproven.first()->evict();
}

bool HttpListener::takeWebSocket()
{
    if (m_webSockets >= m_limits.maxWebSockets)
        return false;
    --m_http;
    ++m_webSockets;
    return true;
}

void HttpListener::released(bool webSocket)
{
    --(webSocket ? m_webSockets : m_http);
}

} // namespace zelvar
