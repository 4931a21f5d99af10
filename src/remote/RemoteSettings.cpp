#include "remote/RemoteSettings.h"

#include "common/AtomicFile.h"
#include "common/ProfileFile.h"
#include "common/RegularFile.h"
#include "common/SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QUrl>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar {

namespace {

const QString Http = QStringLiteral("HTTP");
const QString Mqtt = QStringLiteral("MQTT");
constexpr int TokenBytes = 16;

bool makePrivateFolder(QString *error)
{
    const QByteArray path = QFile::encodeName(RemoteFiles::folder());
    // A fresh account may have no configuration folder yet.
    QDir().mkpath(QFileInfo(RemoteFiles::folder()).path());
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = RemoteFiles::folder() + QStringLiteral(" : ") + systemErrorText(errno);
        return false;
    }
    return true;
}

// Writes `bytes` to `path`, readable and writable by the user alone.
bool writePrivateFile(const QString &path, const QByteArray &bytes, QString *error)
{
    if (!makePrivateFolder(error))
        return false;
    const QByteArray name = QFile::encodeName(path);
    // The atomic writer keeps the mode of the file it replaces: a new file starts private.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    if (!writeFileAtomically(path, bytes, error))
        return false;
    if (::chmod(name.constData(), 0600) != 0) {
        if (error)
            *error = path + QStringLiteral(" : ") + systemErrorText(errno);
        return false;
    }
    return true;
}

// A file of secrets that others can read (copied, or written by hand) is narrowed to the
// user alone before it is used.
void narrowIfShared(const QString &path, QStringList *narrowed)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 0077)
        && ::fchmod(fd, info.st_mode & 0700) == 0 && narrowed)
        *narrowed << QStringLiteral("%1 était lisible par d'autres utilisateurs (mode %2) : réservé à présent à "
                                    "l'utilisateur (mode %3)")
                         .arg(path, QString::number(info.st_mode & 0777, 8).rightJustified(4, u'0'),
                              QString::number(info.st_mode & 0700, 8).rightJustified(4, u'0'));
    ::close(fd);
}

QString cleaned(const QString &name)
{
    QString out;
    for (QChar c : name)
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_')
            out += c;
        else if (c == u'-' || c == u'.')
            out += u'_';
    return out;
}

} // namespace

bool listensEverywhere(const QHostAddress &address)
{
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6;
}

bool listensEverywhere(const QString &listenAddress)
{
    return listenAddress.trimmed().isEmpty() || listensEverywhere(QHostAddress(listenAddress.trimmed()));
}

namespace RemoteFiles {
QString folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/zelvar");
}
QString settingsPath()
{
    return folder() + QStringLiteral("/remote.ini");
}
QString tokenPath()
{
    return folder() + QStringLiteral("/remote-token");
}
} // namespace RemoteFiles

RemoteSettings readRemoteSettings(QString *error, QStringList *narrowed)
{
    narrowIfShared(RemoteFiles::settingsPath(), narrowed);
    narrowIfShared(RemoteFiles::tokenPath(), narrowed);
    RemoteSettings settings;
    const ProfileFile file = ProfileFile::load(RemoteFiles::settingsPath());
    if (file.unreadable()) {
        if (error)
            *error = RemoteFiles::settingsPath() + QStringLiteral(" : ") + file.readError();
        return settings;
    }
    const auto port = [&](const QString &section, quint16 def) {
        const int value = file.readInteger(section, QStringLiteral("Port"), def);
        return value >= 1 && value <= 65535 ? quint16(value) : def;
    };
    HttpSettings &http = settings.http;
    http.enabled = file.readBool(Http, QStringLiteral("Actif"), http.enabled);
    http.address = file.readString(Http, QStringLiteral("Adresse"), http.address).trimmed();
    http.port = port(Http, http.port);
    for (const QString &name : file.readString(Http, QStringLiteral("Noms"), {}).split(u',', Qt::SkipEmptyParts))
        http.extraHosts << name.trimmed();
    MqttSettings &mqtt = settings.mqtt;
    mqtt.enabled = file.readBool(Mqtt, QStringLiteral("Actif"), mqtt.enabled);
    mqtt.host = file.readString(Mqtt, QStringLiteral("Hote"), {}).trimmed();
    mqtt.port = port(Mqtt, mqtt.port);
    mqtt.user = file.readString(Mqtt, QStringLiteral("Utilisateur"), {});
    mqtt.password = file.readString(Mqtt, QStringLiteral("MotDePasse"), {});
    mqtt.caFile = file.readString(Mqtt, QStringLiteral("CA"), {});
    mqtt.node = cleanNodeName(file.readString(Mqtt, QStringLiteral("Noeud"), {}));
    return settings;
}

