#pragma once

#include "devices/ControlBlock.h"

#include <QString>

#include <cstdint>
#include <memory>

// The operating system's serial services as the port component needs them: open, queue
// sizes, control block, timeouts, event mask and event wait, writes that complete, purge,
// modem status and error state. One implementation per system is chosen by the build.
//
// Every function returns 0 on success or the system's error code. The event wait runs on
// the event thread; everything else may be called from the owning thread meanwhile.
namespace zelvar::comm {

// Event mask bits.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;
inline constexpr uint32_t EV_RX80FULL = 0x0400;

// Error state bits.
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
inline constexpr uint32_t CE_TXFULL = 0x0100;
inline constexpr uint32_t CE_IOE = 0x0400;
inline constexpr uint32_t CE_MODE = 0x8000;

// Modem status bits.
inline constexpr uint32_t MS_CTS_ON = 0x0010;
inline constexpr uint32_t MS_DSR_ON = 0x0020;
inline constexpr uint32_t MS_RING_ON = 0x0040;
inline constexpr uint32_t MS_RLSD_ON = 0x0080;

// Purge flags.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Milliseconds; zero write totals mean no limit of their own (see CommDevice::writeFile).
struct CommTimeouts
{
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

struct ComStat
{
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};

// How long a write of `size` bytes may take before it fails: what the write timeouts allow
// (zero totals count as 100 ms per byte plus 1000 ms), but never more than 3 s plus twice
// the time the bytes need on the line at `baudRate` with `bitsPerChar` bits per character
// (start, data, parity and stop bits).
uint64_t writeLimitMs(const CommTimeouts &timeouts, uint32_t size, uint32_t baudRate, uint32_t bitsPerChar);

// The device path a port name stands for ("COM1" → the first serial port).
QString devicePath(const QString &portName);

// What the user can do about a failed open, in French, or an empty text.
QString accessHint(const QString &path, int error);

// What the hint for a device the account may not open is made from.
struct DeviceAccess
{
    QString path;
    QString account;
    bool known = false; // the device's owner, group and mode could be read
    QString owner;
    QString group;
    uint32_t groupId = 0;
    uint32_t mode = 0;  // permission bits
    QString kernelName; // the device's own name under /dev, for a udev rule
};
// Names a group only when it may read and write the device and is not root; otherwise
// gives the owner and mode and how to grant access with a udev rule.
QString accessHint(const DeviceAccess &access);

// A manual-reset event that a waiter watches together with the device: once set, it
// stays set.
class StopEvent
{
public:
    StopEvent();
    ~StopEvent();
    StopEvent(const StopEvent &) = delete;
    StopEvent &operator=(const StopEvent &) = delete;

    // 0 when the event could be created, else the system's error code.
    int error() const { return error_; }
    void set();
    int handle() const { return fd_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// An open serial device, exclusively held until destroyed.
class CommDevice
{
public:
    static std::unique_ptr<CommDevice> open(const QString &path, int &error);
    ~CommDevice();
    CommDevice(const CommDevice &) = delete;
    CommDevice &operator=(const CommDevice &) = delete;

    int setupComm(uint32_t inputSize, uint32_t outputSize);
    int setCommState(const ControlBlock &dcb);
    int setCommTimeouts(const CommTimeouts &timeouts);
    int setCommMask(uint32_t mask);
    // Blocks until events of the mask fire (their bits in `fired`) or `stop` is set
    // (returns ECANCELED).
    int waitCommEvent(uint32_t &fired, const StopEvent &stop);
    // Returns once the bytes have left the driver, or with ETIMEDOUT when writeLimitMs()
    // runs out: the rest of this write is not sent, and bytes of earlier writes are never
    // dropped. Never waits without a limit.
    int writeFile(const char *data, uint32_t size, uint32_t &written);
    // Takes up to `size` bytes from the input queue without waiting.
    int readFile(char *data, uint32_t size, uint32_t &read);
    int purgeComm(uint32_t flags);
    // A device without modem lines reads as all lines inactive.
    int getCommModemStatus(uint32_t &status);
    // Reads and clears the error state; `stat` (optional) receives the queue counts.
    int clearCommError(uint32_t &errors, ComStat *stat);

private:
    struct Impl;
    explicit CommDevice(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace zelvar::comm
