#include "settings/RemoteAddress.h"

#include <QNetworkInterface>

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace zelvar {

namespace {

constexpr int QuietZone = 4;

bool privateUse(const QHostAddress &address)
{
    for (const char *range : {"10.0.0.0/8", "172.16.0.0/12", "192.168.0.0/16"})
        if (address.isInSubnet(QHostAddress::parseSubnet(QLatin1String(range))))
            return true;
    return false;
}

// Where a phone of the same network most likely reaches the machine: a private IPv4
// address, then any IPv4, then IPv6.
int rank(const QHostAddress &address)
{
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    if (v4 && privateUse(address))
        return 0;
    if (v4)
        return 1;
    return address.isLinkLocal() ? 3 : 2;
}

} // namespace

QString remotePageUrl(const QString &listenAddress, quint16 port, const QByteArray &token,
                      const QList<QHostAddress> &machine)
{
    QHostAddress host(listenAddress.trimmed());
    if (listensEverywhere(listenAddress))
        host = machine.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : machine.first();
    QString name = host.toString();
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        // A link-local address's zone cannot travel in a URL a phone opens.
        name = QStringLiteral("[%1]").arg(name.section(u'%', 0, 0));
    }
    return QStringLiteral("http://%1:%2/?token=%3").arg(name).arg(port).arg(QString::fromLatin1(token));
}

QList<QHostAddress> machineAddresses()
{
    QList<QHostAddress> addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || !flags.testFlag(QNetworkInterface::IsRunning)
            || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            if (!entry.ip().isLoopback())
                addresses << entry.ip();
    }
    std::stable_sort(addresses.begin(), addresses.end(),
                     [](const QHostAddress &a, const QHostAddress &b) { return rank(a) < rank(b); });
    return addresses;
}

QImage qrCodeImage(const QByteArray &text)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    const int size = code->width + 2 * QuietZone;
    QImage image(size, size, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    for (int y = 0; y < code->width; ++y) {
        uchar *line = image.scanLine(y + QuietZone) + QuietZone;
        for (int x = 0; x < code->width; ++x)
            if (code->data[y * code->width + x] & 1) // bit 0: a dark module
                line[x] = 0;
    }
    return image;
}

} // namespace zelvar
