#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>

#include "devices/ComPort.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace zelvar::testing {

// A pseudo-terminal standing for the relay board: the port opens the slave path, the test
// reads and writes the master side.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
    }
    ~PseudoTerminal() { closeMaster(); }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return master_ >= 0 && !slavePath_.isEmpty(); }
    QString slavePath() const { return slavePath_; }
    int master() const { return master_; }

    // Unplugging the adapter: the slave's writes fail from now on.
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    // What arrives on the master side within the time given, up to `count` bytes.
    QByteArray read(int count, int timeoutMs = 2000)
    {
        QByteArray data;
        QDeadlineTimer deadline(timeoutMs);
        while (data.size() < count && !deadline.hasExpired()) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, int(deadline.remainingTime())) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = ::read(master_, buffer, std::min<qsizetype>(sizeof buffer, count - data.size()));
            if (n <= 0)
                break;
            data.append(buffer, n);
        }
        return data;
    }

    // Everything that is waiting on the master side now or arrives within `quietMs`.
    QByteArray drain(int quietMs = 50)
    {
        QByteArray data;
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN))
                return data;
            char buffer[65536];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                return data;
            data.append(buffer, n);
        }
    }

    void write(const QByteArray &data)
    {
        qsizetype offset = 0;
        while (offset < data.size()) {
            const ssize_t n = ::write(master_, data.constData() + offset, data.size() - offset);
            if (n <= 0)
                return;
            offset += n;
        }
    }

    // The line settings the slave side holds (they outlive the port's descriptor).
    termios2 slaveSettings() const
    {
        termios2 t{};
        const int fd = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            ::ioctl(fd, TCGETS2, &t);
            ::close(fd);
        }
        return t;
    }

private:
    int master_ = -1;
    QString slavePath_;
};

// Reads the board's side of a pseudo-terminal on a thread of its own and notes when each
// command (up to its closing '#') arrived, so that a test sees the gaps the sender kept.
class WireRecorder
{
public:
    struct Command
    {
        QByteArray bytes;
        std::chrono::steady_clock::time_point at;
    };

    explicit WireRecorder(PseudoTerminal &pty) : pty_(pty)
    {
        thread_ = std::thread([this] {
            QByteArray partial;
            while (!stop_) {
                pollfd p{pty_.master(), POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
                if (n <= 0)
                    continue;
                const auto now = std::chrono::steady_clock::now();
                partial.append(buffer, n);
                std::lock_guard lock(mutex_);
                for (qsizetype end; (end = partial.indexOf('#')) >= 0; partial.remove(0, end + 1))
                    commands_.push_back({partial.left(end + 1), now});
            }
        });
    }
    ~WireRecorder()
    {
        stop_ = true;
        thread_.join();
    }

    // The commands seen once `count` have arrived (or the time ran out).
    std::vector<Command> wait(size_t count, int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (commands_.size() >= count || deadline.hasExpired())
                    return commands_;
            }
            ::usleep(2000);
        }
    }
    std::vector<QByteArray> bytes(size_t count, int timeoutMs = 5000)
    {
        std::vector<QByteArray> out;
        for (const Command &c : wait(count, timeoutMs))
            out.push_back(c.bytes);
        return out;
    }

private:
    PseudoTerminal &pty_;
    std::mutex mutex_;
    std::vector<Command> commands_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// Runs the event loop until the condition holds or the time runs out; tells which.
inline bool processEventsUntil(const std::function<bool()> &condition, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ::usleep(1000);
    }
    return true;
}

// Handlers of a test refer to its locals, which are gone when the fixture closes the port.
inline void dropHandlers(zelvar::TCustomComPort &port)
{
    port.OnAfterOpen = nullptr;
    port.OnAfterClose = nullptr;
    port.OnBeforeOpen = nullptr;
    port.OnBeforeClose = nullptr;
    port.OnRxChar = nullptr;
    port.OnRxBuf = nullptr;
    port.OnTxEmpty = nullptr;
    port.OnBreak = nullptr;
    port.OnRing = nullptr;
    port.OnCTSChange = nullptr;
    port.OnDSRChange = nullptr;
    port.OnRLSDChange = nullptr;
    port.OnRxFlag = nullptr;
    port.OnError = nullptr;
    port.OnRx80Full = nullptr;
}

// A port set up on a fresh pseudo-terminal, its handlers dropped before the test's locals go.
class PortOnPty : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        port.setPort(pty.slavePath());
    }
    void TearDown() override { dropHandlers(port); }

    PseudoTerminal pty;
    zelvar::TComPort port;
};

} // namespace zelvar::testing
