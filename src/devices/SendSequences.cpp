#include "devices/SendSequences.h"

#include "devices/ComPort.h"

#include <utility>

namespace zelvar::Send {

namespace {

SendingSequence writes(std::vector<SendStep> steps, SendLane lane = SendLane::Local)
{
    SendingSequence sequence;
    sequence.steps = std::move(steps);
    sequence.lane = lane;
    return sequence;
}

SendingSequence infrared(const QByteArray &code, SendLane lane)
{
    return writes({SendStep{code, 0, true}}, lane);
}

} // namespace

SendingSequence press(const CommandSlots &commands)
{
    return writes({{commands.press, 10}});
}

SendingSequence release(const CommandSlots &commands)
{
    return writes({{commands.release, 10}});
}

SendingSequence click(int mode, const CommandSlots &commands)
{
    // An infrared button's click slot is its code, which means nothing to the relay board.
    if (mode == UsbUirt)
        return infrared(commands.click, SendLane::Local);
    return writes({{commands.click, 10}});
}

SendingSequence shortcut(int mode, const CommandSlots &commands)
{
    if (mode == UsbUirt)
        return infrared(commands.click, SendLane::Local);
    return writes({{commands.press, 200}, {commands.release, 200}, {commands.click, 200}});
}

SendingSequence step(int mode, const CommandSlots &commands)
{
    if (mode == UsbUirt)
        return infrared(commands.click, SendLane::Timed);
    return writes({{commands.press, 100}, {commands.release, 100}, {commands.click, 10}}, SendLane::Timed);
}

SendingSequence portTest()
{
    return writes({{relayCommand(1, RelayAction::On), 1000}, {relayCommand(1, RelayAction::Off), 10}});
}

SendingSequence allOff()
{
    std::vector<SendStep> steps;
    for (int relay = 1; relay <= RelayCount; ++relay)
        steps.push_back({relayCommand(relay, RelayAction::Off), 10});
    return writes(std::move(steps));
}

bool queue(TCustomComPort &port, SendingSequence sequence, SendDone done)
{
    if (done)
        sequence.done = std::move(done);
    return port.sender().queue(std::move(sequence));
}

SendResult run(TCustomComPort &port, SendingSequence sequence)
{
    return port.sender().run(std::move(sequence));
}

void raise(const SendResult &result)
{
    if (result.error)
        throw *result.error;
}

void ButtonGesture::follow(int button)
{
    if (button != button_ || !operation_) {
        button_ = button;
        operation_ = std::make_shared<SendOperation>();
    }
}

void ButtonGesture::queueIn(TCustomComPort &port, SendingSequence sequence, SendDone done, bool opens)
{
    sequence.lane = lane_;
    sequence.operation = operation_;
    sequence.opensOperation = opens;
    queue(port, std::move(sequence), std::move(done));
}

void ButtonGesture::press(int button, TCustomComPort &port, const CommandSlots &commands, SendDone done)
{
    button_ = button;
    operation_ = std::make_shared<SendOperation>();
    queueIn(port, Send::press(commands), std::move(done), true);
}

void ButtonGesture::click(int button, TCustomComPort &port, int mode, const CommandSlots &commands, SendDone done)
{
    follow(button);
    queueIn(port, Send::click(mode, commands), std::move(done));
}

void ButtonGesture::release(int button, TCustomComPort &port, const CommandSlots &commands, SendDone done)
{
    follow(button);
    queueIn(port, Send::release(commands), std::move(done));
    // The operation ends here, whether the release goes out or not.
    operation_.reset();
    button_ = 0;
}

} // namespace zelvar::Send
