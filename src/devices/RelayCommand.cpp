#include "devices/RelayCommand.h"

#include <algorithm>

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

std::optional<RelayAction> relayActionNamed(QByteArrayView word)
{
    if (word.compare("on", Qt::CaseInsensitive) == 0)
        return RelayAction::On;
    if (word.compare("off", Qt::CaseInsensitive) == 0)
        return RelayAction::Off;
    if (word.compare("toggle", Qt::CaseInsensitive) == 0)
        return RelayAction::Toggle;
    return std::nullopt;
}

QByteArray relayCommand(int relay, RelayAction action)
{
    return "S" + QByteArray::number(relay) + char(action) + "$#";
}

namespace {

bool isActionLetter(char c)
{
    return c == char(RelayAction::On) || c == char(RelayAction::Off) || c == char(RelayAction::Toggle);
}

} // namespace

std::vector<RelayCommandText> relayCommandsIn(QByteArrayView text)
{
    std::vector<RelayCommandText> commands;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        if (text[i] != 'S') {
            ++i;
            continue;
        }
        qsizetype at = i + 1;
        int relay = 0;
        while (at < size && text[at] >= '0' && text[at] <= '9') {
            // Past the board's relays the number only needs to stay out of range.
            relay = std::min(relay * 10 + (text[at] - '0'), RelayCount + 1);
            ++at;
        }
        const bool whole = at > i + 1 && at + 2 < size && isActionLetter(text[at]) && text[at + 1] == '$'
                           && text[at + 2] == '#';
        if (!whole) {
            // A cut command is skipped up to the next "S", which may start a whole one.
            i = at > i + 1 ? at : i + 1;
            continue;
        }
        if (relay >= 1 && relay <= RelayCount)
            commands.push_back({relay, RelayAction(text[at])});
        i = at + 3;
    }
    return commands;
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
