#include "devices/RelayCommand.h"

namespace zelvar {

const char *buttonModeName(int mode)
{
    static const char *const names[] = {"Null", "Imp", "On", "Off", "Bistable", "UsbUirt", "Macros"};
    return isKnownButtonMode(mode) ? names[mode] : "";
}

bool isKnownButtonMode(int mode)
{
    return mode >= Null && mode <= Macros;
}

bool isRelayMode(int mode)
{
    return mode >= Imp && mode <= Bistable;
}

QByteArray relayCommand(int relay, RelayAction action)
{
    return "S" + QByteArray::number(relay) + char(action) + "$#";
}

CommandSlots commandSlotsFor(int mode, int relay, const QByteArray &prontoCode)
{
    switch (mode) {
    case Imp:
        return {relayCommand(relay, RelayAction::On), relayCommand(relay, RelayAction::Off), {}};
    case On:
        return {{}, {}, relayCommand(relay, RelayAction::On)};
    case Off:
        return {{}, {}, relayCommand(relay, RelayAction::Off)};
    case Bistable:
        return {{}, {}, relayCommand(relay, RelayAction::Toggle)};
    case UsbUirt:
        return {{}, {}, prontoCode};
    default:
        return {};
    }
}

} // namespace zelvar
