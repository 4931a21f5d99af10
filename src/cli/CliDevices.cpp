#include "cli/CliCommands.h"
#include "cli/CliPort.h"

#include "common/ProfileFile.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/RelayCommand.h"
#include "devices/SendSequences.h"
#include "devices/SerialDevices.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"
#include "settings/PortSettingsFile.h"

#include <QCommandLineParser>

namespace zelvar::cli {

namespace {

// Parses a command that talks to the board; its help also tells the exit statuses.
bool parseDeviceCommand(QCommandLineParser &parser, const QStringList &arguments, int *status)
{
    return parseCommand(parser, arguments, status,
                        QStringLiteral("\nCode de sortie : 0 réussi, 2 erreur du port ou de l'émetteur infrarouge (la raison est "
                                       "affichée), 64 usage.\n"));
}

// Runs `action` on a port opened as the options and panel file say (left closed when
// `open` is false), closes it, and turns a port error into its message and status.
template <typename Action>
int onPort(const QCommandLineParser &parser, const PanelSettings &settings, bool open, Action action)
{
    TComPort port;
    try {
        if (open)
            openPort(port, portChoice(parser, settings));
        const int status = action(port);
        port.ClosePort();
        return status;
    } catch (const EComPort &error) {
        err() << error.Message() << "\n";
        return DeviceError;
    }
}

std::optional<PanelConfig> panelConfig(const QString &command)
{
    const std::optional<ProfileFile> profile = readProfile(command, PanelFiles::config());
    if (!profile)
        return std::nullopt;
    return readPanelConfig(*profile, PanelReader::Panel);
}

bool parseRelay(const QString &text, int *relay)
{
    bool ok = false;
    *relay = text.toInt(&ok);
    return ok && *relay >= 1 && *relay <= 16;
}

} // namespace

int runRelay(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Commande un relais de la carte : on (S<n>N$#), off (S<n>F$#), toggle (S<n>T$#), ou pulse : on, "
        "attente de MS millisecondes (500 par défaut), puis off."));
    parser.addPositionalArgument(QStringLiteral("N"), QStringLiteral("Le relais, de 1 à 16."));
    parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("on, off, toggle ou pulse."));
    parser.addPositionalArgument(QStringLiteral("MS"), QStringLiteral("Durée de l'impulsion (pulse)."), QStringLiteral("[MS]"));
    addPortOptions(parser);
    int status = 0;
    if (!parseDeviceCommand(parser, arguments, &status))
        return status;
    const QStringList args = parser.positionalArguments();
    int relay = 0;
    if (args.size() < 2 || args.size() > 3 || !parseRelay(args[0], &relay)) {
        err() << "zelvar-cli relay : N (1 à 16) puis on, off, toggle ou pulse [MS] attendus\n";
        return UsageError;
    }
    const QString action = args[1].toLower();
    int pulse = 500;
    if (args.size() == 3) {
        bool ok = false;
        pulse = args[2].toInt(&ok);
        if (!ok || pulse < 0 || action != "pulse") {
            err() << "zelvar-cli relay : MS (un nombre de millisecondes) ne va qu'avec pulse\n";
            return UsageError;
        }
    }
    QList<QByteArray> commands;
    if (action == "on" || action == "pulse")
        commands << relayCommand(relay, RelayAction::On);
    else if (action == "off")
        commands << relayCommand(relay, RelayAction::Off);
    else if (action == "toggle")
        commands << relayCommand(relay, RelayAction::Toggle);
    if (action == "pulse")
        commands << relayCommand(relay, RelayAction::Off);
    if (commands.isEmpty()) {
        err() << "zelvar-cli relay : action inconnue « " << args[1] << " »\n";
        return UsageError;
    }
    const std::optional<PanelConfig> config = panelConfig(QStringLiteral("relay"));
    if (!config)
        return 1;
    return onPort(parser, config->settings, true, [&](TComPort &port) {
        SendingSequence sequence;
        for (qsizetype i = 0; i < commands.size(); ++i)
            sequence.steps.push_back({commands[i], i + 1 < commands.size() ? pulse : 10});
        Send::raise(Send::run(port, std::move(sequence)));
        return 0;
    });
}

