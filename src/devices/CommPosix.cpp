#include "devices/CommForward.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

// termios2 (any speed) comes from the kernel headers, which clash with <termios.h>:
// this file speaks to the terminal through ioctl only.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace zelvar::comm {
namespace {

using Clock = std::chrono::steady_clock;

// How often line changes are looked at while events of the lines are watched: the
// kernel offers no wait on them that poll() can join.
constexpr int LinePollMs = 50;
constexpr uint32_t LineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;
// Before any queue size is set.
constexpr uint32_t DefaultInputSize = 4096;

bool linesUnsupported(int error)
{
    return error == ENOTTY || error == EINVAL;
}

struct SpeedCode
{
    uint32_t rate;
    unsigned code;
};
constexpr SpeedCode StandardSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000},
};

} // namespace

QString devicePath(const QString &portName)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (portName.contains(u'/'))
        return portName;
    const QRegularExpressionMatch match = comName.match(portName);
    if (match.hasMatch())
        return QStringLiteral("/dev/ttyS%1").arg(match.captured(1).toInt() - 1);
    return QStringLiteral("/dev/") + portName;
}

QString accessHint(const QString &path, int error)
{
    if (error != EACCES)
        return {};
    DeviceAccess access;
    access.path = path;
    access.account = QString::number(::geteuid());
    if (const struct passwd *pw = ::getpwuid(::geteuid()))
        access.account = QString::fromLocal8Bit(pw->pw_name);
    struct stat st{};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        access.known = true;
        access.mode = st.st_mode & 07777;
        access.groupId = st.st_gid;
        access.owner = QString::number(st.st_uid);
        if (const struct passwd *pw = ::getpwuid(st.st_uid))
            access.owner = QString::fromLocal8Bit(pw->pw_name);
        access.group = QString::number(st.st_gid);
        if (const struct group *g = ::getgrgid(st.st_gid))
            access.group = QString::fromLocal8Bit(g->gr_name);
        // Rules match the kernel's name, not a symbolic link such as /dev/serial/by-id/….
        access.kernelName = QFileInfo(path).canonicalFilePath().section(u'/', -1);
    }
    return accessHint(access);
}

QString accessHint(const DeviceAccess &access)
{
    const QString denied = QStringLiteral("Le compte « %1 » n’a pas accès à %2").arg(access.account, access.path);
    // A group is worth joining only when it may read and write the device; joining root
    // would hand the account the whole machine.
    const bool groupGrants = (access.mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (access.known && groupGrants && access.groupId != 0)
        return denied
               + QStringLiteral(" : il doit appartenir au groupe « %1 », qui peut lire et écrire le "
                                "périphérique. Ajoutez-le avec « sudo usermod -aG %1 %2 », puis fermez la "
                                "session et rouvrez-la.")
                     .arg(access.group, access.account);
    QString hint = denied;
    if (access.known)
        hint += QStringLiteral(" (propriétaire %1:%2, droits %3) : aucun groupe autre que root n’a la lecture "
                               "et l’écriture.")
                    .arg(access.owner, access.group, QString::number(access.mode, 8).rightJustified(4, u'0'));
    else
        hint += u'.';
    const QString kernelName = access.kernelName.isEmpty() ? QStringLiteral("NOM") : access.kernelName;
    return hint
           + QStringLiteral(" Pour lui donner l’accès, créez une règle udev, par exemple le fichier "
                            "/etc/udev/rules.d/99-zelvar.rules contenant la ligne "
                            "KERNEL==\"%1\", OWNER=\"%2\", MODE=\"0600\", puis lancez « sudo udevadm "
                            "control --reload-rules && sudo udevadm trigger ».")
                 .arg(kernelName, access.account);
}

uint64_t writeLimitMs(const CommTimeouts &timeouts, uint32_t size, uint32_t baudRate, uint32_t bitsPerChar)
{
    uint64_t limit = uint64_t(timeouts.WriteTotalTimeoutMultiplier) * size + timeouts.WriteTotalTimeoutConstant;
    // Without a total timeout of its own a write still ends: it gets the usual limit.
    if (limit == 0)
        limit = 100ull * size + 1000;
    // The per-character allowance suits a few characters; for long texts the line's own
    // pace, with room to spare, is the better measure of a write that cannot finish.
    const uint64_t baud = std::max<uint32_t>(baudRate, 1);
    const uint64_t lineMs = (uint64_t(size) * bitsPerChar * 1000 + baud - 1) / baud;
    return std::min(limit, 3000 + 2 * lineMs);
}

StopEvent::StopEvent()
{
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ < 0)
        error_ = errno;
}

