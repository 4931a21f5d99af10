#pragma once

#include "remote/HttpListener.h"
#include "remote/RemoteSettings.h"
#include "remote/WebSocketTickets.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <optional>

class QHostAddress;

namespace zelvar {

// Who may talk to the web remote: the names a request's Host may give (a page of another
// site that resolves its own name to this machine is answered 421, not served), the origin
// a browser says a request comes from (only the remote's own page may act: another port of
// the same host is another page), and the token every request carries in an Authorization
// header. No cookie ever carries it, since cookies are not kept apart by port; the event
// WebSocket, which a browser opens without headers, shows a single-use ticket instead.
class HttpAccess
{
public:
    // The cookie earlier versions set; a browser that still sends it is told to drop it.
    static constexpr char OldCookieName[] = "zelvar_token";

    // The names the server answers to when it listens on `address`: that address, plus
    // "localhost" on loopback, plus the machine's names and addresses on every address,
    // plus the names the user added.
    void setHosts(const QHostAddress &address, const QStringList &extraHosts);
    void setToken(const QByteArray &token);

    // Nothing when the request may go on, else why not: 421 for a foreign Host, 403 for a
    // request from another page, 401 without the right token (or ticket, for the events).
    // `open`: the page's own files, which hold no secret: only the Host is checked.
    std::optional<HttpRefusal> check(const RequestHead &head, bool open = false);

    // A ticket for one WebSocket, for a request that showed the token.
    QByteArray issueTicket() { return m_tickets.issue(); }

    bool hostAllowed(const QByteArray &host) const;
    // The Set-Cookie value that removes the old cookie when `cookies` still holds it; else empty.
    static QByteArray oldCookieRemoval(const QByteArray &cookies);
    // Compares in a time that tells nothing of where the two differ.
    static bool sameSecret(QByteArrayView given, QByteArrayView expected);

private:
    struct Authority
    {
        QString name; // lower case, an address in its usual form
        QString port; // as written; empty when absent
    };
    static std::optional<Authority> authority(const QString &host);
    static QString normalHost(const QString &host);
    std::optional<HttpRefusal> foreignPage(const RequestHead &head) const;
    bool ownOrigin(const QByteArray &origin, const QByteArray &host) const;
    bool tokenMatches(QByteArrayView given) const;

    QSet<QString> m_hosts;
    QSet<QString> m_proxyNames; // the names the user added: a proxy there may add TLS
    QByteArray m_token;
    WebSocketTickets m_tickets;
};

} // namespace zelvar
