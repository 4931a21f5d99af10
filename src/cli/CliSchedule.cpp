#include "cli/CliCommands.h"
#include "cli/CliFiring.h"
#include "cli/CliPort.h"

#include "common/ProfileFile.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/SendSequences.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/ScheduleMemory.h"
#include "scheduler/SchedulePeriod.h"
#include "scheduler/SchedulePlace.h"
#include "scheduler/ScheduleTime.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

namespace zelvar::cli {

namespace {

constexpr int NotSent = 1;
// The port is opened this long before the second, so that opening costs nothing at it.
constexpr qint64 OpenAheadMs = 2000;
// A long wait for the opening is cut into steps, so that a timer never overflows and a
// clock changed meanwhile is seen.
constexpr qint64 OpenWaitStepMs = 60 * 60 * 1000;

QString buttonName(const ButtonEntry &entry, int k)
{
    return QStringLiteral("bouton %1 (« %2 »)").arg(k).arg(entry.description);
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// When a sequence's first command went out.
QString timeOf(const SendResult &sent)
{
    if (!sent.firstWriteMs)
        return now();
    return QDateTime::fromMSecsSinceEpoch(sent.firstWriteMs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// Sends button k as a scheduler row fires it, on the port (opened now when it is not open
// yet); the exit status. Each line printed starts with the time of its first write.
int fire(const ButtonEntry &entry, int k, TComPort &port, const PortChoice &portChoice)
{
    const QString button = buttonName(entry, k);
    const CommandSlots commands = entry.commands();
    if (entry.mode == UsbUirt) {
        const SendResult sent = Send::run(port, Send::step(entry.mode, commands));
        const QString when = timeOf(sent);
        if (sent.infraredNotSent) {
            err() << when << " : " << button << " : code infrarouge non émis : " << *sent.infraredNotSent << "\n";
            return DeviceError;
        }
        out() << when << " : " << button << " : code infrarouge émis\n";
        return 0;
    }
    if (!writesToSerialLine(entry)) {
        out() << now() << " : " << button << " : mode " << buttonModeName(entry.mode) << ", rien à envoyer\n";
        return 0;
    }
    try {
        if (!port.Connected())
            openPort(port, portChoice);
        const SendResult sent = Send::run(port, Send::step(entry.mode, commands));
        Send::raise(sent);
        out() << timeOf(sent) << " : " << button << " : " << sentText(entry) << "\n";
    } catch (const EComPort &error) {
        err() << "zelvar-cli at : " << button << " : " << error.Message() << "\n";
        return DeviceError;
    }
    return 0;
}

// Fires the buttons in the order given; one that fails does not stop the others.
int fireAll(const PanelButtons &entries, const QList<int> &buttons, TComPort &port, const PortChoice &portChoice)
{
    int status = 0;
    for (int k : buttons)
        if (fire(entries[size_t(k)], k, port, portChoice) != 0)
            status = DeviceError;
    port.ClosePort();
    out().flush();
    return status;
}

} // namespace

int runAt(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Attend la date (aujourd'hui par défaut) et l'heure locales données, puis déclenche les boutons K du "
        "panneau (Zelvar2.ini), dans l'ordre donné, comme une ligne lancée du programmateur : appui, relâché, "
        "clic, chaque commande écrite suivie de 100, 100 et 10 ms ; un bouton infrarouge n'émet que son code. "
        "Le port est ouvert deux secondes avant l'heure (aussitôt s'il en reste moins) ; occupé, il est "
        "réessayé pendant deux secondes. Chaque envoi est affiché avec l'heure de sa première écriture. "
        "La seconde en cours part aussitôt ; une heure passée, ou manquée de plus d'une minute (veille, "
        "horloge avancée), n'envoie rien. Une heure vue deux fois (passage à l'heure d'hiver) est la première."));
    parser.addPositionalArgument(QStringLiteral("DATE"),
                                 QStringLiteral("AAAA-MM-JJ, aujourd'hui par défaut ; le premier argument est la date "
                                                "quand il a cette forme."),
                                 QStringLiteral("[AAAA-MM-JJ]"));
    parser.addPositionalArgument(QStringLiteral("HEURE"), QStringLiteral("HH:MM:SS, heure locale."));
    parser.addPositionalArgument(QStringLiteral("K"),
                                 QStringLiteral("Les numéros des boutons, à partir de 1, déclenchés dans l'ordre donné."),
                                 QStringLiteral("K [K…]"));
    addPortOptions(parser);
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 envoyé (ou rien à envoyer), 1 rien envoyé (heure passée, "
                                     "manquée ou attente interrompue), 2 erreur du port ou code infrarouge non émis "
                                     "pour un bouton au moins (les autres partent quand même), 64 usage.\n")))
        return status;