StopEvent::~StopEvent()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void StopEvent::set()
{
    // Never read back: the event stays readable, hence set, from now on.
    const uint64_t one = 1;
    if (fd_ >= 0 && ::write(fd_, &one, sizeof one) < 0)
        error_ = errno;
}

// The device itself, opened for this process alone.
class PosixDevice final : public CommDevice
{
public:
    struct Impl;
    explicit PosixDevice(std::unique_ptr<Impl> impl);
    ~PosixDevice() override;

    int setupComm(uint32_t inputSize, uint32_t outputSize) override;
    int setCommState(const ControlBlock &dcb) override;
    int setCommTimeouts(const CommTimeouts &timeouts) override;
    int setCommMask(uint32_t mask) override;
    int waitCommEvent(uint32_t &fired, const StopEvent &stop) override;
    int writeFile(const char *data, uint32_t size, uint32_t &written) override;
    int readFile(char *data, uint32_t size, uint32_t &read) override;
    int purgeComm(uint32_t flags) override;
    int getCommModemStatus(uint32_t &status) override;
    int clearCommError(uint32_t &errors, ComStat *stat) override;

private:
    std::unique_ptr<Impl> d;
};

struct PosixDevice::Impl
{
    int fd = -1;
    int wakeFd = -1; // tells the waiter that a write completed or the mask changed

    bool linesSupported = false;
    bool icountSupported = false;
    bool lsrSupported = true;
    // A pseudo-terminal has no transmit queue of its own: what a write handed over already
    // sits on the other side, where flushing "our" output would discard it unread.
    bool pseudoTerminal = false;
    uint32_t lastLines = 0;
    serial_icounter_struct lastCount{};

    // Guarded by mutex: the event thread and the owning thread both reach them.
    std::mutex mutex;
    uint32_t mask = 0;
    uint32_t pending = 0;
    uint32_t errors = 0;
    bool hungUp = false;
    QByteArray inputQueue;
    uint32_t inputSize = DefaultInputSize;
    CommTimeouts timeouts;
    char eventChar = 0;
    bool discardNull = false;
    bool rtsToggle = false;
    uint32_t baudRate = 9600;
    uint32_t bitsPerChar = 10;

    ~Impl()
    {
        if (fd >= 0) {
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);
        }
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    void wake()
    {
        // An eventfd only refuses when its counter is full, and then it is readable anyway.
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    void drainWake()
    {
        uint64_t value;
        while (::read(wakeFd, &value, sizeof value) > 0) {
        }
    }

    void raise(uint32_t events) { pending |= events & mask; }

    void hangUp()
    {
        if (hungUp)
            return;
        hungUp = true;
        errors |= CE_IOE;
        raise(EV_ERR);
    }

    // Moves what the driver holds into the input queue, as the device's own queue would
    // fill; beyond the queue size bytes are lost and reported. Called with mutex held.
    void fillQueue()
    {
        if (hungUp)
            return;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            if (n <= 0) {
                hangUp();
                return;
            }
            const uint32_t before = uint32_t(inputQueue.size());
            uint32_t added = 0;
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buffer[i];
                if (discardNull && c == 0)
                    continue;
                if (c == eventChar)
                    raise(EV_RXFLAG);
                if (uint32_t(inputQueue.size()) >= inputSize) {
                    errors |= CE_RXOVER;
                    raise(EV_ERR);
                    continue;
                }
                inputQueue.append(c);
                ++added;
            }
            if (added > 0)
                raise(EV_RXCHAR);
            const uint32_t fullMark = inputSize - inputSize / 5;
            if (before < fullMark && uint32_t(inputQueue.size()) >= fullMark)
                raise(EV_RX80FULL);
        }
    }

    // Compares the lines and the driver's counters with what was seen last. Called with
    // mutex held.
    void checkLines()
    {
        if (linesSupported) {
            int bits = 0;
            if (::ioctl(fd, TIOCMGET, &bits) == 0) {
                const uint32_t lines = uint32_t(bits);
                const uint32_t changed = lines ^ lastLines;
                if (changed & TIOCM_CTS)
                    raise(EV_CTS);
                if (changed & TIOCM_DSR)
                    raise(EV_DSR);
                if (changed & TIOCM_CD)
                    raise(EV_RLSD);
                lastLines = lines;
            }
        }
        if (icountSupported) {
            serial_icounter_struct count{};
            if (::ioctl(fd, TIOCGICOUNT, &count) == 0) {
                uint32_t newErrors = 0;
                if (count.frame != lastCount.frame)
                    newErrors |= CE_FRAME;
                if (count.parity != lastCount.parity)
                    newErrors |= CE_RXPARITY;
                if (count.overrun != lastCount.overrun)
                    newErrors |= CE_OVERRUN;
                if (count.buf_overrun != lastCount.buf_overrun)
                    newErrors |= CE_RXOVER;
                if (count.brk != lastCount.brk) {
                    newErrors |= CE_BREAK;
                    raise(EV_BREAK);
                }
                if (count.rng != lastCount.rng)
                    raise(EV_RING);
                if (count.cts != lastCount.cts)
                    raise(EV_CTS);
                if (count.dsr != lastCount.dsr)
                    raise(EV_DSR);
                if (count.dcd != lastCount.dcd)
                    raise(EV_RLSD);
                if (newErrors) {
                    errors |= newErrors;
                    raise(EV_ERR);
                }
                lastCount = count;
            }
        }
    }

    // Bytes still waiting in the driver's output queue, or -1 with errno set.
    int outputQueued()
    {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
            return linesUnsupported(errno) ? 0 : -1;
        if (queued == 0 && lsrSupported) {
            // The queue may be empty while the transmitter still shifts out the last byte.
            int lsr = 0;
            if (::ioctl(fd, TIOCSERGETLSR, &lsr) != 0)
                lsrSupported = false;
            else if (!(lsr & TIOCSER_TEMT))
                return 1;
        }
        return queued;
    }

    // Whether the driver can tell, and tells, that nothing waits to be sent.
    bool outputQueueEmpty()
    {
        int queued = 0;
        return ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued == 0;
    }

    void setRts(bool on)
    {
        int bits = TIOCM_RTS;
        ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
    }
};