int runPress(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Déclenche le bouton K du panneau (Zelvar2.ini) comme un pas du séquenceur : appui, relâché, clic, "
        "chaque commande écrite suivie de 100, 100 et 10 ms ; un bouton infrarouge (mode 5) n'émet que son code "
        "infrarouge."));
    parser.addPositionalArgument(QStringLiteral("K"), QStringLiteral("Le numéro du bouton, à partir de 1."));
    addPortOptions(parser);
    int status = 0;
    if (!parseDeviceCommand(parser, arguments, &status))
        return status;
    const std::optional<PanelConfig> config = panelConfig(QStringLiteral("press"));
    if (!config)
        return 1;
    const PanelButtons entries = buildPanelButtons(config->buttons);
    bool ok = false;
    const int k = parser.positionalArguments().value(0).toInt(&ok);
    if (parser.positionalArguments().size() != 1 || !ok || k < 1 || k >= int(entries.size())) {
        err() << "zelvar-cli press : un numéro de bouton de 1 à " << entries.size() - 1 << " attendu\n";
        return UsageError;
    }
    const ButtonEntry &entry = entries[size_t(k)];
    const CommandSlots commands = entry.commands();
    // An infrared button writes nothing on the serial line: no need for the board then.
    return onPort(parser, config->settings, entry.mode != UsbUirt, [&](TComPort &port) {
        const SendResult sent = Send::run(port, Send::step(entry.mode, commands));
        Send::raise(sent);
        if (sent.infraredNotSent) {
            err() << "Code infrarouge non émis : " << *sent.infraredNotSent << "\n";
            return DeviceError;
        }
        return 0;
    });
}

int runSend(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Écrit TEXTE tel quel sur le port (en Windows-1252, sans fin de ligne), par exemple S1N$#."));
    parser.addPositionalArgument(QStringLiteral("TEXTE"), QStringLiteral("Les caractères à écrire."));
    addPortOptions(parser);
    int status = 0;
    if (!parseDeviceCommand(parser, arguments, &status))
        return status;
    if (parser.positionalArguments().size() != 1) {
        err() << "zelvar-cli send : un seul TEXTE attendu (entre apostrophes : '$' et '#' sont lus par le shell)\n";
        return UsageError;
    }
    const std::optional<PanelConfig> config = panelConfig(QStringLiteral("send"));
    if (!config)
        return 1;
    return onPort(parser, config->settings, true, [&](TComPort &port) {
        Send::raise(Send::run(port, {.steps = {{encodeWindows1252(parser.positionalArguments().first())}}}));
        return 0;
    });
}

int runPorts(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Liste les ports série présents : ttyS matériels (COMn), adaptateurs USB (ttyUSB, ttyACM) avec leur nom "
        "stable /dev/serial/by-id et leur description."));
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;
    const auto devices = listSerialDevices();
    if (devices.isEmpty())
        out() << "Aucun port série trouvé.\n";
    for (const SerialDeviceInfo &d : devices) {
        out() << d.portName;
        if (d.portName != d.path)
            out() << "  (" << d.path << ")";
        if (!d.description.isEmpty())
            out() << "  " << d.description;
        out() << "\n";
    }
    return 0;
}

int runSetPort(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Enregistre le port (et la vitesse) dans Zelvar2.ini comme le bouton « Enregistrer » du formulaire de "
        "port : seules ces deux clés changent, le reste du fichier est gardé tel quel."));
    parser.addPositionalArgument(QStringLiteral("PORT"), QStringLiteral("COM4, /dev/ttyUSB0, /dev/serial/by-id/…"));
    parser.addPositionalArgument(QStringLiteral("VITESSE"), QStringLiteral("9600 par exemple ; sinon celle du fichier."),
                                 QStringLiteral("[VITESSE]"));
    int status = 0;
    if (!parseDeviceCommand(parser, arguments, &status))
        return status;
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.size() > 2 || args[0].trimmed().isEmpty()) {
        err() << "zelvar-cli setport : PORT [VITESSE] attendus\n";
        return UsageError;
    }
    QString speed = args.value(1);
    if (args.size() == 1) {
        const std::optional<PanelConfig> config = panelConfig(QStringLiteral("setport"));
        if (!config)
            return 1;
        speed = config->settings.CurrentPortSpeed;
    }
    const auto saved = savePortSettings(PanelFiles::config(), args[0], speed);
    if (!saved.ok) {
        err() << saved.error << "\n";
        return 1;
    }
    return 0;
}

} // namespace zelvar::cli