    const QStringList args = parser.positionalArguments();
    // A date is digits and dashes; neither a time nor a button number has a dash.
    static const QRegularExpression dateShape(QStringLiteral("^\\d+-\\d+-\\d+$"));
    const int first = !args.isEmpty() && dateShape.match(args[0]).hasMatch() ? 1 : 0;
    if (args.size() - first < 2) {
        err() << "zelvar-cli at : [AAAA-MM-JJ] HH:MM:SS K [K…] attendus\n";
        return UsageError;
    }
    const std::optional<QDate> readDate = first == 1 ? readDateArgument(QStringLiteral("at"), args[0]) : QDate::currentDate();
    if (!readDate)
        return UsageError;
    const QDate date = *readDate;
    const QString timeArgument = args[first];
    const std::optional<QTime> time = readTimeOfDay(timeArgument);
    if (!time) {
        err() << "zelvar-cli at : heure « " << timeArgument << " » invalide (HH:MM:SS attendu)\n";
        return UsageError;
    }
    if (!localInstant(date, *time)) {
        err() << "zelvar-cli at : le " << date.toString(Qt::ISODate) << " à " << timeOfDayText(*time)
              << " " << notInLocalTime() << "\n";
        return UsageError;
    }

    const std::optional<ProfileFile> read = readProfile(QStringLiteral("at"), PanelFiles::config());
    if (!read)
        return 1;
    const ProfileFile &profile = *read;
    const PanelConfig config = readPanelConfig(profile, PanelReader::Panel);
    const PanelButtons entries = buildPanelButtons(config.buttons);
    QList<int> buttons;
    QStringList names;
    bool needsPort = false;
    for (const QString &argument : args.mid(first + 1)) {
        bool ok = false;
        const int k = argument.toInt(&ok);
        if (!ok || k < 1 || k >= int(entries.size())) {
            err() << "zelvar-cli at : « " << argument << " » : un numéro de bouton de 1 à " << entries.size() - 1
                  << " attendu\n";
            return UsageError;
        }
        buttons << k;
        names << buttonName(entries[size_t(k)], k);
        needsPort = needsPort || writesToSerialLine(entries[size_t(k)]);
    }

    // No port is better than the wrong one: the panel's own default COM1 is not taken here.
    if (!portNamed(parser, profile) && needsPort) {
        err() << "zelvar-cli at : aucun port (ni --port, ni port dans Zelvar2.ini)\n";
        return DeviceError;
    }
    const PortChoice port = portChoice(parser, config.settings);

    StopSignals stop;
    SystemScheduleClock clock;
    ScheduleEngine engine(clock);
    engine.addRow(date, timeOfDayText(*time), buttons.first());
    const ScheduleEngine::Arming armed = engine.arm(1);
    if (armed != ScheduleEngine::Arming::Armed) {
        err() << "zelvar-cli at : le " << date.toString(Qt::ISODate) << " à " << timeOfDayText(*time)
              << " est déjà passé : rien n'est envoyé\n";
        return NotSent;
    }

    err() << "zelvar-cli at : attente du " << date.toString(Qt::ISODate) << " à " << timeOfDayText(*time)
          << " pour le " << names.join(QStringLiteral(", le ")) << "\n";
    err().flush();

    // The port is opened ahead of the second; a failure here is left to the firing, which
    // tries again (a port busy now may be free by then) and reports it.
    TComPort serial;
    QTimer opener;
    opener.setSingleShot(true);
    opener.setTimerType(Qt::PreciseTimer);
    const qint64 second = engine.instantOf(1).value_or(0);
    const auto openAhead = [&] {
        const qint64 left = second - OpenAheadMs - QDateTime::currentMSecsSinceEpoch();
        if (left > 0) {
            opener.start(int(std::min(left, OpenWaitStepMs)));
            return;
        }
        try {
            openPort(serial, port, 0);
        } catch (const EComPort &) {
        }
    };
    QObject::connect(&opener, &QTimer::timeout, openAhead);
    if (needsPort)
        openAhead();

