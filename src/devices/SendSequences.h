#pragma once

#include "devices/RelayCommand.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace zelvar {

class TCustomComPort;

// The sending sequences every sender uses: which command goes out, in which order, and how
// long the user-interface thread pauses after each. A failed write raises the port's error
// and abandons the rest of the sequence. The functions that may transmit infrared return
// why a code was not sent; the caller decides how to tell the user.
namespace Send {

// Mouse on a panel button: each event sends its own slot, then pauses 10 ms.
void press(TCustomComPort &port, const CommandSlots &commands);
void release(TCustomComPort &port, const CommandSlots &commands);
// An infrared button transmits its code first, then every mode writes its click slot.
std::optional<QString> click(TCustomComPort &port, int mode, const CommandSlots &commands);

// Keyboard shortcut: infrared buttons transmit only; the others send press, release and
// click with 200 ms after each.
std::optional<QString> shortcut(TCustomComPort &port, int mode, const CommandSlots &commands);

// Sequencer step and scheduler firing: infrared buttons transmit only; the others send
// press, 100 ms, release, 100 ms, click, 10 ms.
std::optional<QString> step(TCustomComPort &port, int mode, const CommandSlots &commands);

// The port form's test: open the port, relay 1 on, 1000 ms, relay 1 off, 10 ms.
void portTest(TCustomComPort &port);

} // namespace Send
} // namespace zelvar
