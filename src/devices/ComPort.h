#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

class QTimer;

namespace zelvar {

namespace comm {
class CommDevice;
}

// The order of every enumeration fixes its numeric value.
enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

// A set of enumeration values, one bit per value.
template<typename E, int Count>
class EnumSet
{
public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> values)
    {
        for (E v : values)
            bits_ |= bit(v);
    }
    static constexpr EnumSet all()
    {
        EnumSet s;
        s.bits_ = (1u << Count) - 1;
        return s;
    }
    constexpr bool contains(E v) const { return bits_ & bit(v); }
    constexpr bool isEmpty() const { return bits_ == 0; }
    constexpr EnumSet &operator<<(E v) { bits_ |= bit(v); return *this; }
    constexpr void remove(E v) { bits_ &= ~bit(v); }
    constexpr bool operator==(const EnumSet &) const = default;
    constexpr uint32_t bits() const { return bits_; }

private:
    static constexpr uint32_t bit(E v) { return 1u << static_cast<int>(v); }
    uint32_t bits_ = 0;
};

using TComEvents = EnumSet<TComEvent, 10>;
using TComErrors = EnumSet<TComError, 8>;

// The speed in bits per second that a TBaudRate names (0 for brCustom, which has none).
int baudRateNumber(TBaudRate rate);

// The device's event mask bits for a set of events, and back.
uint32_t eventMaskFor(TComEvents events);
TComEvents eventsFromMask(uint32_t mask);
// The device's error bits turned into a TComErrors set.
TComErrors errorsFromMask(uint32_t mask);

class TCustomComPort;

// The four settings objects belong to a port and push their changes to it; assigning one
// to another copies the fields only, each keeps its own port.
class TComParity
{
public:
    explicit TComParity(TCustomComPort *port = nullptr) : port_(port) {}
    TComParity(const TComParity &) = delete;
    TComParity &operator=(const TComParity &other);

