#include "PseudoTerminal.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace zelvar::board {
namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1 : %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::open(QString *error)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        *error = systemError("posix_openpt");
        return nullptr;
    }
    const char *name = (grantpt(master) == 0 && unlockpt(master) == 0) ? ptsname(master) : nullptr;
    if (!name) {
        *error = systemError("ptsname");
        ::close(master);
        return nullptr;
    }
    const QString path = QFile::decodeName(name);
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        *error = systemError("open");
        ::close(master);
        return nullptr;
    }
    // A board sees bytes exactly as sent: no line editing, no echo, no translation.
    termios settings{};
    if (tcgetattr(slave, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(slave, TCSANOW, &settings);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(master, slave, path));
}

PseudoTerminal::PseudoTerminal(int master, int slave, QString slavePath)
    : m_master(master)
    , m_slave(slave)
    , m_slavePath(std::move(slavePath))
{
}

PseudoTerminal::~PseudoTerminal()
{
    ::close(m_slave);
    ::close(m_master);
}

} // namespace zelvar::board
