#pragma once

#include "devices/ComError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zelvar {

class TCustomComPort;

// One write of a sending sequence and the pause after it. An infrared step transmits its
// code and has no pause; an empty write sends nothing and waits nothing.
struct SendStep
{
    QByteArray bytes;
    int pauseAfter = 0;
    bool infrared = false;
};

// Who asked, which decides the place in the queue.
enum class SendLane {
    Local,  // the panel, its shortcuts, the settings' tests, the command line: in order
    Timed,  // a scheduler firing or a sequencer tick: ahead of everything still waiting
    Remote, // HTTP, WebSocket, MQTT: in order, refused when too many wait
};

// A press, click and release of one mouse operation: a press that failed abandons the
// rest; only the first failure of the operation is told. Touched on the sender thread only.
struct SendOperation
{
    bool abandoned = false;
    bool failed = false;
};

struct SendResult
{
    // Milliseconds since the epoch when the first write began; 0 when nothing was written.
    qint64 firstWriteMs = 0;
    std::optional<EComPort> error;
    // Why an infrared code was not sent.
    std::optional<QString> infraredNotSent;
    // The sequence was not run: its operation's press had failed.
    bool skipped = false;
    bool ok() const { return !error && !infraredNotSent; }
};

using SendDone = std::function<void(const SendResult &)>;

struct SendingSequence
{
    std::vector<SendStep> steps;
    SendLane lane = SendLane::Local;
    // A remote command that sets relay n on or off: one still waiting for the same relay
    // is dropped, the latest wins.
    int coalesceRelay = 0;
    std::shared_ptr<SendOperation> operation;
    bool opensOperation = false;
    // Called on the owner's thread once the sequence has run.
    SendDone done;
};

// The one sender of a port: a thread of its own that writes each queued sequence in turn
// and keeps the pauses, so that no caller waits on the wire. Results come back to the
// owner's thread: each write as the port's `written` signal, each sequence as its `done`.
class PortSender : public QObject
{
    Q_OBJECT

public:
    // Beyond this many waiting sequences, a remote command is refused.
    static constexpr int MaxWaiting = 256;

    explicit PortSender(TCustomComPort &port);
    // The sequence being written ends; those still waiting are dropped.
    ~PortSender() override;

    // False when refused (a remote command beyond MaxWaiting); the sequence is then dropped.
    bool queue(SendingSequence sequence);
    // Queues and blocks until the sequence has run; for one-shot commands. A refused one
    // fails with EAGAIN.
    SendResult run(SendingSequence sequence);
    // Blocks until nothing is waiting or being written, then delivers the results.
    void waitIdle();
    int waiting() const;

private:
    void loop();
    void perform(SendingSequence &sequence);
    void post(std::function<void()> call);

    TCustomComPort &port_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<SendingSequence> timed_;
    std::deque<SendingSequence> ordered_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace zelvar
