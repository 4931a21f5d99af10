#pragma once

#include "devices/RelayCommand.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zelvar {

class TCustomComPort;

// The sending sequences every sender uses: which command goes out, in which order, and how
// long the user-interface thread pauses after each. Only a command that was written is
// followed by its pause; an empty slot sends nothing and waits nothing. An infrared button
// never writes to the serial line. A failed write raises the port's error and abandons the
// rest of the sequence. The functions that may transmit infrared return
// why a code was not sent; the caller decides how to tell the user.
namespace Send {

// Mouse on a panel button: each event sends its own slot, then pauses 10 ms.
void press(TCustomComPort &port, const CommandSlots &commands);
void release(TCustomComPort &port, const CommandSlots &commands);
// An infrared button transmits its code (its click slot) and nothing more; the other modes
// write their click slot.
std::optional<QString> click(TCustomComPort &port, int mode, const CommandSlots &commands);

// One mouse operation on a panel button, from press to release, as the panel sees it:
// press, then click when the release lands on the button, then release. A press that could
// not be written abandons the click and release of that operation, so one failed click is
// one failure; once the press is out, the release is always written, so that a relay
// switched on is switched off again. Only the first failure of an operation is raised.
// A click or release of another button than the one pressed is an operation of its own.
class ButtonGesture
{
public:
    void press(int button, TCustomComPort &port, const CommandSlots &commands);
    std::optional<QString> click(int button, TCustomComPort &port, int mode, const CommandSlots &commands);
    void release(int button, TCustomComPort &port, const CommandSlots &commands);

private:
    // Starts a fresh operation unless `button` is the one pressed.
    void follow(int button);
    // Runs one write of the operation; raises its failure unless one was raised already.
    template<typename Write>
    auto guarded(Write write) -> decltype(write());

    int button_ = 0;
    bool abandoned_ = false;
    bool failed_ = false;
};

// Keyboard shortcut: infrared buttons transmit only; the others send press, release and
// click with 200 ms after each one written.
std::optional<QString> shortcut(TCustomComPort &port, int mode, const CommandSlots &commands);

// Sequencer step and scheduler firing: infrared buttons transmit only; the others send
// press, 100 ms, release, 100 ms, click, 10 ms, each pause after a command written. So an
// "Imp" button pulses its relay for 100 ms and an "On" button's command leaves at once.
std::optional<QString> step(TCustomComPort &port, int mode, const CommandSlots &commands);

// The port form's test: open the port, relay 1 on, 1000 ms, relay 1 off, 10 ms.
void portTest(TCustomComPort &port);

// "Tout éteindre": relays 1 to 16 switched off in turn, one write per command with 10 ms
// after each, as if sixteen "Off" buttons were clicked: the board takes every command
// whole, followed by the pause every single command gets. A failed write abandons the
// relays after it.
void allOff(TCustomComPort &port);

} // namespace Send
} // namespace zelvar
