#pragma once

#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

namespace zelvar {

// One live panel button: what it sends and how it is reached.
struct ButtonEntry
{
    QPointer<QObject> button; // its control on the panel, when there is one
    QByteArray pressCommand;
    QByteArray releaseCommand;
    QByteArray clickCommand; // for infrared buttons: the Pronto code text
    int mode = 0;
    QString description; // never empty on a live panel
    int shortcut = 0;    // Windows virtual-key code, 0 for none

    // What the sending sequences take.
    CommandSlots commands() const { return {pressCommand, releaseCommand, clickCommand}; }
};

// Indexed from 1; slot 0 always exists and stays empty.
using PanelButtons = std::vector<ButtonEntry>;

// A fresh entry for one button: nothing of a former occupant of the slot survives.
ButtonEntry makeButtonEntry(const ButtonConfig &button);

// The live panel's list for a configuration, slot 0 included.
PanelButtons buildPanelButtons(const std::vector<ButtonConfig> &buttons);

} // namespace zelvar
