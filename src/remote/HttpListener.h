#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <optional>

class QSocketNotifier;
class QTcpSocket;

namespace zelvar {

class ConnectionWatch;

// What one listener lets through. Qt's HTTP server (6.4) buffers whole requests without a
// bound and hands any WebSocket upgrade over unchecked, so these are enforced on the bytes
// as they arrive, before the server reads them.
struct HttpLimits
{
    int maxConnections = 64;   // HTTP connections at once; one more is answered 503
    int maxWebSockets = 64;    // WebSockets at once
    int maxHeadBytes = 8192;   // request line and headers: 431 beyond
    int maxBodyBytes = 16384;  // 413 beyond
    int idleMs = 30000;        // a connection that completes no request for this long is closed
    int headMs = 5000;         // a request line and headers not complete by then: the connection is closed

    // These caps, lowered when the process may open few descriptors (ulimit -n): every
    // connection takes one, and the port, the broker and the files need theirs.
    HttpLimits withinDescriptorLimit() const;
};

// The request line and headers of one request, as the listener read them.
struct RequestHead
{
    QByteArray method;
    QByteArray target; // origin form: the path and its query, as sent
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case, values trimmed
    QHostAddress peer;
    bool webSocket = false; // a well-formed WebSocket upgrade
    bool keepAlive = true;  // false when the client asked to close after the answer

    // The first header of that (lower-case) name; empty when absent.
    QByteArray header(const QByteArray &name) const;
    QByteArray path() const { return target.contains('?') ? target.left(target.indexOf('?')) : target; }
};

// A request turned away, with what its answer says.
struct HttpRefusal
{
    int status = 400;
    QString error; // in French: the answer's {"error": …} and the log line
    QList<QPair<QByteArray, QByteArray>> headers;
};

// The whole answer to a refused request, the connection closing after it: JSON, or for the
// page's own address a page a person reads in a browser.
QByteArray refusalResponse(const HttpRefusal &refusal, bool page = false);
// The headers every answer carries: no sniffing, no framing, nothing from elsewhere.
const QList<QPair<QByteArray, QByteArray>> &securityHeaders();

// The TCP listener handed to the HTTP server. It counts connections and WebSockets, closes
// idle connections and those slow to send a request, makes room at the cap by closing the
// oldest that never completed one, frames every request itself (only CRLF lines, Content-Length bodies) so
// that an oversized or malformed one is answered before the server buffers it, and asks
// `admit` about each request head: a refusal is answered and the connection closed, the
// server never seeing that request.
class HttpListener : public QTcpServer
{
    Q_OBJECT

public:
    using Admission = std::function<std::optional<HttpRefusal>(const RequestHead &)>;
    // Set on a connection's socket once a request on it asked to close after its answer.
    static constexpr char CloseAfterAnswer[] = "zelvarCloseAfterAnswer";

    HttpListener(const HttpLimits &limits, Admission admit, QObject *parent = nullptr);
    ~HttpListener() override;

    // Listens, accepting connections itself so that it can stop a moment when the process
    // has no descriptor left rather than be woken for the same connection again and again.
    bool listenOn(const QHostAddress &address, quint16 port);

    int httpConnections() const { return m_http; }
    int webSockets() const { return m_webSockets; }

    // Answers, then closes without losing the answer: the sending side is shut first and
    // what the client still sends is read and dropped for a moment.
    static void closeWithAnswer(QTcpSocket *socket, const QByteArray &answer);

signals:
    // A refusal, one line in French with the client's address.
    void refused(const QString &line);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class ConnectionWatch;
    void refuse(QTcpSocket *socket, const RequestHead *head, const HttpRefusal &refusal);
    bool takeWebSocket();
    void released(bool webSocket);
    void makeRoom();
    void acceptWaiting();

    HttpLimits m_limits;
    Admission m_admit;
    int m_http = 0;
    int m_webSockets = 0;
    int m_turnedAway = 0; // connections beyond the cap still being answered
    // Connections that completed no request yet, or were refused: the first to go for a new one.
    QList<ConnectionWatch *> m_unproven;
    QSocketNotifier *m_accepting = nullptr;
    QTimer m_resume; // accepting again after running out of descriptors
};

} // namespace zelvar
