#include "devices/SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace zelvar {
namespace {

QString readLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

// Maker and product of the USB device above a tty's device node in sysfs.
QString sysfsDescription(const QString &sysRoot, const QString &deviceLink)
{
    QString dir = QFileInfo(deviceLink).canonicalFilePath();
    for (int level = 0; level < 4 && !dir.isEmpty() && dir.startsWith(sysRoot); ++level) {
        const QString product = readLine(dir + QStringLiteral("/product"));
        if (!product.isEmpty()) {
            const QString maker = readLine(dir + QStringLiteral("/manufacturer"));
            return maker.isEmpty() ? product : maker + u' ' + product;
        }
        dir = QFileInfo(dir).path();
    }
    return {};
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" → "FTDI FT232R USB UART A50285BI".
QString describeStableName(QString name)
{
    static const QRegularExpression interfaceSuffix(QStringLiteral("-if[0-9]+(-port[0-9]+)?$"));
    name.remove(interfaceSuffix);
    if (name.startsWith(QLatin1String("usb-")))
        name.remove(0, 4);
    return name.replace(u'_', u' ');
}

} // namespace

QList<SerialDeviceInfo> listSerialDevices(const QString &root)
{
    const QDir base(root);
    const QString sysRoot = QFileInfo(base.filePath(QStringLiteral("sys"))).canonicalFilePath();
    const QString ttyClass = base.filePath(QStringLiteral("sys/class/tty"));
    const QString devDir = base.filePath(QStringLiteral("dev"));

    const QStringList consoles = readLine(ttyClass + QStringLiteral("/console/active"))
                                     .split(u' ', Qt::SkipEmptyParts);

    QHash<QString, QString> stableNames;
    const QDir byId(devDir + QStringLiteral("/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::Files | QDir::System, QDir::Name)) {
        if (!link.isSymLink())
            continue;
        const QString tty = QFileInfo(link.symLinkTarget()).fileName();
        if (!stableNames.contains(tty))
            stableNames.insert(tty, QStringLiteral("/dev/serial/by-id/") + link.fileName());
    }

    static const QRegularExpression ttyName(QStringLiteral("^(ttyS|ttyUSB|ttyACM)([0-9]+)$"));
    struct Found
    {
        int kind;
        int number;
        SerialDeviceInfo info;
    };
    QList<Found> found;
    for (const QString &name : QDir(ttyClass).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = ttyName.match(name);
        if (!match.hasMatch() || !QFileInfo::exists(devDir + u'/' + name))
            continue;
        const QString kindName = match.captured(1);
        const int number = match.captured(2).toInt();
        const int kind = kindName == QLatin1String("ttyS") ? 0 : kindName == QLatin1String("ttyUSB") ? 1 : 2;
        const QString sysDir = ttyClass + u'/' + name;
        SerialDeviceInfo info;
        info.path = QStringLiteral("/dev/") + name;
        if (kind == 0) {
            // Every possible 8250 port has a node; only those with a known UART type exist.
            if (readLine(sysDir + QStringLiteral("/type")).toInt() <= 0 || consoles.contains(name))
                continue;
            info.portName = QStringLiteral("COM%1").arg(number + 1);
        }
        info.stablePath = stableNames.value(name);
        info.description = sysfsDescription(sysRoot, sysDir + QStringLiteral("/device"));
        if (info.description.isEmpty() && !info.stablePath.isEmpty())
            info.description = describeStableName(QFileInfo(info.stablePath).fileName());
        if (info.portName.isEmpty())
            info.portName = info.stablePath.isEmpty() ? info.path : info.stablePath;
        found.append({kind, number, info});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
    });
    QList<SerialDeviceInfo> devices;
    for (const Found &f : found)
        devices.append(f.info);
    return devices;
}

} // namespace zelvar
