#include "devices/CommForward.h"

#include "common/HostProtocol.h"
#include "common/SingleInstance.h"

#include <QFileInfo>

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace zelvar::comm {

namespace {

// How long the host may take to answer a hello.
constexpr int HelloTimeoutMs = 1000;
// Beyond the write's own limit, the host may be busy with a pause of its own.
constexpr int HostSlackMs = 5000;

class ForwardedDevice final : public CommDevice
{
public:
    explicit ForwardedDevice(const QString &path) : path_(path)
    {
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    ~ForwardedDevice() override
    {
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

    // Whether the host answers and holds this very device, open.
    bool attach()
    {
        const QString socket = SingleInstance::socketPath();
        if (wakeFd_ < 0 || socket.isEmpty() || link_.connectTo(socket, HelloTimeoutMs, true) != 0)
            return false;
        const std::optional<QByteArray> reply = link_.request(host::helloRequest(), HelloTimeoutMs);
        const std::optional<host::Hello> hello = reply ? host::parseHello(*reply) : std::nullopt;
        if (!hello || !hello->open || !host::sameDevice(hello->port, path_)) {
            link_.close();
            return false;
        }
        return true;
    }

    int setupComm(uint32_t inputSize, uint32_t outputSize) override
    {
        return inputSize == 0 || outputSize == 0 ? EINVAL : 0;
    }

    int setCommState(const ControlBlock &dcb) override
    {
        if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8)
            return EINVAL;
        std::lock_guard lock(mutex_);
        baudRate_ = dcb.BaudRate;
        bitsPerChar_ = 1 + dcb.ByteSize + (dcb.Parity != ControlBlock::NoParity ? 1 : 0)
                       + (dcb.StopBits == ControlBlock::OneStopBit ? 1 : 2);
        return 0;
    }

    int setCommTimeouts(const CommTimeouts &timeouts) override
    {
        std::lock_guard lock(mutex_);
        timeouts_ = timeouts;
        return 0;
    }

    int setCommMask(uint32_t mask) override
    {
        {
            std::lock_guard lock(mutex_);
            mask_ = mask;
            pending_ &= mask;
        }
        wake();
        return 0;
    }

    int waitCommEvent(uint32_t &fired, const StopEvent &stop) override
    {
        fired = 0;
        for (;;) {
            pollfd fds[2] = {{stop.handle(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return errno;
            if (fds[0].revents)
                return ECANCELED;
            uint64_t value;
            while (::read(wakeFd_, &value, sizeof value) > 0) {
            }
            std::lock_guard lock(mutex_);
            if (pending_) {
                fired = pending_;
                pending_ = 0;
                return 0;
            }
        }
    }

    int writeFile(const char *data, uint32_t size, uint32_t &written) override
    {
        written = 0;
        // A host that went away since is looked for again, once per write: a write whose
        // answer was lost is never sent twice.
        if (!link_.connected() && !attach())
            return EPIPE;
        while (written < size) {
            const uint32_t chunk = std::min<uint32_t>(size - written, host::MaxWriteBytes);
            int timeoutMs;
            {
                std::lock_guard lock(mutex_);
                timeoutMs = int(writeLimitMs(timeouts_, chunk, baudRate_, bitsPerChar_)) + HostSlackMs;
            }
            const std::optional<QByteArray> line =
                link_.request(host::writeRequest(path_, QByteArray(data + written, int(chunk))), timeoutMs);
            if (!line)
                return EPIPE;
            const host::Reply reply = host::parseReply(*line);
            if (!reply.ok)
                return reply.error;
            written += std::min<uint32_t>(uint32_t(std::max(reply.count, 0)), chunk);
        }
        {
            std::lock_guard lock(mutex_);
            pending_ |= EV_TXEMPTY & mask_;
        }
        wake();
        return 0;
    }

    int readFile(char *, uint32_t, uint32_t &read) override
    {
        read = 0;
        return 0;
    }

    int purgeComm(uint32_t) override { return 0; }

    int getCommModemStatus(uint32_t &status) override
    {
        status = 0;
        return 0;
    }

    int clearCommError(uint32_t &errors, ComStat *stat) override
    {
        errors = 0;
        if (stat)
            *stat = ComStat{};
        return 0;
    }

private:
    void wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }

    const QString path_;
    HostConnection link_; // the owning thread's alone
    int wakeFd_ = -1;
    std::mutex mutex_;
    uint32_t mask_ = 0;
    uint32_t pending_ = 0;
    CommTimeouts timeouts_;
    uint32_t baudRate_ = 9600;
    uint32_t bitsPerChar_ = 10;
};

} // namespace

std::unique_ptr<CommDevice> openForwardedDevice(const QString &path)
{
    auto device = std::make_unique<ForwardedDevice>(QFileInfo(path).absoluteFilePath());
    return device->attach() ? std::move(device) : nullptr;
}

std::unique_ptr<CommDevice> CommDevice::open(const QString &path, int &error)
{
    std::unique_ptr<CommDevice> device = openOwnDevice(path, error);
    if (!device && error == EBUSY) {
        if ((device = openForwardedDevice(path)))
            error = 0;
    }
    return device;
}

} // namespace zelvar::comm
