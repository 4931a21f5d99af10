#include "devices/PortSender.h"

#include "common/Pause.h"
#include "devices/ComPort.h"
#include "devices/Infrared.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace zelvar {

PortSender::PortSender(TCustomComPort &port) : QObject(nullptr), port_(port)
{
    thread_ = std::thread([this] { loop(); });
}

PortSender::~PortSender()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        timed_.clear();
        ordered_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

bool PortSender::queue(SendingSequence sequence)
{
    {
        std::lock_guard lock(mutex_);
        if (sequence.lane == SendLane::Remote && sequence.coalesceRelay > 0) {
            const auto same = std::find_if(ordered_.begin(), ordered_.end(), [&](const SendingSequence &s) {
                return s.lane == SendLane::Remote && s.coalesceRelay == sequence.coalesceRelay;
            });
            if (same != ordered_.end())
                ordered_.erase(same);
        }
        if (sequence.lane == SendLane::Remote && timed_.size() + ordered_.size() >= size_t(MaxWaiting))
            return false;
        (sequence.lane == SendLane::Timed ? timed_ : ordered_).push_back(std::move(sequence));
    }
    changed_.notify_all();
    return true;
}

SendResult PortSender::run(SendingSequence sequence)
{
    auto result = std::make_shared<SendResult>();
    SendDone done = std::move(sequence.done);
    sequence.done = [result, done](const SendResult &r) {
        *result = r;
        if (done)
            done(r);
    };
    if (!queue(std::move(sequence))) {
        result->error = EComPort(CError_WriteFailed, EAGAIN);
        return *result;
    }
    waitIdle();
    return *result;
}

void PortSender::waitIdle()
{
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !busy_ && timed_.empty() && ordered_.empty(); });
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

int PortSender::waiting() const
{
    std::lock_guard lock(mutex_);
    return int(timed_.size() + ordered_.size());
}

void PortSender::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void PortSender::loop()
{
    for (;;) {
        SendingSequence sequence;
        {
            std::unique_lock lock(mutex_);
            busy_ = false;
            changed_.notify_all();
            changed_.wait(lock, [this] { return stopping_ || !timed_.empty() || !ordered_.empty(); });
            if (stopping_)
                return;
            std::deque<SendingSequence> &from = timed_.empty() ? ordered_ : timed_;
            sequence = std::move(from.front());
            from.pop_front();
            busy_ = true;
        }
        perform(sequence);
    }
}

void PortSender::perform(SendingSequence &sequence)
{
    SendResult result;
    SendOperation *operation = sequence.operation.get();
    if (operation && operation->abandoned) {
        result.skipped = true;
    } else {
        for (const SendStep &step : sequence.steps) {
            if (step.infrared) {
                result.firstWriteMs = QDateTime::currentMSecsSinceEpoch();
                result.infraredNotSent = transmitInfrared(step.bytes);
                continue;
            }
            // A pause follows only a command that went out.
            if (step.bytes.isEmpty())
                continue;
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            try {
                port_.writeFromSender(step.bytes);
            } catch (const EComPort &error) {
                result.error = error;
                break;
            }
            if (result.firstWriteMs == 0)
                result.firstWriteMs = now;
            TCustomComPort *port = &port_;
            post([port, bytes = step.bytes] { emit port->written(bytes); });
            if (step.pauseAfter > 0)
                pauseMs(step.pauseAfter);
        }
    }
    if (operation && result.error) {
        if (sequence.opensOperation)
            operation->abandoned = true;
        if (std::exchange(operation->failed, true))
            result.error.reset();
    }
    if (sequence.done)
        post([done = std::move(sequence.done), result] { done(result); });
}

} // namespace zelvar