    QEventLoop loop;
    QObject::connect(&engine, &ScheduleEngine::fired, &loop, [&](int, int) {
        opener.stop();
        loop.exit(fireAll(entries, buttons, serial, port));
    });
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

namespace zelvar::cli {

namespace {

// More would be a list no one reads; it also bounds the work.
constexpr int MaxNext = 10000;

struct Occurrence
{
    qint64 at;
    int row;
    int button;
    QString caption;     // the button's text on the panel
    QString description; // what the journal names it by
};

// "2 j 5 h", "19 h 03 min", "4 min 10 s", "12 s"
QString timeLeft(qint64 ms)
{
    const qint64 s = std::max<qint64>(0, (ms + 999) / 1000);
    const qint64 days = s / 86400, hours = s / 3600 % 24, minutes = s / 60 % 60, seconds = s % 60;
    if (days > 0)
        return QStringLiteral("%1 j %2 h").arg(days).arg(hours);
    if (hours > 0)
        return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'));
    if (minutes > 0)
        return QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 s").arg(seconds);
}

} // namespace

int runNext(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Liste les prochains déclenchements des lignes lancées de Programateur.ini, les plus proches d'abord, "
        "comme le service les fera : l'heure, le temps qui reste, la ligne, le bouton, son libellé et sa description. "
        "Une ligne déjà déclenchée ou manquée, arrêtée, ou dont le bouton n'est plus sur le panneau (Zelvar2.ini) n'y est pas."));
    parser.addPositionalArgument(QStringLiteral("N"), QStringLiteral("Combien de déclenchements (10 par défaut)."),
                                 QStringLiteral("[N]"));
    parser.addOption({QStringLiteral("json"),
                      QStringLiteral("Un tableau JSON trié par heure, un objet par déclenchement : row, button, caption "
                                     "(le libellé du bouton), description et at (date et heure locales ISO 8601 avec "
                                     "leur décalage).")});
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 liste affichée (même vide), 1 Programateur.ini ou "
                                     "Zelvar2.ini illisible, 64 usage.\n")))
        return status;
    const QStringList args = parser.positionalArguments();
    int wanted = 10;
    if (args.size() > 1 || (args.size() == 1 && (!ProfileFile::parseInteger(args[0], &wanted) || wanted < 1 || wanted > MaxNext))) {
        err() << "zelvar-cli next : [N] attendu, un nombre de 1 à " << MaxNext << "\n";
        return UsageError;
    }

    const std::optional<ProfileFile> scheduleFile = readProfile(QStringLiteral("next"), ScheduleFiles::path());
    const std::optional<ProfileFile> panelFile = readProfile(QStringLiteral("next"), PanelFiles::config());
    if (!scheduleFile || !panelFile)
        return 1;
    const ReadSchedule read = readSchedule(*scheduleFile);
    if (!read.refused.isEmpty()) {
        err() << "zelvar-cli next : " << ScheduleFiles::path() << " illisible : " << read.refused << "\n";
        return 1;
    }
    const PanelConfig panel = readPanelConfig(*panelFile, PanelReader::Panel);
    PanelButtons buttons;
    if (QFileInfo::exists(PanelFiles::config()))
        buttons = buildPanelButtons(panel.buttons);

    // The rows armed as the service arms them, with what it remembers.
    SystemScheduleClock clock;
    ScheduleEngine engine(clock);
    QString placeError;
    engine.setPlace(readPlace(*scheduleFile, &placeError));
    for (const SavedScheduleRow &saved : read.rows)
        addSavedRow(engine, saved, buttons);
    const ScheduleMemory memory(QDir::currentPath());
    const QStringList keys = ScheduleMemory::keysOf(read.rows);
    const qint64 now = clock.nowMs();
    std::vector<Occurrence> next;
    for (int i = 1; i <= engine.count(); ++i) {
        if (!read.rows[size_t(i - 1)].armed || engine.row(i).button == 0 || !periodRefusal(engine.row(i), buttons).isEmpty())
            continue;
        std::optional<qint64> accounted = memory.accountedUntil(keys[i - 1]);
        if (!accounted && engine.row(i).recurrence.repeats())
            accounted = now;
        if (engine.resume(i, accounted) != ScheduleEngine::Arming::Armed)
            continue;
        // A second caught up at the service's start is not ahead any more.
        for (const ScheduleEngine::Upcoming &event : engine.upcomingEvents(i, wanted + 1))
            if (event.at >= now - now % 1000)
                next.push_back({event.at, i, event.button, panel.buttons[size_t(event.button - 1)].caption,
                                buttons[size_t(event.button)].description});
    }
    std::stable_sort(next.begin(), next.end(), [](const Occurrence &a, const Occurrence &b) { return a.at < b.at; });
    if (next.size() > size_t(wanted))
        next.resize(size_t(wanted));

    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray array;
        for (const Occurrence &o : next) {
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(o.at);
            array.append(QJsonObject{{QStringLiteral("at"), at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate)},
                                     {QStringLiteral("row"), o.row},
                                     {QStringLiteral("button"), o.button},
                                     {QStringLiteral("caption"), o.caption},
                                     {QStringLiteral("description"), o.description}});
        }
        out() << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
        out().flush();
        return 0;
    }
    if (next.empty()) {
        out() << "Aucun déclenchement à venir.\n";
        out().flush();
        return 0;
    }
    QStringList when, left;
    int whenWidth = 9, leftWidth = 4;
    for (const Occurrence &o : next) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(o.at);
        when << at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + at.timeZoneAbbreviation();
        left << timeLeft(o.at - now);
        whenWidth = std::max(whenWidth, int(when.back().size()));
        leftWidth = std::max(leftWidth, int(left.back().size()));
    }
    out() << QStringLiteral("PROCHAINE").leftJustified(whenWidth + 2) << QStringLiteral("DANS").leftJustified(leftWidth + 2)
          << "LIGNE  BOUTON  LIBELLÉ (DESCRIPTION)\n";
    for (size_t k = 0; k < next.size(); ++k)
        out() << when[qsizetype(k)].leftJustified(whenWidth + 2) << left[qsizetype(k)].leftJustified(leftWidth + 2)
              << QString::number(next[k].row).leftJustified(7) << QString::number(next[k].button).leftJustified(8)
              << next[k].caption << " (" << next[k].description << ")\n";
    out() << "\n" << next.size() << " déclenchement(s) listé(s).\n";
    out().flush();
    return 0;
}

} // namespace zelvar::cli
