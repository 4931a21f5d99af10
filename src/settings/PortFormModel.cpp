#include "settings/PortFormModel.h"

#include "common/ProfileFile.h"

#include <QRegularExpression>

#include <algorithm>

namespace zelvar {

namespace {

// The longest path the system opens (PATH_MAX less its terminating zero).
constexpr qsizetype MaxPortNameLength = 4095;

} // namespace

QList<PortChoice> portChoices(const QList<SerialDeviceInfo> &devices, const QStringList &knownNames)
{
    QList<PortChoice> choices{{QStringLiteral("aucun"), {}, {}}};
    for (int n = 1; n <= 4; ++n)
        choices.append({QStringLiteral("Com%1").arg(n), QStringLiteral("COM%1").arg(n), {}});
    for (const QString &known : knownNames) {
        const bool present = std::any_of(devices.cbegin(), devices.cend(), [&](const SerialDeviceInfo &device) {
            return device.portName == known || device.path == known;
        });
        const bool listed = std::any_of(choices.cbegin(), choices.cend(),
                                        [&](const PortChoice &c) { return c.portName == known; });
        if (known.contains(u'/') && !present && !listed)
            choices.append({known, known, {}});
    }
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

QList<PortChoice> generalPortChoices(const QList<SerialDeviceInfo> &devices, const QStringList &knownNames)
{
    QList<PortChoice> choices = portChoices(devices, knownNames);
    choices.first().label.clear();
    return choices;
}

TypedPortName portNameFromText(const QString &text)
{
    static const QRegularExpression comName(QStringLiteral("^com([1-9][0-9]{0,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression deviceName(QStringLiteral("^[A-Za-z0-9_.:+-]+$"));
    const QString name = text.trimmed();
    const auto refused = [](const QString &why) { return TypedPortName{{}, why}; };
    if (name.isEmpty())
        return refused(QStringLiteral(u"Tapez le nom d'un port : COM1 à COM4 ou le chemin d'un périphérique "
                                      u"(/dev/ttyUSB0)."));
    if (name.size() > MaxPortNameLength)
        return refused(QStringLiteral(u"Le nom du port est trop long (%1 caractères, au plus %2).")
                           .arg(name.size())
                           .arg(MaxPortNameLength));
    if (std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return refused(QStringLiteral(u"Le nom du port contient un caractère de contrôle."));
    bool lossy = false;
    encodeWindows1252(name, &lossy);
    if (lossy)
        return refused(QStringLiteral(u"Le nom du port « %1 » contient des caractères que le fichier de "
                                      u"configuration ne peut pas contenir.")
                           .arg(name));
    if (const QRegularExpressionMatch match = comName.match(name); match.hasMatch())
        return {QStringLiteral("COM") + match.captured(1), {}};
    if (name.startsWith(u'/'))
        return {name, {}};
    if (deviceName.match(name).hasMatch() && name != QLatin1String(".") && name != QLatin1String(".."))
        return {QStringLiteral("/dev/") + name, {}};
    return refused(QStringLiteral(u"« %1 » n'est pas un nom de port : tapez COM1 à COM4 ou le chemin d'un "
                                  u"périphérique (/dev/ttyUSB0).")
                       .arg(name));
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