PosixDevice::PosixDevice(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
PosixDevice::~PosixDevice() = default;

std::unique_ptr<CommDevice> openOwnDevice(const QString &path, int &error)
{
    auto impl = std::make_unique<PosixDevice::Impl>();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        error = ENOTTY;
        return nullptr;
    }
    // The lock first: it is what keeps root out too, and a failed attempt must not touch
    // the exclusive mode the current holder has set.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    impl->fd = fd;
    struct stat info;
    // Unix98 pseudo-terminal slaves have the major numbers 136 to 143.
    impl->pseudoTerminal = ::fstat(fd, &info) == 0 && major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
    impl->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl->wakeFd < 0) {
        error = errno;
        return nullptr;
    }
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) == 0) {
        impl->linesSupported = true;
        impl->lastLines = uint32_t(bits);
    }
    impl->icountSupported = ::ioctl(fd, TIOCGICOUNT, &impl->lastCount) == 0;
    error = 0;
    return std::make_unique<PosixDevice>(std::move(impl));
}

int PosixDevice::setupComm(uint32_t inputSize, uint32_t outputSize)
{
    // The kernel's queues have fixed sizes; the input size bounds our own input queue.
    if (inputSize == 0 || outputSize == 0)
        return EINVAL;
    std::lock_guard lock(d->mutex);
    d->inputSize = inputSize;
    if (uint32_t(d->inputQueue.size()) > inputSize)
        d->inputQueue.truncate(int(inputSize));
    return 0;
}

