#include "panel/PanelButtons.h"

#include "devices/RelayCommand.h"

namespace zelvar {

ButtonEntry makeButtonEntry(const ButtonConfig &button)
{
    ButtonEntry entry;
    const CommandSlots commands =
        commandSlotsFor(button.mode, button.relay, encodeWindows1252(button.prontoCode));
    entry.pressCommand = commands.press;
    entry.releaseCommand = commands.release;
    entry.clickCommand = commands.click;
    entry.mode = button.mode;
    entry.description = button.description.isEmpty() ? QStringLiteral(u"Non défini") : button.description;
    entry.shortcut = button.shortcut;
    return entry;
}

PanelButtons buildPanelButtons(const std::vector<ButtonConfig> &buttons)
{
    PanelButtons entries(1);
    entries.reserve(buttons.size() + 1);
    for (const ButtonConfig &button : buttons)
        entries.push_back(makeButtonEntry(button));
    return entries;
}

} // namespace zelvar