    TCustomComPort *ComPort() const { return port_; }
    TParityBits Bits() const { return bits_; }
    void setBits(TParityBits value);
    bool Check() const { return check_; }
    void setCheck(bool value);
    bool Replace() const { return replace_; }
    void setReplace(bool value);
    char ReplaceChar() const { return replaceChar_; }
    void setReplaceChar(char value);

private:
    void changed();
    TCustomComPort *port_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComFlowControl
{
public:
    explicit TComFlowControl(TCustomComPort *port = nullptr) : port_(port) {}
    TComFlowControl(const TComFlowControl &) = delete;
    TComFlowControl &operator=(const TComFlowControl &other);

    TCustomComPort *ComPort() const { return port_; }
    bool OutCTSFlow() const { return outCTSFlow_; }
    void setOutCTSFlow(bool value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void setOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void setControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void setControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void setXonXoffOut(bool value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void setXonXoffIn(bool value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void setDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void setTxContinueOnXoff(bool value);
    char XonChar() const { return xonChar_; }
    void setXonChar(char value);
    char XoffChar() const { return xoffChar_; }
    void setXoffChar(char value);

    // The summary of RTS/CTS and XON/XOFF settings; setting fcCustom changes nothing.
    TFlowControl FlowControl() const;
    void setFlowControl(TFlowControl value);

private:
    void changed();
    TCustomComPort *port_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

// Milliseconds; ReadInterval -1 (all bits set) means "return at once with what has arrived".
class TComTimeouts
{
public:
    explicit TComTimeouts(TCustomComPort *port = nullptr) : port_(port) {}
    TComTimeouts(const TComTimeouts &) = delete;
    TComTimeouts &operator=(const TComTimeouts &other);

    TCustomComPort *ComPort() const { return port_; }
    int32_t ReadInterval() const { return readInterval_; }
    void setReadInterval(int32_t value);
    int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void setReadTotalMultiplier(int32_t value);
    int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void setReadTotalConstant(int32_t value);
    int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void setWriteTotalMultiplier(int32_t value);
    int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void setWriteTotalConstant(int32_t value);

private:
    void set(int32_t &field, int32_t value);
    TCustomComPort *port_;
    int32_t readInterval_ = -1;
    int32_t readTotalMultiplier_ = 0;
    int32_t readTotalConstant_ = 0;
    int32_t writeTotalMultiplier_ = 100;
    int32_t writeTotalConstant_ = 1000;
};

// Sizes of the driver's queues in bytes; an odd size is lowered by one.
class TComBuffer
{
public:
    explicit TComBuffer(TCustomComPort *port = nullptr) : port_(port) {}
    TComBuffer(const TComBuffer &) = delete;
    TComBuffer &operator=(const TComBuffer &other);

    TCustomComPort *ComPort() const { return port_; }
    int32_t InputSize() const { return inputSize_; }
    void setInputSize(int32_t value);
    int32_t OutputSize() const { return outputSize_; }
    void setOutputSize(int32_t value);

private:
    void set(int32_t &field, int32_t value);
    TCustomComPort *port_;
    int32_t inputSize_ = 1024;
    int32_t outputSize_ = 1024;
};

class TComThread;
class DispatchSlot;
class PortSender;

// A serial port: settings, opening and closing, synchronous writes, and an event thread
// that watches the device while it is open.
//
// Every call is made from the thread that owns the object, except the writes of its
// sender (writeFromSender), which the device's lock keeps apart from opening, closing and
// settings. Handlers run on the owner's thread too (smThreadSync), or on the event thread
// (smNone). Failures raise EComPort.
class TCustomComPort : public QObject
{
    Q_OBJECT

public:
    explicit TCustomComPort(QObject *parent = nullptr);
    ~TCustomComPort() override;

    void OpenPort();
    void ClosePort();
    // Writes the bytes and returns once they have left the driver; returns the count.
    int SendText(const QByteArray &text);
    // The port's one sender, made at first use: every sending sequence goes through it.
    PortSender &sender();
    // The sender's write, from its own thread: as SendText, without telling `written`
    // (the sender tells it on the owner's thread).
    int writeFromSender(const QByteArray &text);

    // "9600" gives br9600, "custom" brCustom; an unknown text gives br9600.
    static TBaudRate BaudRateFromText(const QString &text);

    bool Connected() const { return connected_; }
    void setConnected(bool value);
    // The device went away (a hang-up, EIO or ENXIO, as when an adapter is unplugged): the
    // port closed it and opens Port() again, by its name, every second until it is back.
    // True from the failure on, on any thread, until the port is open again.
    bool Lost() const { return lost_.load(); }

    // "COMn" opens /dev/ttyS(n-1); a name holding "/" is a device path.
    QString Port() const { return port_; }
    void setPort(const QString &value);
    TBaudRate BaudRate() const { return baudRate_; }
    void setBaudRate(TBaudRate value);
    int32_t CustomBaudRate() const { return customBaudRate_; }
    void setCustomBaudRate(int32_t value);
    TStopBits StopBits() const { return stopBits_; }
    void setStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void setDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void setDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void setEventChar(char value);
    TComEvents Events() const { return events_; }
    void setEvents(TComEvents value);
    // smWindowSync is served as smThreadSync: both hand events to the owning thread.
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void setSyncMethod(TSyncMethod value);
    QThread::Priority EventThreadPriority() const { return threadPriority_; }
    void setEventThreadPriority(QThread::Priority value) { threadPriority_ = value; }

    TComParity &Parity() { return parity_; }
    const TComParity &Parity() const { return parity_; }
    void setParity(const TComParity &value) { parity_ = value; }
    TComFlowControl &FlowControl() { return flowControl_; }
    const TComFlowControl &FlowControl() const { return flowControl_; }
    void setFlowControl(const TComFlowControl &value) { flowControl_ = value; }
    TComTimeouts &Timeouts() { return timeouts_; }
    const TComTimeouts &Timeouts() const { return timeouts_; }
    void setTimeouts(const TComTimeouts &value) { timeouts_ = value; }
    TComBuffer &Buffer() { return buffer_; }
    const TComBuffer &Buffer() const { return buffer_; }
    void setBuffer(const TComBuffer &value) { buffer_ = value; }

    // While updates are open, setting changes are held back; the last EndUpdate pushes
    // whatever changed to the open device.
    void BeginUpdate();
    void EndUpdate();

    std::function<void()> OnAfterOpen;
    std::function<void()> OnAfterClose;
    std::function<void()> OnBeforeOpen;
    std::function<void()> OnBeforeClose;
    std::function<void(int count)> OnRxChar;
    // When set, the bytes that raised evRxChar are taken from the input queue and handed here.
    std::function<void(const QByteArray &data)> OnRxBuf;
    std::function<void()> OnTxEmpty;
    std::function<void()> OnBreak;
    std::function<void()> OnRing;
    std::function<void(bool on)> OnCTSChange;
    std::function<void(bool on)> OnDSRChange;
    std::function<void(bool on)> OnRLSDChange;
    std::function<void()> OnRxFlag;
    std::function<void(TComErrors errors)> OnError;
    std::function<void()> OnRx80Full;

signals:
    // The text a write wrote in full, SendText's or the sender's (told on the owner's
    // thread, in the order written); a write that failed is not told.
    void written(const QByteArray &text);
    // The port now names another device (told before an open port is opened again there).
    void portChanged(const QString &name);
    // The device was found gone, and later open again under the same name; each told once.
    void lost(const QString &name);
    void found(const QString &name);

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;
    friend class TComThread;

    void ApplyDCB();
    void ApplyTimeouts();
    void ApplyBuffer();
    void CallModemHandlers(uint32_t status);
    // Handles one set of fired events, in the fixed order.
    void DoEvents(TComEvents events);
    // Runs the dispatch the event thread is handing over, if any (queued call target).
    void ServeDispatch();
    // Any thread: the device failed as an unplugged one does. The port's own thread is told.
    void MarkLost();
    void CloseLost();
    void TryReopen();
    // Open again after a loss: the search ends and the owner hears of it.
    void Found();

    QString port_ = QStringLiteral("COM1");
    TBaudRate baudRate_ = br9600;
    int32_t customBaudRate_ = 9600;
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = TComEvents::all();
    TSyncMethod syncMethod_ = smThreadSync;
    QThread::Priority threadPriority_ = QThread::NormalPriority;
    TComParity parity_{this};
    TComFlowControl flowControl_{this};
    TComTimeouts timeouts_{this};
    TComBuffer buffer_{this};

    bool connected_ = false;
    bool closing_ = false;
    int updateCount_ = 0;
    bool dcbPending_ = false;
    bool timeoutsPending_ = false;
    bool bufferPending_ = false;
    // Held by the sender while it writes and by the owner while it replaces the device or
    // changes its settings.
    std::mutex deviceMutex_;
    std::unique_ptr<comm::CommDevice> device_;
    std::unique_ptr<PortSender> sender_;
    std::unique_ptr<TComThread> thread_;
    std::shared_ptr<DispatchSlot> dispatchSlot_;
    std::atomic<bool> lost_{false};
    bool lossTold_ = false;
    QTimer *reopenTimer_ = nullptr;
};

// The port component as the program uses it.
class TComPort : public TCustomComPort
{
    Q_OBJECT

public:
    using TCustomComPort::TCustomComPort;
};

} // namespace zelvar