int PosixDevice::setCommState(const ControlBlock &dcb)
{
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > ControlBlock::SpaceParity
        || dcb.StopBits > ControlBlock::TwoStopBits || dcb.BaudRate == 0)
        return EINVAL;

    termios2 t{};
    if (::ioctl(d->fd, TCGETS2, &t) != 0)
        return errno;

    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF
                           | IXANY | INPCK | IGNPAR | IMAXBEL | IUCLC);
    if (dcb.Flags & ControlBlock::fParity)
        t.c_iflag |= INPCK;
    if (dcb.Flags & ControlBlock::fOutX)
        t.c_iflag |= IXON;
    if (dcb.Flags & ControlBlock::fInX)
        t.c_iflag |= IXOFF;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);

    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    t.c_cflag |= CREAD | CLOCAL;
    static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= Sizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case ControlBlock::OddParity: t.c_cflag |= PARENB | PARODD; break;
    case ControlBlock::EvenParity: t.c_cflag |= PARENB; break;
    case ControlBlock::MarkParity: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case ControlBlock::SpaceParity: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    // One and a half stop bits exist with five data bits only, where CSTOPB gives them.
    if (dcb.StopBits != ControlBlock::OneStopBit)
        t.c_cflag |= CSTOPB;
    const uint32_t rtsControl = dcb.Flags & ControlBlock::RtsControlMask;
    if ((dcb.Flags & ControlBlock::fOutxCtsFlow) || rtsControl == ControlBlock::RtsControlHandshake)
        t.c_cflag |= CRTSCTS;

    const auto standard = std::find_if(std::begin(StandardSpeeds), std::end(StandardSpeeds),
                                       [&](const SpeedCode &s) { return s.rate == dcb.BaudRate; });
    t.c_cflag |= standard != std::end(StandardSpeeds) ? standard->code : BOTHER;
    t.c_ispeed = t.c_ospeed = dcb.BaudRate;

    t.c_cc[VSTART] = cc_t(dcb.XonChar);
    t.c_cc[VSTOP] = cc_t(dcb.XoffChar);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    if (::ioctl(d->fd, TCSETS2, &t) != 0)
        return errno;
    // A driver that cannot come near a custom speed refuses it.
    termios2 now{};
    if (::ioctl(d->fd, TCGETS2, &now) == 0 && (now.c_cflag & CBAUD) == BOTHER
        && std::abs(double(now.c_ospeed) - dcb.BaudRate) > 0.03 * dcb.BaudRate)
        return EINVAL;

    if (d->linesSupported) {
        const uint32_t dtrControl = dcb.Flags & ControlBlock::DtrControlMask;
        int dtr = TIOCM_DTR;
        if (::ioctl(d->fd, dtrControl == 0 ? TIOCMBIC : TIOCMBIS, &dtr) != 0 && !linesUnsupported(errno))
            return errno;
        int rts = TIOCM_RTS;
        const bool rtsOn = rtsControl == ControlBlock::RtsControlEnable
                           || rtsControl == ControlBlock::RtsControlHandshake;
        if (::ioctl(d->fd, rtsOn ? TIOCMBIS : TIOCMBIC, &rts) != 0 && !linesUnsupported(errno))
            return errno;
    }

    std::lock_guard lock(d->mutex);
    d->eventChar = dcb.EvtChar;
    d->discardNull = dcb.Flags & ControlBlock::fNull;
    d->rtsToggle = rtsControl == ControlBlock::RtsControlToggle;
    d->baudRate = dcb.BaudRate;
    d->bitsPerChar = 1 + dcb.ByteSize + (dcb.Parity != ControlBlock::NoParity ? 1 : 0)
                     + (dcb.StopBits == ControlBlock::OneStopBit ? 1 : 2);
    return 0;
}

int PosixDevice::setCommTimeouts(const CommTimeouts &timeouts)
{
    std::lock_guard lock(d->mutex);
    d->timeouts = timeouts;
    return 0;
}

int PosixDevice::setCommMask(uint32_t mask)
{
    {
        std::lock_guard lock(d->mutex);
        d->mask = mask;
        d->pending &= mask;
    }
    d->wake();
    return 0;
}

int PosixDevice::waitCommEvent(uint32_t &fired, const StopEvent &stop)
{
    fired = 0;
    for (;;) {
        bool ready;
        bool watchDevice;
        bool watchLines;
        {
            std::lock_guard lock(d->mutex);
            // Nothing will ever come from a device that hung up: the waiter learns it is gone.
            if (d->hungUp && d->pending == 0)
                return EIO;
            ready = d->pending != 0;
            watchDevice = !d->hungUp;
            watchLines = !d->hungUp && (d->linesSupported || d->icountSupported) && (d->mask & LineEvents);
        }
        pollfd fds[3] = {{stop.handle(), POLLIN, 0}, {d->wakeFd, POLLIN, 0}, {d->fd, POLLIN, 0}};
        const int timeout = ready ? 0 : watchLines ? LinePollMs : -1;
        const int n = ::poll(fds, watchDevice ? 3 : 2, timeout);
        if (n < 0 && errno != EINTR)
            return errno;
        // The stop comes first, whatever else is ready.
        if (fds[0].revents)
            return ECANCELED;
        if (fds[1].revents)
            d->drainWake();

        std::lock_guard lock(d->mutex);
        if (watchDevice && fds[2].revents) {
            d->fillQueue();
            if ((fds[2].revents & (POLLHUP | POLLERR)) && !(fds[2].revents & POLLIN))
                d->hangUp();
        }
        if (watchLines)
            d->checkLines();
        if (d->pending) {
            fired = d->pending;
            d->pending = 0;
            return 0;
        }
    }
}

