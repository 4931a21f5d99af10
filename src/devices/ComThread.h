#pragma once

#include "devices/ComPort.h"
#include "devices/CommLayer.h"

#include <QThread>

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace zelvar {

// The meeting point where the event thread hands fired events to the port's own thread
// and waits until they are handled there.
class DispatchSlot
{
public:
    using Dispatch = std::function<void(TComEvents)>;

    // Event thread: offers the events, calls `post` so that the owning thread comes to
    // serve them, and returns once they are handled or the hand-over is given up.
    void handOver(TComEvents events, const std::function<void()> &post);
    // Event thread: tells that the thread has left its loop.
    void finish();

    // Owning thread: handles the events on offer, if any. A failure of the dispatch passes
    // on to the caller. Returns false when there was nothing to serve.
    bool serve(const Dispatch &dispatch);
    // Owning thread: waits until the event thread has left its loop, serving hand-overs
    // meanwhile so that neither side waits on the other. A hand-over that the owning thread
    // is already serving further up its stack (a handler that closes the port) is given up.
    // Returns the first failure of a dispatch served here.
    std::exception_ptr serveUntilFinished(const Dispatch &dispatch);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    TComEvents events_;
    bool pending_ = false;
    bool serving_ = false;
    bool givenUp_ = false;
    bool finished_ = false;
};

// The thread that watches an open device and hands fired events over for dispatch.
class TComThread
{
public:
    // Sets the device's event mask from the port's events and starts watching. Check
    // error() afterwards: non-zero when the thread could not be set up.
    TComThread(TCustomComPort &port, comm::CommDevice &device, std::shared_ptr<DispatchSlot> slot);
    ~TComThread();
    TComThread(const TComThread &) = delete;
    TComThread &operator=(const TComThread &) = delete;

    int error() const { return error_; }
    // Ends the thread and waits for it, serving its hand-overs meanwhile; returns the first
    // failure of a dispatch served during the wait.
    std::exception_ptr stop();

private:
    void run();

    TCustomComPort &port_;
    comm::CommDevice &device_;
    std::shared_ptr<DispatchSlot> slot_;
    TSyncMethod syncMethod_;
    comm::StopEvent stopEvent_;
    std::unique_ptr<QThread> thread_;
    int error_ = 0;
};

} // namespace zelvar
