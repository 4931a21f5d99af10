#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QHostAddress;

namespace zelvar {

// The web remote's server: off until the user switches it on.
struct HttpSettings
{
    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1"); // "0.0.0.0" or "::" for every address
    quint16 port = 8765;
    QStringList extraHosts; // names the server answers to beyond its own (a reverse proxy's)
    bool operator==(const HttpSettings &) const = default;
};

// The home-automation broker: off until the user switches it on.
struct MqttSettings
{
    bool enabled = false;
    QString host;
    quint16 port = 1883;
    QString user;
    QString password;
    QString caFile; // a CA file switches TLS on
    QString node;   // empty: defaultNodeName()
    bool operator==(const MqttSettings &) const = default;
};

struct RemoteSettings
{
    HttpSettings http;
    MqttSettings mqtt;
    bool operator==(const RemoteSettings &) const = default;
};

// Whether a listening address stands for every address of the machine ("0.0.0.0", "::";
// an empty text too).
bool listensEverywhere(const QHostAddress &address);
bool listensEverywhere(const QString &listenAddress);

// The web remote's address for other machines (without its token): the machine's name
// when the server listens everywhere, else the address it listens on.
QString remoteUrl(const HttpSettings &http, quint16 listeningPort);

// The remote interfaces keep their settings and their token apart from the panel's files,
// in the user's configuration folder (XDG_CONFIG_HOME, else ~/.config) under "zelvar",
// readable by the user alone: a password and a token have no place in a working directory
// that may be shared or copied.
namespace RemoteFiles {
QString folder();
QString settingsPath(); // remote.ini
QString tokenPath();    // remote-token
} // namespace RemoteFiles

// A missing file reads as the defaults; one that cannot be read gives *error and the defaults.
// Found readable by others, remote.ini and remote-token are first narrowed to the user alone,
// and *narrowed gets a line for the journal.
RemoteSettings readRemoteSettings(QString *error = nullptr, QStringList *narrowed = nullptr);
// Why remote.ini could not give back `value` as typed, naming `field`: control characters,
// characters outside Windows-1252, blanks at either end (values are read trimmed). Empty
// when it can.
QString unkeptRemoteText(const QString &field, const QString &value);
// Written atomically with mode 0600, the folder created with mode 0700 when missing.
bool writeRemoteSettings(const RemoteSettings &settings, QString *error = nullptr);

// The host name reduced to letters, digits and "_" ("zelvar" when nothing is left).
QString defaultNodeName();
// A node name as the user typed it, reduced the same way; empty stays empty.
QString cleanNodeName(const QString &name);

// The token every request must carry: 128 random bits as 32 lowercase hexadecimal digits.
// Read from its file, or created there (mode 0600) on first use. Empty with *error when it
// can be neither read nor created.
QByteArray remoteToken(QString *error = nullptr, QStringList *narrowed = nullptr);
// Replaces the token by a new one; the old one stops working at the next request.
QByteArray newRemoteToken(QString *error = nullptr);

} // namespace zelvar
