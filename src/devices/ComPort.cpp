#include "devices/ComPort.h"

#include "devices/ComError.h"
#include "devices/ComThread.h"
#include "devices/CommLayer.h"
#include "devices/ControlBlock.h"
#include "devices/PortSender.h"

#include <QTimer>

#include <array>
#include <cerrno>
#include <utility>

namespace zelvar {
namespace {

// How often a lost device is looked for under its name.
constexpr int ReopenEveryMs = 1000;

constexpr std::array<int, 16> BaudRates = {0,     110,   300,   600,    1200,   2400,   4800,   9600,
                                           14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// Bit of each TComEvent, in the enumeration's order.
constexpr std::array<uint32_t, 10> EventBits = {
    comm::EV_RXCHAR, comm::EV_TXEMPTY, comm::EV_RXFLAG, comm::EV_RING, comm::EV_BREAK,
    comm::EV_CTS,    comm::EV_DSR,     comm::EV_ERR,    comm::EV_RLSD, comm::EV_RX80FULL,
};

// Bit of each TComError, in the enumeration's order.
constexpr std::array<uint32_t, 8> ErrorBits = {
    comm::CE_FRAME, comm::CE_RXPARITY, comm::CE_OVERRUN, comm::CE_BREAK,
    comm::CE_IOE,   comm::CE_MODE,     comm::CE_RXOVER,  comm::CE_TXFULL,
};

} // namespace

int baudRateNumber(TBaudRate rate)
{
    return BaudRates.at(size_t(rate));
}

uint32_t eventMaskFor(TComEvents events)
{
    uint32_t mask = 0;
    for (size_t i = 0; i < EventBits.size(); ++i) {
        if (events.contains(TComEvent(i)))
            mask |= EventBits[i];
    }
    return mask;
}

TComEvents eventsFromMask(uint32_t mask)
{
    TComEvents events;
    for (size_t i = 0; i < EventBits.size(); ++i) {
        if (mask & EventBits[i])
            events << TComEvent(i);
    }
    return events;
}

TComErrors errorsFromMask(uint32_t mask)
{
    TComErrors errors;
    for (size_t i = 0; i < ErrorBits.size(); ++i) {
        if (mask & ErrorBits[i])
            errors << TComError(i);
    }
    return errors;
}

// Settings objects

TComParity &TComParity::operator=(const TComParity &other)
{
    if (this == &other)
        return *this;
    bits_ = other.bits_;
    check_ = other.check_;
    replace_ = other.replace_;
    replaceChar_ = other.replaceChar_;
    changed();
    return *this;
}

void TComParity::changed()
{
    if (port_)
        port_->ApplyDCB();
}

void TComParity::setBits(TParityBits value)
{
    if (std::exchange(bits_, value) != value)
        changed();
}

void TComParity::setCheck(bool value)
{
    if (std::exchange(check_, value) != value)
        changed();
}

void TComParity::setReplace(bool value)
{
    if (std::exchange(replace_, value) != value)
        changed();
}

void TComParity::setReplaceChar(char value)
{
    if (std::exchange(replaceChar_, value) != value)
        changed();
}

TComFlowControl &TComFlowControl::operator=(const TComFlowControl &other)
{
    if (this == &other)
        return *this;
    outCTSFlow_ = other.outCTSFlow_;
    outDSRFlow_ = other.outDSRFlow_;
    controlDTR_ = other.controlDTR_;
    controlRTS_ = other.controlRTS_;
    xonXoffOut_ = other.xonXoffOut_;
    xonXoffIn_ = other.xonXoffIn_;
    dsrSensitivity_ = other.dsrSensitivity_;
    txContinueOnXoff_ = other.txContinueOnXoff_;
    xonChar_ = other.xonChar_;
    xoffChar_ = other.xoffChar_;
    changed();
    return *this;
}

void TComFlowControl::changed()
{
    if (port_)
        port_->ApplyDCB();
}

void TComFlowControl::setOutCTSFlow(bool value)
{
    if (std::exchange(outCTSFlow_, value) != value)
        changed();
}

void TComFlowControl::setOutDSRFlow(bool value)
{
    if (std::exchange(outDSRFlow_, value) != value)
        changed();
}

void TComFlowControl::setControlDTR(TDTRFlowControl value)
{
    if (std::exchange(controlDTR_, value) != value)
        changed();
}

void TComFlowControl::setControlRTS(TRTSFlowControl value)
{
    if (std::exchange(controlRTS_, value) != value)
        changed();
}

void TComFlowControl::setXonXoffOut(bool value)
{
    if (std::exchange(xonXoffOut_, value) != value)
        changed();
}

void TComFlowControl::setXonXoffIn(bool value)
{
    if (std::exchange(xonXoffIn_, value) != value)
        changed();
}

void TComFlowControl::setDSRSensitivity(bool value)
{
    if (std::exchange(dsrSensitivity_, value) != value)
        changed();
}

void TComFlowControl::setTxContinueOnXoff(bool value)
{
    if (std::exchange(txContinueOnXoff_, value) != value)
        changed();
}

void TComFlowControl::setXonChar(char value)
{
    if (std::exchange(xonChar_, value) != value)
        changed();
}

void TComFlowControl::setXoffChar(char value)
{
    if (std::exchange(xoffChar_, value) != value)
        changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ != rtsDisable || outCTSFlow_ || xonXoffIn_ || xonXoffOut_)
        return fcCustom;
    return fcNone;
}

void TComFlowControl::setFlowControl(TFlowControl value)
{
    if (value == fcCustom)
        return;
    controlRTS_ = rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (value == fcHardware) {
        controlRTS_ = rtsHandshake;
        outCTSFlow_ = true;
    } else if (value == fcSoftware) {
        xonXoffIn_ = true;
        xonXoffOut_ = true;
    }
    changed();
}

TComTimeouts &TComTimeouts::operator=(const TComTimeouts &other)
{
    if (this == &other)
        return *this;
    readInterval_ = other.readInterval_;
    readTotalMultiplier_ = other.readTotalMultiplier_;
    readTotalConstant_ = other.readTotalConstant_;
    writeTotalMultiplier_ = other.writeTotalMultiplier_;
    writeTotalConstant_ = other.writeTotalConstant_;
    if (port_)
        port_->ApplyTimeouts();
    return *this;
}

void TComTimeouts::set(int32_t &field, int32_t value)
{
    if (std::exchange(field, value) != value && port_)
        port_->ApplyTimeouts();
}

void TComTimeouts::setReadInterval(int32_t value) { set(readInterval_, value); }
void TComTimeouts::setReadTotalMultiplier(int32_t value) { set(readTotalMultiplier_, value); }
void TComTimeouts::setReadTotalConstant(int32_t value) { set(readTotalConstant_, value); }
void TComTimeouts::setWriteTotalMultiplier(int32_t value) { set(writeTotalMultiplier_, value); }
void TComTimeouts::setWriteTotalConstant(int32_t value) { set(writeTotalConstant_, value); }

TComBuffer &TComBuffer::operator=(const TComBuffer &other)
{
    if (this == &other)
        return *this;
    inputSize_ = other.inputSize_;
    outputSize_ = other.outputSize_;
    if (port_)
        port_->ApplyBuffer();
    return *this;
}

void TComBuffer::set(int32_t &field, int32_t value)
{
    if (value % 2 != 0)
        --value;
    if (std::exchange(field, value) != value && port_)
        port_->ApplyBuffer();
}

void TComBuffer::setInputSize(int32_t value) { set(inputSize_, value); }
void TComBuffer::setOutputSize(int32_t value) { set(outputSize_, value); }

// The port

TCustomComPort::TCustomComPort(QObject *parent) : QObject(parent) {}

TCustomComPort::~TCustomComPort()
{
    sender_.reset();
    try {
        ClosePort();
    } catch (const std::exception &error) {
        qWarning("closing the serial port failed: %s", error.what());
    }
}

TBaudRate TCustomComPort::BaudRateFromText(const QString &text)
{
    if (text.compare(QLatin1String("Custom"), Qt::CaseInsensitive) == 0)
        return brCustom;
    for (size_t i = 1; i < BaudRates.size(); ++i) {
        if (text.compare(QString::number(BaudRates[i]), Qt::CaseInsensitive) == 0)
            return TBaudRate(i);
    }
    return br9600;
}

void TCustomComPort::setConnected(bool value)
{
    if (value == connected_)
        return;
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::setPort(const QString &value)
{
    if (value == port_)
        return;
    port_ = value;
    emit portChanged(port_);
    if (connected_) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::setBaudRate(TBaudRate value)
{
    if (std::exchange(baudRate_, value) != value)
        ApplyDCB();
}

void TCustomComPort::setCustomBaudRate(int32_t value)
{
    if (std::exchange(customBaudRate_, value) != value)
        ApplyDCB();
}

void TCustomComPort::setStopBits(TStopBits value)
{
    if (std::exchange(stopBits_, value) != value)
        ApplyDCB();
}

void TCustomComPort::setDataBits(TDataBits value)
{
    if (std::exchange(dataBits_, value) != value)
        ApplyDCB();
}

void TCustomComPort::setDiscardNull(bool value)
{
    if (std::exchange(discardNull_, value) != value)
        ApplyDCB();
}

void TCustomComPort::setEventChar(char value)
{
    if (std::exchange(eventChar_, value) != value)
        ApplyDCB();
}

void TCustomComPort::setEvents(TComEvents value)
{
    events_ = value;
    // A running event thread watches the new set from now on.
    if (thread_ && device_)
        device_->setCommMask(eventMaskFor(events_));
}

void TCustomComPort::setSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_)
        throw EComPort(CError_ConnChangeProp);
    syncMethod_ = value;
}

void TCustomComPort::BeginUpdate()
{
    ++updateCount_;
}

void TCustomComPort::EndUpdate()
{
    if (updateCount_ == 0 || --updateCount_ > 0)
        return;
    if (std::exchange(bufferPending_, false))
        ApplyBuffer();
    if (std::exchange(dcbPending_, false))
        ApplyDCB();
    if (std::exchange(timeoutsPending_, false))
        ApplyTimeouts();
}

void TCustomComPort::ApplyBuffer()
{
    if (!connected_ || !device_)
        return;
    if (updateCount_ > 0) {
        bufferPending_ = true;
        return;
    }
    std::lock_guard lock(deviceMutex_);
    if (const int error = device_->setupComm(uint32_t(buffer_.InputSize()), uint32_t(buffer_.OutputSize())))
        throw EComPort(CError_SetupComFailed, error);
}

void TCustomComPort::ApplyDCB()
{
    if (!connected_ || !device_)
        return;
    if (updateCount_ > 0) {
        dcbPending_ = true;
        return;
    }
    std::lock_guard lock(deviceMutex_);
    if (const int error = device_->setCommState(controlBlockFor(*this)))
        throw EComPort(CError_SetStateFailed, error);
}

void TCustomComPort::ApplyTimeouts()
{
    if (!connected_ || !device_)
        return;
    if (updateCount_ > 0) {
        timeoutsPending_ = true;
        return;
    }
    comm::CommTimeouts t;
    t.ReadIntervalTimeout = uint32_t(timeouts_.ReadInterval());
    t.ReadTotalTimeoutMultiplier = uint32_t(timeouts_.ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = uint32_t(timeouts_.ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = uint32_t(timeouts_.WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = uint32_t(timeouts_.WriteTotalConstant());
    std::lock_guard lock(deviceMutex_);
    if (const int error = device_->setCommTimeouts(t))
        throw EComPort(CError_TimeoutsFailed, error);
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    if (OnBeforeOpen)
        OnBeforeOpen();

    const QString path = comm::devicePath(port_);
    int error = 0;
    std::unique_ptr<comm::CommDevice> opened = comm::CommDevice::open(path, error);
    if (!opened)
        throw EComPort(CError_OpenFailed, error, comm::accessHint(path, error));
    {
        std::lock_guard lock(deviceMutex_);
        device_ = std::move(opened);
    }
    connected_ = true;

    try {
        ApplyBuffer();
        ApplyDCB();
        ApplyTimeouts();
        if (!events_.isEmpty()) {
            dispatchSlot_ = std::make_shared<DispatchSlot>();
            thread_ = std::make_unique<TComThread>(*this, *device_, dispatchSlot_);
            if (const int threadError = thread_->error()) {
                thread_.reset();
                dispatchSlot_.reset();
                throw EComPort(CError_OpenFailed, threadError);
            }
        }
    } catch (...) {
        std::lock_guard lock(deviceMutex_);
        device_.reset();
        connected_ = false;
        throw;
    }

    if (OnAfterOpen)
        OnAfterOpen();
    if (!device_)
        return; // closed again by the handler
    uint32_t status = 0;
    if (const int statusError = device_->getCommModemStatus(status))
        throw EComPort(CError_ModemStatFailed, statusError);
    CallModemHandlers(status);
    Found();
}

void TCustomComPort::Found()
{
    if (!lost_.exchange(false))
        return;
    if (reopenTimer_)
        reopenTimer_->stop();
    if (std::exchange(lossTold_, false))
        emit found(port_);
}

void TCustomComPort::CallModemHandlers(uint32_t status)
{
    if (OnCTSChange)
        OnCTSChange(status & comm::MS_CTS_ON);
    if (OnDSRChange)
        OnDSRChange(status & comm::MS_DSR_ON);
    if (OnRLSDChange)
        OnRLSDChange(status & comm::MS_RLSD_ON);
}

void TCustomComPort::ClosePort()
{
    // A handler that closes the port while it is being closed finds nothing left to do.
    if (!connected_ || closing_)
        return;
    closing_ = true;
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{closing_};

    CallModemHandlers(0);
    if (OnBeforeClose)
        OnBeforeClose();

    {
        std::lock_guard lock(deviceMutex_);
        if (const int error = device_->purgeComm(comm::PURGE_TXABORT | comm::PURGE_RXABORT))
            throw EComPort(CError_PurgeFailed, error);
    }

    std::exception_ptr dispatchFailure;
    if (thread_) {
        dispatchFailure = thread_->stop();
        thread_.reset();
        dispatchSlot_.reset();
    }
    {
        std::lock_guard lock(deviceMutex_);
        device_.reset();
    }
    connected_ = false;
    if (OnAfterClose)
        OnAfterClose();
    if (dispatchFailure)
        std::rethrow_exception(dispatchFailure);
}

int TCustomComPort::SendText(const QByteArray &text)
{
    const int count = writeFromSender(text);
    if (count > 0)
        emit written(text);
    return count;
}

int TCustomComPort::writeFromSender(const QByteArray &text)
{
    if (text.isEmpty())
        return 0;
    std::lock_guard lock(deviceMutex_);
    // A port lost meanwhile says so, rather than the closed handle left behind.
    if (Lost())
        throw EComPort(CError_WriteFailed, ENODEV,
                       QStringLiteral("Port perdu (débranché ?) : nouvel essai chaque seconde, rien n'est envoyé."));
    if (!device_)
        throw EComPort(CError_WriteFailed, EBADF);
    uint32_t count = 0;
    if (const int error = device_->writeFile(text.constData(), uint32_t(text.size()), count)) {
        if (comm::deviceGone(error) && !device_->forwarded())
            MarkLost();
        throw EComPort(CError_WriteFailed, error);
    }
    return int(count);
}

PortSender &TCustomComPort::sender()
{
    if (!sender_)
        sender_ = std::make_unique<PortSender>(*this);
    return *sender_;
}

void TCustomComPort::MarkLost()
{
    // Decided once, wherever the failure showed (a write, the event thread); handled on the
    // port's own thread, which alone opens and closes the device.
    if (!lost_.exchange(true))
        QMetaObject::invokeMethod(this, &TCustomComPort::CloseLost, Qt::QueuedConnection);
}

void TCustomComPort::CloseLost()
{
    if (!lost_ || lossTold_)
        return; // open again already, or told
    try {
        ClosePort();
    } catch (const std::exception &error) {
        qWarning("closing the lost serial port failed: %s", error.what());
    }
    lossTold_ = true;
    emit lost(port_);
    if (!lost_)
        return; // a handler of the loss opened the port again
    if (!reopenTimer_) {
        reopenTimer_ = new QTimer(this);
        reopenTimer_->setInterval(ReopenEveryMs);
        connect(reopenTimer_, &QTimer::timeout, this, &TCustomComPort::TryReopen);
    }
    reopenTimer_->start();
}

void TCustomComPort::TryReopen()
{
    if (!lost_)
        return;
    if (connected_) {
        Found(); // opened, though its modem lines could not be read
        return;
    }
    // The name is resolved again each time: a link such as /dev/serial/by-id/… now leads
    // to whichever device the adapter got when it came back. The settings stay as they were.
    try {
        OpenPort();
    } catch (const std::exception &) {
        // Still gone (or busy); the next second tries again.
    }
}

void TCustomComPort::ServeDispatch()
{
    // The slot is held here, so a handler may close the port while it is being served.
    if (std::shared_ptr<DispatchSlot> slot = dispatchSlot_)
        slot->serve([this](TComEvents events) { DoEvents(events); });
}

void TCustomComPort::DoEvents(TComEvents events)
{
    static constexpr TComEvent Order[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                          evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};
    for (TComEvent event : Order) {
        if (!events.contains(event))
            continue;
        if (!device_)
            return; // a handler closed the port
        switch (event) {
        case evError: {
            uint32_t errors = 0;
            if (const int error = device_->clearCommError(errors, nullptr))
                throw EComPort(CError_ClearComFailed, error);
            if (errors != 0 && OnError)
                OnError(errorsFromMask(errors));
            break;
        }
        case evRxChar: {
            uint32_t errors = 0;
            comm::ComStat stat;
            if (const int error = device_->clearCommError(errors, &stat))
                throw EComPort(CError_ClearComFailed, error);
            if (stat.cbInQue == 0)
                break;
            if (OnRxChar)
                OnRxChar(int(stat.cbInQue));
            if (OnRxBuf && device_) {
                QByteArray data(int(stat.cbInQue), Qt::Uninitialized);
                uint32_t read = 0;
                if (const int error = device_->readFile(data.data(), uint32_t(data.size()), read))
                    throw EComPort(CError_ReadFailed, error);
                data.truncate(int(read));
                if (!data.isEmpty())
                    OnRxBuf(data);
            }
            break;
        }
        case evCTS:
        case evDSR:
        case evRLSD: {
            uint32_t status = 0;
            if (const int error = device_->getCommModemStatus(status))
                throw EComPort(CError_ModemStatFailed, error);
            if (event == evCTS && OnCTSChange)
                OnCTSChange(status & comm::MS_CTS_ON);
            else if (event == evDSR && OnDSRChange)
                OnDSRChange(status & comm::MS_DSR_ON);
            else if (event == evRLSD && OnRLSDChange)
                OnRLSDChange(status & comm::MS_RLSD_ON);
            break;
        }
        case evTxEmpty:
            if (OnTxEmpty)
                OnTxEmpty();
            break;
        case evBreak:
            if (OnBreak)
                OnBreak();
            break;
        case evRing:
            if (OnRing)
                OnRing();
            break;
        case evRxFlag:
            if (OnRxFlag)
                OnRxFlag();
            break;
        case evRx80Full:
            if (OnRx80Full)
                OnRx80Full();
            break;
        }
    }
}

} // namespace zelvar
