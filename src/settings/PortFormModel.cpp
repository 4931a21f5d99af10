#include "settings/PortFormModel.h"

#include <algorithm>

namespace zelvar {

QList<PortChoice> portChoices(const QList<SerialDeviceInfo> &devices, const QString &storedName)
{
    QList<PortChoice> choices{{QStringLiteral("aucun"), {}, {}}};
    for (int n = 1; n <= 4; ++n)
        choices.append({QStringLiteral("Com%1").arg(n), QStringLiteral("COM%1").arg(n), {}});
    const bool storedPresent = std::any_of(devices.cbegin(), devices.cend(), [&](const SerialDeviceInfo &device) {
        return device.portName == storedName || device.path == storedName;
    });
    if (storedName.contains(u'/') && !storedPresent)
        choices.append({storedName, storedName, {}});
    for (const SerialDeviceInfo &device : devices) {
        const bool named = std::any_of(choices.cbegin(), choices.cend(), [&](const PortChoice &c) {
            return c.portName.compare(device.portName, Qt::CaseInsensitive) == 0;
        });
        if (device.portName.isEmpty() || named)
            continue;
        PortChoice choice;
        choice.portName = device.portName;
        choice.label = device.description.isEmpty()
                           ? device.portName
                           : device.portName + QStringLiteral(" (") + device.description + u')';
        choice.toolTip = device.path;
        choices.append(choice);
    }
    return choices;
}

QList<PortChoice> generalPortChoices(const QList<SerialDeviceInfo> &devices, const QString &storedName)
{
    QList<PortChoice> choices = portChoices(devices, storedName);
    choices.first().label.clear();
    return choices;
}

const QStringList &speedItems()
{
    static const QStringList items{
        QStringLiteral("0"),     QStringLiteral("110"),   QStringLiteral("300"),
        QStringLiteral("600"),   QStringLiteral("1200"),  QStringLiteral("2400"),
        QStringLiteral("4800"),  QStringLiteral("9600"),  QStringLiteral("14400"),
        QStringLiteral("19200"), QStringLiteral("38400"), QStringLiteral("56000"),
        QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("128000"),
    };
    return items;
}

std::optional<QString> speedForItem(int index)
{
    if (index < 1 || index >= speedItems().size())
        return std::nullopt;
    return speedItems().at(index);
}

PortFormButtons buttonsAfter(PortFormButtons buttons, PortFormStep step)
{
    switch (step) {
    case PortFormStep::ItemChosen:
        buttons.Appliquer = true;
        break;
    case PortFormStep::Applied:
        buttons.Appliquer = false;
        buttons.Test = true;
        break;
    case PortFormStep::TestSucceeded:
        buttons.Fermer = true;
        buttons.Enregistrer = true;
        buttons.Test = false;
        break;
    case PortFormStep::TestFailed:
        buttons.Test = false;
        break;
    }
    return buttons;
}

} // namespace zelvar
