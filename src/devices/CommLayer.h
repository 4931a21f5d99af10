#pragma once

#include "devices/ControlBlock.h"

#include <QString>

#include <cerrno>
#include <cstdint>
#include <memory>

// The operating system's serial services as the port component needs them: open, queue
// sizes, control block, timeouts, event mask and event wait, writes that complete, purge,
// modem status and error state. One implementation per system is chosen by the build.
// EIO, ENXIO and ENODEV mean the device itself is gone (see deviceGone()).
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

// Whether an error says the device is gone, as an unplugged adapter or a closed
// pseudo-terminal leaves it, rather than refusing one operation.
inline bool deviceGone(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

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

// An open serial device, exclusively held until destroyed: the device itself, or, when the
// Zelvar host of this user (the program or the service) holds it, a stand-in that hands each
// write to that host (CommForward.h).
class CommDevice
{
public:
    // EBUSY when another process holds the device and no host of this user can write to it.
    static std::unique_ptr<CommDevice> open(const QString &path, int &error);
    virtual ~CommDevice() = default;
    CommDevice(const CommDevice &) = delete;
    CommDevice &operator=(const CommDevice &) = delete;

    virtual int setupComm(uint32_t inputSize, uint32_t outputSize) = 0;
    virtual int setCommState(const ControlBlock &dcb) = 0;
    virtual int setCommTimeouts(const CommTimeouts &timeouts) = 0;
    virtual int setCommMask(uint32_t mask) = 0;
    // Blocks until events of the mask fire (their bits in `fired`) or `stop` is set
    // (returns ECANCELED); once the device has hung up and its events are told, returns EIO.
    virtual int waitCommEvent(uint32_t &fired, const StopEvent &stop) = 0;
    // Returns once the bytes have left the driver, or with ETIMEDOUT when writeLimitMs()
    // runs out: the rest of this write is not sent, and bytes of earlier writes are never
    // dropped. Never waits without a limit.
    virtual int writeFile(const char *data, uint32_t size, uint32_t &written) = 0;
    // Takes up to `size` bytes from the input queue without waiting.
    virtual int readFile(char *data, uint32_t size, uint32_t &read) = 0;
    virtual int purgeComm(uint32_t flags) = 0;
    // A device without modem lines reads as all lines inactive.
    virtual int getCommModemStatus(uint32_t &status) = 0;
    // Reads and clears the error state; `stat` (optional) receives the queue counts.
    virtual int clearCommError(uint32_t &errors, ComStat *stat) = 0;
    // Whether writes go through another process's port: that port's losses are its own.
    virtual bool forwarded() { return false; }

protected:
    CommDevice() = default;
};

} // namespace zelvar::comm
