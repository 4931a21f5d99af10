#pragma once

#include "devices/SerialDevices.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelvar {

// One entry of the port form's port list.
struct PortChoice
{
    QString label;
    // What choosing the entry puts into CurrentPortName; empty for "aucun", which leaves
    // the name as it is.
    QString portName;
    QString toolTip;
};

// The port form's list: "aucun", "Com1" … "Com4", the known names (the one in force, the
// one stored in the panel file) that are device paths the list does not already hold (so the
// port in use stays one choice away after a device is unplugged or another port is chosen),
// then the serial devices present that those do not already name, each under its stable
// name when it has one, with its description.
QList<PortChoice> portChoices(const QList<SerialDeviceInfo> &devices, const QStringList &knownNames = {});

// The general settings dialog's port list: as portChoices(), with an empty item 0.
QList<PortChoice> generalPortChoices(const QList<SerialDeviceInfo> &devices, const QStringList &knownNames);

// A port name typed by the user: "com3" gives "COM3", an absolute path stays as it is, a
// bare device name ("ttyUSB0") gives its path under /dev. `error` says, in French, why a
// text was refused: empty, too long, a control character, a character the panel file
// cannot hold, or neither a COM name nor a device.
struct TypedPortName
{
    QString name;
    QString error;
};
TypedPortName portNameFromText(const QString &text);

// The speed list, "0" first, then the plain numbers of bits per second.
const QStringList &speedItems();
// The speed text an item gives; nothing for "0" (and out of range), which leaves it as it is.
std::optional<QString> speedForItem(int index);

// Which of the form's five buttons are enabled.
struct PortFormButtons
{
    bool Fermer = true;
    bool Enregistrer = false;
    bool Quitter = true;
    bool Appliquer = false;
    bool Test = false;

    bool operator==(const PortFormButtons &) const = default;
};

enum class PortFormStep {
    ItemChosen,    // a port or speed item chosen
    Applied,       // "Appliquer" done
    TestSucceeded, // both commands sent
    TestFailed,    // any step of the test raised
};

// The buttons after a step, from the buttons before it. A default PortFormButtons is the
// state of a form just shown: the user must choose, apply and test before storing, but may
// close at any time.
PortFormButtons buttonsAfter(PortFormButtons buttons, PortFormStep step);

} // namespace zelvar
