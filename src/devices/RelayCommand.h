#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

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

// "on", "off" or "toggle", in any case, as the remote interfaces take them; none otherwise.
std::optional<RelayAction> relayActionNamed(QByteArrayView word);

// The board's relays are numbered 1 to RelayCount.
constexpr int RelayCount = 16;

// "S" + relay number + action letter + "$#": relay 1 on is "S1N$#". The number is sent as
// stored, whatever it is; the board decides what to do with 0 or 17.
QByteArray relayCommand(int relay, RelayAction action);

struct RelayCommandText
{
    int relay = 0;
    RelayAction action = RelayAction::Off;
    bool operator==(const RelayCommandText &) const = default;
};

// The inverse of relayCommand(): the commands a text written to the board holds, in order,
// read as the board reads its line. Every "S" starts a command; it counts once its digits,
// its action letter and "$#" follow in full. Bytes that are no command are skipped, and so
// is a command for a relay the board does not have (0, 17…).
std::vector<RelayCommandText> relayCommandsIn(QByteArrayView text);

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
