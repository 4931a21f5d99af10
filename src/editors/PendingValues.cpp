#include "editors/PendingValues.h"

#include "common/ProfileFile.h"
#include "devices/RelayCommand.h"

namespace zelvar {

PendingValues &PendingValues::shared()
{
    static PendingValues values;
    return values;
}

void PendingValues::setCommandsFor(int mode, int relay, const QString &code)
{
    first.clear();
    second.clear();
    third.clear();
    switch (mode) {
    case Imp:
        first = relayCommand(relay, RelayAction::On);
        second = relayCommand(relay, RelayAction::Off);
        break;
    case On:
        third = relayCommand(relay, RelayAction::On);
        break;
    case Off:
        third = relayCommand(relay, RelayAction::Off);
        break;
    case Bistable:
        third = relayCommand(relay, RelayAction::Toggle);
        break;
    case UsbUirt:
        prontoCode = code;
        third = encodeWindows1252(code);
        break;
    default:
        break;
    }
}

void PendingValues::modeChosen(int item)
{
    relay = 0;
    if (item >= Null && item <= UsbUirt)
        mode = item;
    if (item == Macros || item < Null || item > Macros) {
        first.clear();
        second.clear();
        third.clear();
        return;
    }
    setCommandsFor(item, relay, prontoCode);
}

void PendingValues::relayChosen(int item, const QString &typedCode)
{
    if (item >= 1 && item <= 16)
        relay = item;
    if (mode >= Imp && mode <= UsbUirt)
        setCommandsFor(mode, relay, typedCode);
}

} // namespace zelvar
