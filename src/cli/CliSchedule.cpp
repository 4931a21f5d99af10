#include "cli/CliCommands.h"
#include "cli/CliPort.h"

#include "common/ProfileFile.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleTime.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QEventLoop>
#include <QSocketNotifier>

namespace zelvar::cli {

namespace {

constexpr int NotSent = 1;

QString sentText(const ButtonEntry &entry)
{
    QStringList sent;
    for (const QByteArray &command : {entry.pressCommand, entry.releaseCommand, entry.clickCommand})
        if (!command.isEmpty())
            sent << decodeWindows1252(command);
    return sent.join(QStringLiteral(", "));
}

// Sends button k as a scheduler row fires it, on a port opened now; the exit status.
int fire(const ButtonEntry &entry, int k, const PortChoice &portChoice)
{
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const QString button = QStringLiteral("bouton %1 (« %2 »)").arg(k).arg(entry.description);
    const CommandSlots commands = entry.commands();
    if (entry.mode == UsbUirt) {
        TComPort unused;
        if (const auto refused = Send::step(unused, entry.mode, commands)) {
            err() << when << " : " << button << " : code infrarouge non émis : " << *refused << "\n";
            return NotSent;
        }
        out() << when << " : " << button << " : code infrarouge émis\n";
        return 0;
    }
    if (sentText(entry).isEmpty()) {
        out() << when << " : " << button << " : mode " << buttonModeName(entry.mode) << ", rien à envoyer\n";
        return 0;
    }
    TComPort port;
    try {
        openPort(port, portChoice);
        Send::step(port, entry.mode, commands);
        port.ClosePort();
    } catch (const EComPort &error) {
        err() << error.Message() << "\n";
        return DeviceError;
    }
    out() << when << " : " << button << " : " << sentText(entry) << "\n";
    return 0;
}

} // namespace

int runAt(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Attend la date (aujourd'hui par défaut) et l'heure locales données, puis déclenche le bouton K du "
        "panneau (Zelvar2.ini) comme une ligne lancée du programmateur : appui, 100 ms, relâché, 100 ms, clic, "
        "10 ms ; un bouton infrarouge n'émet que son code. Le port n'est ouvert qu'au moment de l'envoi. "
        "La seconde en cours part aussitôt ; une heure passée, ou manquée de plus d'une minute (veille, "
        "horloge avancée), n'envoie rien. Une heure vue deux fois (passage à l'heure d'hiver) est la première."));
    parser.addPositionalArgument(QStringLiteral("DATE"), QStringLiteral("AAAA-MM-JJ, aujourd'hui par défaut."),
                                 QStringLiteral("[AAAA-MM-JJ]"));
    parser.addPositionalArgument(QStringLiteral("HEURE"), QStringLiteral("HH:MM:SS, heure locale."));
    parser.addPositionalArgument(QStringLiteral("K"), QStringLiteral("Le numéro du bouton, à partir de 1."));
    addPortOptions(parser);
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 envoyé (ou rien à envoyer), 1 rien envoyé (heure passée, "
                                     "manquée ou attente interrompue), 2 erreur du port, 64 usage.\n")))
        return status;

    const QStringList args = parser.positionalArguments();
    if (args.size() < 2 || args.size() > 3) {
        err() << "zelvar-cli at : [AAAA-MM-JJ] HH:MM:SS K attendus\n";
        return UsageError;
    }
    QDate date = QDate::currentDate();
    if (args.size() == 3) {
        date = QDate::fromString(args[0], QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) {
            err() << "zelvar-cli at : date « " << args[0] << " » invalide (AAAA-MM-JJ attendu)\n";
            return UsageError;
        }
    }
    const QString timeArgument = args[args.size() - 2];
    const std::optional<QTime> time = readTimeOfDay(timeArgument);
    if (!time) {
        err() << "zelvar-cli at : heure « " << timeArgument << " » invalide (HH:MM:SS attendu)\n";
        return UsageError;
    }
    if (!localInstant(date, *time)) {
        err() << "zelvar-cli at : le " << date.toString(Qt::ISODate) << " à " << timeOfDayText(*time)
              << " n'existe pas à l'heure locale (passage à l'heure d'été)\n";
        return UsageError;
    }

    const std::optional<ProfileFile> read = readProfile(QStringLiteral("at"), PanelFiles::config());
    if (!read)
        return 1;
    const ProfileFile &profile = *read;
    const PanelConfig config = readPanelConfig(profile, PanelReader::Panel);
    const PanelButtons entries = buildPanelButtons(config.buttons);
    bool ok = false;
    const int k = args.last().toInt(&ok);
    if (!ok || k < 1 || k >= int(entries.size())) {
        err() << "zelvar-cli at : un numéro de bouton de 1 à " << entries.size() - 1 << " attendu\n";
        return UsageError;
    }
    const ButtonEntry &entry = entries[size_t(k)];

    // No port is better than the wrong one: the panel's own default COM1 is not taken here.
    if (!portNamed(parser, profile) && entry.mode != UsbUirt) {
        err() << "zelvar-cli at : aucun port (ni --port, ni port dans Zelvar2.ini)\n";
        return DeviceError;
    }
    const PortChoice port = portChoice(parser, config.settings);

    StopSignals stop;
    SystemScheduleClock clock;
    ScheduleEngine engine(clock);
    engine.addRow(date, timeOfDayText(*time), k);
    const ScheduleEngine::Arming armed = engine.arm(1);
    if (armed != ScheduleEngine::Arming::Armed) {
        err() << "zelvar-cli at : le " << date.toString(Qt::ISODate) << " à " << timeOfDayText(*time)
              << " est déjà passé : rien n'est envoyé\n";
        return NotSent;
    }

    err() << "zelvar-cli at : attente du " << date.toString(Qt::ISODate) << " à " << timeOfDayText(*time)
          << " pour le " << QStringLiteral("bouton %1 (« %2 »)").arg(k).arg(entry.description) << "\n";
    err().flush();

    QEventLoop loop;
    QObject::connect(&engine, &ScheduleEngine::fired, &loop,
                     [&](int, int) { loop.exit(fire(entry, k, port)); });
    QObject::connect(&engine, &ScheduleEngine::missed, &loop, [&](int, qint64 checkedAt) {
        err() << "zelvar-cli at : heure manquée (vue le "
              << QDateTime::fromMSecsSinceEpoch(checkedAt).toString(QStringLiteral("yyyy-MM-dd à hh:mm:ss"))
              << ", plus d'une minute après) : rien n'est envoyé\n";
        loop.exit(NotSent);
    });
    QSocketNotifier stopNotifier(stop.fd(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &loop, [&] {
        err() << "zelvar-cli at : attente interrompue : rien n'est envoyé\n";
        loop.exit(NotSent);
    });
    return loop.exec();
}

} // namespace zelvar::cli
