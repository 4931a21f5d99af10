#include "devices/CommForward.h"

#include "common/HostProtocol.h"
#include "common/SingleInstance.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <optional>
#include <set>

namespace zelvar::comm {

namespace {

// How long the host may take to answer a hello.
constexpr int HelloTimeoutMs = 1000;
// Beyond the write's own limit, the host may be busy with a pause of its own.
constexpr int HostSlackMs = 5000;
// A process that took the lock of a host that ended listens within its next look.
constexpr int SuccessorWaitMs = 2000;
constexpr int SuccessorLookMs = 50;

class ForwardedDevice;
std::mutex devicesMutex;
std::set<ForwardedDevice *> devices;

class ForwardedDevice final : public CommDevice
{
public:
    explicit ForwardedDevice(const QString &path) : path_(path)
    {
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        std::lock_guard lock(devicesMutex);
        devices.insert(this);
    }
    ~ForwardedDevice() override
    {
        {
            std::lock_guard lock(devicesMutex);
            devices.erase(this);
        }
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

    // This process has become the host: the device is its own from now on.
    void hold()
    {
        std::lock_guard io(ioMutex_);
        if (own())
            return;
        link_.close();
        takeOver();
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
        if (inputSize == 0 || outputSize == 0)
            return EINVAL;
        inputSize_ = inputSize;
        outputSize_ = outputSize;
        const auto device = own();
        return device ? device->setupComm(inputSize, outputSize) : 0;
    }

    int setCommState(const ControlBlock &dcb) override
    {
        if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8)
            return EINVAL;
        if (const auto device = own())
            if (const int error = device->setCommState(dcb))
                return error;
        std::lock_guard lock(mutex_);
        dcb_ = dcb;
        baudRate_ = dcb.BaudRate;
        bitsPerChar_ = 1 + dcb.ByteSize + (dcb.Parity != ControlBlock::NoParity ? 1 : 0)
                       + (dcb.StopBits == ControlBlock::OneStopBit ? 1 : 2);
        return 0;
    }

    int setCommTimeouts(const CommTimeouts &timeouts) override
    {
        {
            std::lock_guard lock(mutex_);
            timeouts_ = timeouts;
        }
        const auto device = own();
        return device ? device->setCommTimeouts(timeouts) : 0;
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
        bool lookedAgain = false;
        std::lock_guard io(ioMutex_);
        while (written < size) {
            // A host gone before a request reached it is looked for again, once per write. A
            // request that went out but found no answer is never sent twice.
            if (!own() && !link_.connected()) {
                if (lookedAgain)
                    return EPIPE;
                lookedAgain = true;
                if (const int error = followSuccessor())
                    return error == EBUSY ? EPIPE : error;
            }
            if (const auto device = own()) {
                uint32_t count = 0;
                const int error = device->writeFile(data + written, size - written, count);
                written += count;
                if (error)
                    return error;
                break;
            }
            const uint32_t chunk = std::min<uint32_t>(size - written, host::MaxWriteBytes);
            int timeoutMs;
            {
                std::lock_guard lock(mutex_);
                timeoutMs = int(writeLimitMs(timeouts_, chunk, baudRate_, bitsPerChar_)) + HostSlackMs;
            }
            bool delivered = false;
            const std::optional<QByteArray> line =
                link_.request(host::writeRequest(path_, QByteArray(data + written, int(chunk))), timeoutMs, &delivered);
            if (!line) {
                if (delivered)
                    return EPIPE;
                continue;
            }
            const host::Reply reply = host::parseReply(*line);
            if (!reply.ok)
                return reply.error;
            written += std::min<uint32_t>(uint32_t(std::max(reply.count, 0)), chunk);
        }
        sent();
        return 0;
    }

    int readFile(char *data, uint32_t size, uint32_t &read) override
    {
        read = 0;
        const auto device = own();
        return device ? device->readFile(data, size, read) : 0;
    }

    int purgeComm(uint32_t flags) override
    {
        const auto device = own();
        return device ? device->purgeComm(flags) : 0;
    }

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

    bool forwarded() override { return !own(); }

private:
    std::shared_ptr<CommDevice> own()
    {
        std::lock_guard lock(mutex_);
        return own_;
    }

    // The host ended: whoever takes its lock succeeds it. Another process is written
    // through once it listens; this process, once it holds the lock, holds the device. A
    // command, which never hosts, takes the device only when no successor comes.
    int followSuccessor()
    {
        const QDeadlineTimer deadline(SuccessorWaitMs);
        for (;;) {
            if (attach())
                return 0;
            if (SingleInstance::socketPath().isEmpty() || SingleInstance::takeHostLock())
                return takeOver();
            if (deadline.hasExpired())
                return SingleInstance::mayHost() ? EPIPE : takeOver();
            QThread::msleep(SuccessorLookMs);
        }
    }

    // Opens the device itself, with the settings given so far.
    int takeOver()
    {
        int error = 0;
        std::unique_ptr<CommDevice> device = openOwnDevice(path_, error);
        if (!device)
            return error;
        std::lock_guard lock(mutex_);
        if (inputSize_ && (error = device->setupComm(inputSize_, outputSize_)))
            return error;
        if (dcb_ && (error = device->setCommState(*dcb_)))
            return error;
        if ((error = device->setCommTimeouts(timeouts_)))
            return error;
        own_ = std::move(device);
        return 0;
    }

    void sent()
    {
        {
            std::lock_guard lock(mutex_);
            pending_ |= EV_TXEMPTY & mask_;
        }
        wake();
    }

    void wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }

    const QString path_;
    std::mutex ioMutex_;  // a write, or the device taken while none runs
    HostConnection link_; // under ioMutex_
    std::shared_ptr<CommDevice> own_; // the device itself, once this process hosts; under mutex_
    uint32_t inputSize_ = 0;
    uint32_t outputSize_ = 0;
    int wakeFd_ = -1;
    std::mutex mutex_;
    uint32_t mask_ = 0;
    uint32_t pending_ = 0;
    CommTimeouts timeouts_;
    std::optional<ControlBlock> dcb_;
    uint32_t baudRate_ = 9600;
    uint32_t bitsPerChar_ = 10;
};

} // namespace

void holdForwardedDevices()
{
    std::lock_guard lock(devicesMutex);
    for (ForwardedDevice *device : devices)
        device->hold();
}

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
