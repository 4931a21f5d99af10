#pragma once

#include "remote/HttpListener.h"
#include "remote/RemoteSettings.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <optional>

class QHostAddress;

namespace zelvar {

// Who may talk to the web remote: the names a request's Host may give (a page of another
// site that resolves its own name to this machine is answered 421, not served) and the
// token every request carries, in an Authorization header, the cookie or once in the query.
class HttpAccess
{
public:
    static constexpr char CookieName[] = "zelvar_token";

    // The names the server answers to when it listens on `address`: that address, plus
    // "localhost" on loopback, plus the machine's names and addresses on every address,
    // plus the names the user added.
    void setHosts(const QHostAddress &address, const QStringList &extraHosts);
    void setToken(const QByteArray &token) { m_token = token; }

    // Nothing when the request may go on, else why not: 421 for a foreign Host (or Origin
    // of a WebSocket), 401 without the right token.
    std::optional<HttpRefusal> check(const RequestHead &head) const;

    // The token as the query gave it, when it is the right one: the answer then sets the cookie.
    bool queryHasToken(const QByteArray &target) const;
    QByteArray cookieHeader() const;

    bool hostAllowed(const QByteArray &host) const;
    // Compares in a time that tells nothing of where the two differ.
    static bool sameSecret(QByteArrayView given, QByteArrayView expected);

private:
    static QString normalHost(const QString &host);
    bool tokenMatches(QByteArrayView given) const;

    QSet<QString> m_hosts;
    QByteArray m_token;
};

} // namespace zelvar
