#include "devices/ComThread.h"

#include <QtDebug>

namespace zelvar {

void DispatchSlot::handOver(TComEvents events, const std::function<void()> &post)
{
    {
        std::lock_guard lock(mutex_);
        events_ = events;
        pending_ = true;
        givenUp_ = false;
        changed_.notify_all();
    }
    post();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_ || givenUp_; });
}

void DispatchSlot::finish()
{
    // Notified under the lock: the owning thread may free the slot as soon as it sees this.
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

bool DispatchSlot::serve(const Dispatch &dispatch)
{
    TComEvents events;
    {
        std::lock_guard lock(mutex_);
        if (!pending_ || serving_)
            return false;
        serving_ = true;
        events = events_;
    }
    struct Done
    {
        DispatchSlot *slot;
        ~Done()
        {
            std::lock_guard lock(slot->mutex_);
            slot->serving_ = false;
            slot->pending_ = false;
            slot->changed_.notify_all();
        }
    } done{this};
    dispatch(events);
    return true;
}

std::exception_ptr DispatchSlot::serveUntilFinished(const Dispatch &dispatch)
{
    std::exception_ptr failure;
    std::unique_lock lock(mutex_);
    while (!finished_) {
        if (pending_ && !serving_) {
            lock.unlock();
            try {
                serve(dispatch);
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
            lock.lock();
            continue;
        }
        if (pending_ && serving_ && !givenUp_) {
            givenUp_ = true;
            changed_.notify_all();
        }
        changed_.wait(lock);
    }
    return failure;
}

TComThread::TComThread(TCustomComPort &port, comm::CommDevice &device, std::shared_ptr<DispatchSlot> slot)
    : port_(port), device_(device), slot_(std::move(slot)), syncMethod_(port.SyncMethod())
{
    error_ = stopEvent_.error();
    if (error_ == 0)
        error_ = device_.setCommMask(eventMaskFor(port.Events()));
    if (error_ != 0)
        return;
    thread_.reset(QThread::create([this] { run(); }));
    thread_->setObjectName(QStringLiteral("TComThread"));
    thread_->start(port.EventThreadPriority());
}

TComThread::~TComThread()
{
    stop();
}

std::exception_ptr TComThread::stop()
{
    if (!thread_)
        return {};
    stopEvent_.set();
    QThread::yieldCurrentThread();
    std::exception_ptr failure = slot_->serveUntilFinished([this](TComEvents events) { port_.DoEvents(events); });
    thread_->wait();
    thread_.reset();
    return failure;
}

void TComThread::run()
{
    for (;;) {
        uint32_t fired = 0;
        const int result = device_.waitCommEvent(fired, stopEvent_);
        if (result != 0) {
            if (comm::deviceGone(result))
                port_.MarkLost();
            else if (result != ECANCELED)
                qWarning("serial event thread: waiting on the device failed (error %d)", result);
            break;
        }
        const TComEvents events = eventsFromMask(fired);
        if (events.isEmpty())
            continue;
        if (syncMethod_ == smNone) {
            // Nobody on this thread could report a failure; leave a trace of it.
            try {
                port_.DoEvents(events);
            } catch (const std::exception &error) {
                qWarning("serial event handler failed: %s", error.what());
            }
        } else {
            TCustomComPort *port = &port_;
            slot_->handOver(events, [port] {
                QMetaObject::invokeMethod(port, [port] { port->ServeDispatch(); }, Qt::QueuedConnection);
            });
        }
    }
    device_.setCommMask(0);
    device_.purgeComm(comm::PURGE_TXCLEAR | comm::PURGE_RXCLEAR);
    slot_->finish();
}

} // namespace zelvar