int PosixDevice::writeFile(const char *data, uint32_t size, uint32_t &written)
{
    written = 0;
    if (size == 0)
        return 0;

    uint64_t limitMs;
    bool rtsToggle;
    uint32_t baudRate;
    uint32_t bitsPerChar;
    {
        std::lock_guard lock(d->mutex);
        rtsToggle = d->rtsToggle;
        baudRate = d->baudRate;
        bitsPerChar = d->bitsPerChar;
        limitMs = writeLimitMs(d->timeouts, size, baudRate, bitsPerChar);
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    const auto remainingMs = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        return left.count() <= 0 ? 0 : int((left.count() + 999) / 1000);
    };
    // Earlier writes returned only once their bytes had left, so an output queue found empty
    // now holds nothing but this write's bytes later. A pseudo-terminal's "queue" is what
    // the other side has not read yet: earlier commands reported as sent, never ours to drop.
    const bool queueOnlyOurs = !d->pseudoTerminal && d->outputQueueEmpty();
    const auto timedOut = [&] {
        // What of this write has not left is dropped where that touches nothing else, so a
        // command reported as failed does not reach the line later on.
        if (queueOnlyOurs)
            ::ioctl(d->fd, TCFLSH, TCOFLUSH);
        if (rtsToggle)
            d->setRts(false);
        return ETIMEDOUT;
    };

    if (rtsToggle)
        d->setRts(true);
    uint32_t offset = 0;
    while (offset < size) {
        const ssize_t n = ::write(d->fd, data + offset, size - offset);
        if (n > 0) {
            offset += uint32_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int left = remainingMs();
            if (left == 0) {
                written = offset;
                return timedOut();
            }
            pollfd p{d->fd, POLLOUT, 0};
            ::poll(&p, 1, left);
            continue;
        }
        return n < 0 ? errno : EIO;
    }
    written = offset;

    for (;;) {
        const int queued = d->outputQueued();
        if (queued < 0)
            return errno;
        if (queued == 0)
            break;
        if (remainingMs() == 0)
            return timedOut();
        // Sleep about as long as the line needs for what is left, within sensible bounds.
        const double lineUs = double(queued) * bitsPerChar * 1e6 / std::max<uint32_t>(baudRate, 1);
        const auto nap = std::chrono::microseconds(std::clamp<int64_t>(int64_t(lineUs), 100, 10000));
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
            nap, std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now())));
    }
    if (rtsToggle)
        d->setRts(false);

    {
        std::lock_guard lock(d->mutex);
        d->raise(EV_TXEMPTY);
    }
    d->wake();
    return 0;
}

int PosixDevice::readFile(char *data, uint32_t size, uint32_t &read)
{
    std::lock_guard lock(d->mutex);
    d->fillQueue();
    read = std::min<uint32_t>(size, uint32_t(d->inputQueue.size()));
    std::copy_n(d->inputQueue.constData(), read, data);
    d->inputQueue.remove(0, int(read));
    return 0;
}

int PosixDevice::purgeComm(uint32_t flags)
{
    // Writes complete before they return and reads take from the queue without waiting,
    // so there is never a transfer in flight to abort.
    if ((flags & PURGE_TXCLEAR) && !d->pseudoTerminal && ::ioctl(d->fd, TCFLSH, TCOFLUSH) != 0 && errno != EIO)
        return errno;
    if (flags & PURGE_RXCLEAR) {
        if (::ioctl(d->fd, TCFLSH, TCIFLUSH) != 0 && errno != EIO)
            return errno;
        std::lock_guard lock(d->mutex);
        d->inputQueue.clear();
    }
    return 0;
}

int PosixDevice::getCommModemStatus(uint32_t &status)
{
    status = 0;
    if (!d->linesSupported)
        return 0;
    int bits = 0;
    if (::ioctl(d->fd, TIOCMGET, &bits) != 0)
        return linesUnsupported(errno) ? 0 : errno;
    if (bits & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (bits & TIOCM_RI)
        status |= MS_RING_ON;
    if (bits & TIOCM_CD)
        status |= MS_RLSD_ON;
    return 0;
}

int PosixDevice::clearCommError(uint32_t &errors, ComStat *stat)
{
    int waiting = 0;
    if (stat && ::ioctl(d->fd, FIONREAD, &waiting) != 0)
        waiting = 0;
    int queued = 0;
    if (stat && ::ioctl(d->fd, TIOCOUTQ, &queued) != 0)
        queued = 0;
    std::lock_guard lock(d->mutex);
    errors = d->errors;
    d->errors = 0;
    if (stat) {
        stat->cbInQue = uint32_t(d->inputQueue.size()) + uint32_t(std::max(waiting, 0));
        stat->cbOutQue = uint32_t(std::max(queued, 0));
    }
    return 0;
}

} // namespace zelvar::comm
