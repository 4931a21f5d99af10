#include "remote/HttpAccess.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QUrl>

namespace zelvar {

namespace {

QString addressText(QHostAddress address)
{
    address.setScopeId({});
    return address.toString();
}

// The value of one parameter of a query string, percent-decoded; none when absent.
std::optional<QByteArray> queryValue(const QByteArray &target, const QByteArray &name)
{
    const qsizetype mark = target.indexOf('?');
    if (mark < 0)
        return std::nullopt;
    for (const QByteArray &item : target.mid(mark + 1).split('&'))
        if (item.startsWith(name + '='))
            return QByteArray::fromPercentEncoding(item.mid(name.size() + 1));
    return std::nullopt;
}

} // namespace

QString HttpAccess::normalHost(const QString &host)
{
    QString name = host;
    QString port;
    if (name.startsWith(u'[')) {
        const qsizetype close = name.indexOf(u']');
        if (close < 0)
            return {};
        port = name.mid(close + 1);
        name = name.mid(1, close - 1);
        if (!port.isEmpty() && !port.startsWith(u':'))
            return {};
        port = port.mid(1);
    } else if (name.count(u':') == 1) {
        port = name.section(u':', 1);
        name = name.section(u':', 0, 0);
        if (port.isEmpty())
            return {};
    }
    for (QChar c : port)
        if (!c.isDigit())
            return {};
    QHostAddress address;
    if (address.setAddress(name))
        return addressText(address);
    if (name.endsWith(u'.'))
        name.chop(1);
    return name.toLower();
}

void HttpAccess::setHosts(const QHostAddress &address, const QStringList &extraHosts)
{
    m_hosts.clear();
    if (listensEverywhere(address)) {
        const QString name = QHostInfo::localHostName();
        m_hosts << QStringLiteral("localhost") << normalHost(name) << normalHost(name + QStringLiteral(".local"));
        if (!QHostInfo::localDomainName().isEmpty())
            m_hosts << normalHost(name + u'.' + QHostInfo::localDomainName());
        for (const QHostAddress &own : QNetworkInterface::allAddresses())
            m_hosts << addressText(own);
    } else {
        m_hosts << addressText(address);
        if (address.isLoopback())
            m_hosts << QStringLiteral("localhost");
    }
    for (const QString &extra : extraHosts)
        if (!normalHost(extra.trimmed()).isEmpty())
            m_hosts << normalHost(extra.trimmed());
}

bool HttpAccess::hostAllowed(const QByteArray &host) const
{
    const QString name = normalHost(QString::fromLatin1(host));
    return !name.isEmpty() && m_hosts.contains(name);
}

bool HttpAccess::sameSecret(QByteArrayView given, QByteArrayView expected)
{
    unsigned char differ = given.size() == expected.size() ? 0 : 1;
    for (qsizetype i = 0; i < expected.size(); ++i)
        differ |= uchar(expected[i]) ^ uchar(i < given.size() ? given[i] : 0);
    return differ == 0;
}

bool HttpAccess::tokenMatches(QByteArrayView given) const
{
    return !m_token.isEmpty() && sameSecret(given, m_token);
}

std::optional<HttpRefusal> HttpAccess::check(const RequestHead &head) const
{
    if (!hostAllowed(head.header("host")))
        return HttpRefusal{421, QStringLiteral("nom d'hôte « %1 » inconnu de ce serveur")
                                    .arg(QString::fromLatin1(head.header("host").left(100))), {}};
    if (head.webSocket) {
        // A page of another site may open a WebSocket here: its origin gives it away.
        const QByteArray origin = head.header("origin");
        if (!origin.isEmpty() && !hostAllowed(QUrl(QString::fromLatin1(origin)).authority().toLatin1()))
            return HttpRefusal{403, QStringLiteral("origine « %1 » refusée").arg(QString::fromLatin1(origin.left(100))), {}};
    }
    bool allowed = false;
    for (const auto &[name, value] : head.headers) {
        if (name == "authorization" && value.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0)
            allowed |= tokenMatches(value.mid(7).trimmed());
        if (name == "cookie")
            for (const QByteArray &cookie : value.split(';')) {
                const QByteArray pair = cookie.trimmed();
                if (pair.startsWith(QByteArray(CookieName) + '='))
                    allowed |= tokenMatches(pair.mid(qstrlen(CookieName) + 1));
            }
    }
    allowed |= queryHasToken(head.target);
    if (!allowed)
        return HttpRefusal{401, QStringLiteral("jeton absent ou faux"), {{"WWW-Authenticate", "Bearer"}}};
    return std::nullopt;
}

bool HttpAccess::queryHasToken(const QByteArray &target) const
{
    const std::optional<QByteArray> token = queryValue(target, "token");
    return token && tokenMatches(*token);
}

QByteArray HttpAccess::cookieHeader() const
{
    // A year: a phone keeps its remote until the token is renewed.
    return QByteArray(CookieName) + '=' + m_token + "; HttpOnly; SameSite=Strict; Path=/; Max-Age=31536000";
}

} // namespace zelvar
