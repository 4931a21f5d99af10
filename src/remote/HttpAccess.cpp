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

QString shownHeader(const QByteArray &value)
{
    return QString::fromLatin1(value.left(100));
}

} // namespace

std::optional<HttpAccess::Authority> HttpAccess::authority(const QString &host)
{
    QString name = host;
    QString port;
    if (name.startsWith(u'[')) {
        const qsizetype close = name.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        port = name.mid(close + 1);
        name = name.mid(1, close - 1);
        if (!port.isEmpty() && !port.startsWith(u':'))
            return std::nullopt;
        port = port.mid(1);
    } else if (name.count(u':') == 1) {
        port = name.section(u':', 1);
        name = name.section(u':', 0, 0);
        if (port.isEmpty())
            return std::nullopt;
    }
    for (QChar c : port)
        if (!c.isDigit())
            return std::nullopt;
    QHostAddress address;
    if (address.setAddress(name))
        return Authority{addressText(address), port};
    if (name.endsWith(u'.'))
        name.chop(1);
    if (name.isEmpty())
        return std::nullopt;
    return Authority{name.toLower(), port};
}

QString HttpAccess::normalHost(const QString &host)
{
    const std::optional<Authority> parts = authority(host);
    return parts ? parts->name : QString();
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
    m_proxyNames.clear();
    for (const QString &extra : extraHosts)
        if (!normalHost(extra.trimmed()).isEmpty())
            m_proxyNames << normalHost(extra.trimmed());
    m_hosts += m_proxyNames;
}

void HttpAccess::setToken(const QByteArray &token)
{
    m_token = token;
    // A ticket stands for the token it was issued with.
    m_tickets.clear();
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

std::optional<HttpRefusal> HttpAccess::check(const RequestHead &head, bool open)
{
    if (!hostAllowed(head.header("host")))
        return HttpRefusal{421, QStringLiteral("nom d'hôte « %1 » inconnu de ce serveur").arg(shownHeader(head.header("host"))), {}};
    if (open)
        return std::nullopt;
    if (auto refused = foreignPage(head))
        return refused;
    bool allowed = false;
    for (const auto &[name, value] : head.headers)
        if (name == "authorization" && value.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0)
            allowed |= tokenMatches(value.mid(7).trimmed());
    if (!allowed && head.webSocket) {
        const std::optional<QByteArray> ticket = queryValue(head.target, "ticket");
        allowed = ticket && !m_token.isEmpty() && m_tickets.take(*ticket);
    }
    if (!allowed)
        return HttpRefusal{401, QStringLiteral("jeton absent ou faux"), {{"WWW-Authenticate", "Bearer"}}};
    return std::nullopt;
}

// What a browser says of where a request comes from. A page of another port of this host is
// the same site but not the same origin: it may neither act nor listen here. Clients that
// are not browsers send neither header.
std::optional<HttpRefusal> HttpAccess::foreignPage(const RequestHead &head) const
{
    const QByteArray site = head.header("sec-fetch-site");
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return HttpRefusal{403, QStringLiteral("requête d'une autre page refusée (Sec-Fetch-Site : %1)").arg(shownHeader(site)), {}};
    const QByteArray origin = head.header("origin");
    if (!origin.isEmpty() && !ownOrigin(origin, head.header("host")))
        return HttpRefusal{403, QStringLiteral("origine « %1 » refusée : seule la page de la télécommande peut agir ici")
                                    .arg(shownHeader(origin)), {}};
    return std::nullopt;
}

// The origin of the page the request names in its Host: the same name and the same port as
// written. The server speaks plain HTTP; only a proxy of the user's names may add TLS.
bool HttpAccess::ownOrigin(const QByteArray &origin, const QByteArray &host) const
{
    const QUrl url(QString::fromLatin1(origin), QUrl::StrictMode);
    if (!url.isValid() || !url.path().isEmpty() || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return false;
    const std::optional<Authority> page = authority(url.authority());
    const std::optional<Authority> own = authority(QString::fromLatin1(host));
    if (!page || !own || page->name != own->name || page->port != own->port)
        return false;
    return url.scheme() == QLatin1String("http") || (url.scheme() == QLatin1String("https") && m_proxyNames.contains(own->name));
}

QByteArray HttpAccess::oldCookieRemoval(const QByteArray &cookies)
{
    for (const QByteArray &cookie : cookies.split(';'))
        if (cookie.trimmed().startsWith(QByteArray(OldCookieName) + '='))
            return QByteArray(OldCookieName) + "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0";
    return {};
}

} // namespace zelvar
