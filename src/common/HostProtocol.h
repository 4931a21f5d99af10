#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What Zelvar processes of one user say to each other on the instance socket (see
// SingleInstance). The host — the program or the service, whichever started first — listens;
// the others ask. Each request and each reply is one line of words separated by single
// spaces, ending with '\n', at most MaxLineLength bytes; the first word of a request is the
// protocol's version, so that a later version can tell an older peer apart.
//
//   zelvar1 hello               →  zelvar1 program|service <port> open|closed
//   zelvar1 restore             →  ok                      (the program brings its window back)
//   zelvar1 write <port> <hex>  →  ok <n>                  (n bytes left for the board)
//   anything else               →  error <errno> <texte>   (then the host hangs up)
//
// <port> is the absolute path of the device, percent-encoded ("-" for none); <hex> the
// bytes to write, two lowercase hexadecimal digits each, at most MaxWriteBytes of them. A
// write is made by the host through its own port only when <port> names the device that
// port holds. A failed request answers "error", with the system's error number and a French
// text; a connection may carry any number of hello and write lines, one at a time.
namespace zelvar::host {

inline constexpr char Version[] = "zelvar1";
inline constexpr int MaxLineLength = 1024;
inline constexpr int MaxWriteBytes = 256;

enum class Role { Program, Service };

struct Request
{
    enum class Kind { Hello, Restore, Write, Refused };
    Kind kind = Kind::Refused;
    QString port;    // Write
    QByteArray data; // Write
    int error = 0;   // Refused: errno and why, in French
    QString reason;
};

// `line` without its '\n'.
Request parseRequest(const QByteArray &line);

QByteArray helloRequest();
QByteArray restoreRequest();
QByteArray writeRequest(const QString &port, const QByteArray &data);

QByteArray helloReply(Role role, const QString &port, bool open);
QByteArray okReply(int count = -1);
QByteArray errorReply(int error, const QString &text);

struct Hello
{
    Role role = Role::Program;
    QString port; // empty for none
    bool open = false;
};
std::optional<Hello> parseHello(const QByteArray &line);

struct Reply
{
    bool ok = false;
    int count = -1; // ok <n>
    int error = 0;
    QString text;
};
// A line that is neither "ok" nor "error" reads as error EPROTO.
Reply parseReply(const QByteArray &line);

// "le programme" or "le service", for texts.
QString roleName(Role role);

// Whether two paths name one device (through links; character devices by their number).
bool sameDevice(const QString &a, const QString &b);

} // namespace zelvar::host