bool writeRemoteSettings(const RemoteSettings &settings, QString *error)
{
    ProfileFile file;
    file.writeBool(Http, QStringLiteral("Actif"), settings.http.enabled);
    file.writeString(Http, QStringLiteral("Adresse"), settings.http.address);
    file.writeInteger(Http, QStringLiteral("Port"), settings.http.port);
    file.writeString(Http, QStringLiteral("Noms"), settings.http.extraHosts.join(u','));
    file.writeBool(Mqtt, QStringLiteral("Actif"), settings.mqtt.enabled);
    file.writeString(Mqtt, QStringLiteral("Hote"), settings.mqtt.host);
    file.writeInteger(Mqtt, QStringLiteral("Port"), settings.mqtt.port);
    file.writeString(Mqtt, QStringLiteral("Utilisateur"), settings.mqtt.user);
    file.writeString(Mqtt, QStringLiteral("MotDePasse"), settings.mqtt.password);
    file.writeString(Mqtt, QStringLiteral("CA"), settings.mqtt.caFile);
    file.writeString(Mqtt, QStringLiteral("Noeud"), settings.mqtt.node);
    return writePrivateFile(RemoteFiles::settingsPath(), file.toBytes(), error);
}

QString unkeptRemoteText(const QString &field, const QString &value)
{
    for (QChar c : value)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("%1 : les caractères de contrôle ne sont pas admis.").arg(field);
    const QStringList outside = charactersOutsideWindows1252(value);
    if (!outside.isEmpty())
        return QStringLiteral("%1 : ces caractères ne peuvent pas être enregistrés : %2").arg(field, outside.join(u' '));
    if (value != value.trimmed())
        return QStringLiteral("%1 : les espaces au début et à la fin ne sont pas gardés.").arg(field);
    return {};
}

QString cleanNodeName(const QString &name)
{
    return cleaned(name.trimmed());
}

QString remoteUrl(const HttpSettings &http, quint16 listeningPort)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(listensEverywhere(http.address) ? QHostInfo::localHostName() : http.address.trimmed());
    url.setPort(listeningPort);
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

QString defaultNodeName()
{
    const QString node = cleaned(QHostInfo::localHostName().section(u'.', 0, 0));
    return node.isEmpty() ? QStringLiteral("zelvar") : node;
}

QByteArray newRemoteToken(QString *error)
{
    unsigned char bits[TokenBytes];
    size_t got = 0;
    while (got < sizeof bits) {
        const ssize_t n = ::getrandom(bits + got, sizeof bits - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = systemErrorText(errno);
            return {};
        }
        got += size_t(n);
    }
    const QByteArray token = QByteArray(reinterpret_cast<const char *>(bits), sizeof bits).toHex();
    if (!writePrivateFile(RemoteFiles::tokenPath(), token + '\n', error))
        return {};
    return token;
}

QByteArray remoteToken(QString *error, QStringList *narrowed)
{
    narrowIfShared(RemoteFiles::tokenPath(), narrowed);
    FileReadFailure failure;
    if (const std::optional<QByteArray> bytes = readRegularFile(RemoteFiles::tokenPath(), &failure)) {
        const QByteArray token = bytes->trimmed();
        bool hex = token.size() == 2 * TokenBytes;
        for (char c : token)
            hex = hex && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        if (hex)
            return token;
        // Anything else in the file was not written by us: a fresh token replaces it.
    } else if (!failure.missing) {
        if (error)
            *error = RemoteFiles::tokenPath() + QStringLiteral(" : ") + failure.reason;
        return {};
    }
    return newRemoteToken(error);
}

} // namespace zelvar
