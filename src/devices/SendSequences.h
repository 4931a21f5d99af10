#pragma once

#include "devices/PortSender.h"
#include "devices/RelayCommand.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace zelvar {

class TCustomComPort;

// The sending sequences every sender uses: which command goes out, in which order, and how
// long the port's sender pauses after each. Only a command that was written is followed by
// its pause; an empty slot sends nothing and waits nothing. An infrared button never writes
// to the serial line. A failed write abandons the rest of the sequence. The port's sender
// writes them in turn (PortSender); callers queue them and learn the result later.
namespace Send {

// Mouse on a panel button: each event sends its own slot, then pauses 10 ms.
SendingSequence press(const CommandSlots &commands);
SendingSequence release(const CommandSlots &commands);
// An infrared button transmits its code (its click slot) and nothing more; the other modes
// write their click slot.
SendingSequence click(int mode, const CommandSlots &commands);

// Keyboard shortcut: infrared buttons transmit only; the others send press, release and
// click with 200 ms after each one written.
SendingSequence shortcut(int mode, const CommandSlots &commands);

// Sequencer step and scheduler firing: infrared buttons transmit only; the others send
// press, 100 ms, release, 100 ms, click, 10 ms, each pause after a command written. So an
// "Imp" button pulses its relay for 100 ms and an "On" button's command leaves at once.
// It goes ahead of the sequences still waiting.
SendingSequence step(int mode, const CommandSlots &commands);

// The port form's test, once the port is open: relay 1 on, 1000 ms, relay 1 off, 10 ms.
SendingSequence portTest();

// "Tout éteindre": relays 1 to 16 switched off in turn, one write per command with 10 ms
// after each, as if sixteen "Off" buttons were clicked: the board takes every command
// whole, followed by the pause every single command gets. A failed write abandons the
// relays after it.
SendingSequence allOff();

// Hands a sequence to the port's sender; false when it was refused (too many remote
// commands waiting). `done` runs on the caller's thread with the result.
bool queue(TCustomComPort &port, SendingSequence sequence, SendDone done = {});
// Queues and waits for the result, for one-shot commands that need it.
SendResult run(TCustomComPort &port, SendingSequence sequence);
// Raises the result's write failure, if any.
void raise(const SendResult &result);

// One mouse operation on a panel button, from press to release, as the panel sees it:
// press, then click when the release lands on the button, then release. A press that could
// not be written abandons the click and release of that operation, so one failed click is
// one failure; once the press is out, the release is always written, so that a relay
// switched on is switched off again. Only the first failure of an operation is told.
// A click or release of another button than the one pressed is an operation of its own.
// The sender judges each step when it comes to it, since only it knows what went out.
class ButtonGesture
{
public:
    // The lane every step of its operations takes.
    explicit ButtonGesture(SendLane lane = SendLane::Local) : lane_(lane) {}

    void press(int button, TCustomComPort &port, const CommandSlots &commands, SendDone done = {});
    void click(int button, TCustomComPort &port, int mode, const CommandSlots &commands, SendDone done = {});
    void release(int button, TCustomComPort &port, const CommandSlots &commands, SendDone done = {});

private:
    // Starts a fresh operation unless `button` is the one pressed.
    void follow(int button);
    void queueIn(TCustomComPort &port, SendingSequence sequence, SendDone done, bool opens = false);

    SendLane lane_;
    int button_ = 0;
    std::shared_ptr<SendOperation> operation_;
};

} // namespace Send
} // namespace zelvar
