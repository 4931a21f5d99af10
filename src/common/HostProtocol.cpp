#include "common/HostProtocol.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <sys/stat.h>

namespace zelvar::host {

namespace {

const QByteArray NoPort = QByteArrayLiteral("-");

QByteArray encodePort(const QString &port)
{
    return port.isEmpty() ? NoPort : QFile::encodeName(port).toPercentEncoding("/");
}

std::optional<QString> decodePort(const QByteArray &word)
{
    if (word == NoPort)
        return QString();
    const QByteArray bytes = QByteArray::fromPercentEncoding(word);
    if (bytes.isEmpty() || bytes.contains('\0'))
        return std::nullopt;
    return QFile::decodeName(bytes);
}

bool isLowerHex(const QByteArray &word)
{
    for (const char c : word)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return word.size() % 2 == 0;
}

Request refused(int error, const QString &reason)
{
    Request request;
    request.error = error;
    request.reason = reason;
    return request;
}

} // namespace

Request parseRequest(const QByteArray &line)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.first() != Version)
        return refused(EPROTO, QStringLiteral("version du protocole inconnue : « %1 » attendu").arg(Version));
    const QByteArray verb = words.value(1);
    Request request;
    if (verb == "hello" && words.size() == 2) {
        request.kind = Request::Kind::Hello;
    } else if (verb == "restore" && words.size() == 2) {
        request.kind = Request::Kind::Restore;
    } else if (verb == "write") {
        const std::optional<QString> port = decodePort(words.value(2));
        const QByteArray hex = words.value(3);
        if (words.size() != 4 || !port || port->isEmpty())
            return refused(EINVAL, QStringLiteral("requête mal formée, attendu : %1 write <port> <hex>").arg(Version));
        if (hex.isEmpty() || !isLowerHex(hex) || hex.size() > 2 * MaxWriteBytes)
            return refused(EINVAL, QStringLiteral("données invalides : de 1 à %1 octets en hexadécimal").arg(MaxWriteBytes));
        request.kind = Request::Kind::Write;
        request.port = *port;
        request.data = QByteArray::fromHex(hex);
    } else {
        return refused(EINVAL, QStringLiteral("requête inconnue (hello, restore ou write)"));
    }
    return request;
}

QByteArray helloRequest()
{
    return QByteArray(Version) + " hello\n";
}

QByteArray restoreRequest()
{
    return QByteArray(Version) + " restore\n";
}

QByteArray writeRequest(const QString &port, const QByteArray &data)
{
    return QByteArray(Version) + " write " + encodePort(port) + ' ' + data.toHex() + '\n';
}

QByteArray helloReply(Role role, const QString &port, bool open)
{
    return QByteArray(Version) + (role == Role::Service ? " service " : " program ") + encodePort(port)
           + (open ? " open\n" : " closed\n");
}

QByteArray okReply(int count)
{
    return count < 0 ? QByteArrayLiteral("ok\n") : "ok " + QByteArray::number(count) + '\n';
}

QByteArray errorReply(int error, const QString &text)
{
    // One line whatever the text holds, within the bound.
    QByteArray line = "error " + QByteArray::number(error) + ' ' + text.simplified().toUtf8();
    line.truncate(MaxLineLength - 1);
    return line + '\n';
}

std::optional<Hello> parseHello(const QByteArray &line)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 4 || words[0] != Version || (words[1] != "program" && words[1] != "service")
        || (words[3] != "open" && words[3] != "closed"))
        return std::nullopt;
    const std::optional<QString> port = decodePort(words[2]);
    if (!port)
        return std::nullopt;
    return Hello{words[1] == "service" ? Role::Service : Role::Program, *port, words[3] == "open"};
}

Reply parseReply(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    Reply reply;
    if (trimmed == "ok")
        return {true, -1, 0, QString()};
    if (trimmed.startsWith("ok ")) {
        bool number = false;
        reply.count = trimmed.mid(3).toInt(&number);
        reply.ok = number && reply.count >= 0;
    } else if (trimmed.startsWith("error ")) {
        const QByteArray rest = trimmed.mid(6);
        const qsizetype space = rest.indexOf(' ');
        bool number = false;
        reply.error = rest.left(space < 0 ? rest.size() : space).toInt(&number);
        reply.text = space < 0 ? QString() : QString::fromUtf8(rest.mid(space + 1));
        if (number && reply.error > 0)
            return reply;
    }
    if (!reply.ok) {
        reply.error = EPROTO;
        reply.text = QStringLiteral("réponse incomprise");
    }
    return reply;
}

QString roleName(Role role)
{
    return role == Role::Service ? QStringLiteral("le service") : QStringLiteral("le programme");
}

bool sameDevice(const QString &a, const QString &b)
{
    struct stat first = {};
    struct stat second = {};
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    if (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode))
        return first.st_rdev == second.st_rdev;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace zelvar::host
