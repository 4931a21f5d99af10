#pragma once

#include <QByteArray>

namespace zelvar {

// What a panel button does, as stored in the panel file ("Mode btn").
enum ButtonMode : int {
    Null = 0,
    Imp = 1,      // relay on while pressed, off when released
    On = 2,
    Off = 3,
    Bistable = 4, // relay toggled
    UsbUirt = 5,  // infrared code through the transmitter
    Macros = 6,   // nothing sent by the panel
};

// The choice names shown to the user, "Null" … "Macros"; empty for a number outside 0..6.
const char *buttonModeName(int mode);
bool isKnownButtonMode(int mode);
// Modes whose commands name a relay.
bool isRelayMode(int mode);

enum class RelayAction : char { On = 'N', Off = 'F', Toggle = 'T' };

// "S" + relay number + action letter + "$#": relay 1 on is "S1N$#". The number is sent as
// stored, whatever it is; the board decides what to do with 0 or 17.
QByteArray relayCommand(int relay, RelayAction action);

// The three texts one button sends. Every builder fills all three, so nothing of a previous
// mode survives a change of mode.
struct CommandSlots
{
    QByteArray press;
    QByteArray release;
    QByteArray click; // for infrared buttons: the Pronto code text, unchanged
};

CommandSlots commandSlotsFor(int mode, int relay, const QByteArray &prontoCode);

} // namespace zelvar
