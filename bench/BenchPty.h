#pragma once

#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A pseudo-terminal standing for the board: programs open the slave, the bench reads the master.
struct Pty
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString slave;
    Pty()
    {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() { ::close(master); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
};
