#include "devices/SendSequences.h"

#include "common/Pause.h"
#include "devices/ComPort.h"
#include "devices/Infrared.h"

#include <utility>

namespace zelvar::Send {

namespace {

// A pause follows only a command that went out: an empty slot neither writes nor waits, so
// a single command ("On", "Off", "Bistable") leaves at once, whatever the trigger.
void write(TCustomComPort &port, const QByteArray &command, int pauseAfter)
{
    if (command.isEmpty())
        return;
    port.SendText(command);
    pauseMs(pauseAfter);
}

void threeSlots(TCustomComPort &port, const CommandSlots &commands, int afterPress, int afterRelease,
                int afterClick)
{
    write(port, commands.press, afterPress);
    write(port, commands.release, afterRelease);
    write(port, commands.click, afterClick);
}

} // namespace

void press(TCustomComPort &port, const CommandSlots &commands)
{
    write(port, commands.press, 10);
}

void release(TCustomComPort &port, const CommandSlots &commands)
{
    write(port, commands.release, 10);
}

std::optional<QString> click(TCustomComPort &port, int mode, const CommandSlots &commands)
{
    // An infrared button's click slot is its code, which means nothing to the relay board.
    if (mode == UsbUirt)
        return transmitInfrared(commands.click);
    write(port, commands.click, 10);
    return std::nullopt;
}

std::optional<QString> shortcut(TCustomComPort &port, int mode, const CommandSlots &commands)
{
    if (mode == UsbUirt)
        return transmitInfrared(commands.click);
    threeSlots(port, commands, 200, 200, 200);
    return std::nullopt;
}

std::optional<QString> step(TCustomComPort &port, int mode, const CommandSlots &commands)
{
    if (mode == UsbUirt)
        return transmitInfrared(commands.click);
    threeSlots(port, commands, 100, 100, 10);
    return std::nullopt;
}

void ButtonGesture::follow(int button)
{
    if (button != button_)
        *this = ButtonGesture{};
}

template<typename Write>
auto ButtonGesture::guarded(Write write) -> decltype(write())
{
    try {
        return write();
    } catch (...) {
        if (std::exchange(failed_, true))
            return decltype(write())();
        throw;
    }
}

void ButtonGesture::press(int button, TCustomComPort &port, const CommandSlots &commands)
{
    *this = ButtonGesture{};
    button_ = button;
    try {
        Send::press(port, commands);
    } catch (...) {
        abandoned_ = failed_ = true;
        throw;
    }
}

std::optional<QString> ButtonGesture::click(int button, TCustomComPort &port, int mode, const CommandSlots &commands)
{
    follow(button);
    if (abandoned_)
        return std::nullopt;
    return guarded([&] { return Send::click(port, mode, commands); });
}

void ButtonGesture::release(int button, TCustomComPort &port, const CommandSlots &commands)
{
    follow(button);
    // The operation ends here, whether the release goes out or not.
    ButtonGesture operation = std::exchange(*this, ButtonGesture{});
    if (!operation.abandoned_)
        operation.guarded([&] { Send::release(port, commands); });
}

void portTest(TCustomComPort &port)
{
    port.OpenPort();
    write(port, relayCommand(1, RelayAction::On), 1000);
    write(port, relayCommand(1, RelayAction::Off), 10);
}

void allOff(TCustomComPort &port)
{
    for (int relay = 1; relay <= RelayCount; ++relay)
        write(port, relayCommand(relay, RelayAction::Off), 10);
}

} // namespace zelvar::Send
