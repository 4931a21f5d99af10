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
#include <optional>

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
        if (inputSize == 0 || outputSize == 0)
            return EINVAL;
        inputSize_ = inputSize;
        outputSize_ = outputSize;
        return own_ ? own_->setupComm(inputSize, outputSize) : 0;
    }

    int setCommState(const ControlBlock &dcb) override
    {
        if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8)
            return EINVAL;
        if (own_)
            if (const int error = own_->setCommState(dcb))
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
        std::lock_guard lock(mutex_);
        timeouts_ = timeouts;
        return own_ ? own_->setCommTimeouts(timeouts) : 0;
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
        while (written < size) {
            // A host gone before a request reached it is looked for again, once per write; when
            // none holds the device any more, it is this process's own from now on. A request
            // that went out but found no answer is never sent twice.
            if (!own_ && !link_.connected()) {
                if (lookedAgain)
                    return EPIPE;
                lookedAgain = true;
                if (!attach())
                    if (const int error = takeOver())
                        return error == EBUSY ? EPIPE : error;
            }
            if (own_) {
                uint32_t count = 0;
                const int error = own_->writeFile(data + written, size - written, count);
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
        return own_ ? own_->readFile(data, size, read) : 0;
    }

    int purgeComm(uint32_t flags) override { return own_ ? own_->purgeComm(flags) : 0; }

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

    bool forwarded() const override { return !own_; }

private:
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
    HostConnection link_; // the owning thread's alone
    std::unique_ptr<CommDevice> own_; // the device itself, once the host has let it go; the owning thread's
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
